// Prints what converting a five-minute MP3 costs through the channel, next to
// plain ffmpeg on the same file, and what a cache hit costs.
#include "audioplayer.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    TestSupport::isolateEnvironment();
    QCoreApplication app(argc, argv);
    const QString folder = TestSupport::privateRoot();
    const QString song = folder + QStringLiteral("/five-minutes.mp3");
    if (!TestSupport::makeTone(song, 300, 440, 0.5, QStringLiteral("0.5+0.5*sin(t)"))) {
        std::fprintf(stderr, "could not make the test MP3\n");
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    TestSupport::run(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error"),
                      QStringLiteral("-i"), song, QStringLiteral("-vn"), QStringLiteral("-acodec"),
                      QStringLiteral("pcm_s16le"), QStringLiteral("-f"), QStringLiteral("wav"),
                      folder + QStringLiteral("/plain.wav")});
    const qint64 plainMs = timer.elapsed();

    AudioPlayer player;
    timer.restart();
    const QString converted = player.transcodeIfNeeded(song);
    const qint64 convertNs = timer.nsecsElapsed();

    constexpr int hits = 1000;
    timer.restart();
    for (int i = 0; i < hits; ++i)
        player.transcodeIfNeeded(song);
    const double hitUs = timer.nsecsElapsed() / 1000.0 / hits;

    std::printf("Qt %s, 5-minute MP3 (%lld bytes)\n", qVersion(),
                static_cast<long long>(QFileInfo(song).size()));
    std::printf("  plain ffmpeg to WAV:        %6lld ms\n", static_cast<long long>(plainMs));
    std::printf("  transcodeIfNeeded, convert: %6lld ms (%s)\n",
                static_cast<long long>(convertNs / 1000000),
                converted == song ? "FAILED" : "ok");
    std::printf("  transcodeIfNeeded, cached:  %9.1f us per call (mean of %d)\n", hitUs, hits);
    return converted == song ? 1 : 0;
}
