#pragma once
// One certificate list view per entity, in the registry's order. It follows
// the registry's notices: a view is added with each new entity and removed
// with each removed one. A view is made (and filled) only when it is first
// asked for: an office's folder holds thousands of entities, of which a run
// shows a few, and making every list at start took most of the start-up.
#include "store/TUsersDataListener.h"

#include <functional>
#include <vector>

class QWidget;
class TCustomView;
class TUsersData;

class TViews : public TUsersDataListener {
public:
    // A place per entity; no view is made yet. Each view is made with the
    // common settings (parent, icons, context menu, edit handler) through
    // Setup and the entity's Razao as its hint, then filled through OnFill.
    TViews(TUsersData& Registry, QWidget* Parent, std::function<void(TCustomView*)> Setup);
    ~TViews() override;
    TViews(const TViews&) = delete;
    TViews& operator=(const TViews&) = delete;

    // The view of entity position Index (1-based), made on first request;
    // null outside 1..Count.
    TCustomView* View(int Index);
    // Hides the view shown and shows view Index; Index <= 0 does nothing and
    // returns null.
    TCustomView* ShowView(int Index);
    // Frees view Index (if it was made) and removes its place from the list.
    void RemoveView(int Index);
    int Count() const { return int(views_.size()); }
    // Position of the view last shown (0 when none).
    int ShownIndex() const { return shown_; }

    // Gives a view just made its entity's certificates (entity position and
    // the view).
    std::function<void(int, TCustomView*)> OnFill;
    // Told when a view is added for a new entity and just before a view is
    // freed, so the window can keep its active view current.
    std::function<void(TCustomView*)> OnAdded;
    std::function<void(TCustomView*)> OnRemoving;

    void EntityAdded(int32_t Position) override;
    void EntityRemoved(int32_t Position) override;

private:
    TCustomView* Make(int Index);

    TUsersData& registry_;
    QWidget* parent_;
    std::function<void(TCustomView*)> setup_;
    // One place per entity; null until the view is made.
    std::vector<TCustomView*> views_;
    int shown_ = 0;
};
