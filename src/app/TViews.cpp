#include "app/TViews.h"

#include "app/TCustomView.h"
#include "base/Texts.h"
#include "store/TUsersData.h"
#include "ui/Text1252.h"

TViews::TViews(TUsersData& Registry, QWidget* Parent, std::function<void(TCustomView*)> Setup)
    : parent_(Parent), setup_(std::move(Setup))
{
    for (int n = 1; n <= Registry.Count(); ++n) {
        TCustomView* view = AddView();
        if (const TUserData* entity = Registry.Entity(n))
            view->setToolTip(FromAnsi(entity->Razao));
    }
    shown_ = Registry.ActiveIndex();
    if (shown_ > 0 && shown_ <= Count())
        views_[std::size_t(shown_ - 1)]->setVisible(true);
}

TViews::~TViews()
{
    for (TCustomView* view : views_)
        delete view;
}

TCustomView* TViews::AddView()
{
    auto* view = new TCustomView(parent_);
    view->setVisible(false);
    view->setAccessibleName(Tr(Texts::AccCertificates));
    if (setup_)
        setup_(view);
    views_.push_back(view);
    return view;
}

TCustomView* TViews::View(int Index) const
{
    if (Index < 1 || Index > Count())
        return nullptr;
    return views_[std::size_t(Index - 1)];
}

TCustomView* TViews::ShowView(int Index)
{
    if (Index <= 0 || Index > Count())
        return nullptr;
    for (TCustomView* view : views_)
        view->setVisible(false);
    TCustomView* view = views_[std::size_t(Index - 1)];
    view->setVisible(true);
    shown_ = Index;
    return view;
}

void TViews::RemoveView(int Index)
{
    if (Index < 1 || Index > Count())
        return;
    TCustomView* view = views_[std::size_t(Index - 1)];
    if (OnRemoving)
        OnRemoving(view);
    views_.erase(views_.begin() + (Index - 1));
    delete view;
    // Keep the shown position pointing at the same view, or at none.
    if (shown_ == Index)
        shown_ = 0;
    else if (shown_ > Index)
        --shown_;
}

void TViews::EntityAdded(int32_t)
{
    TCustomView* view = AddView();
    if (OnAdded)
        OnAdded(view);
}

void TViews::EntityRemoved(int32_t Position)
{
    RemoveView(Position);
}
