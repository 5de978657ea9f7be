// Prints what the level tap costs per second of audio: the CPU time of one
// channel playing a WAV item with and without its tap. The whole desk against
// a bare player is bench_onair_cpu's.
#include "mainwindow.h"
#include "testsupport.h"

#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kSeconds = 15;

// CPU seconds this process spends while `player` plays the whole file.
double playAndMeasure(AudioPlayer &player, const QString &file)
{
    player.addMedia(file);
    const double before = TestSupport::cpuSeconds(RUSAGE_SELF);
    player.Play();
    QElapsedTimer wall;
    wall.start();
    while (!player.isPlaying() && wall.elapsed() < 5000)
        QTest::qWait(10);
    while (player.isPlaying() && wall.elapsed() < (kSeconds + 5) * 1000)
        QTest::qWait(50);
    return TestSupport::cpuSeconds(RUSAGE_SELF) - before;
}

} // namespace

int main(int argc, char *argv[])
{
    TestSupport::isolateEnvironment();
    QApplication app(argc, argv);
    const QString file = TestSupport::privateRoot() + QStringLiteral("/bench.wav");
    if (!TestSupport::makeTone(file, kSeconds)) {
        std::fprintf(stderr, "could not make the test file\n");
        return 1;
    }

    int blocks = 0;
    double plain = 0;
    double tapped = 0;
    {
        AudioPlayer player;
        plain = playAndMeasure(player, file);
    }
    {
        AudioPlayer player;
        AudioTap tap;
        player.setBuffer(&tap);
        QObject::connect(&tap, &AudioTap::audioBufferReceived, &app, [&blocks] { ++blocks; });
        tapped = playAndMeasure(player, file);
    }

    std::printf("Qt %s, %d s stereo WAV\n", qVersion(), kSeconds);
    std::printf("  channel alone:            %6.3f s CPU (%5.2f %%)\n", plain, 100 * plain / kSeconds);
    std::printf("  channel with level tap:   %6.3f s CPU (%5.2f %%), %d blocks delivered\n", tapped,
                100 * tapped / kSeconds, blocks);
    std::printf("  tap cost per audio second: %6.2f ms\n", 1000 * (tapped - plain) / kSeconds);
    return 0;
}
