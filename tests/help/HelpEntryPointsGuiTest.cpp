// Every place that offers help opens the program's help viewer at its page:
// the main window's two help actions, the request form's help button in
// both modes, the password dialog's and the backup dialog's, each as the
// main window opens it.
#include "agreement/TFrmContrato.h"
#include "app/RemovableMediaDialog.h"
#include "app/EntityOverviewDialog.h"
#include "app/TForm1.h"
#include "app/TForm1Questions.h"
#include "backup/TFrmBackup.h"
#include "base/ProgramPaths.h"
#include "base/Texts.h"
#include "crypto/TFrmPwd.h"
#include "help/TFrmAbout.h"
#include "help/TFrmHelp.h"
#include "help/THelp.h"
#include "help/TPublicData.h"
#include "store/TFrmRequest.h"
#include "store/TUserData.h"
#include "support/FindNamed.h"
#include "support/ModalAnswerer.h"
#include "support/TestKit.h"
#include "support/ZipMaker.h"
#include "ui/HtmlView.h"
#include "ui/KeyboardRules.h"
#include "ui/TDialog.h"

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string Page(const std::string& Title)
{
    return "<html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=ISO-8859-1\"></head>"
           "<body><p>"
           + Title + "</p></body></html>";
}

// A program folder with a help archive of one page per topic.
class ProgramFolder {
public:
    ProgramFolder()
    {
        EXPECT_TRUE(tmp_.isValid());
        ZipEntries entries;
        for (const char* topic : {"index", "how", "newentity", "request", "pwd", "backup", "messages", "media",
                                  "agreement", "export", "overview"})
            entries.push_back({std::string(topic) + ".htm", Page(std::string("Pagina ") + topic)});
        EXPECT_TRUE(WriteZip(Dir() + "HELP.DAT", entries));
    }
    std::string Dir() const { return tmp_.path().toStdString() + "/"; }

private:
    QTemporaryDir tmp_;
};

// The topic asked for, whether the window shows and what it shows.
void ExpectShown(TPublicData& data, const char* topic)
{
    EXPECT_EQ(data.HelpWin->CurrentTopic(), QString::fromLatin1(topic));
    EXPECT_TRUE(data.HelpWin->Visible()) << topic;
    const QString expected = QStringLiteral("Pagina ") + QString::fromLatin1(topic).section('.', 0, 0);
    EXPECT_EQ(data.HelpWin->Form()->HTMLView->toPlainText().trimmed(), expected);
    data.HelpWin->SetVisible(false);
}

// Presses a modal dialog's help button, then closes the dialog.
void HelpThenCancel(QWidget* dialog)
{
    ClickButton(dialog, QStringLiteral("ButtonHelp"));
    static_cast<QDialog*>(dialog)->reject();
}

} // namespace

TEST(HelpDataModule, HoldsTheViewerOnTheProgramsArchive)
{
    ProgramFolder folder;
    TPublicData data(folder.Dir());
    EXPECT_EQ(data.HelpWin->FileName(), folder.Dir() + "HELP.DAT");
    EXPECT_FALSE(data.HelpWin->ArchiveMissing());
    EXPECT_EQ(data.HelpWin->Contents(), QStringLiteral("index.htm"));
    EXPECT_FALSE(data.HelpWin->Visible());
}

