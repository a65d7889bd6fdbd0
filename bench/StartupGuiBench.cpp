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
#include "GuiBenchSupport.h"

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

void ReportReady()
{
    guibench::Say("ready");
    QCoreApplication::quit();
}

int RunMinimal(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 400);
    window.show();
    guibench::WhenIdle(&window, ReportReady);
    return app.exec();
}

int RunClient(int argc, char** argv, const std::string& dir)
{
    QuorvexApplication app(argc, argv);
    QApplication::setApplicationName(Tr(Texts::AppTitle));
    TForm1 form(dir);
    form.show();
    guibench::WhenIdle(&form, ReportReady);
    app.exec();
    // Keep the sample as it is for the next launch.
    form.SetRestoredFlag(1);
    return 0;
}

// Milliseconds from launch to "ready".
double Launch(const QString& self, const QStringList& args)
{
    const guibench::ChildRun run = guibench::Launch(self, args);
    return run.Arrived.count("ready") ? run.Arrived.at("ready") : -1;
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
        guibench::WriteSample(place.dir->path().toStdString() + "/", 50, 20);

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
    const double m = guibench::Median(minimal);
    std::printf("launch to idle, median of %d: empty Qt window %.1f ms\n", rounds, m);
    for (std::size_t p = 0; p < places.size(); ++p) {
        const double c = guibench::Median(client[p]);
        std::printf("  client, 50 entities x 20 certificates, data on %s: %.1f ms, ratio %.2f (aim: within 2.5)\n",
                    places[p].label, c, c / m);
    }
    return 0;
}
