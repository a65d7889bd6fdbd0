// The restart after a restore: the client starts reinit, writes no data file
// and ends; reinit waits for it and starts a new client in the program's
// folder.
#include "app/ProgramStart.h"
#include "app/SampleData.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

std::string Slurp(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

bool WaitFor(const QString& path, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (QFile::exists(path) && QFileInfo(path).size() > 0) {
            QTest::qWait(100); // let the writer finish
            return true;
        }
        QTest::qWait(50);
    }
    return false;
}

} // namespace

TEST(Restart, RestoredClientStartsReinitWhichStartsANewClientAndNoFileIsWritten)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString dir = tmp.path() + QLatin1Char('/');
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUORVEX_PROBE), dir + QStringLiteral("quorvex")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUORVEX_APP_DIR "reinit"), dir + QStringLiteral("reinit")));
    for (const char* exe : {"quorvex", "reinit"})
        QFile::setPermissions(dir + QLatin1String(exe), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    sample::Write(dir.toStdString(), {sample::Make("Alfa", "11222333000181", sample::State::Created),
                                      sample::Make("Beta", "22333444000155", sample::State::Filled)});
    const QStringList files = {"ENTITY.DAT", "STORAGE.1.DAT", "STORAGE.2.DAT"};
    std::vector<std::string> before;
    for (const QString& f : files)
        before.push_back(Slurp(dir + f));

    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    client.setProcessEnvironment(env);
    client.setWorkingDirectory(QDir::tempPath());
    client.start(dir + QStringLiteral("quorvex"), {});
    ASSERT_TRUE(client.waitForStarted(10000));
    ASSERT_TRUE(client.waitForFinished(30000)) << client.readAllStandardError().toStdString();
    const std::string clientErrors = client.readAllStandardError().toStdString();
    EXPECT_EQ(client.exitCode(), 0);
    const std::string firstPid = Slurp(dir + QStringLiteral("first.pid"));
    EXPECT_FALSE(firstPid.empty());

    ASSERT_TRUE(WaitFor(dir + QStringLiteral("second.txt"), 30000)) << "reinit started no new client: " << clientErrors;
    const QStringList second = QString::fromStdString(Slurp(dir + QStringLiteral("second.txt"))).split('\n');
    ASSERT_GE(second.size(), 3);
    EXPECT_NE(second[0].toStdString(), firstPid);
    // Started in the program's folder, after the first client had ended.
    EXPECT_EQ(QDir(second[1]).canonicalPath(), QDir(dir).canonicalPath());
    EXPECT_EQ(second[2], QStringLiteral("ended"));

    // The new client closes by itself; give it time, then compare the data.
    const qint64 secondPid = second[0].toLongLong();
    QElapsedTimer clock;
    clock.start();
    while (QFile::exists(QStringLiteral("/proc/%1").arg(secondPid)) && clock.elapsed() < 15000)
        QTest::qWait(50);
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        EXPECT_EQ(Slurp(dir + files[i]), before[std::size_t(i)]);
    }
}

TEST(Restart, ReinitRefusesBadArgumentsAndWaitsForTheNamedProcess)
{
    QProcess bad;
    bad.start(QStringLiteral(QUORVEX_APP_DIR "reinit"), {QStringLiteral("abc"), QStringLiteral("/bin/true")});
    ASSERT_TRUE(bad.waitForFinished(5000));
    EXPECT_EQ(bad.exitCode(), 2);

    // reinit must not start the program while the process lives.
    QTemporaryDir tmp;
    const QString marker = tmp.path() + QStringLiteral("/started");
    QFile script(tmp.path() + QStringLiteral("/client.sh"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\necho started > '" + marker + "'\n").toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("1.5")});
    ASSERT_TRUE(sleeper.waitForStarted());
    ASSERT_TRUE(StartReinit(QUORVEX_APP_DIR, sleeper.processId(), script.fileName().toStdString()));
    QTest::qWait(800);
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_TRUE(WaitFor(marker, 15000));
    EXPECT_TRUE(sleeper.state() == QProcess::NotRunning || sleeper.waitForFinished(1000));
}
