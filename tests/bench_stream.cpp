// Prints the CPU time of the desk on air for N seconds with the stream (MP3,
// 128 kb/s, to a private stream server) and the air check (Ogg Opus, mono)
// on, of the same desk with both off, and of bare ffmpeg runs doing the same
// two encodings of the same sink. The desk's figures take its ffmpeg
// children in; each desk runs in a child process of its own.
//
//   bench_stream [seconds]      (default 30)
#include "mainwindow.h"
#include "testsupport.h"

#include <QEventLoop>
#include <QSettings>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kDefaultSeconds = 30;

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double spentSoFar()
{
    return TestSupport::cpuSeconds(RUSAGE_SELF) + TestSupport::cpuSeconds(RUSAGE_CHILDREN);
}

// Child: a desk from its start to its end, on air with `file` for `seconds`.
double deskOnAir(const QString &file, int seconds)
{
    const double before = spentSoFar();
    {
        MainWindow window;
        window.show();
        runFor(1000);
        window.playlist.push_back({QStringLiteral("bench"), file, QString(), QStringLiteral("jingle")});
        window.updateAudioList();
        window.on_btn_play_clicked();
        runFor(seconds * 1000);
        window.on_btn_stop_clicked();
    }
    return spentSoFar() - before;
}

double inChild(const QString &file, int seconds, bool feeds, const TestSupport::StreamServer &server)
{
    {
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        settings.setValue(QStringLiteral("stream/enabled"), feeds);
        settings.setValue(QStringLiteral("stream/serverUrl"), server.url());
        settings.setValue(QStringLiteral("stream/mount"), server.mount());
        settings.setValue(QStringLiteral("stream/password"), server.sourcePassword());
        settings.setValue(QStringLiteral("aircheck/enabled"), feeds);
        settings.setValue(QStringLiteral("aircheck/folder"), TestSupport::privateRoot() + QStringLiteral("/desk-aircheck"));
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--desk"), file, QString::number(seconds)});
    child.waitForFinished(-1);
    bool ok = false;
    const double spent = child.readAllStandardOutput().trimmed().split('\n').last().toDouble(&ok);
    return ok ? spent : -1;
}

// The two encodings by ffmpeg alone, side by side, for `seconds`.
double bareEncoders(int seconds)
{
    const QString monitor = qEnvironmentVariable("ORVARADIO_TEST_SINK") + QStringLiteral(".monitor");
    const QString length = QString::number(seconds);
    const QStringList capture = {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                 QStringLiteral("-f"), QStringLiteral("pulse"), QStringLiteral("-i"), monitor,
                                 QStringLiteral("-t"), length};
    const QString folder = TestSupport::privateRoot() + QStringLiteral("/bare-aircheck");
    QDir().mkpath(folder);
    const double before = TestSupport::cpuSeconds(RUSAGE_CHILDREN);
    QProcess stream;
    QProcess airCheck;
    stream.start(QStringLiteral("ffmpeg"), capture + QStringList{QStringLiteral("-ac"), QStringLiteral("2"),
                                                                 QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
                                                                 QStringLiteral("-b:a"), QStringLiteral("128k"),
                                                                 QStringLiteral("-f"), QStringLiteral("mp3"),
                                                                 QStringLiteral("-y"), QStringLiteral("/dev/null")});
    airCheck.start(QStringLiteral("ffmpeg"),
                   capture + QStringList{QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-c:a"),
                                         QStringLiteral("libopus"), QStringLiteral("-b:a"), QStringLiteral("48k"),
                                         QStringLiteral("-f"), QStringLiteral("segment"), QStringLiteral("-segment_time"),
                                         QStringLiteral("3600"), QStringLiteral("-segment_format"), QStringLiteral("ogg"),
                                         QStringLiteral("-y"), folder + QStringLiteral("/%03d.ogg")});
    const int limitMs = (seconds + 10) * 1000;
    if (!stream.waitForFinished(limitMs) || !airCheck.waitForFinished(limitMs))
        return -1;
    return TestSupport::cpuSeconds(RUSAGE_CHILDREN) - before;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 3 && qstrcmp(argv[1], "--desk") == 0) {
        QApplication app(argc, argv);
        std::printf("%.3f\n", deskOnAir(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt()));
        return 0;
    }
    const int seconds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : kDefaultSeconds;
    TestSupport::isolateEnvironment();
    QApplication app(argc, argv);
    const QString file = TestSupport::privateRoot() + QStringLiteral("/onair.wav");
    TestSupport::StreamServer server;
    if (!TestSupport::soundServerAvailable() || !TestSupport::makeTone(file, seconds + 5) || !server.start(false)) {
        std::fprintf(stderr, "needs the test sound server and icecast2: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    const double plain = inChild(file, seconds, false, server);
    const double fed = inChild(file, seconds, true, server);
    const double bare = bareEncoders(seconds);
    std::printf("Qt %s, %d s on air; CPU seconds, whole desk from start to end, with its helpers\n", qVersion(),
                seconds);
    std::printf("  desk, stream and air check off  %7.3f s\n", plain);
    std::printf("  desk, stream and air check on   %7.3f s   (+%.3f s, %.2f %% of a core)\n", fed, fed - plain,
                100 * (fed - plain) / seconds);
    std::printf("  bare ffmpeg, the same encodings %7.3f s   (%.2f %% of a core)\n", bare, 100 * bare / seconds);
    if (bare > 0)
        std::printf("  the feeds' cost against bare ffmpeg: ratio %.2f\n", (fed - plain) / bare);
    return 0;
}
