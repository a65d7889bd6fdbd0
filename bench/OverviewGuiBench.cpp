// The overview of the entities over an office's folder: 2,000 entities of 3
// certificates each (the scale benchmark's folder), in one process on the
// offscreen platform. Each measure has a peer in the same run that does the
// like over the same session in the main window:
//   opening the overview (first time, and again)  vs  refilling the entity selector
//   a key press in its filter                      vs  a key press in the selector's Localizar field
//   sorting by a column                            vs  (none; printed for information)
// The rows come from the session in memory: no data file is read while the
// overview opens (the folder's files are made unreadable to show it).
//
//   bench_OverviewGuiBench
#include "GuiBenchSupport.h"

#include "app/EntityOverviewDialog.h"
#include "app/QuorvexApplication.h"
#include "app/TForm1.h"
#include "app/steps/TEntitySession.h"
#include "base/ProgramPaths.h"
#include "base/Texts.h"
#include "crypto/KitLibraries.h"
#include "support/FindNamed.h"
#include "ui/Text1252.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QWindow>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// The processor time of this thread, in milliseconds: what the work costs,
// without the time a busy machine gives to other processes meanwhile.
double ThreadMilliseconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The processor time Work takes with the events it causes (painting
// included); Wall, when given, receives the time on the clock.
template <typename F>
double Timed(F&& Work, std::vector<double>* Wall = nullptr)
{
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    clock.start();
    const double start = ThreadMilliseconds();
    Work();
    QCoreApplication::processEvents();
    if (Wall)
        Wall->push_back(double(clock.nsecsElapsed()) / 1e6);
    return ThreadMilliseconds() - start;
}

// Each key of Text typed into Edit after clearing it: the milliseconds of
// each key press.
std::vector<double> TypeTimed(QLineEdit* Edit, const QString& Text, std::vector<double>* Wall = nullptr)
{
    Edit->clear();
    QCoreApplication::processEvents();
    std::vector<double> keys;
    for (const QChar c : Text)
        keys.push_back(Timed(
            [&] {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
                QApplication::sendEvent(Edit, &press);
                QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
                QApplication::sendEvent(Edit, &release);
            },
            Wall));
    return keys;
}

// The value that Share of the values do not exceed.
double Percentile(std::vector<double> v, double Share)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(double(v.size()) * Share))];
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string first;
    in >> first;
    return first.empty() ? "?" : first;
}

void Row(const char* What, double Mine, double Peer, const char* PeerName, const char* Aim)
{
    std::printf("  %-22s %8.2f ms  %-22s %8.2f ms  ratio %6.2f  (aim: %s)\n", What, Mine, PeerName, Peer,
                Peer > 0 ? Mine / Peer : 0.0, Aim);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QuorvexApplication app(argc, argv);
    QApplication::setApplicationName(Tr(Texts::AppTitle));
    QTemporaryDir office;
    const std::string dir = office.path().toStdString() + "/";
    const int entities = 2000;
    guibench::WriteSample(dir, entities, 3);
    // The program's own files, the kit's libraries among them, are in the
    // build's bin/ folder beside bench/.
    const std::string programDir = ProgramPaths::ExecutableFolder() + "../bin/";
    KitLibraries kit(programDir);
    auto form = std::make_unique<TForm1>(ProgramPaths(dir, programDir), kit);
    form->show();
    QElapsedTimer waited;
    waited.start();
    while (!(form->windowHandle() && form->windowHandle()->isExposed()) && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!form->windowHandle() || !form->windowHandle()->isExposed()) {
        std::fprintf(stderr, "the main window did not show\n");
        return 1;
    }
    // From here on nothing may be read from the folder.
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::none);

    std::vector<double> openWall;
    const double firstOpen = Timed([&] { FindNamed<QAction>(*form, "RequestOverview")->trigger(); }, &openWall);
    auto* overview = form->findChild<EntityOverviewDialog*>();
    if (!overview || overview->Table->model()->rowCount() != entities) {
        std::fprintf(stderr, "the overview did not list the %d entities\n", entities);
        return 1;
    }
    const int rounds = 7;
    std::vector<double> reopen, refill, sort;
    for (int i = 0; i < rounds; ++i) {
        overview->close();
        reopen.push_back(Timed([&] { FindNamed<QAction>(*form, "RequestOverview")->trigger(); }, &openWall));
        refill.push_back(Timed([&] { form->RefreshEntityList(); }));
        sort.push_back(Timed(
            [&] { overview->Table->sortByColumn(i % 2 ? 1 : 2, i % 2 ? Qt::AscendingOrder : Qt::DescendingOrder); }));
    }
    // Typed as a user looks for one client among thousands: name, then the
    // inscription with its punctuation.
    const QString typed = QStringLiteral("entidade 1999");
    const QString inscription = QStringLiteral("11.222.333/0021");
    std::vector<double> mine, peer, mineWall;
    for (int i = 0; i < 3; ++i) {
        for (const QString& text : {typed, inscription}) {
            for (double ms : TypeTimed(overview->EditFilter, text, &mineWall))
                mine.push_back(ms);
            for (double ms : TypeTimed(FindNamed<QLineEdit>(*form, "EditEntitySearch"), text))
                peer.push_back(ms);
        }
    }
    overview->CheckPending->setChecked(true);
    std::vector<double> pending = TypeTimed(overview->EditFilter, typed);

    using guibench::Median;
    std::printf("Overview of %d entities x 3 certificates, rows from memory (folder unreadable);\n"
                "processor time of the window's thread, median of %d opens and %zu key presses:\n",
                entities, rounds, mine.size());
    Row("first open", firstOpen, Median(refill), "selector refill", "within 200 ms");
    Row("open again", Median(reopen), Median(refill), "selector refill", "within 200 ms");
    Row("key press, median", Median(mine), Median(peer), "Localizar key press", "within 20 ms");
    Row("key press, 90%", Percentile(mine, 0.9), Percentile(peer, 0.9), "Localizar key press", "within 20 ms");
    Row("key press, slowest", Percentile(mine, 1), Percentile(peer, 1), "Localizar key press", "within 20 ms");
    Row("key, pending only", Median(pending), Median(peer), "Localizar key press", "within 20 ms");
    std::printf("  %-22s %8.2f ms\n", "sort by a column", Median(sort));
    std::printf("  %-22s %8.2f ms first, %.2f ms again (median), on the clock\n", "open, wall", openWall.front(),
                Median(std::vector<double>(openWall.begin() + 1, openWall.end())));
    std::printf("  %-22s %8.2f ms median, %.2f ms at 90%%, on the clock of this machine (load %s)\n", "key press, wall",
                Median(mineWall), Percentile(mineWall, 0.9), LoadAverage().c_str());
    overview->close();
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        std::filesystem::permissions(entry.path(),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    form.reset();
    return 0;
}
