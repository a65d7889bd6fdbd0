#pragma once
// Qt's own file dialog shows sizes, types and dates in the desktop's system
// locale ("2.00 KiB", "Folder", "7 Dec 2026"), whatever the program's is.
// This proxy shows them as a Brazilian user reads them ("2,00 kB", "Pasta",
// "07/12/2026 10:30"); names, sorting and choosing are left to Qt.
#include <QIdentityProxyModel>

class QFileDialog;

class PortugueseFileColumns : public QIdentityProxyModel {
    Q_OBJECT
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
};

// Puts the proxy on a (non-native) file dialog.
void UsePortugueseColumns(QFileDialog* Dialog);
