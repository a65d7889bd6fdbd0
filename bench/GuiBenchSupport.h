#pragma once
// What the window benchmarks share: a made data folder, the child process
// that reports when its window is idle, and the parent that times it.
//
// A child prints one line per measure ("ready", then whatever it measures
// itself as "name value"); the parent notes when each line arrived.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace guibench {

// Runs Then once the window is exposed and pending events are done.
inline void WhenIdle(QWidget* window, const std::function<void()>& Then)
{
    QTimer::singleShot(0, window, [window, Then] {
        if (!window->windowHandle() || !window->windowHandle()->isExposed()) {
            WhenIdle(window, Then);
            return;
        }
        Then();
    });
}

inline void Say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

inline std::string Hex(std::size_t bytes, unsigned seed)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text(bytes * 2, '0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        text[i] = digits[(seed >> 16) & 15];
    }
    return text;
}

// Data files are for their owner only, as the client leaves them (a file
// found readable by others is made private at start-up, which would charge
// that work to the run measured).
inline void OwnerOnly(const std::string& file)
{
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// A data folder of `entities` entities with `certificates` certificates each
// (the first one the master), as the client writes them. Stamped: each
// storage file carries a fingerprint from an earlier run, as a restored
// folder's files do.
inline void WriteSample(const std::string& dir, int entities, int certificates, bool stamped = false)
{
    std::ofstream reg(dir + "ENTITY.DAT", std::ios::binary);
    reg << "[General]\r\nCount=" << entities << "\r\nCountAll=" << entities << "\r\nActiveIndex=1\r\n\r\n";
    for (int n = 1; n <= entities; ++n) {
        reg << "[Entity" << n << "]\r\nfilename=" << dir << "STORAGE." << n << ".DAT\r\nProfile=01\r\n"
            << "Tipo_Inscricao=01\r\nInscricao=" << 11222333000100LL + n << "\r\nRazao=Entidade " << n
            << " Ltda\r\nIndex=" << n << "\r\n\r\n";
        const std::string storage = dir + "STORAGE." + std::to_string(n) + ".DAT";
        std::ofstream st(storage, std::ios::binary);
        std::vector<std::string> ids;
        for (int c = 0; c < certificates; ++c) {
            char id[40];
            std::snprintf(id, sizeof id, "{%08X-0000-4000-8000-%012X}", n, c);
            ids.push_back(id);
        }
        st << "[General]\r\nRequest=1\r\nMasterKey=" << ids[0] << "\r\nKeys=";
        for (int c = 1; c < certificates; ++c)
            st << (c > 1 ? "," : "") << ids[std::size_t(c)];
        st << "\r\nRequestSent=1\r\nRequestReceived=1\r\n\r\n";
        for (int c = 0; c < certificates; ++c) {
            st << "[" << ids[std::size_t(c)] << "]\r\nName=Certificado " << c + 1
               << "\r\nPublicKey=" << Hex(140, unsigned(n * 1000 + c)) << "\r\nInfo=" << Hex(100, unsigned(c))
               << "\r\nKeyFile=" << Hex(900, unsigned(n + c)) << "\r\nSigned=" << (c % 3 ? 1 : 0) << "\r\n\r\n";
        }
        if (stamped)
            st << "[Fingerprint]\r\nValue=" << Hex(16, unsigned(n)) << "\r\n\r\n";
        st.close();
        OwnerOnly(storage);
    }
    reg.close();
    OwnerOnly(dir + "ENTITY.DAT");
}

// One run of a child: the milliseconds from launch at which each of its
// lines arrived (by the line's first word), the values it printed, and the
// milliseconds from launch to its end. Empty Arrived when it failed.
struct ChildRun {
    std::map<std::string, double> Arrived;
    std::map<std::string, double> Values;
    double Ended = -1;
};

inline ChildRun Launch(const QString& Self, const QStringList& Args)
{
    ChildRun run;
    QProcess child;
    QElapsedTimer clock;
    clock.start();
    child.start(Self, Args);
    if (!child.waitForStarted(10000))
        return {};
    for (;;) {
        while (child.canReadLine()) {
            const QByteArray line = child.readLine().trimmed();
            const QList<QByteArray> words = line.split(' ');
            const std::string key = words.value(0).toStdString();
            run.Arrived[key] = double(clock.nsecsElapsed()) / 1e6;
            if (words.size() > 1)
                run.Values[key] = words.value(1).toDouble();
        }
        if (child.state() == QProcess::NotRunning)
            break;
        if (!child.waitForReadyRead(60000) && child.state() != QProcess::NotRunning && !child.canReadLine()) {
            child.kill();
            child.waitForFinished(10000);
            return {};
        }
    }
    run.Ended = double(clock.nsecsElapsed()) / 1e6;
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {};
    return run;
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace guibench
