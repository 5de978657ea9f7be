#include "preparation.h"
#include "loudness.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "buttonhole.h"
#include "conversioncache.h"
#include "playoutretry.h"
#include "playwatch.h"
#include "nowplaying.h"
#include "timerclock.h"
#include "wavreader.h"
#include "viewhold.h"

#include <QDesktopServices>
#include <QFileSystemModel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QWheelEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Time for a channel to report PlayingState after it was told to play.
constexpr int kStartToleranceMs = 3000;
// Four short files decoded ahead by the preparation, one after the other.
constexpr int kMeasuredAheadMs = 20000;
// Extra time past the expected moment of a hand-over or of an item's end.
constexpr int kHandOverToleranceMs = 2500;
// How long a failing item gets to report all its errors.
constexpr int kErrorSettleMs = 1000;
// How long a desk that should stay quiet is watched.
constexpr int kQuietWatchMs = 800;
// Tone length of the generated items, and of the time announcement.
constexpr int kToneSeconds = 3;
constexpr int kLongToneSeconds = 8;
constexpr int kJingleSeconds = 2;
constexpr int kStingSeconds = 1;
constexpr int kAnnouncementSeconds = 2;

// The recorded loop: two tones whose Goertzel bins lie far apart and hold a
// whole number of periods per analysis window.
constexpr int kSampleRate = 44100;
constexpr int kRecordedToneSeconds = 5;
// Recorded music that fades fast (speed 5: over a second) needs no more.
constexpr int kShortToneSeconds = 3;
constexpr int kFastFadeMs = 1000;
constexpr int kLowHz = 660;
constexpr int kHighHz = 1500;
constexpr int kWindowMs = 50;
// A tone counts as present from this amplitude on (0.5 at full volume).
constexpr double kPresentAmplitude = 0.02;
// Shorter label runs are flicker at a window edge, not a state of the loop.
constexpr int kMinRunWindows = 2;
// The longest tolerated silence on air: one fade tick.
constexpr int kFadeTickMs = 500;
// The most 50 ms windows a loaded machine's recording may drop.
constexpr int kRecordingHiccupWindows = 2;
// The longest tolerated silence where nothing but starting a file stands
// between two items.
constexpr int kStartGapMs = 600;
// How long a recording goes on after the moment under test.
constexpr int kListenAfterMs = 3500;
// A channel's first sound reaches the recording this soon after it is taken
// (longer with the FFmpeg backend on a loaded machine).
constexpr int kHeardAfterStartMs = 1500;
constexpr int kJumpToneSeconds = 12;
// A converter that takes longer than the whole first item.
constexpr int kSlowConverterSeconds = 6;
// Media gone: how long, and what the desk may cost meanwhile, also over a
// minute (the pauses grow to 10 s).
constexpr int kAwayMs = 10000;
constexpr double kMostCpuShareAway = 0.05;
constexpr int kMostLinesAway = 20;
// Failure rows wait this long for an outage to be noticed.
constexpr int kFailedRowsHeldMs = 2500;
// Sound is back this soon after the media are.
constexpr int kBackWithinMs = 5000;
// The first wait after a run of failures; how early a coarse timer may end
// it (5 %), and how late the retry may come on a busy machine.
// Time for the preparation to find the entries of a running order bad.
constexpr int kPrepareMs = 10000;
// A known-bad entry is passed over within the ordinary start of the next.
constexpr int kPassOverGapMs = 300;
constexpr qint64 kLongestTickGapMs = 100;
constexpr int kFirstPauseMs = 1000;
constexpr int kPauseEarlyMs = 50;
constexpr int kRetryLateMs = 1000;
// A fixed start is heard this close to its time: its timer, a channel's
// start and the recording's own offset.
constexpr qint64 kFixedStartToleranceMs = 600;
// On cue points: how close to its moment an item is heard (and a window of
// the analysis more), and the longest silence between items.
constexpr int kCueToleranceMs = 100 + kWindowMs;
constexpr int kCueGapMs = 300;
// How far a start shown in the running order may be from when it really comes.
constexpr int kShownStartToleranceSeconds = 5;

using Kinds = QStringList;

// `clearedSwitches`: configuration switches stored unticked ("volume/stopFade", ...).
std::unique_ptr<MainWindow> openDesk(const std::vector<Playlist> &list, int transition,
                                     int speedFade, const QString &timeDir = QString(),
                                     const QStringList &clearedSwitches = {})
{
    TestSupport::clearSettings();
    {
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        for (const QString &key : clearedSwitches)
            settings.setValue(key, false);
        settings.setValue(QStringLiteral("volume/TransitionAudioTime"), transition);
        settings.setValue(QStringLiteral("volume/speedFade"), speedFade);
        // Low enough that fast fades still duck to it.
        settings.setValue(QStringLiteral("volume/volumeToTalk"), 0.5);
        if (!timeDir.isEmpty())
            settings.setValue(QStringLiteral("files/audioTimeDir"), timeDir);
    }
    auto desk = std::make_unique<MainWindow>();
    desk->playlist = list;
    desk->updateAudioList();
    return desk;
}

Playlist entry(const QString &path, const QString &kind)
{
    return {QFileInfo(path).completeBaseName(), path, QStringLiteral("00:03"), kind};
}

const Playlist timeEntry = {QStringLiteral("Hora Certa"), QString(), QStringLiteral("--:--"),
                            QStringLiteral("time")};

void click(MainWindow &desk, const char *button)
{
    desk.findChild<QPushButton *>(QLatin1String(button))->click();
}

QModelIndex row(MainWindow &desk, int number)
{
    return desk.findChild<QTreeWidget *>(QStringLiteral("audio_list"))->model()->index(number, 0);
}

// The channel that plays `file`, or null.
AudioPlayer *channelOf(MainWindow &desk, const QString &file)
{
    for (AudioPlayer *player : {&desk.player1, &desk.player2}) {
        if (player->isPlaying() && player->file() == file)
            return player;
    }
    return nullptr;
}

AudioPlayer &otherChannel(MainWindow &desk, const AudioPlayer *player)
{
    return player == &desk.player1 ? desk.player2 : desk.player1;
}

bool silent(const MainWindow &desk)
{
    return desk.player1.isStopped() && desk.player2.isStopped()
           && desk.timePlayer->playbackState() != QMediaPlayer::PlayingState;
}

// What a recording holds, window by window: 'L' the low tone, 'H' the high
// one, 'B' both, '.' neither, from the first sound to the end.
struct Heard
{
    QString labels;
    QString states; // the labels' runs, flicker dropped
    int longestSilenceMs = 0;
};

Heard listen(const QVector<qint16> &samples)
{
    Heard heard;
    QString labels;
    const qsizetype frames = kSampleRate * kWindowMs / 1000;
    for (qsizetype first = 0; (first + frames) * 2 <= samples.size(); first += frames) {
        const bool low = TestSupport::Recorder::toneAmplitude(samples, first, frames, kLowHz) > kPresentAmplitude;
        const bool high = TestSupport::Recorder::toneAmplitude(samples, first, frames, kHighHz) > kPresentAmplitude;
        labels += QLatin1Char(low && high ? 'B' : low ? 'L' : high ? 'H' : '.');
    }
    const qsizetype start = labels.indexOf(QRegularExpression(QStringLiteral("[^.]")));
    if (start < 0)
        return heard;
    heard.labels = labels.mid(start);
    for (const QRegularExpressionMatch &run :
         QRegularExpression(QStringLiteral("(.)\\1*")).globalMatch(heard.labels)) {
        const QChar label = run.captured(1).at(0);
        if (label == QLatin1Char('.'))
            heard.longestSilenceMs = std::max(heard.longestSilenceMs, int(run.capturedLength()) * kWindowMs);
        else if (run.capturedLength() >= kMinRunWindows && !heard.states.endsWith(label))
            heard.states += label;
    }
    return heard;
}

// The amplitude of `frequency` in each window of a recording.
QVector<double> toneCourse(const QVector<qint16> &samples, double frequency)
{
    QVector<double> course;
    const qsizetype frames = kSampleRate * kWindowMs / 1000;
    for (qsizetype first = 0; (first + frames) * 2 <= samples.size(); first += frames)
        course.append(TestSupport::Recorder::toneAmplitude(samples, first, frames, frequency));
    return course;
}

// The course from the first window at full level on: the recording starts
// before the sound reaches it.
QVector<double> fromFullLevel(QVector<double> course)
{
    const double full = *std::max_element(course.cbegin(), course.cend());
    while (!course.isEmpty() && course.constFirst() < 0.9 * full)
        course.removeFirst();
    return course;
}

