// Prints what preparing the coming entries costs now that it measures their
// loudness and finds their cue points: the desk's preparation of ten
// three-minute songs (probe, then decode, check and measure in one run, MP3s
// converted, at nice 19, one file at a time), with cue points and without
// them, against a bare `ffmpeg -af ebur128 -f null -` of the same files, in
// CPU seconds and wall seconds per hour of audio. Each way runs twice, in
// turns, and the cheaper run counts: other work on the machine only adds.
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
constexpr int kRounds = 2;

struct Cost
{
    double cpu = 0.0;
    double wall = 0.0;
};

Cost cheaper(const Cost &one, const Cost &other)
{
    return {std::min(one.cpu, other.cpu), std::min(one.wall, other.wall)};
}

Cost deskCost(const std::vector<Playlist> &order, bool cues)
{
    Loudness::setCuesWanted(cues);
    const QString store = TestSupport::privateRoot() + QStringLiteral("/loudness.txt");
    QFile::remove(store);
    for (const Playlist &song : order)
        QFile::remove(ConversionCache::cacheFileFor(song.path));
    Loudness loudness(store);
    Preparation queue;
    queue.setLoudness(&loudness);
    QSignalSpy measured(&loudness, &Loudness::measured);
    const double cpuBefore = TestSupport::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    queue.plan(order, 0, 0, false);
    while (measured.count() < int(order.size()) && wall.elapsed() < kGiveUpMs)
        measured.wait(1000);
    return {TestSupport::cpuSeconds(RUSAGE_CHILDREN) - cpuBefore, wall.elapsed() / 1000.0};
}

Cost bareCost(const std::vector<Playlist> &order)
{
    const double cpuBefore = TestSupport::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    for (const Playlist &song : order)
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
        Cost without{1e9, 1e9};
        Cost with = without;
        Cost bare = without;
        for (int round = 0; round < kRounds; ++round) {
            without = cheaper(without, deskCost(order, false));
            with = cheaper(with, deskCost(order, true));
            bare = cheaper(bare, bareCost(order));
        }
        std::printf("  %s, desk (%s, checked and measured):\n"
                    "    with cue points    %6.1f CPU s, %6.1f s wall\n"
                    "    without them       %6.1f CPU s, %6.1f s wall\n"
                    "    bare ebur128       %6.1f CPU s, %6.1f s wall\n"
                    "    with / without     %6.3f CPU,   %6.3f wall\n",
                    extension, extension[0] == 'm' ? "converted" : "decoded", with.cpu / hours,
                    with.wall / hours, without.cpu / hours, without.wall / hours, bare.cpu / hours,
                    bare.wall / hours, with.cpu / without.cpu, with.wall / without.wall);
    }
    return 0;
}
