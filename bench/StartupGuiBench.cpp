// Launch-to-idle time of the client with 50 entities of 20 certificates
// each, as a ratio to a minimal Qt Widgets program that shows an empty
// window, both launched as fresh processes in the same run.
//
//   bench_StartupGuiBench            runs the comparison
//   bench_StartupGuiBench --minimal  (child) empty window
//   bench_StartupGuiBench --client D (child) the main window over folder D
//
// A child prints "ready" once its window is shown and the event loop has
// nothing left to do; the parent measures from process start to that line.
#include "app/QuorvexApplication.h"
#include "app/TForm1.h"
#include "base/Texts.h"
#include "ui/Text1252.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Prints "ready" once the window is exposed and pending events are done.
void ReportWhenIdle(QWidget* window)
{
    QTimer::singleShot(0, window, [window] {
        if (!window->windowHandle() || !window->windowHandle()->isExposed()) {
            ReportWhenIdle(window);
            return;
        }
        std::printf("ready\n");
        std::fflush(stdout);
        QCoreApplication::quit();
    });
}

int RunMinimal(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 400);
    window.show();
    ReportWhenIdle(&window);
    return app.exec();
}

int RunClient(int argc, char** argv, const std::string& dir)
{
    QuorvexApplication app(argc, argv);
    TForm1::SetRestartFlag(0);
    QApplication::setApplicationName(Tr(Texts::AppTitle));
    TForm1 form(dir);
    form.show();
    ReportWhenIdle(&form);
    app.exec();
    // Keep the sample as it is for the next launch.
    form.Restored = 1;
    return 0;
}

std::string Hex(std::size_t bytes, unsigned seed)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text(bytes * 2, '0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        text[i] = digits[(seed >> 16) & 15];
    }
    return text;
}

void WriteSample(const std::string& dir, int entities, int certificates)
{
    std::ofstream reg(dir + "ENTITY.DAT", std::ios::binary);
    reg << "[General]\r\nCount=" << entities << "\r\nCountAll=" << entities << "\r\nActiveIndex=1\r\n\r\n";
    for (int n = 1; n <= entities; ++n) {
        reg << "[Entity" << n << "]\r\nfilename=" << dir << "STORAGE." << n << ".DAT\r\nProfile=01\r\n"
            << "Tipo_Inscricao=01\r\nInscricao=" << 11222333000100LL + n << "\r\nRazao=Entidade " << n
            << " Ltda\r\nIndex=" << n << "\r\n\r\n";
        std::ofstream st(dir + "STORAGE." + std::to_string(n) + ".DAT", std::ios::binary);
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
    }
}

// Milliseconds from launch to "ready".
double Launch(const QString& self, const QStringList& args)
{
    QProcess child;
    QElapsedTimer clock;
    clock.start();
    child.start(self, args);
    if (!child.waitForStarted(10000))
        return -1;
    while (child.state() != QProcess::NotRunning) {
        if (child.canReadLine() || child.waitForReadyRead(10000)) {
            if (child.readLine().startsWith("ready")) {
                const double ms = double(clock.nsecsElapsed()) / 1e6;
                child.waitForFinished(10000);
                return ms;
            }
        } else {
            break;
        }
    }
    return -1;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--minimal")
        return RunMinimal(argc, argv);
    if (mode == "--client" && argc > 2)
        return RunClient(argc, argv, argv[2]);

    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    // The program folder on the usual disk, and (where there is one) on a
    // memory file system: the client flushes every data file it saves, so the
    // difference is the cost of those flushes.
    QTemporaryDir disk;
    QTemporaryDir memory(QStringLiteral("/dev/shm/quorvex-bench-XXXXXX"));
    struct Place {
        const char* label;
        QTemporaryDir* dir;
    };
    std::vector<Place> places{{"disk", &disk}};
    if (memory.isValid())
        places.push_back({"memory file system", &memory});
    for (const Place& place : places)
        WriteSample(place.dir->path().toStdString() + "/", 50, 20);

    const int rounds = 7;
    std::vector<double> minimal;
    std::vector<std::vector<double>> client(places.size());
    // Warm the caches once for each, then alternate.
    Launch(self, {"--minimal"});
    for (const Place& place : places)
        Launch(self, {"--client", place.dir->path() + "/"});
    for (int i = 0; i < rounds; ++i) {
        minimal.push_back(Launch(self, {"--minimal"}));
        for (std::size_t p = 0; p < places.size(); ++p)
            client[p].push_back(Launch(self, {"--client", places[p].dir->path() + "/"}));
    }
    bool failed = *std::min_element(minimal.begin(), minimal.end()) < 0;
    for (const auto& times : client)
        failed = failed || *std::min_element(times.begin(), times.end()) < 0;
    if (failed) {
        std::fprintf(stderr, "a launch did not report ready\n");
        return 1;
    }
    const double m = Median(minimal);
    std::printf("launch to idle, median of %d: empty Qt window %.1f ms\n", rounds, m);
    for (std::size_t p = 0; p < places.size(); ++p) {
        const double c = Median(client[p]);
        std::printf("  client, 50 entities x 20 certificates, data on %s: %.1f ms, ratio %.2f (aim: within 3)\n",
                    places[p].label, c, c / m);
    }
    return 0;
}
