#include "app/EntityOverviewModel.h"

#include "base/Texts.h"
#include "ui/Text1252.h"

namespace {

// A name as it sorts: in capitals without accents, as the names typed into
// the program are stored, so that "Épsilon" comes with the other "E"s in
// every locale.
QString SortName(const std::string& Razao)
{
    const QString decomposed = FromAnsi(Razao).normalized(QString::NormalizationForm_D);
    QString name;
    name.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            name += c.toUpper();
    return name;
}

} // namespace

void EntityOverviewModel::SetRows(std::vector<TOverviewRow> Rows)
{
    beginResetModel();
    rows_ = std::move(Rows);
    shown_.clear();
    shown_.reserve(rows_.size());
    for (const TOverviewRow& row : rows_)
        shown_.push_back({FromAnsi(row.Inscription), FromAnsi(row.Entity.Razao),
                          QString::fromStdString(EntityOverview::StateText(row)), SortName(row.Entity.Razao)});
    endResetModel();
}

int EntityOverviewModel::RowOfNumber(int32_t Number) const
{
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Number == Number)
            return static_cast<int>(i);
    return -1;
}

int EntityOverviewModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int EntityOverviewModel::columnCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : ColumnCount;
}

QVariant EntityOverviewModel::data(const QModelIndex& Index, int Role) const
{
    if (!Index.isValid() || Index.row() < 0 || Index.row() >= rowCount())
        return {};
    const auto at = static_cast<std::size_t>(Index.row());
    const TOverviewRow& row = rows_[at];
    const Shown& shown = shown_[at];
    if (Role == Qt::DisplayRole || Role == Qt::AccessibleTextRole) {
        switch (Index.column()) {
        case ColInscription: return shown.Inscription;
        case ColRazao: return shown.Razao;
        case ColState: return shown.State;
        case ColSigned: return row.Signed;
        case ColUnsigned: return row.Unsigned;
        case ColNextTask: return Tr(EntityOverview::NextTaskText(row.NextTask));
        default: return {};
        }
    }
    if (Role == SortRole) {
        switch (Index.column()) {
        case ColInscription: return shown.Inscription;
        case ColRazao: return shown.SortName;
        case ColState: return static_cast<int>(row.State) * 2 + (row.Damaged ? 1 : 0);
        case ColSigned: return row.Signed;
        case ColUnsigned: return row.Unsigned;
        case ColNextTask: return static_cast<int>(row.NextTask);
        default: return {};
        }
    }
    // Whole, where a narrow column may cut them: a long name, the note of a
    // damaged file.
    if (Role == Qt::ToolTipRole && Index.column() == ColRazao)
        return shown.Razao;
    if (Role == Qt::ToolTipRole && Index.column() == ColState && row.Damaged)
        return shown.State;
    if (Role == Qt::TextAlignmentRole && (Index.column() == ColSigned || Index.column() == ColUnsigned))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant EntityOverviewModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(Section, Orientation, Role);
    switch (Section) {
    case ColInscription: return Tr(Texts::OvColInscription);
    case ColRazao: return Tr(Texts::OvColRazao);
    case ColState: return Tr(Texts::OvColState);
    case ColSigned: return Tr(Texts::OvColSigned);
    case ColUnsigned: return Tr(Texts::OvColUnsigned);
    case ColNextTask: return Tr(Texts::OvColNextTask);
    default: return {};
    }
}

Qt::ItemFlags EntityOverviewModel::flags(const QModelIndex& Index) const
{
    return Index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