// Windows whose amplitude lies between `low` and `high` times the loudest one.
int windowsBetween(const QVector<double> &course, double low, double high)
{
    const double full = *std::max_element(course.cbegin(), course.cend());
    return int(std::count_if(course.cbegin(), course.cend(), [&](double amplitude) {
        return amplitude > low * full && amplitude < high * full;
    }));
}

QString figures(const QVector<double> &course)
{
    QStringList text;
    for (double amplitude : course)
        text.append(QString::number(amplitude, 'f', 2));
    return text.join(QLatin1Char(' '));
}

bool rowVisible(QTreeWidget *view, int number)
{
    return view->viewport()->rect().contains(view->visualItemRect(view->topLevelItem(number)).center());
}

// Ends the pause of a failure run now, as if its seconds had passed.
void endPause(PlayoutRetry &retry)
{
    for (QTimer *timer : retry.findChildren<QTimer *>()) {
        if (timer->isSingleShot() && timer->isActive())
            timer->start(0);
    }
}

int linesLogged = 0;

void countLine(QtMsgType, const QMessageLogContext &, const QString &)
{
    ++linesLogged;
}

double processCpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray captureStdout(const std::function<void()> &action)
{
    std::fflush(stdout);
    QTemporaryFile capture;
    if (!capture.open())
        return {};
    const int saved = dup(STDOUT_FILENO);
    dup2(capture.handle(), STDOUT_FILENO);
    action();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    capture.seek(0);
    return capture.readAll();
}

} // namespace

class TestSequencer : public QObject
{
    Q_OBJECT

public slots:
    void urlOpened(const QUrl &url) { openedUrls.append(url); }

private:
    QString lowTone, highTone, toneA, toneB, toneC, longA, longB, longC, jingle, sting, cartFile;
    QString highMp3, jumpLow, jumpHigh, lowJingle, notAudioMp3, garbageMp3;
    QString missing, notAudio, cutWav, timeDir, musicFolder, jingleFolder, emptyFolder;
    QString highJingle, cutShortWav, shortLow, shortHigh;
    QList<QUrl> openedUrls;

    // Kinds to entries: "music" items take the three tones in turn.
    std::vector<Playlist> entries(const Kinds &kinds) const
    {
        std::vector<Playlist> list;
        int music = 0;
        for (const QString &kind : kinds) {
            if (kind == QLatin1String("music"))
                list.push_back(entry(QStringList{toneA, toneB, toneC}[music++ % 3], kind));
            else if (kind == QLatin1String("jingle"))
                list.push_back(entry(jingle, kind));
            else
                list.push_back(timeEntry);
        }
        return list;
    }

private slots:
    void initTestCase()
    {
        const QString media = TestSupport::privateRoot() + QStringLiteral("/media/");
        bool made = true;
        const auto tone = [&](const QString &name, int seconds, int frequency) {
            made = made && TestSupport::makeTone(media + name, seconds, frequency);
            return media + name;
        };
        musicFolder = media + QStringLiteral("folder-music");
        jingleFolder = media + QStringLiteral("folder-jingle");
        emptyFolder = media + QStringLiteral("folder-empty");
        timeDir = media + QStringLiteral("time");
        for (const QString &dir : {musicFolder, jingleFolder, emptyFolder, timeDir})
            QVERIFY(QDir().mkpath(dir));
        lowTone = tone(QStringLiteral("low.wav"), kRecordedToneSeconds, kLowHz);
        highTone = tone(QStringLiteral("high.wav"), kRecordedToneSeconds, kHighHz);
        toneA = tone(QStringLiteral("a.wav"), kToneSeconds, 440);
        toneB = tone(QStringLiteral("b.wav"), kToneSeconds, 1000);
        toneC = tone(QStringLiteral("c.wav"), kToneSeconds, 1200);
        longA = tone(QStringLiteral("long-a.wav"), kLongToneSeconds, 440);
        longB = tone(QStringLiteral("long-b.wav"), kLongToneSeconds, 440);
        longC = tone(QStringLiteral("long-c.wav"), kLongToneSeconds, 440);
        highMp3 = tone(QStringLiteral("high.mp3"), kLongToneSeconds, kHighHz);
        jumpLow = tone(QStringLiteral("jump-low.wav"), kJumpToneSeconds, kLowHz);
        jumpHigh = tone(QStringLiteral("jump-high.wav"), kJumpToneSeconds, kHighHz);
        lowJingle = tone(QStringLiteral("low-jingle.wav"), kJingleSeconds, kLowHz);
        jingle = tone(QStringLiteral("jingle.wav"), kJingleSeconds, 660);
        sting = tone(QStringLiteral("sting.wav"), kStingSeconds, 660);
        cartFile = tone(QStringLiteral("cart.wav"), kJingleSeconds, 440);
        highJingle = tone(QStringLiteral("high-jingle.wav"), kJingleSeconds, kHighHz);
        shortLow = tone(QStringLiteral("short-low.wav"), kShortToneSeconds, kLowHz);
        shortHigh = tone(QStringLiteral("short-high.wav"), kShortToneSeconds, kHighHz);
        tone(QStringLiteral("time/0930.mp3"), kAnnouncementSeconds, 440);
        for (const char *name : {"folder-music/one.wav", "folder-music/TWO.WAV",
                                 "folder-jingle/one.wav", "folder-jingle/TWO.WAV"})
            tone(QLatin1String(name), kLongToneSeconds, 440);
        QVERIFY(made);
        // A copy cut off after 44 bytes: header, format chunk, the start of the next chunk.
        cutWav = media + QStringLiteral("cut.wav");
        {
            QFile whole(lowTone);
            QFile cut(cutWav);
            QVERIFY(whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
            QCOMPARE(cut.write(whole.read(44)), qint64(44));
        }
        // A copy cut off after one of its five seconds: it plays, and stops early.
        cutShortWav = media + QStringLiteral("cut-short.wav");
        {
            QFile whole(lowTone);
            QFile cut(cutShortWav);
            QVERIFY(whole.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
            WavReader::Chunks chunks;
            QVERIFY(WavReader::readChunks(whole, chunks) && whole.seek(0));
            QVERIFY(cut.write(whole.read(chunks.dataStart + kSampleRate * 4)) > 0);
        }
        missing = media + QStringLiteral("missing.wav");
        notAudio = media + QStringLiteral("not-audio.wav");
        notAudioMp3 = media + QStringLiteral("not-audio.mp3");
        garbageMp3 = tone(QStringLiteral("garbage.mp3"), 3, 440);
        QVERIFY(TestSupport::garbleAfterHeader(garbageMp3));
        for (const QString &text : {musicFolder + QStringLiteral("/notes.txt"),
                                    emptyFolder + QStringLiteral("/notes.txt"), notAudio,
                                    notAudioMp3}) {
            QFile notes(text);
            QVERIFY(notes.open(QIODevice::WriteOnly));
            notes.write("not audio");
        }
    }

    void emptyPlaylist()
    {
        auto desk = openDesk({}, 1, 5);
        QCOMPARE(captureStdout([&] { click(*desk, "btn_play"); }), QByteArray());
        QVERIFY(!desk->sequencer->onAir());
        QCOMPARE(captureStdout([&] { desk->next(); }), QByteArray("nothing\n"));
    }

    // What the sound server played during one loop of a two-tone list:
    // low, both, high, both, low, with no silence longer than a fade tick.
    void recordedLoop()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        auto desk = openDesk({entry(lowTone, "music"), entry(highTone, "music")}, 1, 2);
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        click(*desk, "btn_play");
        for (const int index : {1, 0})
            QTRY_COMPARE_WITH_TIMEOUT(desk->sequencer->currentIndex(), index,
                                      kRecordedToneSeconds * 1000 + kHandOverToleranceMs);
        // The outgoing tone has at most transition + 1 seconds left; then the
        // incoming one is heard alone.
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, lowTone) && otherChannel(*desk, channelOf(*desk, lowTone)).isStopped(),
                                 (desk->transitionAudioTime + 1) * 1000 + kHandOverToleranceMs);
        QTest::qWait(kFadeTickMs);
        const QVector<qint16> samples = recorder.stop();
        click(*desk, "btn_stop");