// The main window hands its viewer to every dialog it opens.
TEST(HelpEntryPoints, EachWindowOpensItsPage)
{
    ProgramFolder folder;
    QTemporaryDir data;
    const std::string dir = data.path().toStdString() + "/";
    TPublicData publicData(folder.Dir());
    TForm1 form(ProgramPaths(dir, dir), TestKit(), &publicData);

    FindNamed<QAction>(form, "HelpTopics")->trigger();
    ExpectShown(publicData, "index.htm");
    FindNamed<QAction>(form, "HelpHow")->trigger();
    ExpectShown(publicData, "how.htm");

    AnswerNextModal(HelpThenCancel);
    FindNamed<QAction>(form, "RequestAdd")->trigger();
    ExpectShown(publicData, "newentity.htm");
    for (const bool newEntity : {true, false}) {
        TFrmRequest request(nullptr, nullptr, &publicData);
        request.NewEntity = newEntity;
        request.ButtonHelp->click();
        ExpectShown(publicData, newEntity ? "newentity.htm" : "request.htm");
    }

    TForm1Questions ask(form);
    AnswerNextModal(HelpThenCancel);
    EXPECT_EQ(ask.AskPassword(KeyFilePwd::pmAskPassword, {})->Result(), 2);
    ExpectShown(publicData, "pwd.htm");

    form.MakeBackupDialog()->ButtonHelp->click();
    ExpectShown(publicData, "backup.htm");

    FindNamed<QAction>(form, "RequestOverview")->trigger();
    auto* overview = form.findChild<EntityOverviewDialog*>();
    ASSERT_NE(overview, nullptr);
    overview->ButtonHelp->click();
    ExpectShown(publicData, "overview.htm");

    // A window given no viewer offers help that does nothing, and reaches
    // no other viewer.
    TFrmPwd alone;
    alone.ButtonHelp->click();
    TFrmBackup backup(ProgramPaths(dir, dir), {});
    backup.ButtonHelp->click();
    EXPECT_FALSE(publicData.HelpWin->Visible());
}

// The program makes the data module at start, on the HELP.DAT beside its
// executable; F1's action shows the contents, and an open help window does
// not keep the program running once the main window has closed.
TEST(HelpEntryPoints, TheProgramStartsWithItsHelpViewer)
{
    ProgramFolder folder;
    const QString dir = QString::fromStdString(folder.Dir());
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUORVEX_HELP_PROBE), dir + QStringLiteral("quorvex")));
    QFile::setPermissions(dir + QStringLiteral("quorvex"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    client.setProcessEnvironment(env);
    client.start(dir + QStringLiteral("quorvex"), {});
    ASSERT_TRUE(client.waitForStarted(10000));
    const bool ended = client.waitForFinished(30000);
    if (!ended)
        client.kill();
    ASSERT_TRUE(ended) << "the help window kept the program running";
    EXPECT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
    QFile note(dir + QStringLiteral("help.txt"));
    ASSERT_TRUE(note.open(QIODevice::ReadOnly));
    EXPECT_EQ(note.readAll().toStdString(), folder.Dir() + "HELP.DAT\nindex.htm\nvisible\nPagina index\n");
}

// F1 in every window, dialogs included, opens that window's own page: the
// key is pressed where the keyboard is, through the rules the program
// installs at start.
TEST(HelpEntryPoints, FOneInEveryWindowOpensItsPage)
{
    ProgramFolder folder;
    QTemporaryDir data;
    const std::string dir = data.path().toStdString() + "/";
    TPublicData publicData(folder.Dir());
    KeyboardRules::Install(&publicData);
    TForm1 form(ProgramPaths(dir, dir), TestKit(), &publicData);
    auto pressF1 = [](QWidget* window) {
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_F1);
    };
    // Shows a window that is not modal, presses F1 in it, closes it.
    auto inWindow = [&](QWidget* window) {
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        pressF1(window);
        window->close();
    };
    // Presses F1 in the next modal dialog, then closes it.
    auto inNextModal = [&] {
        AnswerNextModal([&](QWidget* dialog) {
            pressF1(dialog);
            static_cast<QDialog*>(dialog)->reject();
        });
    };

    inWindow(&form);
    ExpectShown(publicData, "index.htm");
    for (const bool newEntity : {true, false}) {
        TFrmRequest request(&form, nullptr, &publicData);
        request.NewEntity = newEntity;
        inWindow(&request);
        ExpectShown(publicData, newEntity ? "newentity.htm" : "request.htm");
    }
    TForm1Questions ask(form);
    inNextModal();
    ask.AskPassword(KeyFilePwd::pmNewPassword, {});
    ExpectShown(publicData, "pwd.htm");
    inWindow(form.MakeBackupDialog().get());
    ExpectShown(publicData, "backup.htm");
    {
        TFrmContrato::Setup setup;
        setup.AgreementFile = QUORVEX_APP_DIR "ConvEmpr.rtf";
        setup.DataDir = dir;
        setup.ProgramDir = QUORVEX_APP_DIR;
        setup.LoadEntity = [] { return TUserData(); };
        setup.Help = &publicData;
        TFrmContrato agreement(setup, &form);
        inWindow(&agreement);
        ExpectShown(publicData, "agreement.htm");
        agreement.ButtonHelp->click();
        ExpectShown(publicData, "agreement.htm");
    }
    {
        TFrmAbout about(&form);
        inWindow(&about);
        ExpectShown(publicData, "index.htm");
    }
    {
        ProgramPaths paths(dir, dir);
        RemovableMediaDialog media(paths, &form);
        inWindow(&media);
        ExpectShown(publicData, "media.htm");
    }
    FindNamed<QAction>(form, "RequestOverview")->trigger();
    auto* overview = form.findChild<EntityOverviewDialog*>();
    ASSERT_NE(overview, nullptr);
    inWindow(overview);
    ExpectShown(publicData, "overview.htm");
    inNextModal();
    FindNamed<TDialog>(form, "Dlg")->SetDialogButtons(dtYesNo);
    FindNamed<TDialog>(form, "Dlg")->Confirm(QStringLiteral("Pergunta?"));
    ExpectShown(publicData, "messages.htm");
    // The file dialogs that the steps share: the page of the step asking.
    inNextModal();
    std::string chosen;
    EXPECT_FALSE(ask.ChooseSaveFile({Texts::ExportTitle, Texts::ExportFilter, {}, {}}, chosen));
    ExpectShown(publicData, "export.htm");
    KeyboardRules::Install(nullptr);
}

