#pragma once
// One certificate list view per entity, in the registry's order. It follows
// the registry's notices: a view is added with each new entity and removed
// with each removed one.
#include "store/TUsersDataListener.h"

#include <functional>
#include <vector>

class QWidget;
class TCustomView;
class TUsersData;

class TViews : public TUsersDataListener {
public:
    // Creates the settings every view gets (parent, icons, context menu,
    // edit handler) through Setup, then one view per entity with the entity's
    // Razao as its hint; shows the view of the active entity.
    TViews(TUsersData& Registry, QWidget* Parent, std::function<void(TCustomView*)> Setup);
    ~TViews() override;
    TViews(const TViews&) = delete;
    TViews& operator=(const TViews&) = delete;

    // One more view with the common settings, appended.
    TCustomView* AddView();
    // The view of entity position Index (1-based); null outside 1..Count.
    TCustomView* View(int Index) const;
    // Hides every view and shows view Index; Index <= 0 does nothing and
    // returns null.
    TCustomView* ShowView(int Index);
    // Frees view Index and removes it from the list.
    void RemoveView(int Index);
    int Count() const { return int(views_.size()); }
    // Position of the view last shown (0 when none).
    int ShownIndex() const { return shown_; }

    // Told when a view is added for a new entity and just before a view is
    // freed, so the window can keep its active view current.
    std::function<void(TCustomView*)> OnAdded;
    std::function<void(TCustomView*)> OnRemoving;

    void EntityAdded(int32_t Position) override;
    void EntityRemoved(int32_t Position) override;

private:
    QWidget* parent_;
    std::function<void(TCustomView*)> setup_;
    std::vector<TCustomView*> views_;
    int shown_ = 0;
};
