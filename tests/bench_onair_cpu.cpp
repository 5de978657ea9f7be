// Prints the CPU time of the whole desk, shown, on air with one WAV item and
// idle, next to a bare command-line player of the same file on the same sink
// (gst-play-1.0, or ffplay -nodisp where the media framework is FFmpeg), and
// their ratio. Each desk runs in a child process of its own, so nothing left
// over from one measurement counts in the next. Run it against the private
// test sink, as the tests run.
//
//   bench_onair_cpu [seconds]      (default 20)
#include "mainwindow.h"
#include "testsupport.h"

#include <QEventLoop>
#include <QStandardPaths>

#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr int kDefaultSeconds = 20;
// How long the bare player may take beyond the file's length.
constexpr int kPlayerSlackMs = 10000;

// Runs the event loop for `ms`. QTest::qWait would poll every 10 ms and
// count its own wake-ups as the desk's.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Child: a desk on air with `file`, from Play for as long as the file lasts
// (a running order of one entry would start it again at its end).
double deskOnAir(const QString &file, int seconds)
{
    MainWindow window;
    window.show();
    runFor(1000);
    window.playlist.push_back({QStringLiteral("bench"), file, QString(), QStringLiteral("jingle")});
    window.updateAudioList();
    const double before = TestSupport::cpuSeconds(RUSAGE_SELF);
    window.on_btn_play_clicked();
    runFor(seconds * 1000);
    const double spent = TestSupport::cpuSeconds(RUSAGE_SELF) - before;
    window.on_btn_stop_clicked();
    return spent;
}

// Child: a shown desk that is not on air, for `seconds`.
double deskIdle(int seconds)
{
    MainWindow window;
    window.show();
    runFor(1000);
    const double before = TestSupport::cpuSeconds(RUSAGE_SELF);
    runFor(seconds * 1000);
    return TestSupport::cpuSeconds(RUSAGE_SELF) - before;
}

// Runs this program again in `mode`, and reads the CPU seconds it prints.
double inChild(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    bool ok = false;
    const double spent = child.readAllStandardOutput().trimmed().split('\n').last().toDouble(&ok);
    return ok ? spent : -1;
}

double bareOnAir(const QString &reference, const QString &file, int seconds)
{
    QStringList arguments = {QStringLiteral("-q"), file};
    if (QFileInfo(reference).fileName() == QLatin1String("ffplay"))
        arguments = {QStringLiteral("-nodisp"), QStringLiteral("-autoexit"),
                     QStringLiteral("-loglevel"), QStringLiteral("quiet"), file};
    const double before = TestSupport::cpuSeconds(RUSAGE_CHILDREN);
    if (!TestSupport::run(reference, arguments, seconds * 1000 + kPlayerSlackMs))
        return -1;
    return TestSupport::cpuSeconds(RUSAGE_CHILDREN) - before;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && (qstrcmp(argv[1], "--onair") == 0 || qstrcmp(argv[1], "--idle") == 0)) {
        const bool onAir = qstrcmp(argv[1], "--onair") == 0;
        const int seconds = QByteArray(argv[argc - 1]).toInt();
        // The parent's private folders, with the media framework's plugin
        // registry already made, so that no child pays for making it.
        QApplication app(argc, argv);
        const double spent = onAir ? deskOnAir(QString::fromLocal8Bit(argv[2]), seconds) : deskIdle(seconds);
        std::printf("%.3f\n", spent);
        return 0;
    }

    const int seconds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : kDefaultSeconds;
    TestSupport::isolateEnvironment();
    QApplication app(argc, argv);
    const QString file = TestSupport::privateRoot() + QStringLiteral("/onair.wav");
    if (!TestSupport::makeTone(file, seconds)) {
        std::fprintf(stderr, "could not make the test file\n");
        return 1;
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    const QString referenceName = QStringLiteral("ffplay");
#else
    const QString referenceName = QStringLiteral("gst-play-1.0");
#endif
    const QString reference = QStandardPaths::findExecutable(referenceName);
    // A first short play makes the plugin registry of the private folders and
    // reads the player from disk; neither is part of playing.
    const QString warmUp = TestSupport::privateRoot() + QStringLiteral("/warmup.wav");
    if (!reference.isEmpty() && TestSupport::makeTone(warmUp, 1))
        bareOnAir(reference, warmUp, 1);

    const double bare = reference.isEmpty() ? -1 : bareOnAir(reference, file, seconds);
    const double onAir = inChild({QStringLiteral("--onair"), file, QString::number(seconds)});
    const double idle = inChild({QStringLiteral("--idle"), QString::number(seconds)});

    std::printf("Qt %s, %d s stereo WAV, %s\n", qVersion(), seconds,
                TestSupport::soundServerAvailable() ? "private sound server" : "no sound server");
    std::printf("  %-14s %7.3f s CPU (%5.2f %% of a core)\n", qPrintable(referenceName), bare,
                100 * bare / seconds);
    std::printf("  desk on air    %7.3f s CPU (%5.2f %%)", onAir, 100 * onAir / seconds);
    if (bare > 0)
        std::printf("   ratio %.2f", onAir / bare);
    std::printf("\n  desk idle      %7.3f s CPU (%5.2f %%)", idle, 100 * idle / seconds);
    if (bare > 0)
        std::printf("   ratio %.2f", idle / bare);
    std::printf("\n");
    return 0;
}
