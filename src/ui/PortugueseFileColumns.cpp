#include "ui/PortugueseFileColumns.h"

#include "base/Texts.h"
#include "ui/Text1252.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>

namespace {

// The file system model's columns.
constexpr int SizeColumn = 1;
constexpr int TypeColumn = 2;
constexpr int DateColumn = 3;

} // namespace

QVariant PortugueseFileColumns::data(const QModelIndex& Index, int Role) const
{
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (Role != Qt::DisplayRole || !files || !Index.isValid())
        return QIdentityProxyModel::data(Index, Role);
    const QModelIndex source = mapToSource(Index);
    const QFileInfo info = files->fileInfo(source);
    const QLocale locale;
    switch (Index.column()) {
    case SizeColumn:
        if (info.isDir())
            return QIdentityProxyModel::data(Index, Role);
        return locale.formattedDataSize(info.size(), 2, QLocale::DataSizeTraditionalFormat);
    case TypeColumn:
        if (info.isDir())
            return Tr(Texts::FileTypeFolder);
        return info.suffix().isEmpty() ? Tr(Texts::FileTypeFile)
                                       : Tr(Texts::FileTypeFile) + QLatin1Char(' ') + info.suffix();
    case DateColumn: return locale.toString(info.lastModified(), QLocale::ShortFormat);
    default: return QIdentityProxyModel::data(Index, Role);
    }
}

void UsePortugueseColumns(QFileDialog* Dialog)
{
    Dialog->setProxyModel(new PortugueseFileColumns(Dialog));
}
