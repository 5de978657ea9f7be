// Prints how long the desk's event loop stalls while the air passes from a
// short WAV to a 60-minute MP3: once before the MP3 was ever converted, once
// with its converted copy already cached.
//
// Usage: bench_handover [FOLDER]  (FOLDER keeps the generated MP3 across runs)
#include "mainwindow.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// The outgoing item reads 0:02 remaining about 1 s after Play, before any
// background work on the following item could have finished.
constexpr int kShortSeconds = 4;
constexpr int kLongMinutes = 60;
// makeTone gives ffmpeg one minute; a whole hour in one go comes too close.
constexpr int kChunkMinutes = 5;
constexpr int kTransitionSeconds = 2;
constexpr int kSpeedFade = 2;
constexpr int kTickMs = 10;
constexpr qint64 kAfterHandOverMs = 4000;
constexpr qint64 kHandOverTimeoutMs = 90000;
constexpr qint64 kSlowGapMs = 50;

QStringList cacheFiles(bool completeOnly)
{
    // A conversion in progress carries a suffix after ".wav".
    const QString pattern = completeOnly ? QStringLiteral("orvadio_*.wav") : QStringLiteral("orvadio_*");
    return QDir(QDir::tempPath()).entryList({pattern}, QDir::Files);
}

void removeCache()
{
    for (const QString &name : cacheFiles(false))
        QFile::remove(QDir::tempPath() + QLatin1Char('/') + name);
}

// Encodes the hour in pieces and joins them without re-encoding; the result
// appears under `path` only when complete.
bool makeLongMp3(const QString &path)
{
    const QString work = TestSupport::privateRoot() + QStringLiteral("/chunks");
    QDir().mkpath(work);
    QFile list(work + QStringLiteral("/list.txt"));
    if (!list.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QElapsedTimer timer;
    timer.start();
    for (int done = 0; done < kLongMinutes; done += kChunkMinutes) {
        const QString chunk = QStringLiteral("%1/%2.mp3").arg(work).arg(done);
        if (!TestSupport::makeTone(chunk, kChunkMinutes * 60))
            return false;
        list.write(QStringLiteral("file '%1'\n").arg(chunk).toUtf8());
        std::printf("  encoded %2d of %d minutes (%.1f s)\n", done + kChunkMinutes, kLongMinutes,
                    double(timer.elapsed()) / 1000);
        std::fflush(stdout);
    }
    list.close();
    const QString partial = path + QStringLiteral(".part");
    const bool joined = TestSupport::run(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
         QStringLiteral("concat"), QStringLiteral("-safe"), QStringLiteral("0"),
         QStringLiteral("-i"), list.fileName(), QStringLiteral("-c"), QStringLiteral("copy"),
         QStringLiteral("-f"), QStringLiteral("mp3"), partial});
    QDir(work).removeRecursively();
    if (!joined) {
        QFile::remove(partial);
        return false;
    }
    QFile::remove(path);
    return QFile::rename(partial, path);
}

struct Outcome
{
    bool completed = false;
    int ticks = 0;
    int slowGaps = 0;
    double longestGapMs = 0;
    qint64 gapStartMs = 0;
    qint64 spanMs = 0;
    qint64 lastTickBeforeMs = -1; // last tick that still saw the first item current
    qint64 firstTickAfterMs = -1;
    bool cachedAtHandOver = false;
    qint64 incomingPlayingMs = -1;
    qint64 incomingMovingMs = -1;
    QString incomingChannel;
    QString incomingFile;
};

Outcome handOver(const QString &shortWav, const QString &longMp3)
{
    TestSupport::clearSettings();
    {
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        settings.setValue(QStringLiteral("volume/TransitionAudioTime"), kTransitionSeconds);
        settings.setValue(QStringLiteral("volume/speedFade"), kSpeedFade);
    }
    auto desk = std::make_unique<MainWindow>();
    desk->show();
    if (!QTest::qWaitForWindowExposed(desk.get()))
        std::fprintf(stderr, "the desk's window was not exposed\n");
    desk->playlist = {{QStringLiteral("short"), shortWav, QStringLiteral("00:04"), QStringLiteral("music")},
                      {QStringLiteral("long"), longMp3, QStringLiteral("60:00"), QStringLiteral("music")}};
    desk->updateAudioList();

    Outcome out;
    AudioPlayer *incoming = nullptr;
    QElapsedTimer sincePlay;
    qint64 lastTickNs = 0;
    qint64 longestNs = 0;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kTickMs);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        const qint64 nowNs = sincePlay.nsecsElapsed();
        const qint64 gapNs = nowNs - lastTickNs;
        if (gapNs > longestNs) {
            longestNs = gapNs;
            out.gapStartMs = lastTickNs / 1000000;
        }
        if (gapNs > kSlowGapMs * 1000000)
            ++out.slowGaps;
        lastTickNs = nowNs;
        ++out.ticks;
        const qint64 now = nowNs / 1000000;
        out.spanMs = now;

        if (out.firstTickAfterMs < 0) {
            if (desk->sequencer->currentIndex() == 0) {
                out.lastTickBeforeMs = now;
                out.cachedAtHandOver = !cacheFiles(true).isEmpty();
            } else {
                out.firstTickAfterMs = now;
            }
        }
        if (!incoming) {
            for (AudioPlayer *player : {&desk->player1, &desk->player2}) {
                if (player->isPlaying() && !player->file().isEmpty() && player->file() != shortWav) {
                    incoming = player;
                    out.incomingPlayingMs = now;
                    out.incomingChannel =
                        player == &desk->player1 ? QStringLiteral("player1") : QStringLiteral("player2");
                    out.incomingFile = QFileInfo(player->file()).fileName();
                }
            }
        }
        if (incoming && out.incomingMovingMs < 0 && incoming->getPosition() > 0)
            out.incomingMovingMs = now;

        if (out.firstTickAfterMs >= 0 && now >= out.firstTickAfterMs + kAfterHandOverMs) {
            out.completed = out.incomingPlayingMs >= 0;
            loop.quit();
        } else if (out.firstTickAfterMs < 0 && now >= kHandOverTimeoutMs) {
            loop.quit();
        }
    });

    tick.start();
    sincePlay.start();
    if (auto *play = desk->findChild<QPushButton *>(QStringLiteral("btn_play")))
        play->click();
    else
        desk->on_btn_play_clicked();
    loop.exec();
    tick.stop();
    out.longestGapMs = double(longestNs) / 1e6;

    desk->on_btn_stop_clicked();
    QTest::qWait(300);
    return out;
}