// The backup dialog's "Ajuda" as the menu opens it (modal), with the help
// window already open from the main window: the page shows and takes
// clicks while the dialog is open. With QUORVEX_SCREENSHOT_DIR set (run it
// under a virtual X screen) a PNG of the screen is saved there.
TEST(HelpEntryPoints, TheBackupDialogsHelpWorksOverTheOpenDialog)
{
    ProgramFolder folder;
    QTemporaryDir data;
    const std::string dir = data.path().toStdString() + "/";
    TPublicData publicData(folder.Dir());
    TForm1 form(ProgramPaths(dir, dir), TestKit(), &publicData);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    FindNamed<QAction>(form, "HelpTopics")->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(publicData.HelpWin->Form()));

    bool shown = false;
    bool clicked = false;
    AnswerNextModal([&](QWidget* dialog) {
        auto* backup = qobject_cast<TFrmBackup*>(dialog);
        ASSERT_NE(backup, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(backup));
        // Through the window system, as the mouse presses it.
        QTest::mouseClick(backup->windowHandle(), Qt::LeftButton, {},
                          backup->ButtonHelp->mapTo(backup, backup->ButtonHelp->rect().center()));
        TFrmHelp* help = publicData.HelpWin->Form();
        shown = QTest::qWaitForWindowExposed(help) && publicData.HelpWin->CurrentTopic() == "backup.htm"
                && help->HTMLView->toPlainText().trimmed() == QStringLiteral("Pagina backup");
        QTest::qWait(100);
        if (const QByteArray outDir = qgetenv("QUORVEX_SCREENSHOT_DIR"); !outDir.isEmpty())
            help->screen()->grabWindow(0).save(QString::fromLocal8Bit(outDir) + QStringLiteral("/backup-help.png"));
        QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {}, help->TopicButton->mapTo(help, QPoint(20, 10)));
        clicked = publicData.HelpWin->CurrentTopic() == QStringLiteral("index.htm");
        static_cast<QDialog*>(dialog)->reject();
    });
    FindNamed<QAction>(form, "FileBackup")->trigger();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(clicked) << "the help window was blocked by the dialog";
    publicData.HelpWin->SetVisible(false);
}
