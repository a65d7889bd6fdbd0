// The client over an office's folder: 2,000 entities of 3 certificates
// each, against the same steps over an empty folder, each a fresh process
// in the same run: launch to idle, a switch of entity, and "Sair" to the
// end of the process; with the peak memory of each. "Sair" is timed three
// times: over a folder that an earlier run already stamped (little to
// write); as the first run over a folder whose files carry stamps from
// elsewhere, as a restore leaves them (every file stamped again); and, for
// information, over a folder never stamped (every file grows by its stamp).
//
//   bench_ScaleGuiBench              runs the comparison
//   bench_ScaleGuiBench --client D   (child) the main window over folder D
//
// The child prints "ready" when its window is idle, "switch MS" after
// choosing the entity in the middle of the list (0 without entities),
// "exiting" just before it triggers "Sair", and "peak KB" once the window
// is gone (the most memory the process held).
#include "GuiBenchSupport.h"

#include "app/QuorvexApplication.h"
#include "app/TForm1.h"
#include "base/ProgramPaths.h"
#include "base/Texts.h"
#include "crypto/KitLibraries.h"
#include "support/FindNamed.h"
#include "ui/Text1252.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

long PeakKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

int RunClient(int argc, char** argv, const std::string& dir)
{
    QuorvexApplication app(argc, argv);
    QApplication::setApplicationName(Tr(Texts::AppTitle));
    // The program's own files, the kit's libraries among them (the shutdown
    // stamps every storage file with the kit's digest), are in the build's
    // bin/ folder beside bench/.
    const std::string programDir = ProgramPaths::ExecutableFolder() + "../bin/";
    KitLibraries kit(programDir);
    auto form = std::make_unique<TForm1>(ProgramPaths(dir, programDir), kit);
    form->show();
    guibench::WhenIdle(form.get(), [&form] {
        guibench::Say("ready");
        QComboBox* entities = FindNamed<QComboBox>(*form, "cbxEntity");
        double ms = 0;
        if (entities && entities->count() > 1) {
            QElapsedTimer clock;
            clock.start();
            const int middle = entities->count() / 2;
            entities->setCurrentIndex(middle);
            emit entities->activated(middle);
            QCoreApplication::processEvents();
            ms = double(clock.nsecsElapsed()) / 1e6;
        }
        guibench::Say("switch " + std::to_string(ms));
        guibench::Say("exiting");
        FindNamed<QAction>(*form, "FileExit")->trigger();
    });
    app.exec();
    form.reset(); // the shutdown's saves
    guibench::Say("peak " + std::to_string(PeakKilobytes()));
    return 0;
}

double FolderMegabytes(const QString& dir)
{
    qint64 bytes = 0;
    QDirIterator it(dir, QDir::Files);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return double(bytes) / 1e6;
}

// A made folder is on the disk before it is timed, as a restored one is:
// its writeback is not charged to the run that reads it.
void FlushFolder(const QString& dir)
{
    QDirIterator it(dir, QDir::Files);
    while (it.hasNext()) {
        const int fd = ::open(it.next().toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    const int folder = ::open(dir.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--client" && argc > 2)
        return RunClient(argc, argv, argv[2]);

    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    QTemporaryDir office, empty;
    guibench::WriteSample(office.path().toStdString() + "/", 2000, 3);
    FlushFolder(office.path());
    const QStringList officeArgs{"--client", office.path() + "/"};
    const QStringList emptyArgs{"--client", empty.path() + "/"};

    // Once each to warm the caches (and let the first shutdown stamp the
    // files), then alternating.
    guibench::Launch(self, officeArgs);
    guibench::Launch(self, emptyArgs);
    const int rounds = 5;
    struct Series {
        std::vector<double> ready, switching, exit, peak;
    } officeRuns, emptyRuns, restoredRuns, restoredEmptyRuns, unstampedRuns, unstampedEmptyRuns;
    const auto record = [](const guibench::ChildRun& run, Series& into) {
        if (run.Arrived.count("ready") == 0 || run.Arrived.count("exiting") == 0)
            return false;
        into.ready.push_back(run.Arrived.at("ready"));
        into.switching.push_back(run.Values.count("switch") ? run.Values.at("switch") : -1);
        into.exit.push_back(run.Ended - run.Arrived.at("exiting"));
        into.peak.push_back(run.Values.count("peak") ? run.Values.at("peak") / 1024 : -1);
        return true;
    };
    for (int i = 0; i < rounds; ++i) {
        if (!record(guibench::Launch(self, officeArgs), officeRuns)
            || !record(guibench::Launch(self, emptyArgs), emptyRuns)) {
            std::fprintf(stderr, "a client did not report its steps\n");
            return 1;
        }
    }
    // The first run over a fresh folder, each round its own folder.
    const auto firstRuns = [&](bool stamped, Series& into, Series& emptyInto) {
        for (int i = 0; i < rounds; ++i) {
            QTemporaryDir fresh;
            guibench::WriteSample(fresh.path().toStdString() + "/", 2000, 3, stamped);
            FlushFolder(fresh.path());
            if (!record(guibench::Launch(self, {"--client", fresh.path() + "/"}), into)
                || !record(guibench::Launch(self, emptyArgs), emptyInto))
                return false;
        }
        return true;
    };
    if (!firstRuns(true, restoredRuns, restoredEmptyRuns) || !firstRuns(false, unstampedRuns, unstampedEmptyRuns)) {
        std::fprintf(stderr, "a client did not report its steps\n");
        return 1;
    }
    using guibench::Median;
    std::printf("2,000 entities x 3 certificates (%.1f MB) against an empty folder, median of %d:\n",
                FolderMegabytes(office.path()), rounds);
    const auto row = [](const char* what, double big, double none, const char* aim) {
        std::printf("  %-16s %8.1f ms  empty %8.1f ms  ratio %5.2f  (aim: %s)\n", what, big, none,
                    none > 0 ? big / none : 0.0, aim);
    };
    row("launch to idle", Median(officeRuns.ready), Median(emptyRuns.ready), "window within 250 ms");
    std::printf("  %-16s %8.1f ms\n", "entity switch", Median(officeRuns.switching));
    row("\"Sair\" to exit", Median(officeRuns.exit), Median(emptyRuns.exit), "within 500 ms");
    row("first \"Sair\"", Median(restoredRuns.exit), Median(restoredEmptyRuns.exit),
        "within 500 ms, every file stamped again");
    row("never stamped", Median(unstampedRuns.exit), Median(unstampedEmptyRuns.exit),
        "none; every file gains its stamp");
    std::printf("  %-16s %8.1f MB  empty %8.1f MB\n", "peak memory", Median(officeRuns.peak), Median(emptyRuns.peak));
    return 0;
}
