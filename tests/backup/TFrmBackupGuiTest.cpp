// The backup dialog driven as a user drives it: file dialogs answered with a
// chosen file, message boxes with a button, the main window looked at after.
#include "backup/TFrmBackup.h"

#include "ArchiveBuilder.h"
#include "app/SampleData.h"
#include "app/TForm1.h"
#include "backup/RestoreSafety.h"
#include "support/ModalAnswerer.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <random>

namespace fs = std::filesystem;
using sample::State;

namespace {

// Answers every modal window that appears, in order, from a queue; records
// what each said. One that nobody expected is closed (and noted) so that a
// test fails instead of hanging.
class Answers {
public:
    using Answer = std::function<void(QWidget*)>;
    Answers()
    {
        timer_.setInterval(15);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start();
    }
    void Add(Answer a) { queue_.push_back(std::move(a)); }
    // A modal window that stays open underneath the questions to answer
    // (a dialog run by exec) is left alone once named here.
    void Ignore(const QString& objectName) { ignored_.push_back(objectName); }
    std::vector<std::string> Seen;
    int Unexpected = 0;
    bool Done() const { return queue_.empty(); }

    static Answer Click(const QString& button)
    {
        return [button](QWidget* w) { EXPECT_TRUE(testsupport::ClickButton(w, button)) << button.toStdString(); };
    }
    static Answer Choose(const std::string& path)
    {
        return [path](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(d, nullptr);
            // Typed as a user types it: the whole path in the name field, then
            // the dialog's own accept (what its button and Enter do).
            auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(edit, nullptr);
            edit->setText(QString::fromStdString(path));
            static_cast<QDialog*>(d)->accept();
            EXPECT_FALSE(d->isVisible()) << path;
        };
    }
    static Answer Dismiss()
    {
        return [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); };
    }

private:
    void Tick()
    {
        QWidget* m = QApplication::activeModalWidget();
        if (!m || !m->isVisible() || ignored_.contains(m->objectName()))
            return;
        if (auto* box = qobject_cast<QMessageBox*>(m))
            Seen.push_back(box->text().toStdString());
        else if (auto* d = qobject_cast<QFileDialog*>(m))
            Seen.push_back("file dialog " + d->objectName().toStdString());
        else
            Seen.push_back("window " + m->objectName().toStdString());
        if (queue_.empty()) {
            ++Unexpected;
            if (auto* d = qobject_cast<QDialog*>(m))
                d->reject();
            else
                m->close();
            return;
        }
        Answer a = std::move(queue_.front());
        queue_.pop_front();
        a(m);
    }
    QTimer timer_;
    std::deque<Answer> queue_;
    QStringList ignored_;
};

class BackupDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qApp->setQuitOnLastWindowClosed(false);
        root = tmp.Path();
        app = root / "app";
        fs::create_directories(app / "Backup");
        dir = app.string() + "/";
        sample::Write(dir, {sample::Make("Alfa Ltda", "11222333000181", State::Created, 1),
                            sample::Make("Beta SA", "22333444000155", State::Sent, 10),
                            sample::Make("Gama ME", "33444555000177", State::Filled)});
        unsetenv("QUORVEX_DRIVE_A");
    }

    std::map<std::string, std::string> DataFiles() const
    {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(app))
            if (e.is_regular_file() && !IsKeptByRestore(e.path()))
                files[e.path().filename().string()] = sample::ReadFile(e.path());
        return files;
    }
    // What a restore leaves beside the data: the safety archive of what it
    // replaced, and the notice that tells the next start where it is.
    static bool IsKeptByRestore(const fs::path& p)
    {
        const std::string name = p.filename().string();
        return name.rfind(SafetyPrefix, 0) == 0 || name == RestoreSafety::NoticeFileName;
    }
    std::vector<fs::path> SafetyArchives() const
    {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(app))
            if (e.path().filename().string().rfind(SafetyPrefix, 0) == 0)
                found.push_back(e.path());
        return found;
    }
    static constexpr const char* SafetyPrefix = "dados-antes-da-restauracao-";

    testsupport::TempFolder tmp{"qvfrmbk"};
    fs::path root, app;
    std::string dir;
};

