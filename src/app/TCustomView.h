#pragma once
// A list of certificates shown as large icons, with in-place renaming. The
// items it holds are TCustomItem. When an edit is committed, OnEdited may
// change the new caption (to undo the edit) before the item takes it.
#include <QListWidget>

#include <functional>

class TCustomItem;

class TCustomView : public QListWidget {
    Q_OBJECT
public:
    explicit TCustomView(QWidget* parent = nullptr);

    // Adds an item with this caption and returns it.
    TCustomItem* AddItem(const QString& Caption);
    TCustomItem* Item(int Row) const;
    // The selected item, or null.
    TCustomItem* Selected() const;

    std::function<void(TCustomItem* Item, QString& NewCaption)> OnEdited;

    // Commits an in-place edit as the editor would: runs OnEdited, then sets
    // the caption it leaves.
    void CommitEdit(TCustomItem* Item, QString NewCaption);
};
