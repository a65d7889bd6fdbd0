#include "app/ProgramStart.h"

#include "app/QuorvexApplication.h"
#include "app/TForm1.h"
#include "crypto/TRSAMedia.h"
#include "help/TPublicData.h"
#include "base/ProgramPaths.h"
#include "base/Texts.h"
#include "ui/Text1252.h"

#include <QProcess>

#include <memory>

bool StartReinit(const std::string& ProgramDir, qint64 ClientPid, const std::string& Client)
{
    const QString dir = QString::fromStdString(ProgramDir);
    QProcess reinit;
    reinit.setProgram(dir + QStringLiteral("reinit"));
    reinit.setArguments({QString::number(ClientPid), QString::fromStdString(Client)});
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
    TForm1::SetRestartFlag(0);
    QApplication::setApplicationName(Tr(Texts::AppTitle));
    QApplication::setApplicationDisplayName(QString());

    auto form = std::make_unique<TForm1>(
        ProgramPaths::ForExecutableFolder(QCoreApplication::applicationDirPath().toStdString()));
    if (form->StartFailed)
        return 1;
    // The data module with the help viewer; HELP.DAT is one of the program's
    // own read-only files, beside the executable.
    TPublicData publicData(form->Paths.ProgramDir());
    // The mouse-seed dialog of key generation opens over the main window.
    TRSAMedia::SetSeedOwner(static_cast<QWidget*>(form.get()));
    form->show();
    if (OnShown)
        OnShown(*form);
    QApplication::exec();

    // After a restore the restored files must be read by a fresh start: reinit
    // waits for this process to end and starts the client again. The window is
    // destroyed after the launch, and then writes nothing (Restored is set).
    if (TForm1::RestartFlag() == 1)
        StartReinit(form->Paths.ProgramDir(), QCoreApplication::applicationPid(),
                    QCoreApplication::applicationFilePath().toStdString());
    TRSAMedia::SetSeedOwner(nullptr);
    form.reset();
    return 0;
}
