// The folder that stands for drive A: removable volumes found in a mounts
// table, the dialog's choice, and that the choice is remembered and followed.
#include "app/RemovableMedia.h"
#include "app/RemovableMediaDialog.h"
#include "app/TForm1.h"
#include "base/ProgramPaths.h"
#include "base/Texts.h"
#include "support/ModalAnswerer.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace testsupport;

namespace {

class RemovableMediaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        // The settings go to a folder of the test's own.
        ::setenv("XDG_CONFIG_HOME", home.path().toLocal8Bit().constData(), 1);
        ::unsetenv("QUORVEX_DRIVE_A");
        RemovableMedia::Remember(QString());
    }
    QString WriteMounts(const std::string& text)
    {
        const QString path = home.filePath(QStringLiteral("mounts"));
        std::ofstream(path.toStdString()) << text;
        return path;
    }
    QTemporaryDir home;
};

TEST_F(RemovableMediaTest, MountedVolumesAreTheUsersMediaMountsWithEscapesUndone)
{
    const QString table = WriteMounts("/dev/vda / ext4 rw 0 0\n"
                                      "/dev/sdb1 /media/ana/PEN\\040DRIVE vfat rw 0 0\n"
                                      "/dev/sdc1 /run/media/ana/CARTAO vfat rw 0 0\n"
                                      "/dev/sdb1 /media/ana/PEN\\040DRIVE vfat rw 0 0\n" // mounted twice: listed once
                                      "tmpfs /tmp tmpfs rw 0 0\n"
                                      "garbage\n");
    EXPECT_EQ(RemovableMedia::MountedVolumes(table),
              (QStringList{QStringLiteral("/media/ana/PEN DRIVE"), QStringLiteral("/run/media/ana/CARTAO")}));
    EXPECT_TRUE(RemovableMedia::MountedVolumes(home.filePath(QStringLiteral("missing"))).isEmpty());
}

TEST_F(RemovableMediaTest, ChoosingAVolumeIsRememberedAndBecomesDriveA)
{
    const QString table = WriteMounts("/dev/sdb1 /media/ana/PEN vfat rw 0 0\n");
    ProgramPaths paths(home.path().toStdString(), home.path().toStdString());
    EXPECT_EQ(paths.DriveA(), paths.DataDir() + "A/");

    RemovableMediaDialog dialog(paths, nullptr, table);
    ASSERT_EQ(dialog.Volumes->count(), 1);
    dialog.Volumes->itemClicked(dialog.Volumes->item(0));
    EXPECT_EQ(dialog.Chosen(), QStringLiteral("/media/ana/PEN"));
    EXPECT_TRUE(dialog.Current->text().endsWith(QStringLiteral("/media/ana/PEN")));

    RemovableMedia::Remember(dialog.Chosen());
    ProgramPaths next(home.path().toStdString(), home.path().toStdString());
    RemovableMedia::Apply(next);
    EXPECT_EQ(next.DriveA(), "/media/ana/PEN/");

    // The default button forgets the choice.
    RemovableMediaDialog again(next, nullptr, table);
    ClickButton(&again, QStringLiteral("Default"));
    EXPECT_TRUE(again.Chosen().isEmpty());
}

// Without a mouse: Enter on a listed medium chooses it and accepts the dialog.
TEST_F(RemovableMediaTest, EnterOnAListedVolumeChoosesAndAccepts)
{
    const QString table = WriteMounts("/dev/sdb1 /media/ana/PEN vfat rw 0 0\n");
    ProgramPaths paths(home.path().toStdString(), home.path().toStdString());
    RemovableMediaDialog dialog(paths, nullptr, table);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);
    dialog.Volumes->setFocus();
    QTest::keyClick(dialog.Volumes, Qt::Key_Home);
    QTest::keyClick(dialog.Volumes, Qt::Key_Return);
    EXPECT_EQ(dialog.Chosen(), QStringLiteral("/media/ana/PEN"));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(RemovableMediaTest, TheMenuEntryOpensTheDialogAndOkPutsTheChoiceIntoThePaths)
{
    QTemporaryDir data;
    RemovableMediaDialog::SystemMountsTable = WriteMounts("/dev/sdb1 /media/ana/PEN vfat rw 0 0\n");
    TForm1 window(data.path().toStdString());
    QAction* entry = window.findChild<QAction*>(QStringLiteral("FileMedia"));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->isEnabled());

    AnswerNextModal([&](QWidget* dialog) {
        auto* volumes = dialog->findChild<QListWidget*>(QStringLiteral("Volumes"));
        ASSERT_NE(volumes, nullptr);
        ASSERT_EQ(volumes->count(), 1);
        volumes->itemClicked(volumes->item(0));
        ClickButton(dialog, QStringLiteral("OK"));
    });
    entry->trigger();
    RemovableMediaDialog::SystemMountsTable = QStringLiteral("/proc/self/mounts");
    EXPECT_EQ(window.Folders().DriveA(), "/media/ana/PEN/");
    EXPECT_EQ(RemovableMedia::Remembered(), QStringLiteral("/media/ana/PEN"));
}

// A folder whose files the steps would delete is refused at OK with the
// reason, and the dialog stays open for another choice.
TEST_F(RemovableMediaTest, AFolderHoldingTheDataOrASystemFolderIsRefusedWithTheReason)
{
    const QString table = WriteMounts("/dev/sdb1 /media/ana/PEN vfat rw 0 0\n");
    const std::string data = home.path().toStdString() + "/";
    struct Case {
        std::string chosen;
        const char* reason;
    } cases[] = {{data, Texts::DriveAHoldsData}, {"/usr", Texts::DriveAIsSystem}};
    for (const Case& c : cases) {
        ProgramPaths paths(data, data);
        paths.SetChosenDriveA(c.chosen);
        RemovableMediaDialog dialog(paths, nullptr, table);
        dialog.show();
        QString shown;
        AnswerNextModal([&](QWidget* message) {
            shown = DialogText(message);
            ClickButton(message, QStringLiteral("OK"));
        });
        ASSERT_TRUE(ClickButton(&dialog, QStringLiteral("OK")));
        EXPECT_TRUE(shown.contains(QString::fromUtf8(Texts::DriveARefused2) + QString::fromUtf8(c.reason)))
            << c.chosen << ": " << shown.toStdString();
        EXPECT_TRUE(dialog.isVisible()) << c.chosen;
        EXPECT_NE(dialog.result(), QDialog::Accepted) << c.chosen;

        dialog.Volumes->itemClicked(dialog.Volumes->item(0));
        ASSERT_TRUE(ClickButton(&dialog, QStringLiteral("OK")));
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.chosen;
    }
}

} // namespace
