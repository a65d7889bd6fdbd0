// Qt's own dialogs speak Portuguese once the application has loaded Qt's
// translation.
#include "app/QuorvexApplication.h"
#include "ui/PortugueseFileColumns.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QAbstractProxyModel>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QPushButton>

#include <gtest/gtest.h>

TEST(QtTranslation, QtsOwnButtonsAndFileDialogTextsArePortuguese)
{
    ASSERT_TRUE(QuorvexApplication::LoadQtTranslation(*QCoreApplication::instance()))
        << "qtbase_pt_BR is missing (Debian package qt6-translations-l10n)";
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Procurar em:"));
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Cancelar"));
    EXPECT_EQ(box.button(QDialogButtonBox::Save)->text().remove(QLatin1Char('&')), QStringLiteral("Salvar"));
}

// With the program's locale, the file dialog's columns and dates read as a
// Brazilian user expects ("Pasta", "07/12/2026", "2,00 kB"), not "Folder",
// "7 Dec" and "2.00 KiB", whatever the desktop's locale.
TEST(QtTranslation, FileDialogShowsPortugueseColumnsAndDates)
{
    ASSERT_TRUE(QuorvexApplication::LoadQtTranslation(*QCoreApplication::instance()));
    QuorvexApplication::UseBrazilianLocale();
    EXPECT_EQ(QLocale().name(), QStringLiteral("pt_BR"));

    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("sub")));
    {
        QFile file(folder.filePath(QStringLiteral("f.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(2048, 'x'));
        file.close();
        ASSERT_TRUE(file.open(QIODevice::Append));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2026, 12, 7), QTime(10, 30)), QFileDevice::FileModificationTime));
    }
    QFileDialog dialog(nullptr, QString(), folder.path());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    UsePortugueseColumns(&dialog);
    auto* files = dialog.findChild<QFileSystemModel*>();
    QAbstractProxyModel* shown = dialog.proxyModel();
    ASSERT_TRUE(files && shown);
    const QModelIndex file = shown->mapFromSource(files->index(folder.filePath(QStringLiteral("f.txt"))));
    const QModelIndex sub = shown->mapFromSource(files->index(folder.filePath(QStringLiteral("sub"))));
    auto cell = [&](const QModelIndex& row, int column) { return shown->data(row.siblingAtColumn(column)).toString(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cell(file, 1).isEmpty(); }));
    EXPECT_EQ(shown->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Tipo"));
    EXPECT_EQ(cell(sub, 2), QStringLiteral("Pasta"));
    EXPECT_EQ(cell(file, 2), QStringLiteral("Arquivo txt"));
    EXPECT_EQ(cell(file, 3), QStringLiteral("07/12/2026 10:30"));
    EXPECT_EQ(cell(file, 1), QStringLiteral("2,00 kB"));
    EXPECT_EQ(cell(file, 0), QStringLiteral("f.txt"));
}
