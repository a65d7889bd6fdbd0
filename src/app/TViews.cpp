#include "app/TViews.h"

#include "app/TCustomView.h"
#include "base/Texts.h"
#include "store/TUsersData.h"
#include "ui/Text1252.h"

#include <algorithm>

TViews::TViews(TUsersData& Registry, QWidget* Parent, std::function<void(TCustomView*)> Setup)
    : registry_(Registry), parent_(Parent), setup_(std::move(Setup))
{
    views_.assign(std::size_t(std::max(Registry.Count(), 0)), nullptr);
}

TViews::~TViews()
{
    for (TCustomView* view : views_)
        delete view;
}

TCustomView* TViews::Make(int Index)
{
    auto* view = new TCustomView(parent_);
    view->setVisible(false);
    view->setAccessibleName(Tr(Texts::AccCertificates));
    if (const TUserData* entity = registry_.Entity(Index))
        view->setToolTip(FromAnsi(entity->Razao));
    if (setup_)
        setup_(view);
    views_[std::size_t(Index - 1)] = view;
    if (OnFill)
        OnFill(Index, view);
    return view;
}

TCustomView* TViews::View(int Index)
{
    if (Index < 1 || Index > Count())
        return nullptr;
    TCustomView* view = views_[std::size_t(Index - 1)];
    return view ? view : Make(Index);
}

TCustomView* TViews::ShowView(int Index)
{
    if (Index <= 0 || Index > Count())
        return nullptr;
    TCustomView* view = View(Index);
    for (TCustomView* other : views_)
        if (other && other != view)
            other->setVisible(false);
    view->setVisible(true);
    shown_ = Index;
    return view;
}

void TViews::RemoveView(int Index)
{
    if (Index < 1 || Index > Count())
        return;
    TCustomView* view = views_[std::size_t(Index - 1)];
    if (view && OnRemoving)
        OnRemoving(view);
    views_.erase(views_.begin() + (Index - 1));
    delete view;
    // Keep the shown position pointing at the same view, or at none.
    if (shown_ == Index)
        shown_ = 0;
    else if (shown_ > Index)
        --shown_;
}

void TViews::EntityAdded(int32_t Position)
{
    // Always the last position; the place is made first so that the view
    // can be filled through the common path.
    views_.resize(std::size_t(std::max(Position, Count())), nullptr);
    TCustomView* view = View(Position);
    if (view && OnAdded)
        OnAdded(view);
}

void TViews::EntityRemoved(int32_t Position)
{
    RemoveView(Position);
}
