// Prints what preparing the coming entries costs now that it measures their
// loudness and finds their cue points: the desk's preparation of ten
// three-minute songs (probe, then decode, check and measure in one run, MP3s
// converted, at nice 19; the desk's own work counted too), with cue points
// and without them, against a bare `ffmpeg -af ebur128 -f null -` of the
// same files, in CPU seconds and wall seconds per hour of audio. The three ways take turns on each song, four
// times; each way's figure is its median run, and the ratio is the median of
// the ratios of runs made one after the other: the machine's speed drifts.
#include "conversioncache.h"
#include "preparation.h"
#include "loudness.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kSongs = 10;
constexpr int kSongSeconds = 180;
constexpr int kGiveUpMs = 600000;
constexpr int kRounds = 4;

struct Cost
{
    double cpu = 0.0;
    double wall = 0.0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

Cost deskCost(const Playlist &song, bool cues)
{
    Loudness::setCuesWanted(cues);
    const QString store = TestSupport::privateRoot() + QStringLiteral("/loudness.txt");
    QFile::remove(store);
    QFile::remove(ConversionCache::cacheFileFor(song.path));
    Loudness loudness(store);
    Preparation queue;
    queue.setLoudness(&loudness);
    QSignalSpy measured(&loudness, &Loudness::measured);
    // The desk's own share: it reads the fade from the samples.
    const double cpuBefore = TestSupport::cpuSeconds(RUSAGE_CHILDREN) + TestSupport::cpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    queue.plan({song}, 0, 0, false);
    while (measured.isEmpty() && wall.elapsed() < kGiveUpMs)
        measured.wait(1000);
    return {TestSupport::cpuSeconds(RUSAGE_CHILDREN) + TestSupport::cpuSeconds(RUSAGE_SELF) - cpuBefore,
            wall.elapsed() / 1000.0};
}

Cost bareCost(const Playlist &song)
{
    const double cpuBefore = TestSupport::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    TestSupport::run(QStringLiteral("nice"),
                     {QStringLiteral("-n"), QStringLiteral("19"), QStringLiteral("ffmpeg"),
                      QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                      QStringLiteral("-i"), song.path, QStringLiteral("-af"),
                      QStringLiteral("ebur128=peak=true"), QStringLiteral("-f"),
                      QStringLiteral("null"), QStringLiteral("-")});
    return {TestSupport::cpuSeconds(RUSAGE_CHILDREN) - cpuBefore, wall.elapsed() / 1000.0};
}

} // namespace

int main(int argc, char *argv[])
{
    TestSupport::isolateEnvironment();
    QCoreApplication app(argc, argv);
    const QString folder = TestSupport::privateRoot();
    const double hours = kSongs * kSongSeconds / 3600.0;
    std::printf("Qt %s, %d songs of %d s each; seconds per hour of audio\n", qVersion(), kSongs,
                kSongSeconds);
    for (const char *extension : {"mp3", "wav"}) {
        std::vector<Playlist> order;
        for (int i = 0; i < kSongs; ++i) {
            const QString song = folder + QStringLiteral("/song-%1.%2").arg(i).arg(QLatin1String(extension));
            if (!TestSupport::makeTone(song, kSongSeconds, 300 + 50 * i, 0.5,
                                       QStringLiteral("0.5+0.5*sin(t)"))) {
                std::fprintf(stderr, "could not make %s\n", qPrintable(song));
                return 1;
            }
            order.push_back({QStringLiteral("song"), song, QStringLiteral("03:00"), QStringLiteral("music")});
        }
        // Per run, scaled to a whole order: with, without, bare.
        std::vector<double> cpu[3], wall[3], cpuRatio, wallRatio;
        for (int round = 0; round < kRounds; ++round) {
            for (const Playlist &song : order) {
                // Which goes first changes each round: the second finds the file cached.
                Cost costs[3];
                costs[round % 2] = deskCost(song, round % 2 == 0);
                costs[1 - round % 2] = deskCost(song, round % 2 != 0);
                costs[2] = bareCost(song);
                for (int way = 0; way < 3; ++way) {
                    cpu[way].push_back(costs[way].cpu * kSongs);
                    wall[way].push_back(costs[way].wall * kSongs);
                }
                cpuRatio.push_back(costs[0].cpu / costs[1].cpu);
                wallRatio.push_back(costs[0].wall / costs[1].wall);
            }
        }
        std::printf("  %s, desk (%s, checked and measured):\n"
                    "    with cue points    %6.1f CPU s, %6.1f s wall\n"
                    "    without them       %6.1f CPU s, %6.1f s wall\n"
                    "    bare ebur128       %6.1f CPU s, %6.1f s wall\n"
                    "    with / without     %6.3f CPU,   %6.3f wall (median of paired runs)\n",
                    extension, extension[0] == 'm' ? "converted" : "decoded", median(cpu[0]) / hours,
                    median(wall[0]) / hours, median(cpu[1]) / hours, median(wall[1]) / hours,
                    median(cpu[2]) / hours, median(wall[2]) / hours, median(cpuRatio), median(wallRatio));
    }
    return 0;
}
