#pragma once
// The rows of the overview of the entities as a Qt table: the texts the
// table shows (taken once per row, so that sorting thousands of rows does
// not convert them again and again) and a sort key per cell that orders the
// state and the next task by the road of a certificate, the counts as
// numbers.
#include "app/steps/EntityOverview.h"

#include <QAbstractTableModel>
#include <QString>

#include <vector>

class EntityOverviewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColInscription, ColRazao, ColState, ColSigned, ColUnsigned, ColNextTask, ColumnCount };
    // The key the columns are sorted by.
    static constexpr int SortRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(std::vector<TOverviewRow> Rows);
    const std::vector<TOverviewRow>& Rows() const { return rows_; }
    const TOverviewRow& Row(int Row) const { return rows_[static_cast<std::size_t>(Row)]; }
    // The model row of the entity numbered Number; -1 when none.
    int RowOfNumber(int32_t Number) const;

    int rowCount(const QModelIndex& Parent = {}) const override;
    int columnCount(const QModelIndex& Parent = {}) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;

private:
    struct Shown {
        QString Inscription;
        QString Razao;
        QString State;
        QString SortName;
    };
    std::vector<TOverviewRow> rows_;
    std::vector<Shown> shown_;
};
