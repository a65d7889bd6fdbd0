// The program's start around the main window: one client per data folder,
// a restore that a crash cut short, and the notice about data files that
// were found damaged.
#include "app/ProgramStart.h"
#include "app/SampleData.h"
#include "app/TForm1.h"
#include "base/InstanceLock.h"
#include "base/ProgramPaths.h"
#include "base/ReplaceJournal.h"
#include "support/ModalAnswerer.h"
#include "support/ProcessFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace testsupport;

namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

// A second client on a folder that a running client holds says so and ends
// before anything is written; once the first has gone, the folder is free.
TEST(ProgramStart, ASecondClientOnTheSameDataFolderStopsWithoutWriting)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string dir = tmp.path().toStdString() + "/";
    const ProgramPaths paths(dir, dir);

    InstanceLock running;
    ASSERT_EQ(running.Acquire(dir), InstanceLock::Result::Acquired);
    QString shown;
    AnswerNextModal([&](QWidget* dialog) {
        shown = DialogText(dialog);
        ClickButton(dialog, QStringLiteral("OK"));
    });
    InstanceLock second;
    EXPECT_FALSE(ClaimDataFolder(paths, second));
    EXPECT_TRUE(shown.contains(U("O Cliente de Certificação Quorvex já está em execução com esta pasta de dados. "
                                 "Use a janela que já está aberta.")))
        << shown.toStdString();
    // Nothing but the lock file is in the folder.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{InstanceLock::FileName});

    running.Release();
    EXPECT_TRUE(ClaimDataFolder(paths, second));
    EXPECT_TRUE(second.Held());
}

// A storage file with a NUL in it: the start sets its original aside and the
// user is told once which file it was and where the copy is.
TEST(ProgramStart, DamagedDataFilesAreReportedOnceWithTheirCopies)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string dir = tmp.path().toStdString() + "/";
    sample::Write(dir, {sample::Make("Alfa", "11222333000181", sample::State::Created)});
    const std::string storage = dir + "STORAGE.1.DAT";
    const std::string original = sample::ReadFile(storage) + std::string(1, '\0') + "[{LOST}]\r\nName=x\r\n";
    sample::WriteFile(storage, original);

    QString shown;
    {
        TForm1 form(dir);
        AnswerNextModal([&](QWidget* dialog) {
            shown = DialogText(dialog);
            ClickButton(dialog, QStringLiteral("OK"));
        });
        ReportDamagedFiles(form);
    }
    std::string copy;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind("STORAGE.1.DAT.danificado-", 0) == 0)
            copy = entry.path().string();
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(sample::ReadFile(copy), original);
    EXPECT_TRUE(shown.contains(U("O arquivo de dados ") + QString::fromStdString(storage)
                               + U(" estava danificado: a leitura parou antes do fim do arquivo")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromStdString(copy))) << shown.toStdString();

    // The next start finds the file whole: nothing to tell.
    TForm1 again(dir);
    bool asked = false;
    AnswerNextModal(
        [&](QWidget* dialog) {
            asked = true;
            ClickButton(dialog, QStringLiteral("OK"));
        },
        300);
    ReportDamagedFiles(again);
    QTest::qWait(400);
    EXPECT_FALSE(asked);
}

// A restore killed after its first rename: the start finishes it before
// anything is cleared, and the folder opens with the archive's files. One
// that cannot be finished (a folder stands where its file goes) keeps the
// client closed, says so, and leaves every file for the next try.
TEST(ProgramStart, ARestoreCutShortIsFinishedOrTheFolderIsNotOpened)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string dir = tmp.path().toStdString() + "/";
    const ProgramPaths paths(dir, dir);
    const auto staged = [&](const std::string& Name) {
        return dir + "." + Name + "." + std::to_string(testsupport::DeadPid()) + ".0123456789abcdef.tmp";
    };
    sample::Write(dir, {sample::Make("Antiga", "11222333000181", sample::State::Created)});
    const std::string registry = sample::ReadFile(dir + "ENTITY.DAT");
    const std::string storage = sample::ReadFile(dir + "STORAGE.1.DAT");
    std::string restored = storage;
    restored.replace(restored.find("Antiga"), 6, "/Nova/");
    // ENTITY.DAT went in already (the same registry here); STORAGE.1.DAT
    // still waits under its temporary name.
    const std::vector<ReplaceJournal::Entry> entries = {{staged("ENTITY.DAT"), dir + "ENTITY.DAT", ""},
                                                        {staged("STORAGE.1.DAT"), dir + "STORAGE.1.DAT", ""}};
    sample::WriteFile(entries[1].Staged, restored);
    ASSERT_EQ(ReplaceJournal::Write(dir, entries, ReplaceJournal::Direction::Forward, false, FileSystem::Real()), 0);
    EXPECT_TRUE(PrepareDataFolder(paths));
    EXPECT_EQ(sample::ReadFile(dir + "ENTITY.DAT"), registry);
    EXPECT_EQ(sample::ReadFile(dir + "STORAGE.1.DAT"), restored);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ENTITY.DAT", "STORAGE.1.DAT"}));

    // STORAGE.2.DAT cannot be renamed in: a folder stands under its name.
    const std::string waiting = staged("STORAGE.2.DAT");
    sample::WriteFile(waiting, restored);
    std::filesystem::create_directories(dir + "STORAGE.2.DAT/inside");
    ASSERT_EQ(ReplaceJournal::Write(dir, {{waiting, dir + "STORAGE.2.DAT", ""}}, ReplaceJournal::Direction::Forward,
                                    false, FileSystem::Real()),
              0);
    QString shown;
    AnswerNextModal([&](QWidget* dialog) {
        shown = DialogText(dialog);
        ClickButton(dialog, QStringLiteral("OK"));
    });
    EXPECT_FALSE(PrepareDataFolder(paths));
    EXPECT_TRUE(shown.contains(U("Uma restauração de cópia de segurança foi interrompida antes de terminar")))
        << shown.toStdString();
    EXPECT_TRUE(shown.contains(QString::fromStdString(dir))) << shown.toStdString();
    EXPECT_EQ(sample::ReadFile(waiting), restored);
    EXPECT_TRUE(std::filesystem::exists(ReplaceJournal::PathIn(dir)));
}
