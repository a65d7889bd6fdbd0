#include "app/TCustomView.h"

#include "app/TCustomItem.h"

#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

// Routes the editor's text through the view before the item takes it, so
// that a refused name never reaches the item, not even for a moment.
class EditDelegate : public QStyledItemDelegate {
public:
    explicit EditDelegate(TCustomView* view) : QStyledItemDelegate(view), view_(view) {}

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (!edit)
            return;
        if (auto* item = view_->Item(index.row()))
            view_->CommitEdit(item, edit->text());
    }

private:
    TCustomView* view_;
};

} // namespace

TCustomView::TCustomView(QWidget* parent) : QListWidget(parent)
{
    setViewMode(QListView::IconMode);
    setIconSize(QSize(32, 32));
    setGridSize(QSize(110, 72));
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setWordWrap(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setItemDelegate(new EditDelegate(this));
}

TCustomItem* TCustomView::AddItem(const QString& Caption)
{
    return new TCustomItem(Caption, this);
}

TCustomItem* TCustomView::Item(int Row) const
{
    return static_cast<TCustomItem*>(item(Row));
}

TCustomItem* TCustomView::Selected() const
{
    const auto selected = selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TCustomItem*>(selected.first());
}

void TCustomView::CommitEdit(TCustomItem* Item, QString NewCaption)
{
    if (OnEdited)
        OnEdited(Item, NewCaption);
    Item->setText(NewCaption);
    // A message shown while the edit is judged (a refused name) takes the
    // keyboard away from the closing editor, which then hands it to the next
    // widget in line. Once the editor is gone, the list gets it back, so that
    // F2 and typing reach the item again.
    QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
}
