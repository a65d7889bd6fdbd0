// Every place that offers help opens the program's help viewer at its page:
// the main window's two help actions, the request form's help button in
// both modes, the password dialog's and the backup dialog's, each as the
// main window opens it.
#include "app/EntityOverviewDialog.h"
#include "app/TForm1.h"
#include "app/TForm1Questions.h"
#include "backup/TFrmBackup.h"
#include "base/ProgramPaths.h"
#include "crypto/TFrmPwd.h"
#include "help/TFrmHelp.h"
#include "help/THelp.h"
#include "help/TPublicData.h"
#include "store/TFrmRequest.h"
#include "support/ModalAnswerer.h"
#include "support/TestKit.h"
#include "support/ZipMaker.h"
#include "ui/HtmlView.h"

#include <QAction>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

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
        for (const char* topic : {"index", "how", "newentity", "request", "pwd", "backup", "overview"})
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

    form.HelpTopics->trigger();
    ExpectShown(publicData, "index.htm");
    form.HelpHow->trigger();
    ExpectShown(publicData, "how.htm");

    AnswerNextModal(HelpThenCancel);
    form.RequestAdd->trigger();
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

    form.RequestOverview->trigger();
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
