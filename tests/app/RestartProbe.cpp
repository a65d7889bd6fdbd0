// The real program start with one addition: on its first run it behaves as
// a finished restore (Restored and the restart flag set, window closed); on
// the run that reinit starts it records what it sees and closes at once,
// still writing nothing.
#include "app/ProgramStart.h"
#include "app/TForm1.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

void Note(const QString& name, const QByteArray& text)
{
    QFile file(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

QByteArray Read(const QString& name)
{
    QFile file(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv)
{
    return ProgramStart(argc, argv, [](TForm1& form) {
        const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
        const bool restarted = QFileInfo::exists(QCoreApplication::applicationDirPath() + "/first.pid");
        if (restarted) {
            const QByteArray first = Read(QStringLiteral("first.pid"));
            const bool firstAlive = QFileInfo::exists(QStringLiteral("/proc/") + QString::fromLatin1(first));
            Note(QStringLiteral("second.txt"),
                 pid + "\n" + QDir::currentPath().toUtf8() + "\n" + (firstAlive ? "alive" : "ended") + "\n");
        } else {
            Note(QStringLiteral("first.pid"), pid);
        }
        QTimer::singleShot(50, &form, [&form, restarted] {
            form.SetRestoredFlag(1);
            form.SetRestartFlag(restarted ? 0 : 1);
            form.close();
        });
    });
}
