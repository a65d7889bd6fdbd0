#include "app/ProgramStart.h"

#include "app/QuorvexApplication.h"
#include "app/RemovableMedia.h"
#include "app/TForm1.h"
#include "app/steps/DataFolderRecovery.h"
#include "app/steps/TEntitySession.h"
#include "backup/RestoreSafety.h"
#include "base/InstanceLock.h"
#include "base/ProgramPaths.h"
#include "crypto/KitLibraries.h"
#include "help/TPublicData.h"
#include "base/Texts.h"
#include "store/TUsersData.h"
#include "ui/KeyboardRules.h"
#include "ui/MessageBox.h"
#include "ui/Text1252.h"

#include <QLocale>
#include <QProcess>

#include <cstring>
#include <memory>

bool StartReinit(const std::string& ProgramDir, qint64 ClientPid, const std::string& Client, const std::string& DataDir)
{
    const QString dir = QString::fromStdString(ProgramDir);
    QProcess reinit;
    reinit.setProgram(dir + QStringLiteral("reinit"));
    QStringList arguments = {QString::number(ClientPid), QString::fromStdString(Client)};
    if (!DataDir.empty())
        arguments << QString::fromStdString(DataDir);
    reinit.setArguments(arguments);
    reinit.setWorkingDirectory(dir);
    // The new client outlives whatever started this one: it must not inherit
    // our output channels (a closed pipe there would kill it on its first
    // message).
    reinit.setStandardInputFile(QProcess::nullDevice());
    reinit.setStandardOutputFile(QProcess::nullDevice());
    reinit.setStandardErrorFile(QProcess::nullDevice());
    return reinit.startDetached();
}

int ProgramStart(int argc, char** argv, const std::function<void(TForm1&)>& OnShown)
{
    QuorvexApplication app(argc, argv);
    QApplication::setApplicationName(Tr(Texts::AppTitle));
    QApplication::setApplicationDisplayName(QString());

    ProgramPaths paths = ProgramPaths::ForExecutableFolder(QCoreApplication::applicationDirPath().toStdString());
    RemovableMedia::Apply(paths);
    // Held until the process ends: a second client on the folder would save
    // what it holds over this one's files.
    InstanceLock lock;
    if (!ClaimDataFolder(paths, lock))
        return 1;
    if (!PrepareDataFolder(paths))
        return 1;
    // A restore that ran before this start kept the data it replaced; where
    // they are is told once the window is up.
    const std::string keptBeforeRestore = RestoreSafety::TakeNotice(paths.DataDir());

    // The data module with the help viewer; HELP.DAT is one of the program's
    // own read-only files, beside the executable. It outlives the window.
    TPublicData publicData(paths.ProgramDir());
    // F1 in any window opens its page; an Alt chord never types.
    KeyboardRules::Install(&publicData);
    // The crypto kit's libraries lie there too; loaded once for the run.
    KitLibraries kit(paths.ProgramDir());
    auto form = std::make_unique<TForm1>(paths, kit, &publicData);
    if (form->HasStartFailed())
        return 1;
    form->show();
    ReportDamagedFiles(*form);
    if (!keptBeforeRestore.empty())
        ShowMessage(Tr(Texts::BkSafetyCopyKept1) + QString::fromStdString(keptBeforeRestore)
                        + Tr(Texts::BkSafetyCopyKept2),
                    form.get());
    if (OnShown)
        OnShown(*form);
    QApplication::exec();

    // After a restore the restored files must be read by a fresh start: reinit
    // waits for this process to end and starts the client again. The window is
    // destroyed after the launch, and then writes nothing (Restored is set).
    if (form->RestartFlag() == 1)
        StartReinit(form->Folders().ProgramDir(), QCoreApplication::applicationPid(),
                    QCoreApplication::applicationFilePath().toStdString(), paths.DataDir());
    form.reset();
    return 0;
}

bool PrepareDataFolder(const ProgramPaths& Paths)
{
    const int error = RecoverDataFolder(Paths.DataDir());
    if (error == 0)
        return true;
    ShowMessage(Tr(Texts::RestoreNotFinished1) + QString::fromStdString(Paths.DataDir())
                + Tr(Texts::RestoreNotFinished2) + QString::fromLocal8Bit(std::strerror(error))
                + Tr(Texts::RestoreNotFinished3));
    return false;
}

bool ClaimDataFolder(const ProgramPaths& Paths, InstanceLock& Lock)
{
    if (Lock.Acquire(Paths.DataDir()) != InstanceLock::Result::HeldByOther)
        return true;
    ShowMessage(Tr(Texts::AlreadyRunning));
    return false;
}

void ReportDamagedFiles(TForm1& Form)
{
    if (!Form.Session())
        return;
    const TUsersData& registry = Form.Session()->Registry();
    QString text;
    auto paragraph = [&text]() -> QString& {
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        return text;
    };
    for (const TDamagedFile& damaged : registry.DamagedFiles())
        paragraph() += Tr(Texts::DamagedFileKept1) + QString::fromStdString(damaged.File) + Tr(Texts::DamagedFileKept2)
                       + QString::fromStdString(damaged.Copy) + Tr(Texts::DamagedFileKept3);
    if (registry.EntitiesLeftOut() > 0) {
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil); // "10.000"
        paragraph() += Tr(Texts::EntitiesLeftOut1) + brazil.toString(registry.Count()) + Tr(Texts::EntitiesLeftOut2)
                       + brazil.toString(registry.EntitiesLeftOut()) + Tr(Texts::EntitiesLeftOut3);
    }
    if (!text.isEmpty())
        ShowMessage(text, &Form);
}
