// Prints what preparing the next ten entries costs: a running order of
// three-minute songs, checked (and MP3s converted) at nice 19, one file at a
// time. CPU seconds of the decoder per hour of audio, and the wall time.
#include "conversionqueue.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kSongs = 10;
constexpr int kSongSeconds = 180;

double preparationCost(const std::vector<Playlist> &order, double &wallSeconds)
{
    ConversionQueue queue;
    QSignalSpy checked(&queue, &ConversionQueue::checked);
    const double cpuBefore = TestSupport::cpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    queue.plan(order, 0, 0, false);
    while (checked.count() < int(order.size()) && wall.elapsed() < 600000)
        checked.wait(1000);
    wallSeconds = wall.elapsed() / 1000.0;
    return TestSupport::cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
}

} // namespace

int main(int argc, char *argv[])
{
    TestSupport::isolateEnvironment();
    QCoreApplication app(argc, argv);
    const QString folder = TestSupport::privateRoot();
    std::printf("Qt %s, %d songs of %d s each\n", qVersion(), kSongs, kSongSeconds);
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
        double wallSeconds = 0.0;
        const double cpu = preparationCost(order, wallSeconds);
        const double hours = kSongs * kSongSeconds / 3600.0;
        std::printf("  %s: %6.2f CPU s for %d songs (%6.1f CPU s per hour of audio), %6.2f s wall\n",
                    extension, cpu, kSongs, cpu / hours, wallSeconds);
    }
    return 0;
}
