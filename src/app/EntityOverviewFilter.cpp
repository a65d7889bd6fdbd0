#include "app/EntityOverviewFilter.h"

#include "app/EntityOverviewModel.h"
#include "ui/Text1252.h"

EntityOverviewFilter::EntityOverviewFilter(EntityOverviewModel& Source, QObject* Parent)
    : QSortFilterProxyModel(Parent), source_(Source)
{
    setSourceModel(&Source);
    setSortRole(EntityOverviewModel::SortRole);
    setSortCaseSensitivity(Qt::CaseInsensitive);
}

void EntityOverviewFilter::SetQuery(const QString& Typed)
{
    std::string query = ToAnsi(Typed);
    if (query == query_)
        return;
    query_ = std::move(query);
    Refilter();
}

void EntityOverviewFilter::SetPendingOnly(bool On)
{
    if (On == pendingOnly_)
        return;
    pendingOnly_ = On;
    Refilter();
}

void EntityOverviewFilter::Refilter()
{
    invalidateFilter();
}

bool EntityOverviewFilter::filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const
{
    if (SourceParent.isValid() || SourceRow < 0 || SourceRow >= source_.rowCount())
        return false;
    return EntityOverview::Shown(source_.Row(SourceRow), query_, pendingOnly_);
}
