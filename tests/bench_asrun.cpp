// Prints what the as-run log costs the GUI thread: an item going on air
// (its journal entry) and leaving it (its row appended, the journal updated),
// with one other item on air beside it, as during a hand-over.
#include "asrunlog.h"
#include "testsupport.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRows = 5000;

} // namespace

int main(int argc, char *argv[])
{
    TestSupport::isolateEnvironment();
    QCoreApplication app(argc, argv);
    OnAirEvents log;
    AsRunLog asRun(TestSupport::privateRoot() + QStringLiteral("/as-run"));
    asRun.listenTo(&log);
    const int channels[2] = {1, 2};
    OnAirEvents::Item item;
    item.kind = QStringLiteral("music");
    item.title = QStringLiteral("Um título, com vírgula");
    item.artist = QStringLiteral("Artista");
    item.file = QStringLiteral("/home/radio/música/um título, com vírgula.mp3");
    log.begin(&channels[0], item);
    std::vector<double> beginMs;
    std::vector<double> finishMs;
    QElapsedTimer timer;
    for (int n = 0; n < kRows; ++n) {
        timer.start();
        log.begin(&channels[1], item);
        beginMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        log.sounding(&channels[1]);
        timer.start();
        log.finish(&channels[1]);
        finishMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    for (auto *series : {&beginMs, &finishMs})
        std::sort(series->begin(), series->end());
    const auto report = [](const char *what, const std::vector<double> &ms) {
        std::printf("%-32s median %.3f ms, 99th percentile %.3f ms, max %.3f ms\n", what,
                    ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
    };
    std::printf("as-run log, %d rows (goal: a row under 1 ms)\n", kRows);
    report("item on air (journal):", beginMs);
    report("item off air (row + journal):", finishMs);
    return 0;
}
