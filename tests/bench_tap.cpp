// Prints what the level tap costs per second of audio, and the desk's CPU use
// while one item plays next to a bare command-line player of the same file.
#include "mainwindow.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QStandardPaths>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kSeconds = 15;

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds this process spends while `player` plays the whole file.
double playAndMeasure(AudioPlayer &player, const QString &file)
{
    player.addMedia(file);
    const double before = cpuSeconds(RUSAGE_SELF);
    player.Play();
    QElapsedTimer wall;
    wall.start();
    while (!player.isPlaying() && wall.elapsed() < 5000)
        QTest::qWait(10);
    while (player.isPlaying() && wall.elapsed() < (kSeconds + 5) * 1000)
        QTest::qWait(50);
    return cpuSeconds(RUSAGE_SELF) - before;
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
        MainWindow window; // its own tap on each channel, feeding calculateRMS
        window.displayTimer->stop();
        QObject::connect(window.bufferOutput, &AudioTap::audioBufferReceived, &window,
                         [&blocks] { ++blocks; });
        tapped = playAndMeasure(window.player1, file);
    }
    double desk = 0;
    {
        MainWindow window;
        window.playlist.push_back({QStringLiteral("bench"), file, QString(), QStringLiteral("jingle")});
        const double before = cpuSeconds(RUSAGE_SELF);
        window.on_btn_play_clicked();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(500);
        while (window.player2.isPlaying() && wall.elapsed() < (kSeconds + 5) * 1000)
            QTest::qWait(50);
        desk = cpuSeconds(RUSAGE_SELF) - before;
        window.on_btn_stop_clicked();
    }

    QString reference = QStandardPaths::findExecutable(QStringLiteral("gst-play-1.0"));
    QStringList arguments = {QStringLiteral("-q"), file};
    if (reference.isEmpty()) {
        reference = QStandardPaths::findExecutable(QStringLiteral("ffplay"));
        arguments = {QStringLiteral("-nodisp"), QStringLiteral("-autoexit"),
                     QStringLiteral("-loglevel"), QStringLiteral("quiet"), file};
    }
    double bare = -1;
    if (!reference.isEmpty()) {
        const double before = cpuSeconds(RUSAGE_CHILDREN);
        TestSupport::run(reference, arguments, (kSeconds + 10) * 1000);
        bare = cpuSeconds(RUSAGE_CHILDREN) - before;
    }

    std::printf("Qt %s, %d s stereo WAV\n", qVersion(), kSeconds);
    std::printf("  channel alone:            %6.3f s CPU (%5.2f %%)\n", plain, 100 * plain / kSeconds);
    std::printf("  channel with level tap:   %6.3f s CPU (%5.2f %%), %d blocks delivered\n", tapped,
                100 * tapped / kSeconds, blocks);
    std::printf("  tap cost per audio second: %6.2f ms\n", 1000 * (tapped - plain) / kSeconds);
    std::printf("  whole desk, one item:     %6.3f s CPU (%5.2f %%)\n", desk, 100 * desk / kSeconds);
    if (bare >= 0)
        std::printf("  %s:%*s%6.3f s CPU (%5.2f %%)\n", qPrintable(QFileInfo(reference).fileName()),
                    int(24 - QFileInfo(reference).fileName().size()), "", bare, 100 * bare / kSeconds);
    return 0;
}