        const Heard heard = listen(samples);
        QVERIFY2(heard.longestSilenceMs <= kFadeTickMs, qPrintable(heard.labels));
        QVERIFY2(heard.states == QStringLiteral("LBHBL"),
                 qPrintable(heard.states + QLatin1Char(' ') + heard.labels));
    }

    // Files not cut to their sound: A ends in silence, B begins with some and
    // fades out long, jingle C has silence both sides. On their cue points
    // nothing of the silence is heard and B takes C in over its fade;
    // without them, today's gaps.
    void onTheSound_data()
    {
        QTest::addColumn<bool>("cues");
        QTest::newRow("cue points") << true;
        QTest::newRow("cue points off") << false;
    }

    void onTheSound()
    {
        QFETCH(bool, cues);
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const QString media = TestSupport::privateRoot() + QStringLiteral("/media/sound-");
        struct Made { const char *name; int hz; double seconds; const char *gate; };
        const Made made[] = {{"a.wav", kLowHz, 26, "lt(t,20)"},
                             {"b.wav", kHighHz, 34, "between(t,2,22)+gt(t,22)*max(0,1-(t-22)/12)"},
                             {"c.wav", kLowHz, 8.5, "between(t,0.5,5.5)"},
                             {"d.wav", kHighHz, 20, "1"}};
        std::vector<Playlist> order;
        for (const Made &file : made) {
            const QString path = media + QLatin1String(file.name);
            QVERIFY(TestSupport::makeTone(path, file.seconds, file.hz, 0.5, QLatin1String(file.gate)));
            order.push_back(entry(path, QLatin1String(file.name) == QLatin1String("c.wav") ? "jingle" : "music"));
        }
        auto desk = openDesk(order, 2, 2);
        // The desk finds the cue points ahead, as it prepares the order.
        for (const Playlist &item : order)
            QTRY_VERIFY_WITH_TIMEOUT(desk->loudness->cues(item.path).value_or(CuePoints()).known(), kMeasuredAheadMs);
        if (!cues)
            desk->sequencer->setCues({});
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        click(*desk, "btn_play");
        QTRY_COMPARE_WITH_TIMEOUT(desk->sequencer->currentIndex(), 3, 80000);
        QTest::qWait(kHeardAfterStartMs);
        const QVector<qint16> samples = recorder.stop();
        click(*desk, "btn_stop");

        const QVector<double> low = toneCourse(samples, kLowHz);
        const QVector<double> high = toneCourse(samples, kHighHz);
        const auto heard = [](const QVector<double> &course, qsizetype at) { return course.value(at) > kPresentAmplitude; };
        const auto find = [&](qsizetype from, const std::function<bool(qsizetype)> &what) {
            while (from < low.size() && !what(from))
                ++from;
            return from;
        };
        const qsizetype first = find(0, [&](qsizetype at) { return heard(low, at); });
        const qsizetype bOnset = find(first, [&](qsizetype at) { return heard(high, at); });
        const qsizetype aEnd = find(bOnset, [&](qsizetype at) { return !heard(low, at); });
        const qsizetype cOnset = find(aEnd, [&](qsizetype at) { return heard(low, at); });
        const double fullB = *std::max_element(high.cbegin() + bOnset, high.cbegin() + cOnset);
        const qsizetype bFall = find(bOnset + 1000 / kWindowMs, [&](qsizetype at) { return high[at] < fullB / 4; });
        const qsizetype cEnd = find(cOnset, [&](qsizetype at) { return !heard(low, at); });
        const qsizetype bGone = find(cOnset, [&](qsizetype at) { return !heard(high, at); });
        const qsizetype dOnset = find(bGone, [&](qsizetype at) { return heard(high, at); });
        int longest = 0;
        for (qsizetype at = first, run = 0; at < dOnset; ++at) {
            run = heard(low, at) || heard(high, at) ? 0 : run + 1;
            longest = std::max(longest, int(run) * kWindowMs);
        }
        const QString measured = QStringLiteral("B %1 ms before A's end, C %2 ms after B's fall, D %3 ms after C's end, "
                                              "longest silence %4 ms")
                                   .arg((aEnd - bOnset) * kWindowMs).arg((cOnset - bFall) * kWindowMs)
                                   .arg((dOnset - cEnd) * kWindowMs).arg(longest);
        qInfo().noquote() << measured;
        QVERIFY2(dOnset < low.size(), qPrintable(measured));
        if (!cues) {
            QVERIFY2(longest >= 4000 && (dOnset - cEnd) * kWindowMs >= 2500, qPrintable(measured));
            return;
        }
        QVERIFY2(std::abs((aEnd - bOnset) * kWindowMs - 2000) <= kCueToleranceMs, qPrintable(measured));
        QVERIFY2(std::abs((cOnset - bFall) * kWindowMs) <= 1000 && heard(high, cOnset + 1), qPrintable(measured));
        QVERIFY2(std::abs((dOnset - cEnd) * kWindowMs) <= kCueGapMs && longest <= kCueGapMs, qPrintable(measured));
    }

    // An MP3 that goes on air must sound at once, whether its copy is ready or
    // still converting; the window never waits for the converter.
    void handOverToAnMp3_data()
    {
        QTest::addColumn<int>("converterDelay");
        QTest::newRow("converted while it was next") << 0;
        QTest::newRow("conversion slower than the first item") << kSlowConverterSeconds;
    }

    void handOverToAnMp3()
    {
        QFETCH(int, converterDelay);
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const QString copy = ConversionCache::cacheFileFor(highMp3);
        QFile::remove(copy);
        TestSupport::ConverterStandIn converter(
            TestSupport::privateRoot() + QStringLiteral("/slow-bin"),
            "sleep " + QByteArray::number(converterDelay) + "\nexec '"
                + TestSupport::ConverterStandIn::realConverter() + "' \"$@\"\n");
        auto desk = openDesk({entry(lowTone, "music"), entry(highMp3, "music")}, 2, 5);
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        click(*desk, "btn_play");
        QTRY_COMPARE_WITH_TIMEOUT(desk->sequencer->currentIndex(), 1,
                                  kRecordedToneSeconds * 1000 + kHandOverToleranceMs);
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, converterDelay ? highMp3 : copy),
                                 kStartToleranceMs);
        QTest::qWait(kFastFadeMs + kHeardAfterStartMs);
        const Heard heard = listen(recorder.stop());
        click(*desk, "btn_stop");
        QVERIFY2(heard.longestSilenceMs <= kStartGapMs, qPrintable(heard.labels));
        QVERIFY2(heard.states == QStringLiteral("LBH"), qPrintable(heard.states + QLatin1Char(' ') + heard.labels));
    }

    // Rows removed or inserted above the item on air, and the on-air entry
    // itself removed: the panels name the item really on air and the one
    // that follows it.
    void editsAroundTheAir_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("onAirRow");
        QTest::addColumn<bool>("insert");   // below `editRow`, else remove `editRow`
        QTest::addColumn<int>("editRow");
        QTest::newRow("row above removed") << 5 << 2 << false << 0;
        QTest::newRow("on-air row removed") << 4 << 1 << false << 1;
        QTest::newRow("row inserted above") << 4 << 1 << true << 0;
    }

    void editsAroundTheAir()
    {
        QFETCH(int, entries);
        QFETCH(int, onAirRow);
        QFETCH(bool, insert);
        QFETCH(int, editRow);
        const QString media = TestSupport::privateRoot() + QStringLiteral("/media/");
        std::vector<Playlist> list;
        for (int i = 0; i < entries; ++i) {
            const QString file = media + QStringLiteral("edit-%1.wav").arg(i);
            QVERIFY(QFile::exists(file) || QFile::copy(lowJingle, file));
            list.push_back(entry(file, "jingle"));
        }
        const QString inserted = media + QStringLiteral("edit-new.wav");
        QVERIFY(QFile::exists(inserted) || QFile::copy(lowJingle, inserted));
        auto desk = openDesk(list, 1, 5);
        auto *view = desk->findChild<QTreeWidget *>(QStringLiteral("audio_list"));
        desk->onPlaylistItemDoubleClicked(row(*desk, onAirRow));
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, list[onAirRow].path), kStartToleranceMs);

        view->setCurrentItem(view->topLevelItem(editRow));
        if (insert) {
            desk->findChild<QTreeView *>(QStringLiteral("jingle_files"))
                ->setCurrentIndex(desk->fileModel->index(inserted));
            desk->on_btn_add_item_clicked();
        } else {
            desk->on_btn_remove_item_clicked();
        }
        QCOMPARE(desk->findChild<QTextBrowser *>(QStringLiteral("current_audio"))->toPlainText(),
                 list[onAirRow].title);
        QCOMPARE(desk->findChild<QTextBrowser *>(QStringLiteral("next_audio"))->toPlainText(),
                 list[onAirRow + 1].title);
        click(*desk, "btn_stop");
    }

    // A jump while a hand-over runs can land on the channel that fades out;
    // the new item must sound there, not fade away with the old one.
    void jumpDuringHandOver()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        auto desk = openDesk({entry(jumpLow, "music"), entry(jumpHigh, "music"),
                              entry(jumpHigh, "music")},
                             1, 5);
        click(*desk, "btn_play");
        QTRY_COMPARE_WITH_TIMEOUT(channelOf(*desk, jumpLow), &desk->player2, kStartToleranceMs);
        click(*desk, "btn_next");
        QTRY_VERIFY_WITH_TIMEOUT(desk->player2.isStopped() && desk->player1.isPlaying()
                                     && !desk->player1.fading,
                                 kHandOverToleranceMs);
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        click(*desk, "btn_next"); // player1 now fades out
        QVERIFY(desk->player1.fadingOut);
        desk->onPlaylistItemDoubleClicked(row(*desk, 0));
        QCOMPARE(channelOf(*desk, jumpLow), &desk->player1);
        // Long enough for a fade-out to end in silence.
        QTest::qWait(kFastFadeMs + kHeardAfterStartMs);
        const Heard heard = listen(recorder.stop());
        click(*desk, "btn_stop");
        QVERIFY2(heard.longestSilenceMs <= kStartGapMs, qPrintable(heard.labels));
        QVERIFY2(heard.states.endsWith(QLatin1Char('L')), qPrintable(heard.labels));
    }

    // A fixed entry's time, as the air hears it. A hard one starts on time
    // as what plays fades out, and the entries before it are passed over; a
    // soft one follows the item on air. The order goes on after it.
    void fixedStartsAsHeard_data()
    {
        QTest::addColumn<bool>("hard");
        QTest::addColumn<int>("afterSeconds");
        QTest::addColumn<int>("aSeconds"); // the length of the music on air
        QTest::newRow("hard") << true << 2 << 10;
        QTest::newRow("soft") << false << 1 << 4;
    }

    void fixedStartsAsHeard()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        QFETCH(bool, hard);
        QFETCH(int, afterSeconds);
        QFETCH(int, aSeconds);
        // A and B music, C the fixed jingle, D music long enough that the
        // order does not loop back to A while it is recorded; tones a whole
        // number of periods per window.
        const int hz[] = {440, 660, 1000, 1500};
        const int seconds[] = {aSeconds, 10, 1, 6};
        std::vector<Playlist> list;
        for (int i = 0; i < 4; ++i) {
            const QString file = TestSupport::privateRoot() + QStringLiteral("/media/fixed-%1-%2.wav").arg(i).arg(seconds[i]);
            QVERIFY(TestSupport::makeTone(file, seconds[i], hz[i]));
            list.push_back({QStringLiteral("fixed %1").arg(i), file, QStringLiteral("00:%1").arg(seconds[i], 2, 10, QLatin1Char('0')),
                            QLatin1String(i == 2 ? "jingle" : "music")});
        }
        QFile::remove(TestSupport::todaysAsRunLog());
        auto desk = openDesk(list, 1, 5);
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        const QDateTime recording = QDateTime::currentDateTime();
        const QDateTime fixedAt = recording.addSecs(afterSeconds + 1).addMSecs(-recording.time().msec());
        desk->playlist[2].fixed = {fixedAt.time(), hard};
        click(*desk, "btn_play");
        // On air the fixed row shows its time and how late the plain order
        // would reach it.
        const auto cell = [&desk](int row) {
            return QTime::fromString(desk->findChild<QTreeWidget *>(QStringLiteral("audio_list"))->topLevelItem(row)->text(3).left(8),
                                     QStringLiteral("HH:mm:ss"));
        };
        QVERIFY(desk->findChild<QTreeWidget *>(QStringLiteral("audio_list"))->topLevelItem(2)->text(3).startsWith(fixedAt.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" +")));
        // A soft one, once next, and the row after it show when they really start.
        QTime cShown;
        QTime dShown;
        if (!hard) {
            QTRY_VERIFY_WITH_TIMEOUT(desk->sequencer->nextMarked() && desk->sequencer->nextIndex() == 2, (afterSeconds + 3) * 1000);
            cShown = cell(2);
            dShown = cell(3);
            QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, list[2].path), 15000);
            QVERIFY2(cShown.isValid() && std::abs(cShown.secsTo(QTime::currentTime())) <= kShownStartToleranceSeconds, qPrintable(cShown.toString()));
        }
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, list[3].path), (afterSeconds + 15) * 1000);
        if (!hard)
            QVERIFY2(dShown.isValid() && std::abs(dShown.secsTo(QTime::currentTime())) <= kShownStartToleranceSeconds, qPrintable(dShown.toString()));
        // D's channel is taken before its first sound reaches the recording.
        QTest::qWait(kHeardAfterStartMs);
        const QVector<qint16> samples = recorder.stop();
        click(*desk, "btn_stop");
        const auto heard = [&samples, &hz](int i) {
            return TestSupport::Recorder::toneWindows(samples, hz[i], kWindowMs, kPresentAmplitude);
        };
        QVERIFY(!heard(1).contains(true));
        const qsizetype cFrom = heard(2).indexOf(true);
        const qsizetype aUntil = heard(0).lastIndexOf(true);
        const QString windows = QStringLiteral("A %1-%2, C from %3, D from %4")
                                    .arg(heard(0).indexOf(true)).arg(aUntil).arg(cFrom).arg(heard(3).indexOf(true));
        QVERIFY2(heard(0).indexOf(true) >= 0 && heard(0).indexOf(true) < cFrom && heard(3).indexOf(true) > cFrom,
                 qPrintable(windows));
        if (hard) {
            const qint64 late = recording.msecsTo(fixedAt) - cFrom * kWindowMs;
            QVERIFY2(std::abs(late) <= kFixedStartToleranceMs, qPrintable(QString::number(late)));
            // Faded, not cut, over the 1 s fade.
            QVERIFY2(aUntil > cFrom + 2 && aUntil <= cFrom + (1000 + kFadeTickMs) / kWindowMs,
                     qPrintable(windows));
        } else {
            // A handed over to C at its natural moment and faded over the 1 s
            // fade, whose first step comes anywhere in the channel's tick.
            const qint64 overlap = (aUntil - cFrom) * kWindowMs;
            QVERIFY2(overlap >= kFadeTickMs - kWindowMs * 4 && overlap <= 1000 + kFadeTickMs + kWindowMs * 2,
                     qPrintable(windows));
        }
        for (const TestSupport::AsRunRow &row : TestSupport::todaysAsRunRows())
            QVERIFY(row.title != list[1].title);
    }

    // The row double-clicked while an announcement speaks is what plays, and
    // the announcement keeps its as-run row.
    void doubleClickDuringAnnouncement()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        auto desk = openDesk({timeEntry, entry(lowJingle, "jingle"), entry(highTone, "jingle")}, 1,
                             5, timeDir);
        QObject::disconnect(desk->clock, nullptr, desk.get(), nullptr);
        desk->timeAudioName = QStringLiteral("0930");
        QFile::remove(TestSupport::todaysAsRunLog());
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        click(*desk, "btn_play");
        QTRY_COMPARE_WITH_TIMEOUT(desk->timePlayer->playbackState(), QMediaPlayer::PlayingState,
                                  kStartToleranceMs);
        desk->onPlaylistItemDoubleClicked(row(*desk, 2));
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, highTone), kStartToleranceMs);
        QTest::qWait(kHeardAfterStartMs);
        const Heard heard = listen(recorder.stop());
        QCOMPARE(desk->sequencer->currentIndex(), 2);
        click(*desk, "btn_stop");
        QVERIFY2(heard.states == QStringLiteral("H"), qPrintable(heard.states + QLatin1Char(' ') + heard.labels));
        const QList<TestSupport::AsRunRow> rows = TestSupport::todaysAsRunRows();
        QVERIFY(std::any_of(rows.cbegin(), rows.cend(), [](const TestSupport::AsRunRow &row) {
            return row.kind == QLatin1String("time") && row.outcome == QLatin1String("next");
        }));
    }

    // Quit and "Apagar Tudo" ask before they end the air; staying on air
    // leaves no gap. Off air they ask nothing.
    void deadAirAsksFirst_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("onAir");
        QTest::addColumn<QString>("answer"); // empty: the default button
        QTest::newRow("quit on air, stay") << "actionSair" << true << QString();
        QTest::newRow("quit on air, confirmed") << "actionSair" << true << "Quit and stop the air";
        QTest::newRow("clear on air, stay") << "actionClearAudioList" << true << QString();
        QTest::newRow("quit off air") << "actionSair" << false << QString();
        QTest::newRow("clear off air") << "actionClearAudioList" << false << QString();
    }

    void deadAirAsksFirst()
    {
        QFETCH(QString, action);
        QFETCH(bool, onAir);
        QFETCH(QString, answer);
        const bool quit = action == QLatin1String("actionSair");
        const bool stays = onAir && answer.isEmpty();
        if (stays && !TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        auto desk = openDesk({entry(longA, "music"), entry(longB, "music")}, 1, 5);
        desk->show();
        QVERIFY(QTest::qWaitForWindowExposed(desk.get()));
        const QString resumeFile =
            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
            + QStringLiteral("/orvaradio-resume-%1.txt").arg(QCoreApplication::applicationPid());
        TestSupport::Recorder recorder;
        if (onAir) {
            click(*desk, "btn_play");
            QTRY_COMPARE_WITH_TIMEOUT(desk->player2.getVolume(), 1.0, kStartToleranceMs + kHandOverToleranceMs);
            QVERIFY(QFileInfo::exists(resumeFile));
            QVERIFY(recorder.start());
            QTest::qWait(kFadeTickMs);
        }
        TestSupport::ModalDriver driver;
        driver.answerBox(answer);
        desk->findChild<QAction *>(action)->trigger();
        QCOMPARE(driver.boxes.size(), onAir ? 1 : 0);
        QCOMPARE(desk->isVisible(), !quit || stays);
        QCOMPARE(desk->playlist.size(), size_t(quit || stays ? 2 : 0));
        QCOMPARE(QFileInfo::exists(resumeFile), stays);
        if (!stays)
            return;
        QVERIFY(desk->sequencer->onAir());
        QTest::qWait(1000);
        const QVector<double> course = fromFullLevel(toneCourse(recorder.stop(), 440));
        QVERIFY(course.size() > 20);
        // A fade holds each level for ten windows and a cut silences many: a
        // window or two of a dip is the recording's hiccup, not the desk.
        QVERIFY2(windowsBetween(course, -1.0, 0.8) <= kRecordingHiccupWindows, qPrintable(figures(course)));
        click(*desk, "btn_stop");
    }

    // The configuration's switches, as heard on a tone at full volume: how
    // many 50 ms windows of it lie between two levels after the action, and
    // whether the time was spoken. A fade of 0.2 a tick holds each level
    // from 0.8 down for half a second; talk-over goes to 0.5.
    void switchesAsHeard_data()
    {
        QTest::addColumn<QStringList>("cleared");
        QTest::addColumn<QString>("action");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("fewest");
        QTest::addColumn<int>("most");
        QTest::addColumn<bool>("spoken");
        QTest::newRow("stop fades") << QStringList() << "stop" << 0.1 << 0.9 << 30 << 60 << false;
        QTest::newRow("talk-over at once") << QStringList{"volume/talkFade"} << "talk" << 0.55 << 0.9 << 0 << 2 << false;
        QTest::newRow("clock keeps the music") << QStringList{"volume/sayClockFade"} << "clock" << -1.0 << 0.9 << 0 << 0 << true;
        QTest::newRow("clock silent") << QStringList{"volume/sayClock"} << "clock" << -1.0 << 0.9 << 0 << 0 << false;
    }

    void switchesAsHeard()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        QFETCH(QStringList, cleared);
        QFETCH(QString, action);
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, fewest);
        QFETCH(int, most);
        // A fade of 0.2 a tick for Stop; the music rises faster for the rest.
        auto desk = openDesk({entry(jumpLow, "music")}, 1, action == QLatin1String("stop") ? 2 : 5, timeDir, cleared);
        QObject::disconnect(desk->clock, nullptr, desk.get(), nullptr);
        desk->timeAudioName = QStringLiteral("0930");
        click(*desk, "btn_play");
        QTRY_COMPARE_WITH_TIMEOUT(desk->player2.getVolume(), 1.0, kStartToleranceMs + kHandOverToleranceMs);
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(kFadeTickMs);
        const QString button = action == QLatin1String("stop") ? QStringLiteral("btn_stop")
                               : action == QLatin1String("talk")       ? QStringLiteral("btn_talk")
                                                                       : QStringLiteral("audio_clock");
        click(*desk, button.toLatin1().constData());
        QTest::qWait(3000);
        const QVector<qint16> samples = recorder.stop();
        const QVector<double> music = fromFullLevel(toneCourse(samples, kLowHz));
        const QVector<double> voice = toneCourse(samples, 440);
        const int between = windowsBetween(music, low, high);
        QVERIFY2(between >= fewest && between <= most, qPrintable(figures(music)));
        if (action == QLatin1String("stop"))
            QVERIFY2(music.constLast() < kPresentAmplitude, qPrintable(figures(music)));
        if (action == QLatin1String("talk")) // at the talk-over level, not on its way
            QVERIFY2(windowsBetween(music, 0.4, 0.55) >= 40, qPrintable(figures(music)));
        QTEST(*std::max_element(voice.cbegin(), voice.cend()) > 0.1, "spoken");
        click(*desk, "btn_stop");
    }

    // In a long running order the on-air row comes into view when the item
    // on air changes, unless the operator has just moved the view, by any
    // means: then it stays where they look until they leave it alone.
    void onAirRowKeptInView_data()
    {
        QTest::addColumn<QString>("means");
        QTest::newRow("scroll bar") << QStringLiteral("bar");
        QTest::newRow("wheel") << QStringLiteral("wheel");
        QTest::newRow("keys") << QStringLiteral("keys");
    }

    void onAirRowKeptInView()
    {
        QFETCH(QString, means);
        auto desk = openDesk(std::vector<Playlist>(200, entry(sting, "jingle")), 1, 5);
        desk->show();
        QVERIFY(QTest::qWaitForWindowExposed(desk.get()));
        auto *view = desk->findChild<QTreeWidget *>(QStringLiteral("audio_list"));
        desk->onPlaylistItemDoubleClicked(row(*desk, 150));
        QTRY_VERIFY(rowVisible(view, 150));
        // Whatever moved the view before is the desk's own.
        QVERIFY(!desk->viewHold->holding());
        const auto topRow = [view] { return view->indexAt(QPoint(1, 1)).row(); };
        const int onAirTop = topRow();
        if (means == QLatin1String("bar")) {
            view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
        } else if (means == QLatin1String("wheel")) {
            const QPointF at = view->viewport()->rect().center();
            QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(view->viewport(), &wheel);
        } else {
            view->setFocus();
            QTest::keyClick(view, Qt::Key_Home);
        }
        QTRY_VERIFY(topRow() < onAirTop);
        const int looked = topRow();
        QTRY_COMPARE_WITH_TIMEOUT(desk->sequencer->currentIndex(), 151,
                                  kStingSeconds * 1000 + kHandOverToleranceMs);
        QTest::qWait(100);
        QCOMPARE(topRow(), looked);
        // Left alone, the view goes back to the air.
        desk->viewHold->findChild<QTimer *>()->start(0);
        QTRY_VERIFY(rowVisible(view, 151));
        click(*desk, "btn_stop");
    }

    void folderEntries_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("folder");

        QTest::newRow("music folder") << "folder-music" << musicFolder;
        QTest::newRow("jingle folder") << "folder-jingle" << jingleFolder;
    }

    void folderEntries()
    {
        QFETCH(QString, kind);
        QFETCH(QString, folder);
        auto desk = openDesk({{QStringLiteral("folder"), folder, QStringLiteral("--:--"), kind}},
                             1, 5);
        // The entry picks its file ahead; the next box names it.
        const QString pickAhead = desk->preparation->pickOf(0, desk->playlist[0]);
        QVERIFY(!pickAhead.isEmpty());
        const QString nextBox = desk->findChild<QTextBrowser *>(QStringLiteral("next_audio"))->toPlainText();
        QVERIFY2(nextBox.contains(QFileInfo(pickAhead).completeBaseName()), qPrintable(nextBox));
        click(*desk, "btn_play");
        QVERIFY(desk->sequencer->onAir());
        QTRY_VERIFY_WITH_TIMEOUT(desk->player2.isPlaying(), kStartToleranceMs);
        QCOMPARE(desk->player2.file(), pickAhead);
        if (kind == QLatin1String("folder-jingle"))
            QCOMPARE(desk->player2.getVolume(), 1.0);

        // Every start draws again; both audio files turn up, the text file never.
        const QStringList audio = {folder + QStringLiteral("/one.wav"),
                                   folder + QStringLiteral("/TWO.WAV")};
        QSet<QString> picked;
        for (int start = 0; start < 20; ++start) {
            desk->next();
            picked.insert(desk->player1.file());
        }
        QCOMPARE(picked, QSet<QString>(audio.begin(), audio.end()));
    }

    // A file that cannot play fails once: the entry after it plays and stays on air.
    void unplayableFileSkippedOnce_data()
    {
        QTest::addColumn<QString>("bad");
        // Played before the preparation reached it, it fails on air.
        QTest::addColumn<int>("failures");
        QTest::newRow("missing first entry") << missing << 1;
        QTest::newRow("text file named .wav") << notAudio << 1;
        // Overwritten by a failed copy while it plays: it ends after a second
        // of its eight, which is no play either.
        QTest::newRow("WAV cut while it plays") << QString() << 0;
    }

    void unplayableFileSkippedOnce()
    {
        QFETCH(QString, bad);
        QFETCH(int, failures);
        const bool cutWhilePlaying = bad.isEmpty();
        if (cutWhilePlaying) {
            bad = TestSupport::privateRoot() + QStringLiteral("/media/cut-while-playing.wav");
            QFile::remove(bad);
            QVERIFY(QFile::copy(longA, bad));
        }
        const std::vector<Playlist> list = {entry(bad, "music"), entry(longA, "music"), entry(longB, "music")};
        QFile::remove(TestSupport::todaysAsRunLog());
        auto desk = openDesk(list, 1, 5);
        QSignalSpy errors1(&desk->player1, &AudioPlayer::mediaError);
        QSignalSpy errors2(&desk->player2, &AudioPlayer::mediaError);
        click(*desk, "btn_play");
        if (cutWhilePlaying) {
            QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, bad), kStartToleranceMs);
            QFile file(bad);
            WavReader::Chunks chunks;
            QVERIFY(file.open(QIODevice::ReadWrite) && WavReader::readChunks(file, chunks));
            QVERIFY(file.resize(chunks.dataStart + kSampleRate * 4));
        }
        const Playlist &following = desk->playlist[1];
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, following.path),
                                 kToneSeconds * 1000 + kHandOverToleranceMs);
        QCOMPARE(desk->sequencer->currentIndex(), 1);
        QTest::qWait(kErrorSettleMs);
        QCOMPARE(desk->sequencer->currentIndex(), 1);
        QVERIFY(channelOf(*desk, following.path));
        QCOMPARE(errors1.count() + errors2.count(), failures);
        const auto badRows = [&] {
            QStringList outcomes;
            for (const TestSupport::AsRunRow &row : TestSupport::todaysAsRunRows()) {
                if (row.title == desk->playlist[0].title)
                    outcomes << row.outcome;
            }
            return outcomes;
        };
        QTRY_COMPARE_WITH_TIMEOUT(badRows(), QStringList{QStringLiteral("error")}, kFailedRowsHeldMs);
    }

    // An item whose file is cut off can fail while it fades out (FFmpeg finds
    // the cut only then): the entry that took the air over plays on.
    void outgoingFailureKeepsTheAir_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("music on air") << "music";
        QTest::newRow("jingle on air") << "jingle";
    }

    void outgoingFailureKeepsTheAir()
    {
        QFETCH(QString, kind);
        const QString onAirPath = kind == QLatin1String("music") ? longB : jingle;
        auto desk = openDesk({entry(longA, "music"), entry(onAirPath, kind), entry(longC, "music")},
                             1, 5);
        QFile::remove(TestSupport::todaysAsRunLog());
        click(*desk, "btn_play");
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, longA), kStartToleranceMs);
        AudioPlayer *outgoing = channelOf(*desk, longA);
        // The hand-over, as the transition makes it.
        desk->airEvents->leaving(outgoing, OnAirEvents::Outcome::HandedOver);
        TestSupport::setOrder(*desk->sequencer, TestSupport::OrderField::Current, 1);
        desk->next();
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, onAirPath), kStartToleranceMs);
        AudioPlayer *incoming = channelOf(*desk, onAirPath);
        QVERIFY(outgoing->fadingOut);
        // Music takes the now-playing line; a jingle leaves the song's there.
        const NowPlaying *nowPlaying = desk->findChild<NowPlaying *>();
        const QString line = nowPlaying->line();
        QVERIFY(!line.isEmpty());

        QSignalSpy errors(outgoing, &AudioPlayer::mediaError);
        // The framework reports the failure twice: the channel, once.
        for (int report = 0; report < 2; ++report) {
            QVERIFY(QMetaObject::invokeMethod(
                outgoing->findChild<PlayWatch *>(), "onPlayerError", Qt::DirectConnection,
                Q_ARG(QMediaPlayer::Error, QMediaPlayer::FormatError),
                Q_ARG(QString, QStringLiteral("Invalid data found when processing input"))));
        }
        QCOMPARE(errors.count(), 1);
        QTest::qWait(kErrorSettleMs);
        QCOMPARE(desk->sequencer->currentIndex(), 1);
        QCOMPARE(channelOf(*desk, onAirPath), incoming);
        // The first reason for its leaving counts, for the log and the line alike.
        QTRY_VERIFY_WITH_TIMEOUT(!TestSupport::todaysAsRunRows().isEmpty(), kErrorSettleMs);
        QCOMPARE(TestSupport::todaysAsRunRows().first().outcome, QStringLiteral("handed-over"));
        QCOMPARE(nowPlaying->line(), line);
    }

    // A bad item between a jingle and music: the jingle ends by itself, so
    // nothing covers the moment the bad item fails. It must fail at once, and
    // cost one skip.
    // After music the bad item's turn comes at the hand-over, while the music
    // fades out: the item after it must follow as if the bad one were not there.
    void badItemAfterAJingle_data()
    {
        QTest::addColumn<QString>("badPath");
        QTest::addColumn<QString>("badKind");
        QTest::addColumn<QString>("before");
        QTest::newRow("MP3 garbage after its first frame") << garbageMp3 << "music" << "jingle";
        QTest::newRow("WAV cut off after its header, after music") << cutWav << "music" << "music";
    }

    void badItemAfterAJingle()
    {
        QFETCH(QString, badPath);
        QFETCH(QString, badKind);
        QFETCH(QString, before);
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const bool afterMusic = before == QLatin1String("music");
        auto desk = openDesk({entry(afterMusic ? shortLow : sting, before),
                              {"bad", badPath, "--:--", badKind}, entry(jumpHigh, "music")},
                             1, 5);
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        click(*desk, "btn_play");
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, jumpHigh),
                                 (afterMusic ? kShortToneSeconds : kStingSeconds) * 1000
                                     + kHandOverToleranceMs);
        QCOMPARE(desk->sequencer->currentIndex(), 2);
        QTest::qWait(kHeardAfterStartMs);
        const Heard heard = listen(recorder.stop());
        click(*desk, "btn_stop");
        QVERIFY2(heard.longestSilenceMs <= kStartGapMs, qPrintable(heard.labels));
        // Music fading out overlaps the start of what follows.
        const QString heardStates = heard.states;
        QVERIFY2(heardStates == QStringLiteral("LH") || (afterMusic && heardStates == QStringLiteral("LBH")),
                 qPrintable(heard.states + QLatin1Char(' ') + heard.labels));
    }

    // Entries found bad before their turn are passed over without a gap, after
    // music and after a jingle, whatever is wrong with them: the rows show it
    // beforehand, the media framework never sees them, the window never
    // stalls, and each turn leaves an error row.
    void preparedBadEntriesPassedOver()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const Playlist emptyFolderEntry = {QStringLiteral("empty"), emptyFolder, QStringLiteral("--:--"),
                                           QStringLiteral("folder-music")};
        const std::vector<std::pair<Playlist, QString>> bad = {
            {entry(garbageMp3, "music"), QStringLiteral("damaged")},
            {entry(cutShortWav, "music"), QStringLiteral("ends early")},
            {entry(missing, "music"), QStringLiteral("not found")},
            {entry(notAudioMp3, "music"), QStringLiteral("not an audio file")},
            {emptyFolderEntry, QStringLiteral("folder without audio")}};
        // Good items alternate low and high, each followed by one of the bad
        // entries: three music items, two jingles, then a long jingle (music
        // after a jingle rises from silence). Music long enough to be heard
        // alone between the fades around it, and the jingle after music
        // longer than the fade it starts under.
        const std::vector<Playlist> good = {entry(shortLow, "music"), entry(shortHigh, "music"),
                                            entry(shortLow, "music"), entry(highJingle, "jingle"),
                                            entry(sting, "jingle")};
        std::vector<Playlist> list;
        for (size_t item = 0; item < good.size(); ++item) {
            list.push_back(good[item]);
            list.push_back(bad[item].first);
        }
        list.push_back(entry(jumpHigh, "jingle"));
        auto desk = openDesk(list, 1, 5);
        auto *view = desk->findChild<QTreeWidget *>(QStringLiteral("audio_list"));
        for (int row = 1; row < 10; row += 2) {
            QTRY_VERIFY2_WITH_TIMEOUT(view->topLevelItem(row)->toolTip(1).startsWith(QStringLiteral("Will not go on air")),
                                      qPrintable(QString::number(row)), kPrepareMs);
            QVERIFY2(view->topLevelItem(row)->toolTip(1).contains(bad[size_t(row / 2)].second),
                     qPrintable(view->topLevelItem(row)->toolTip(1)));
        }
        const auto errorRows = [] {
            QList<TestSupport::AsRunRow> rows = TestSupport::todaysAsRunRows();
            rows.removeIf([](const TestSupport::AsRunRow &row) { return row.outcome != QLatin1String("error"); });
            return rows;
        };
        const qsizetype errorRowsBefore = errorRows().size();

        QSignalSpy errors1(&desk->player1, &AudioPlayer::mediaError);
        QSignalSpy errors2(&desk->player2, &AudioPlayer::mediaError);
        qint64 longestTickGap = 0;
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setInterval(10);
        connect(&ticker, &QTimer::timeout, this, [&] {
            if (sinceTick.isValid())
                longestTickGap = std::max(longestTickGap, sinceTick.restart());
            else
                sinceTick.start();
        });
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        ticker.start();
        click(*desk, "btn_play");
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, jumpHigh), 60000);
        QTest::qWait(kHeardAfterStartMs);
        ticker.stop();
        const Heard heard = listen(recorder.stop());
        click(*desk, "btn_stop");

        qInfo() << "longest silence" << heard.longestSilenceMs << "ms, longest tick gap"
                << longestTickGap << "ms";
        QCOMPARE(errors1.count() + errors2.count(), 0);
        QString order = heard.states;
        order.remove(QLatin1Char('B'));
        QVERIFY2(order == QStringLiteral("LHLHLH"), qPrintable(heard.states + QLatin1Char(' ') + heard.labels));
        QVERIFY2(heard.longestSilenceMs <= kPassOverGapMs, qPrintable(heard.labels));
        QVERIFY2(longestTickGap < kLongestTickGapMs, qPrintable(QString::number(longestTickGap)));
        const QList<TestSupport::AsRunRow> passedOver = errorRows().mid(errorRowsBefore);
        QCOMPARE(passedOver.size(), 5);
        for (const TestSupport::AsRunRow &row : passedOver)
            QCOMPARE(row.played, 0.0);
    }

    // A file put back in place loses its mark and plays when its turn comes.
    void restoredFileLosesItsMark()
    {
        const QString restored = TestSupport::privateRoot() + QStringLiteral("/media/restored.wav");
        QFile::remove(restored);
        auto desk = openDesk({entry(sting, "jingle"), entry(restored, "jingle"),
                              entry(jumpHigh, "jingle")},
                             1, 5);
        auto *view = desk->findChild<QTreeWidget *>(QStringLiteral("audio_list"));
        QTRY_VERIFY_WITH_TIMEOUT(!view->topLevelItem(1)->toolTip(1).isEmpty(), kPrepareMs);
        QVERIFY(QFile::copy(highJingle, restored));
        QTRY_VERIFY_WITH_TIMEOUT(view->topLevelItem(1)->toolTip(1).isEmpty(), kPrepareMs);
        click(*desk, "btn_play");
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, restored), kStingSeconds * 1000 + kHandOverToleranceMs);
        click(*desk, "btn_stop");
    }

    // The music folder goes away (an unmounted share) and comes back: the
    // desk must not race round the running order meanwhile, nor round its
    // time entry, whose voice is there, and must play again by itself as
    // soon as the files are there. ORVARADIO_OUTAGE_SECONDS makes the outage
    // longer.
    void musicFolderAwayAndBack()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const QString folder = TestSupport::privateRoot() + QStringLiteral("/share");
        const QString away = folder + QStringLiteral(".away");
        QVERIFY(QDir().mkpath(folder));
        std::vector<Playlist> list;
        for (const char *name : {"/one.wav", "/two.wav", "/three.wav"}) {
            QVERIFY(TestSupport::makeTone(folder + QLatin1String(name), kToneSeconds, kLowHz));
            list.push_back(entry(folder + QLatin1String(name), "music"));
        }
        list.push_back(timeEntry);
        auto desk = openDesk(list, 1, 5, timeDir);
        QObject::disconnect(desk->clock, nullptr, desk.get(), nullptr);
        desk->timeAudioName = QStringLiteral("0930");
        click(*desk, "btn_play");
        QTRY_VERIFY_WITH_TIMEOUT(desk->player2.isPlaying(), kStartToleranceMs);
        QVERIFY(QDir().rename(folder, away));
        // The item on air plays on from its open file; the next ones fail, or
        // are found missing ahead, and the desk waits for them.
        QTRY_VERIFY_WITH_TIMEOUT(desk->playoutRetry->waiting(),
                                 (kToneSeconds + kAnnouncementSeconds) * 1000 + kHandOverToleranceMs);

        const int awayMs = qEnvironmentVariableIsSet("ORVARADIO_OUTAGE_SECONDS")
                               ? qEnvironmentVariableIntValue("ORVARADIO_OUTAGE_SECONDS") * 1000
                               : kAwayMs;
        const qsizetype rowsBefore = TestSupport::todaysAsRunRows().size();
        linesLogged = 0;
        const QtMessageHandler previous = qInstallMessageHandler(countLine);
        const double cpuBefore = processCpuSeconds();
        QTest::qWait(awayMs);
        const double cpuShare = (processCpuSeconds() - cpuBefore) / (awayMs / 1000.0);
        const int lines = linesLogged;
        qInstallMessageHandler(previous);
        // Held failure rows reach the day's file within moments.
        QTest::qWait(kFailedRowsHeldMs);
        const qsizetype rows = TestSupport::todaysAsRunRows().size() - rowsBefore;

        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        QVERIFY(QDir().rename(away, folder));
        QTRY_VERIFY_WITH_TIMEOUT(desk->player1.isPlaying() || desk->player2.isPlaying(),
                                 kBackWithinMs);
        QTest::qWait(kHeardAfterStartMs);
        const Heard heard = listen(recorder.stop());
        click(*desk, "btn_stop");
        QVERIFY(!desk->sequencer->onAir());
        qInfo() << lines << "lines and" << rows << "as-run rows in" << awayMs << "ms";
        QVERIFY2(cpuShare < kMostCpuShareAway, qPrintable(QString::number(cpuShare)));
        QVERIFY2(lines < kMostLinesAway, qPrintable(QString::number(lines)));
        QVERIFY2(rows < kMostLinesAway, qPrintable(QString::number(rows)));
        QVERIFY2(heard.states.endsWith(QLatin1Char('L')), qPrintable(heard.labels));
    }

    // Bad files are skipped at once, but a run of failures means the sound
    // path or the media are gone: the desk waits, longer each time.
    void failureRunsWaitLongerEachTime_data()
    {
        QTest::addColumn<int>("round");
        QTest::addColumn<int>("skipped");
        QTest::newRow("long running order: two bad files in a row pass") << 10 << 2;
        QTest::newRow("two entries: one round of failures is a run") << 2 << 1;
    }

    void failureRunsWaitLongerEachTime()
    {
        QFETCH(int, round);
        QFETCH(int, skipped);
        PlayoutRetry retry;
        QSignalSpy due(&retry, &PlayoutRetry::retryDue);
        for (int failure = 0; failure < skipped; ++failure) {
            QCOMPARE(retry.failed(round, toneA), PlayoutRetry::Action::Skip);
            QVERIFY(!retry.waiting());
        }
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(retry.failed(round, toneA), PlayoutRetry::Action::AdvanceAndWait);
        QVERIFY(retry.waiting());
        QCOMPARE(retry.pauseMs(), kFirstPauseMs);
        // A failure while waiting is part of the same try.
        QCOMPARE(retry.failed(round, toneA), PlayoutRetry::Action::Wait);
        QCOMPARE(retry.pauseMs(), kFirstPauseMs);
        QTRY_COMPARE_WITH_TIMEOUT(due.count(), 1, kFirstPauseMs + kRetryLateMs);
        QVERIFY2(clock.elapsed() >= kFirstPauseMs - kPauseEarlyMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!retry.waiting());

        for (const int pauseMs : {2000, 4000, 8000, 10000, 10000}) {
            QCOMPARE(retry.failed(round, toneA), PlayoutRetry::Action::AdvanceAndWait);
            QCOMPARE(retry.pauseMs(), pauseMs);
            const qsizetype retries = due.count();
            endPause(retry);
            QTRY_COMPARE(due.count(), retries + 1);
        }
        // Sound was heard: a lone failure is a bad file again.
        retry.heard();
        QCOMPARE(retry.failed(round, toneA), PlayoutRetry::Action::Skip);
    }

    // An announcement that the media framework ends before any of it sounded
    // is played again once, then passed over.
    void timeEntries_data()
    {
        QTest::addColumn<int>("silentEnds");
        QTest::newRow("silent end at once: played again") << 1;
        QTest::newRow("silent end twice: passed over") << 2;
    }

    void timeEntries()
    {
        QFETCH(int, silentEnds);
        auto desk = openDesk(entries({"time", "music"}), 1, 5, timeDir);
        // The clock renames the announcement every second; this one is fixed.
        QObject::disconnect(desk->clock, nullptr, desk.get(), nullptr);
        desk->timeAudioName = QStringLiteral("0930");
        QFile::remove(TestSupport::todaysAsRunLog());
        click(*desk, "btn_play");
        for (int i = 0; i < silentEnds; ++i)
            emit desk->timePlayer->mediaStatusChanged(QMediaPlayer::EndOfMedia);
        if (silentEnds > 1) {
            QCOMPARE(desk->sequencer->currentIndex(), 1);
            QVERIFY(!desk->sequencer->announcing());
            return;
        }
        const QString expected = desk->playlist[1].path;
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, expected),
                                 (kToneSeconds + kAnnouncementSeconds) * 1000
                                     + kHandOverToleranceMs);
        QCOMPARE(desk->sequencer->currentIndex(), 1);
        QVERIFY(!desk->sequencer->announcing());
        QVERIFY(desk->timePlayer->playbackState() != QMediaPlayer::PlayingState);
        // Nothing else played with the announcement.
        QVERIFY(otherChannel(*desk, channelOf(*desk, expected)).isStopped());
        // One row, also when it was played again after a silent start.
        QStringList timeRows;
        for (const TestSupport::AsRunRow &row : TestSupport::todaysAsRunRows()) {
            if (row.kind == QLatin1String("time"))
                timeRows << row.outcome;
        }
        QCOMPARE(timeRows, QStringList{QStringLiteral("ended")});
    }

    // What the panels show after Stop and Clear.
    void stopAndClear_data()
    {
        QTest::addColumn<bool>("clear");
        QTest::addColumn<bool>("duringAnnouncement");
        QTest::newRow("stop during an announcement") << false << true;
        QTest::newRow("clear during a transition") << true << false;
    }

    void stopAndClear()
    {
        QFETCH(bool, clear);
        QFETCH(bool, duringAnnouncement);
        const std::vector<Playlist> list = {entry(longA, "music"), timeEntry,
                                            entry(longB, "music")};
        // Stop cuts here; its fade is heard in switchesAsHeard.
        auto desk = openDesk(list, 1, 5, timeDir, {QStringLiteral("volume/stopFade")});
        QObject::disconnect(desk->clock, nullptr, desk.get(), nullptr);
        desk->timeAudioName = QStringLiteral("0930");
        const auto shown = [&desk](const char *name) {
            return desk->findChild<QTextBrowser *>(QLatin1String(name))->toPlainText();
        };
        click(*desk, "btn_play");
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, longA), kStartToleranceMs);
        // Times on show, to be blanked.
        QTRY_VERIFY_WITH_TIMEOUT(!shown("remain_time").isEmpty(), kStartToleranceMs);
        desk->currentTimePositionClock(QTime::currentTime());
        QVERIFY(!shown("over_at_time").isEmpty());
        if (duringAnnouncement) {
            desk->onPlaylistItemDoubleClicked(row(*desk, 1));
            QVERIFY(desk->sequencer->announcing());
        } else {
            click(*desk, "btn_play");
            QTRY_VERIFY_WITH_TIMEOUT(desk->player1.isPlaying() && desk->player2.isPlaying(),
                                     kStartToleranceMs);
        }

        TestSupport::ModalDriver driver;
        driver.answerBox(QStringLiteral("Clear and stop the air"));
        if (clear)
            desk->findChild<QAction *>(QStringLiteral("actionClearAudioList"))->trigger();
        else
            click(*desk, "btn_stop");
        QVERIFY(!desk->sequencer->onAir());
        QVERIFY(!desk->sequencer->announcing());
        QCOMPARE(desk->sequencer->currentIndex(), 0);
        // After Stop the first row is what Play starts, the second what follows.
        QCOMPARE(desk->sequencer->nextIndex(), clear ? 0 : 1);
        // The panels tell what Play would start and what follows it, untimed.
        QCOMPARE(shown("current_audio"), clear ? QString() : list[0].title);
        // A time entry's title in the interface language.
        QCOMPARE(shown("next_audio"), clear                                ? QString()
                                      : list[1].kind == QLatin1String("time") ? QCoreApplication::translate("MainWindow", "Hora Certa")
                                                                             : list[1].title);
        QCOMPARE(shown("remain_time"), QString());
        QCOMPARE(shown("over_at_time"), QString());
        QVERIFY(!desk->player1.fading && !desk->player2.fading);
        QVERIFY(!desk->player1.fadingOut && !desk->player2.fadingOut);
        QTRY_VERIFY_WITH_TIMEOUT(silent(*desk), kStartToleranceMs);

        // The desk stays usable.
        if (clear) {
            desk->playlist = list;
            desk->updateAudioList();
        }
        click(*desk, "btn_play");
        QTRY_VERIFY_WITH_TIMEOUT(channelOf(*desk, longA), kStartToleranceMs);
    }

    void cartKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("cart"); // index into carts; -1: none plays

        QTest::newRow("1 plays cart 1") << int(Qt::Key_1) << 0 << 0;
        QTest::newRow("keypad 9 plays cart 9") << int(Qt::Key_9) << int(Qt::KeypadModifier) << 8;
        QTest::newRow("0 plays cart 10") << int(Qt::Key_0) << 0 << 9;
        QTest::newRow("a cart with no file stays silent") << int(Qt::Key_5) << 0 << -1;
        QTest::newRow("letters are ignored") << int(Qt::Key_A) << 0 << -1;
    }

    void cartKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, cart);
        TestSupport::clearSettings();
        {
            QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
            for (const char *button : {"buttonhole/btn_1", "buttonhole/btn_9", "buttonhole/btn_10"})
                settings.setValue(QLatin1String(button), cartFile);
        }
        MainWindow desk;
        QCOMPARE(desk.carts.size(), 10);
        QTest::keyClick(&desk, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        if (cart >= 0)
            QTRY_COMPARE_WITH_TIMEOUT(desk.carts[cart]->mediaPlayer()->playbackState(),
                                      QMediaPlayer::PlayingState, kStartToleranceMs);
        else
            QTest::qWait(kQuietWatchMs);
        for (int index = 0; index < desk.carts.size(); ++index) {
            const bool playing =
                desk.carts[index]->mediaPlayer()->playbackState() == QMediaPlayer::PlayingState;
            QCOMPARE(playing, index == cart);
        }
        QVERIFY(silent(desk));
    }

    void menuActions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("helpPath"); // empty: not a help page

        for (const char *name :
             {"menu_about_orva", "actionConfig", "actionSair", "actionSavePlaylist",
              "actionLoadPlaylist", "actionClearAudioList", "actionLanguagePTBR",
              "actionLanguageENUS"})
            QTest::newRow(name) << name << true << QString();
        QTest::newRow("actionReleases") << "actionReleases" << true << "/category/releases";
        QTest::newRow("actionLibs") << "actionLibs" << true << "/technologies";
        QTest::newRow("actionTutorial") << "actionTutorial" << true << "/configuration-guide";
        QTest::newRow("actionContribute") << "actionContribute" << true << "/contribute";
        for (const char *name : {"actionAddMedia", "actionLanguage", "actionPortugues_do_Brasil"})
            QTest::newRow(name) << name << false << QString();
    }

    void menuActions()
    {
        QFETCH(QString, action);
        QFETCH(bool, connected);
        QFETCH(QString, helpPath);
        TestSupport::clearSettings();
        MainWindow desk;
        auto *menuAction = desk.findChild<QAction *>(action);
        QVERIFY(menuAction);
        if (!helpPath.isEmpty()) {
            // The page goes to the URL opener; this test stands in for the browser.
            openedUrls.clear();
            for (const char *scheme : {"https", "http"})
                QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "urlOpened");
            menuAction->trigger();
            for (const char *scheme : {"https", "http"})
                QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
            const QUrl expected = MainWindow::helpPageUrl(helpPath);
            QCOMPARE(openedUrls, QList<QUrl>{expected});
            QCOMPARE(expected.scheme(), QStringLiteral("https"));
            QVERIFY(!expected.host().isEmpty());
            QCOMPARE(expected.host(), QUrl(QString::fromLatin1(MainWindow::kSiteUrl)).host());
            QCOMPARE(expected.path(), helpPath);
        }
        // Menus listen to their actions too; only a connection to the window counts.
        QCOMPARE(QObject::disconnect(menuAction, &QAction::triggered, &desk, nullptr), connected);
    }
};

ORVA_TEST_MAIN(TestSequencer)
#include "tst_sequencer.moc"