// `cold`: the item should still need converting at its hand-over.
void report(const char *title, const Outcome &out, bool cold)
{
    std::printf("%s\n", title);
    std::printf("  longest tick gap:    %8.1f ms, from %lld ms after Play\n", out.longestGapMs,
                static_cast<long long>(out.gapStartMs));
    std::printf("  ticks:               %6d in %lld ms (%d gaps over %lld ms)\n", out.ticks,
                static_cast<long long>(out.spanMs), out.slowGaps,
                static_cast<long long>(kSlowGapMs));
    if (out.firstTickAfterMs < 0) {
        std::printf("  Play to hand-over:   none within %lld ms\n",
                    static_cast<long long>(kHandOverTimeoutMs));
    } else {
        std::printf("  Play to hand-over:   %6lld ms (first tick after it: %lld ms)\n",
                    static_cast<long long>(out.lastTickBeforeMs),
                    static_cast<long long>(out.firstTickAfterMs));
    }
    if (out.incomingPlayingMs < 0) {
        std::printf("  incoming channel:    never played\n");
    } else {
        std::printf("  incoming channel:    %s playing at %lld ms, position moving at %lld ms\n",
                    qPrintable(out.incomingChannel), static_cast<long long>(out.incomingPlayingMs),
                    static_cast<long long>(out.incomingMovingMs));
        std::printf("                       file %s\n", qPrintable(out.incomingFile));
    }
    if (cold && out.cachedAtHandOver)
        std::printf("  note: a converted copy already existed at the hand-over\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    TestSupport::isolateEnvironment();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString keep =
        arguments.size() > 1 ? QDir(arguments.at(1)).absolutePath() : TestSupport::privateRoot();

    std::printf("Qt %s, sound server: %s\n", qVersion(),
                qEnvironmentVariableIsSet("PULSE_SERVER") ? qgetenv("PULSE_SERVER").constData()
                                                          : "default");
    std::fflush(stdout);

    const QString shortWav = TestSupport::privateRoot() + QStringLiteral("/short.wav");
    if (!TestSupport::makeTone(shortWav, kShortSeconds, 660)) {
        std::fprintf(stderr, "could not make the short WAV\n");
        return 1;
    }
    const QString longMp3 = keep + QStringLiteral("/handover-60min.mp3");
    if (QFileInfo(longMp3).size() > 0) {
        std::printf("reusing %s\n", qPrintable(longMp3));
    } else {
        QDir().mkpath(keep);
        std::printf("making %s\n", qPrintable(longMp3));
        std::fflush(stdout);
        if (!makeLongMp3(longMp3)) {
            std::fprintf(stderr, "could not make the 60-minute MP3\n");
            return 1;
        }
    }
    std::printf("hand-over after a %d s WAV to a %d-minute MP3, transition %d s, speedFade %d\n",
                kShortSeconds, kLongMinutes, kTransitionSeconds, kSpeedFade);
    std::fflush(stdout);

    removeCache();
    const Outcome fresh = handOver(shortWav, longMp3);
    report("(a) MP3 never converted", fresh, true);

    // Whatever the desk left unfinished, the cache holds the whole conversion
    // from here on.
    {
        AudioPlayer converter;
        converter.transcodeIfNeeded(longMp3);
    }
    const QStringList cached = cacheFiles(true);
    if (cached.isEmpty()) {
        std::printf("(b) skipped: no converted copy in %s\n", qPrintable(QDir::tempPath()));
        return 1;
    }
    const Outcome warm = handOver(shortWav, longMp3);
    report("(b) MP3 already converted", warm, false);

    return fresh.completed && warm.completed ? 0 : 1;
}