TEST_F(BackupDialogTest, BacksUpThreeEntitiesAndRestoresThemWithARestart)
{
    TForm1 form(dir);
    form.show();
    auto dialog = form.MakeBackupDialog();
    TFrmBackup& frm = *dialog;
    EXPECT_EQ(frm.windowTitle(), QString::fromUtf8("Cópia de Segurança"));
    EXPECT_FALSE(frm.ButtonOK->isEnabled());

    Answers answers;
    const std::string archive = (app / "Backup" / "copia").string();
    answers.Add(Answers::Choose(archive));
    frm.btnBrowseClick();
    EXPECT_EQ(frm.BackupDestination, archive + ".bkp");
    EXPECT_EQ(frm.edtPath->text().toStdString(), archive + ".bkp");
    EXPECT_TRUE(frm.ButtonOK->isEnabled());

    answers.Add(Answers::Click("OK"));
    frm.ButtonOKClick();
    ASSERT_TRUE(fs::exists(archive + ".bkp"));
    EXPECT_FALSE(fs::exists(archive + ".002")); // not a diskette: one volume
    // The storage files were stamped before they were copied.
    const auto before = DataFiles();
    ASSERT_EQ(before.size(), 4u);
    for (int n = 1; n <= 3; ++n)
        EXPECT_NE(before.at("STORAGE." + std::to_string(n) + ".DAT").find("[Fingerprint]\r\nValue="), std::string::npos)
            << n;
    EXPECT_FALSE(frm.ProgressBar1->isVisible());
    EXPECT_TRUE(frm.lblFile->text().isEmpty());

    // The data change after the copy: one file edited, one removed, one added.
    sample::WriteFile(app / "STORAGE.1.DAT", "[General]\r\nRequest=9\r\n");
    fs::remove(app / "STORAGE.2.DAT");
    sample::WriteFile(app / "STORAGE.4.DAT", "[General]\r\n");

    const auto current = DataFiles();
    answers.Add(Answers::Choose(archive + ".bkp"));
    frm.TabControl1->setCurrentIndex(1);
    EXPECT_EQ(frm.RestoreSource, archive + ".bkp");
    EXPECT_EQ(frm.lblCommentText->text(), QString::fromUtf8("Informe o caminho de origem da cópia de segurança."));

    answers.Add(Answers::Click("Sim")); // replace the current data
    answers.Add(Answers::Click("OK"));  // restored
    answers.Add(Answers::Click("OK"));  // restart notice
    frm.ButtonOKClick();

    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(answers.Unexpected, 0);
    ASSERT_EQ(answers.Seen.size(), 6u);
    EXPECT_EQ(answers.Seen[1], "Back Up realizado com sucesso !");
    EXPECT_EQ(answers.Seen[3], "A restauração substituirá os dados atuais: 3 entidades e 4 certificados. Antes, os "
                               "dados atuais serão guardados numa cópia de segurança na pasta de dados. Deseja "
                               "continuar?");
    EXPECT_EQ(answers.Seen[4], "Back Up restaurado com sucesso !");
    EXPECT_EQ(answers.Seen[5], "O cliente de certificação será reiniciado para que a restauração dos dados surta "
                               "efeito. \r\nCaso o aplicativo não reinicie automaticamente, o faça manualmente.");
    // The restart: flags set, main window closed.
    EXPECT_NE(form.RestoredFlag(), 0);
    EXPECT_EQ(form.RestartFlag(), 1);
    EXPECT_FALSE(form.isVisible());
    // Every archived file is back under its own name; the newer one stays.
    auto after = DataFiles();
    EXPECT_EQ(after.at("STORAGE.4.DAT"), "[General]\r\n");
    after.erase("STORAGE.4.DAT");
    EXPECT_EQ(after, before);

    // The data replaced wait in one safety archive in the data folder, the
    // user's alone, named for the next start; restored, it brings them back
    // (the file the restored registry no longer lists among them).
    const auto kept = SafetyArchives();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(frm.SafetyArchive, kept[0].string());
    EXPECT_EQ(fs::status(kept[0]).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(RestoreSafety::TakeNotice(dir), kept[0].string());
    EXPECT_FALSE(fs::exists(app / RestoreSafety::NoticeFileName));
    const fs::path back = root / "back";
    fs::create_directories(back);
    TBackupFile undo;
    undo.RestoreAllOrNothing = true;
    ASSERT_TRUE(undo.Restore(kept[0].string(), back.string()));
    std::map<std::string, std::string> undone;
    for (const auto& e : fs::directory_iterator(back))
        undone[e.path().filename().string()] = sample::ReadFile(e.path());
    EXPECT_EQ(undone, current);
}

// Before anything is replaced the restore asks; No, Escape and Enter keep
// the data as they are, with no safety archive and no restart.
TEST_F(BackupDialogTest, ARestoreThatIsNotConfirmedChangesNothing)
{
    Builder a;
    a.Header(30, 1).Entry("c:\\q\\entity.dat").RawChunk("[General]\r\nCount=0\r\n").Int(0).Int(0);
    const std::string other = (app / "Backup" / "other.bkp").string();
    sample::WriteFile(other, a.b);
    const std::vector<std::pair<const char*, Answers::Answer>> refusals = {
        {"No", Answers::Click(QString::fromUtf8("Não"))},
        {"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }},
        {"Enter", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }},
    };
    for (const auto& [how, refuse] : refusals) {
        SCOPED_TRACE(how);
        TForm1 form(dir);
        const auto before = DataFiles();
        auto dialog = form.MakeBackupDialog();
        TFrmBackup& frm = *dialog;
        Answers answers;
        answers.Add(Answers::Choose(other));
        frm.TabControl1->setCurrentIndex(1);
        answers.Add(refuse);
        frm.ButtonOKClick();
        EXPECT_TRUE(answers.Done());
        EXPECT_EQ(answers.Unexpected, 0);
        ASSERT_EQ(answers.Seen.size(), 2u);
        EXPECT_EQ(answers.Seen[1].rfind("A restauração substituirá os dados atuais: 3 entidades e 4 certificados.", 0),
                  0u);
        EXPECT_EQ(form.RestoredFlag(), 0);
        EXPECT_EQ(form.RestartFlag(), 0);
        EXPECT_EQ(DataFiles(), before);
        EXPECT_TRUE(SafetyArchives().empty());
        EXPECT_FALSE(fs::exists(app / RestoreSafety::NoticeFileName));
    }
}

TEST_F(BackupDialogTest, TabsPathAndOverwriteQuestion)
{
    TForm1 form(dir);
    auto dialog = form.MakeBackupDialog();
    TFrmBackup& frm = *dialog;
    EXPECT_FALSE(frm.edtName->isVisibleTo(&frm));
    EXPECT_FALSE(frm.lblName->isVisibleTo(&frm));
    EXPECT_EQ(frm.TabControl1->count(), 2);
    EXPECT_EQ(frm.TabControl1->tabText(0).remove(QLatin1Char('&')), "Copiar");
    EXPECT_EQ(frm.TabControl1->tabText(1).remove(QLatin1Char('&')), "Restaurar");
    EXPECT_EQ(frm.lblCommentText->text(), QString::fromUtf8("Informe o caminho de destino para a cópia de segurança."));

    Answers answers;
    // Restaurar, then cancel the choice: OK stays disabled.
    answers.Add(Answers::Dismiss());
    frm.TabControl1->setCurrentIndex(1);
    EXPECT_FALSE(frm.ButtonOK->isEnabled());
    EXPECT_TRUE(frm.RestoreSource.empty());
    frm.TabControl1->setCurrentIndex(0);
    EXPECT_EQ(frm.lblCommentText->text(), QString::fromUtf8("Informe o caminho de destino para a cópia de segurança."));

    // ".BKP" anywhere in the name: nothing appended.
    const std::string old = (app / "Backup" / "copia.BKP.old").string();
    answers.Add(Answers::Choose(old));
    frm.btnBrowseClick();
    EXPECT_EQ(frm.BackupDestination, old);

    // An existing archive: "No" offers the choice again, cancelling it
    // changes nothing.
    const std::string existing = (app / "Backup" / "velha.bkp").string();
    sample::WriteFile(existing, "old archive");
    answers.Add(Answers::Choose(existing));
    answers.Add(Answers::Click(QString::fromUtf8("Não")));
    answers.Add(Answers::Dismiss());
    frm.btnBrowseClick();
    EXPECT_EQ(frm.BackupDestination, old);
    // "Cancelar" ends at once.
    answers.Add(Answers::Choose(existing));
    answers.Add(Answers::Click("Cancelar"));
    frm.btnBrowseClick();
    EXPECT_EQ(frm.BackupDestination, old);
    // Enter, pressed by habit, answers "Não".
    answers.Add(Answers::Choose(existing));
    answers.Add(testsupport::PressEnter);
    answers.Add(Answers::Dismiss());
    frm.btnBrowseClick();
    EXPECT_EQ(frm.BackupDestination, old);
    // "Sim" takes it. The implicit extension is asked about too.
    answers.Add(Answers::Choose((app / "Backup" / "velha").string()));
    answers.Add(Answers::Click("Sim"));
    frm.btnBrowseClick();
    EXPECT_EQ(frm.BackupDestination, existing);
    // The path shown is the one the copy writes: typing cannot change it.
    QTest::keyClicks(frm.edtPath, QStringLiteral("/outra/pasta"));
    EXPECT_EQ(frm.edtPath->text().toStdString(), existing);
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(answers.Unexpected, 0);
    int questions = 0;
    for (const auto& s : answers.Seen)
        questions += s == "Arquivo já existe. Deseja sobrescrever ?";
    EXPECT_EQ(questions, 4);
    EXPECT_EQ(sample::ReadFile(existing), "old archive"); // choosing writes nothing yet
}

TEST_F(BackupDialogTest, UnreadableArchiveShowsTheErrorAndDoesNotRestart)
{
    TForm1 form(dir);
    auto dialog = form.MakeBackupDialog();
    TFrmBackup& frm = *dialog;
    const std::string bad = (app / "Backup" / "bad.bkp").string();
    sample::WriteFile(bad, "xy");
    const auto before = DataFiles();
    Answers answers;
    answers.Add(Answers::Choose(bad));
    frm.TabControl1->setCurrentIndex(1);
    answers.Add(Answers::Click("Sim"));
    answers.Add(Answers::Click("OK"));
    answers.Add(Answers::Click("OK")); // where the current data were kept
    frm.ButtonOKClick();
    ASSERT_EQ(answers.Seen.size(), 4u);
    EXPECT_EQ(answers.Seen[2], "Cannot read archive");
    // No restart follows to tell it: it is told now.
    ASSERT_EQ(SafetyArchives().size(), 1u);
    EXPECT_EQ(answers.Seen[3], "Os dados que havia antes da restauração foram guardados em:\n"
                                   + SafetyArchives()[0].string()
                                   + "\nPara voltar a eles, restaure essa cópia de segurança.");
    EXPECT_FALSE(fs::exists(app / RestoreSafety::NoticeFileName));
    EXPECT_EQ(answers.Unexpected, 0);
    EXPECT_EQ(form.RestoredFlag(), 0);
    EXPECT_EQ(form.RestartFlag(), 0);
    EXPECT_EQ(DataFiles(), before);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(BackupDialogTest, DamagedArchiveFailsButStillRestarts)
{
    TForm1 form(dir);
    auto dialog = form.MakeBackupDialog();
    TFrmBackup& frm = *dialog;
    // A header, then an entry whose chunk is no zlib stream.
    std::string bytes("\0\0\0\0\x05\0\0\0\x01\0\0\0\x0a\0\0\0entity.dat\0\0\0\0EC2\0\x05\0\0\0abcde\0\0\0\0\0\0\0\0",
                      51);
    const std::string bad = (app / "Backup" / "damaged.bkp").string();
    sample::WriteFile(bad, bytes);
    const auto before = DataFiles();
    Answers answers;
    answers.Add(Answers::Choose(bad));
    frm.TabControl1->setCurrentIndex(1);
    answers.Add(Answers::Click("Sim"));
    answers.Add(Answers::Click("OK")); // the component's own error
    answers.Add(Answers::Click("OK")); // failure
    answers.Add(Answers::Click("OK")); // restart notice
    frm.ButtonOKClick();
    ASSERT_EQ(answers.Seen.size(), 5u);
    EXPECT_EQ(answers.Seen[2], "Compression error");
    EXPECT_EQ(answers.Seen[3], "ERRO na restauração de seu BackUp !");
    // The restart tells where the safety archive is.
    EXPECT_FALSE(RestoreSafety::TakeNotice(dir).empty());
    // The registry was not cut short by the damaged entry.
    EXPECT_EQ(DataFiles(), before);
    EXPECT_EQ(form.RestoredFlag(), 1);
    EXPECT_EQ(form.RestartFlag(), 1);
}

TEST_F(BackupDialogTest, EmptyDestinationReportsTheArchiveErrorThenTheFailure)
{
    TForm1 form(dir);
    auto dialog = form.MakeBackupDialog();
    TFrmBackup& frm = *dialog;
    sample::WriteFile(app / "Backup" / "any.bkp", "x");
    Answers answers;
    answers.Add(Answers::Choose((app / "Backup" / "any.bkp").string()));
    frm.TabControl1->setCurrentIndex(1);
    frm.TabControl1->setCurrentIndex(0);
    EXPECT_TRUE(frm.ButtonOK->isEnabled());
    answers.Add(Answers::Click("OK"));
    answers.Add(Answers::Click("OK"));
    frm.ButtonOKClick();
    ASSERT_EQ(answers.Seen.size(), 3u);
    EXPECT_EQ(answers.Seen[1], "Cannot write to archive");
    EXPECT_EQ(answers.Seen[2], "Erro ao gravar arquivo em disco !");
}

TEST_F(BackupDialogTest, DisketteGetsVolumesAndAsksForTheNextDisk)
{
    const fs::path drive = root / "floppy";
    fs::create_directories(drive);
    setenv("QUORVEX_DRIVE_A", drive.c_str(), 1);
    // A storage file too big for one diskette.
    std::mt19937 rng(3);
    std::string big(1'600'000, '\0');
    for (auto& c : big)
        c = static_cast<char>(rng());
    sample::WriteFile(app / "STORAGE.9.DAT", big);

    TForm1 form(dir);
    auto dialog = form.MakeBackupDialog();
    TFrmBackup& frm = *dialog;
    Answers answers;
    answers.Add(Answers::Choose((drive / "copia").string()));
    frm.btnBrowseClick();
    answers.Add(Answers::Click("OK")); // insert disk 2
    answers.Add(Answers::Click("OK")); // done
    frm.ButtonOKClick();
    unsetenv("QUORVEX_DRIVE_A");
    ASSERT_EQ(answers.Seen.size(), 3u);
    EXPECT_EQ(answers.Seen[1], "Please insert disk 2 and click OK to continue.");
    EXPECT_EQ(answers.Seen[2], "Back Up realizado com sucesso !");
    EXPECT_TRUE(fs::exists(drive / "copia.002"));
    EXPECT_LE(fs::file_size(drive / "copia.bkp"), 1400000u);

    // Restoring asks for disk 2 again, in the same words.
    fs::remove(app / "STORAGE.9.DAT");
    answers.Add(Answers::Choose((drive / "copia.bkp").string()));
    frm.TabControl1->setCurrentIndex(1);
    answers.Add(Answers::Click("Sim"));
    answers.Add(Answers::Click("OK")); // insert disk 2
    answers.Add(Answers::Click("OK")); // restored
    answers.Add(Answers::Click("OK")); // restart
    frm.ButtonOKClick();
    EXPECT_EQ(answers.Seen[5], "Please insert disk 2 and click OK to continue.");
    EXPECT_EQ(answers.Seen[6], "Back Up restaurado com sucesso !");
    EXPECT_TRUE(sample::ReadFile(app / "STORAGE.9.DAT") == big);
}

TEST_F(BackupDialogTest, ClicksDuringABackupDoNotStartAnotherOne)
{
    // Enough data for many progress steps, during which the dialog's events run.
    std::mt19937 rng(5);
    std::string big(3'000'000, '\0');
    for (auto& c : big)
        c = static_cast<char>(rng());
    sample::WriteFile(app / "STORAGE.9.DAT", big);

    TForm1 form(dir);
    auto dialog = form.MakeBackupDialog();
    TFrmBackup& frm = *dialog;
    Answers answers;
    const std::string archive = (app / "Backup" / "copia.bkp").string();
    answers.Add(Answers::Choose(archive));
    frm.btnBrowseClick();
    ASSERT_TRUE(frm.ButtonOK->isEnabled());

    // The user clicks OK, "..." and the other tab again while the copy runs.
    int clicks = 0;
    QTimer impatient;
    impatient.setInterval(0);
    QObject::connect(&impatient, &QTimer::timeout, [&] {
        if (frm.ProgressBar1->isHidden() || clicks > 0)
            return;
        ++clicks;
        frm.ButtonOK->click();
        frm.btnBrowse->click();
        // A tab can be clicked only while its bar takes input.
        if (frm.TabControl1->isEnabled())
            frm.TabControl1->setCurrentIndex(1);
    });
    impatient.start();
    answers.Add(Answers::Click("OK")); // done
    frm.ButtonOKClick();
    impatient.stop();

    EXPECT_EQ(clicks, 1) << "the clicks came while the copy ran";
    EXPECT_EQ(answers.Unexpected, 0);
    ASSERT_EQ(answers.Seen.size(), 2u);
    EXPECT_EQ(answers.Seen[1], "Back Up realizado com sucesso !");
    EXPECT_EQ(frm.TabControl1->currentIndex(), 0);
    EXPECT_EQ(frm.BackupDestination, archive);
    EXPECT_TRUE(frm.ButtonOK->isEnabled()) << "usable again afterwards";
    EXPECT_TRUE(frm.btnBrowse->isEnabled());
    EXPECT_TRUE(frm.TabControl1->isEnabled());

    // The one archive written holds the data whole.
    fs::remove(app / "STORAGE.9.DAT");
    answers.Add(Answers::Choose(archive));
    frm.TabControl1->setCurrentIndex(1);
    answers.Add(Answers::Click("Sim"));
    answers.Add(Answers::Click("OK")); // restored
    answers.Add(Answers::Click("OK")); // restart
    frm.ButtonOKClick();
    ASSERT_GE(answers.Seen.size(), 5u);
    EXPECT_EQ(answers.Seen[4], "Back Up restaurado com sucesso !");
    EXPECT_TRUE(sample::ReadFile(app / "STORAGE.9.DAT") == big);
}

TEST_F(BackupDialogTest, BackupActionOfTheMainWindowOpensTheDialog)
{
    TForm1 form(dir);
    Answers answers;
    answers.Add([](QWidget* w) {
        EXPECT_EQ(w->objectName(), "FrmBackup");
        EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Cópia de Segurança"));
        testsupport::ClickButton(w, "Cancelar");
    });
    form.FileBackupExecute();
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(form.RestoredFlag(), 0);
}

// A storage file read whole, then an archive that turns out damaged: the
// storage file of the archive never goes in without the rest (a registry
// and storage files of two different copies would pair entities with keys
// that are not theirs). An archive that raised having replaced nothing
// needs no restart, as one whose header cannot be read.
TEST_F(BackupDialogTest, RestoreThatFailsAfterAFileWasReadReplacesNothing)
{
    const auto before = DataFiles();
    // The storage file is read whole; then the file-ID list, which is only
    // skipped, turns out damaged and the archive component raises.
    Builder a;
    a.Header(30, 1).Entry("c:\\q\\storage.1.dat").RawChunk("restored storage").Int(0);
    a.Str("FILE:LIST").Int(0).Raw("XYZ\0").Int(0).Int(0);
    const std::string bad = (app / "Backup" / "half.bkp").string();
    sample::WriteFile(bad, a.b);
    {
        TForm1 form(dir);
        auto dialog = form.MakeBackupDialog();
        TFrmBackup& frm = *dialog;
        Answers answers;
        answers.Add(Answers::Choose(bad));
        frm.TabControl1->setCurrentIndex(1);
        answers.Add(Answers::Click("Sim"));
        answers.Add(Answers::Click("OK")); // the component's error
        answers.Add(Answers::Click("OK")); // where the current data were kept
        frm.ButtonOKClick();
        ASSERT_EQ(answers.Seen.size(), 4u);
        EXPECT_EQ(answers.Seen[2], "Invalid archive type");
        EXPECT_NE(answers.Seen.back(), "ERRO na restauração de seu BackUp !");
        EXPECT_EQ(answers.Unexpected, 0);
        EXPECT_EQ(form.RestoredFlag(), 0);
        EXPECT_EQ(form.RestartFlag(), 0);
        EXPECT_EQ(DataFiles(), before);
    }
    // The client's own shutdown then saved its data as always.
    EXPECT_NE(sample::ReadFile(app / "STORAGE.1.DAT").find("Certificado 1"), std::string::npos);
}

TEST_F(BackupDialogTest, TheClientRestoresOnlyItsDataFiles)
{
    // The program's own files, beside the data as in an unpacked copy.
    const std::map<std::string, std::string> program = {{"reinit", "#!/bin/sh\nexec ./quorvex\n"},
                                                        {"quorvex", "the client"},
                                                        {"libquorvexkit.so", "the kit"},
                                                        {"HELP.DAT", "the help"}};
    for (const auto& [name, bytes] : program)
        sample::WriteFile(app / name, bytes);
    const std::string storage1 = sample::ReadFile(app / "STORAGE.1.DAT");
    const std::string storage3 = sample::ReadFile(app / "STORAGE.3.DAT");
    const std::vector<std::string> refused = {"c:\\quorvex\\reinit",           "c:\\quorvex\\QUORVEX",
                                              "c:\\quorvex\\libquorvexkit.so", "c:\\quorvex\\help.dat",
                                              "c:\\quorvex\\storage.01.dat",   "c:\\quorvex\\\x1b[2Jstorage.3.dat"};
    Builder a;
    a.Header(100, 8);
    for (const auto& name : refused)
        a.Entry(name).RawChunk("#!/bin/sh\necho owned\n").Int(0);
    a.Entry("c:\\quorvex\\entity.dat").RawChunk("[General]\r\nCount=0\r\n").Int(0);
    a.Entry("c:\\quorvex\\storage.2.dat").RawChunk("restored storage 2").Int(0);
    a.Int(0);
    const std::string archive = (app / "Backup" / "hostile.bkp").string();
    sample::WriteFile(archive, a.b);

    TForm1 form(dir);
    form.show();
    Answers answers;
    // The menu action's dialog: the user picks "Restaurar", then OK.
    answers.Add([&answers](QWidget* w) {
        auto* frm = qobject_cast<TFrmBackup*>(w);
        ASSERT_NE(frm, nullptr);
        answers.Ignore(frm->objectName());
        QTimer::singleShot(0, frm, [frm] {
            frm->TabControl1->setCurrentIndex(1);
            frm->ButtonOK->click();
        });
    });
    answers.Add(Answers::Choose(archive));
    answers.Add(Answers::Click("Sim"));
    answers.Add(Answers::Click("OK")); // what was left out
    answers.Add(Answers::Click("OK")); // restored
    answers.Add(Answers::Click("OK")); // restart notice
    form.FileBackupExecute();

    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(answers.Unexpected, 0);
    ASSERT_EQ(answers.Seen.size(), 6u);
    std::string skipped = "Os itens abaixo da cópia de segurança não são arquivos de dados do cliente de certificação "
                          "e não foram restaurados:";
    for (const auto& name :
         {"c:\\quorvex\\reinit", "c:\\quorvex\\QUORVEX", "c:\\quorvex\\libquorvexkit.so", "c:\\quorvex\\help.dat",
          "c:\\quorvex\\storage.01.dat", "c:\\quorvex\\\\x1b[2Jstorage.3.dat"})
        skipped += std::string("\r\n") + name;
    EXPECT_EQ(answers.Seen[3], skipped);
    EXPECT_EQ(answers.Seen[4], "Back Up restaurado com sucesso !");
    EXPECT_EQ(form.RestoredFlag(), 1);
    EXPECT_EQ(form.RestartFlag(), 1);

    // The program's files are byte for byte as before; only the data files
    // named in the archive were replaced, under their own names.
    for (const auto& [name, bytes] : program)
        EXPECT_EQ(sample::ReadFile(app / name), bytes) << name;
    EXPECT_EQ(sample::ReadFile(app / "ENTITY.DAT"), "[General]\r\nCount=0\r\n");
    EXPECT_EQ(sample::ReadFile(app / "STORAGE.2.DAT"), "restored storage 2");
    EXPECT_EQ(sample::ReadFile(app / "STORAGE.1.DAT"), storage1);
    EXPECT_EQ(sample::ReadFile(app / "STORAGE.3.DAT"), storage3);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(app))
        if (e.is_regular_file() && !IsKeptByRestore(e.path()))
            files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"ENTITY.DAT", "HELP.DAT", "STORAGE.1.DAT", "STORAGE.2.DAT",
                                               "STORAGE.3.DAT", "libquorvexkit.so", "quorvex", "reinit"}));
}

} // namespace
