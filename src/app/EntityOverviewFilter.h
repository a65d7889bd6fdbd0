#pragma once
// What the overview of the entities shows of its rows: the ones that the
// text typed finds (the entity selector's matching) and, when asked, only
// the pending ones; sorted by the column the user chose.
#include <QSortFilterProxyModel>

#include <string>

class EntityOverviewModel;

class EntityOverviewFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit EntityOverviewFilter(EntityOverviewModel& Source, QObject* Parent = nullptr);

    void SetQuery(const QString& Typed);
    void SetPendingOnly(bool On);

protected:
    bool filterAcceptsRow(int SourceRow, const QModelIndex& SourceParent) const override;

private:
    void Refilter();

    EntityOverviewModel& source_;
    std::string query_; // Windows-1252, as the data files hold the names
    bool pendingOnly_ = false;
};
