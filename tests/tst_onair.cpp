#include "displaypacer.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "timerclock.h"
#include "vumeter.h"

#include <QAudioBuffer>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>
#include <QTextBrowser>
#include <QTimer>
#include <QGroupBox>


namespace {

// Time for a channel to start after Play.
constexpr int kStartToleranceMs = 5000;
// Allowed difference between a requested seek position and the one reached.
constexpr qint64 kSeekToleranceMs = 400;
// Allowed float error of a volume after a fade tick.
constexpr double kVolumeTolerance = 1e-6;
// The watchdog counts fixed 10 ms ticks up to ten seconds; a loaded machine
// runs them late.
constexpr int kSilentTicksToSkip = 1000;
constexpr int kSkipToleranceMs = 4000;
// A coarse timer may fire 5 % early; a busy machine makes it late.
constexpr int kTimerEarlyMs = 20;
constexpr int kTimerLateMs = 150;
// A display tick with nothing to show comes four times a second.
constexpr int kRestingTickMs = 1000 / 4;
// Resting ticks timed in a row.
constexpr int kRestingTicksTimed = 4;
// How far into a rest the audio block arrives.
constexpr int kWakeIntoRestMs = 120;

// The stalling pipe: a tone of its own, and how much of it is written.
constexpr int kStallHz = 1500;
constexpr int kStallAfterMs = 1000;
// A stalled channel is given up within this; the meters fall sooner.
constexpr qint64 kStallSkippedWithinMs = 4000;
constexpr qint64 kMetersFallWithinMs = 300 + 100;
constexpr qint64 kSoundStartsWithinMs = 500;
constexpr int kListenAfterSkipMs = 1000;
constexpr double kTonePresent = 0.02;

const QString kWatchdogLine = QStringLiteral("Silence watchdog: no audio for 10000 ms — skipping track");

Playlist entry(const QString &title, const QString &path = QString(),
               const QString &kind = QStringLiteral("jingle"))
{
    return {title, path, QStringLiteral("--:--"), kind};
}

// 40 ms of stereo audio at a constant sample value.
QAudioBuffer block(qint16 value)
{
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Int16);
    format.setChannelCount(2);
    format.setSampleRate(44100);
    const QVector<qint16> samples(2 * 1764, value);
    return QAudioBuffer(QByteArray(reinterpret_cast<const char *>(samples.constData()),
                                   samples.size() * qsizetype(sizeof(qint16))),
                        format);
}

// Channels are driven tick by tick in these tests.
void holdFadeTimers(MainWindow &window)
{
    for (AudioPlayer *player : {&window.player1, &window.player2})
        player->findChild<QTimer *>()->stop();
}

} // namespace

class TestOnAir : public QObject
{
    Q_OBJECT

private:
    QString media;
    QString longTone;

private slots:
    void initTestCase()
    {
        media = TestSupport::privateRoot() + QStringLiteral("/media");
        QDir().mkpath(media);
        longTone = media + QStringLiteral("/long.wav");
        QVERIFY(TestSupport::makeTone(longTone, 30));
    }

    void init() { TestSupport::clearSettings(); }

    // An announcement that neither moves nor ends must not hold the running
    // order: the silence watchdog leaves announcements alone.
    void stalledAnnouncementMovesOn()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        MainWindow window;
        // Let go before the window goes: a player cannot stop while it reads.
        TestSupport::StallingPipe pipe(media + QStringLiteral("/0930.mp3"), kStallHz, kStallAfterMs);
        QVERIFY(pipe.ready());
        QObject::disconnect(window.clock, nullptr, &window, nullptr);
        window.audioTimeDir = media;
        window.timeAudioName = QStringLiteral("0930");
        window.playlist = {entry(QStringLiteral("Hora Certa"), QString(), QStringLiteral("time")),
                           entry(QStringLiteral("after"), longTone)};
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("announcement stalled")));
        window.on_btn_play_clicked();
        QVERIFY(window.sequencer->announcing());
        QTRY_VERIFY_WITH_TIMEOUT(!window.sequencer->announcing(), kStartToleranceMs + kStallSkippedWithinMs);
        QCOMPARE(window.sequencer->currentIndex(), 1);
        QCOMPARE(window.player2.file(), longTone);
    }

    void watchdogCountsSilentTicks_data()
    {
        QTest::addColumn<QString>("interruption");
        QTest::newRow("uninterrupted") << QString();
        QTest::newRow("a level above zero") << QStringLiteral("level");
        QTest::newRow("a transition") << QStringLiteral("fading");
        QTest::newRow("off air") << QStringLiteral("offair");
        QTest::newRow("a time announcement") << QStringLiteral("announcing");
    }

    void watchdogCountsSilentTicks()
    {
        QFETCH(QString, interruption);
        MainWindow window;
        window.displayTimer->stop();
        // Entries of no playable kind: skipping moves the index and starts nothing.
        window.playlist = {entry(QStringLiteral("a"), {}, QStringLiteral("none")),
                           entry(QStringLiteral("b"), {}, QStringLiteral("none"))};
        TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, true);
        // A playing channel whose levels the test sets itself: no events are
        // processed while the ticks run, so no audio block overwrites them.
        window.player1.addMedia(longTone);
        window.player1.Play();
        QTRY_VERIFY_WITH_TIMEOUT(window.player1.isPlaying(), kStartToleranceMs);
        window.airLevels.item = {};

        for (int tick = 1; tick < kSilentTicksToSkip; ++tick)
            window.updateDisplay();
        QCOMPARE(window.sequencer->currentIndex(), 0);

        if (interruption == QLatin1String("level")) {
            // A block that is heard, as the channel's tap delivers it.
            QAudioFormat format;
            format.setSampleFormat(QAudioFormat::Int16);
            format.setSampleRate(44100);
            format.setChannelCount(2);
            QByteArray quiet(4 * 441, '\0');
            reinterpret_cast<qint16 *>(quiet.data())[1] = 1000;
            window.calculateRMS(QAudioBuffer(quiet, format));
            QVERIFY(window.airLevels.item.right > 0);
            window.updateDisplay();
            window.calculateRMS(QAudioBuffer(QByteArray(4 * 441, '\0'), format));
        } else if (interruption == QLatin1String("fading")) {
            window.player2.fading = true;
            window.updateDisplay();
            window.player2.fading = false;
        } else if (interruption == QLatin1String("offair")) {
            TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, false);
            window.updateDisplay();
            TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, true);
        } else if (interruption == QLatin1String("announcing")) {
            TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::Announcing, true);
            window.updateDisplay();
            TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::Announcing, false);
        }
        if (!interruption.isEmpty()) {
            QCOMPARE(window.sequencer->silentFor(), 0);
            for (int tick = 1; tick < kSilentTicksToSkip; ++tick)
                window.updateDisplay();
            QCOMPARE(window.sequencer->currentIndex(), 0);
        }
        QTest::ignoreMessage(QtWarningMsg, qPrintable(kWatchdogLine));
        window.updateDisplay();
        QCOMPARE(window.sequencer->currentIndex(), 1);
        QCOMPARE(window.sequencer->silentFor(), 0);
    }

    // The last block of an item that ended keeps its level; with no channel
    // playing the desk is silent all the same, and the watchdog must see it.
    void staleLevelsCountAsSilence()
    {
        MainWindow window;
        window.displayTimer->stop();
        window.playlist = {entry(QStringLiteral("a"), {}, QStringLiteral("none")),
                           entry(QStringLiteral("b"), {}, QStringLiteral("none"))};
        TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, true);
        window.airLevels.item.left = 25;
        window.airLevels.item.right = 27;
        QTest::ignoreMessage(QtWarningMsg, qPrintable(kWatchdogLine));
        for (int tick = 0; tick < kSilentTicksToSkip; ++tick)
            window.updateDisplay();
        QCOMPARE(window.sequencer->currentIndex(), 1);
        QCOMPARE(window.vuLeft->level(), 0);
    }

    // A source that stops delivering (a pipe whose writer hangs) leaves its
    // channel claiming to play: the desk takes it for a failed item well
    // before the watchdog's ten seconds, with the meters at zero meanwhile.
    void stalledChannelSkipped()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const QString pipe = media + QStringLiteral("/stalling.wav");
        TestSupport::StallingPipe stalling(pipe, kStallHz, kStallAfterMs);
        QVERIFY(stalling.ready());

        MainWindow window;
        window.playlist = {entry(QStringLiteral("stalling"), pipe),
                           entry(QStringLiteral("after"), longTone)};
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        QSignalSpy errors(&window.player2, &AudioPlayer::mediaError);
        window.on_btn_play_clicked();
        QElapsedTimer clock;
        clock.start();
        qint64 position = -1;
        qint64 stillSinceMs = -1;
        while (!window.player1.isPlaying() && clock.elapsed() < kStartToleranceMs + kStallSkippedWithinMs) {
            QTest::qWait(20);
            if (window.player2.isPlaying() && window.player2.getPosition() != position) {
                position = window.player2.getPosition();
                stillSinceMs = clock.elapsed();
            }
            if (stillSinceMs > 0 && clock.elapsed() > stillSinceMs + kMetersFallWithinMs)
                QCOMPARE(std::max(window.vuLeft->level(), window.vuRight->level()), 0);
        }
        stalling.letGo();
        QVERIFY2(clock.elapsed() - stillSinceMs <= kStallSkippedWithinMs,
                 qPrintable(QString::number(clock.elapsed() - stillSinceMs)));
        QCOMPARE(window.player1.file(), longTone);
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.first().at(1).toString().contains(QStringLiteral("stalled")));

        // What went on air: the pipe's second of tone (which the FFmpeg backend,
        // still probing the pipe, does not play), then the following item.
        QTest::qWait(kListenAfterSkipMs);
        const QVector<qint16> samples = recorder.stop();
        window.on_btn_stop_clicked();
        const qsizetype frames = 44100 / 20;
        qint64 lastStall = -1;
        qint64 firstAfter = -1;
        for (qsizetype first = 0; (first + frames) * 2 <= samples.size() && firstAfter < 0; first += frames) {
            const qint64 at = first * 1000 / 44100;
            if (TestSupport::Recorder::toneAmplitude(samples, first, frames, kStallHz) > kTonePresent)
                lastStall = at;
            else if (TestSupport::Recorder::toneAmplitude(samples, first, frames, 440) > kTonePresent)
                firstAfter = at;
        }
        QVERIFY2(firstAfter >= 0 && firstAfter - std::max(lastStall, qint64(0)) <= kStallSkippedWithinMs + kSoundStartsWithinMs,
                 qPrintable(QStringLiteral("tone until %1 ms, the following from %2 ms").arg(lastStall).arg(firstAfter)));
    }

    // A file that falls silent for longer than ten seconds is skipped by the
    // running desk, with the levels coming from the real audio.
    void silentItemSkipped()
    {
        const QString silent = media + QStringLiteral("/gap.wav");
        QVERIFY(TestSupport::makeTone(silent, 16, 440, 0.5, QStringLiteral("lt(t,1)+gte(t,14)")));
        MainWindow window;
        window.playlist = {entry(QStringLiteral("gap"), silent), entry(QStringLiteral("next"), longTone)};
        QTest::ignoreMessage(QtWarningMsg, qPrintable(kWatchdogLine));
        window.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(window.player2.isPlaying(), kStartToleranceMs);
        QTRY_COMPARE_WITH_TIMEOUT(window.sequencer->currentIndex(), 1, 1000 + 10000 + kSkipToleranceMs);
        QVERIFY(window.player2.getPosition() < 14000);
        QTRY_VERIFY_WITH_TIMEOUT(window.airLevels.item.left > 20, kStartToleranceMs);
    }

    void talkOver_data()
    {
        QTest::addColumn<float>("level");
        QTest::addColumn<double>("settled");
        QTest::newRow("default 0.8") << 0.8f << 0.8;
        QTest::newRow("0.5 settles one step above") << 0.5f << 0.6;
    }

    void talkOver()
    {
        QFETCH(float, level);
        QFETCH(double, settled);
        QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
            .setValue(QStringLiteral("volume/volumeToTalk"), level);
        MainWindow window;
        holdFadeTimers(window);
        window.playlist = {entry(QStringLiteral("tone"), longTone)};
        window.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(window.player2.isPlaying(), kStartToleranceMs);
        QCOMPARE(window.player2.getVolume(), 1.0);

        auto *talk = window.findChild<QPushButton *>(QStringLiteral("btn_talk"));
        talk->click();
        QVERIFY(window.talkActive);
        QCOMPARE(talk->styleSheet(), QStringLiteral("background-color: red;"));
        window.flash();
        QCOMPARE(talk->styleSheet(), QString());
        window.flash();
        QCOMPARE(talk->styleSheet(), QStringLiteral("background-color: red;"));
        for (int tick = 0; tick < 3; ++tick)
            window.player2.fade();
        QVERIFY2(qAbs(window.player2.getVolume() - settled) < kVolumeTolerance,
                 qPrintable(QString::number(window.player2.getVolume())));

        talk->click();
        QVERIFY(!window.talkActive);
        QCOMPARE(talk->styleSheet(), QString());
        window.flash();
        for (int tick = 0; tick < 3; ++tick)
            window.player2.fade();
        QCOMPARE(window.player2.getVolume(), 1.0);
    }

    void talkOverLevelSlider_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("stored");
        QTest::newRow("37") << 37 << QStringLiteral("0.37");
        QTest::newRow("100") << 100 << QStringLiteral("1");
        QTest::newRow("0") << 0 << QStringLiteral("0");
    }

    void talkOverLevelSlider()
    {
        QFETCH(int, position);
        QFETCH(QString, stored);
        MainWindow window;
        auto *slider = window.findChild<QSlider *>(QStringLiteral("volume_speak"));
        QCOMPARE(slider->value(), 80);
        slider->setValue(55);
        QCOMPARE(window.settings->value(QStringLiteral("volume/volumeToTalk")).toString(),
                 QStringLiteral("0.8"));
        emit slider->sliderMoved(position);
        QCOMPARE(window.settings->value(QStringLiteral("volume/volumeToTalk")).toString(), stored);
        QCOMPARE(window.volumeToTalk, float(position) / 100.0f);
    }

    void offAirReportsChangeNothing()
    {
        MainWindow window;
        window.playlist = {entry(QStringLiteral("tone"), longTone)};
        window.player1.addMedia(longTone);
        window.player1.Play();
        QTRY_VERIFY_WITH_TIMEOUT(window.player1.isPlaying(), kStartToleranceMs);
        QVERIFY(!window.sequencer->onAir());
        auto *remain = window.findChild<QTextBrowser *>(QStringLiteral("remain_time"));
        auto *seeker = window.findChild<QSlider *>(QStringLiteral("seeker"));
        const QString before = remain->toHtml();
        QTest::qWait(500);
        window.currentTimePosition(0, 1);
        QCOMPARE(remain->toHtml(), before);
        QCOMPARE(seeker->value(), 0);
        QCOMPARE(seeker->maximum(), 99);
    }

    void displayFollowsReference()
    {
        MainWindow window;
        window.playlist = {entry(QStringLiteral("tone"), longTone)};
        window.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(window.player2.isPlaying() && window.player2.getDuration() > 0,
                                 kStartToleranceMs);
        auto *seeker = window.findChild<QSlider *>(QStringLiteral("seeker"));
        auto *remain = window.findChild<QTextBrowser *>(QStringLiteral("remain_time"));
        QTRY_COMPARE(seeker->maximum(), int(window.player2.getDuration()));
        QTRY_VERIFY(remain->toPlainText() == QStringLiteral("00:29")
                    || remain->toPlainText() == QStringLiteral("00:28"));

        // In a hand-over the incoming item's times show, on whichever channel.
        window.player2.Seek(20000);
        QTRY_VERIFY(remain->toPlainText() <= QStringLiteral("00:10"));
        window.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(window.player1.isPlaying() && window.player2.fadingOut,
                                 kStartToleranceMs);
        window.flash();
        QTRY_VERIFY(remain->toPlainText() >= QStringLiteral("00:28"));
        window.currentTimePositionClock(QTime(12, 0));
        QVERIFY(window.findChild<QTextBrowser *>(QStringLiteral("over_at_time"))->toPlainText()
                >= QStringLiteral("12:00:28"));

        auto *group = window.findChild<QGroupBox *>(QStringLiteral("groupBox"));
        window.flash();
        QCOMPARE(group->styleSheet(), QStringLiteral("QGroupBox:title {background-color: red;}"));
        window.on_btn_stop_clicked();
        window.flash();
        QCOMPARE(group->styleSheet(), QString());
    }

    void nextButtonBlinksDuringFades()
    {
        MainWindow window;
        auto *next = window.findChild<QPushButton *>(QStringLiteral("btn_next"));
        window.player1.fading = true;
        window.flash();
        QCOMPARE(next->styleSheet(), QStringLiteral("background-color: black;"));
        window.flash();
        QCOMPARE(next->styleSheet(), QString());
        window.flash();
        QCOMPARE(next->styleSheet(), QStringLiteral("background-color: black;"));
        window.player1.fading = false;
        window.flash();
        QCOMPARE(next->styleSheet(), QString());
    }

    void seekerSeeksEveryPlayingChannel()
    {
        MainWindow window;
        for (AudioPlayer *player : {&window.player1, &window.player2}) {
            player->addMedia(longTone);
            player->Play();
        }
        // A seek lands once the media is really running, not at the start request.
        QTRY_VERIFY_WITH_TIMEOUT(window.player1.getPosition() > 0 && window.player2.getPosition() > 0,
                                 kStartToleranceMs);
        auto *seeker = window.findChild<QSlider *>(QStringLiteral("seeker"));
        seeker->setMaximum(30000);
        emit seeker->sliderMoved(20000);
        for (AudioPlayer *player : {&window.player1, &window.player2})
            QTRY_VERIFY2(qAbs(player->getPosition() - 20000) < kSeekToleranceMs,
                         qPrintable(QString::number(player->getPosition())));
    }

    // A display tick with nothing to show rests four times a second; an audio
    // block runs it at once, and the rest starts over from that block.
    void restingDisplayWakesForAudio()
    {
        QTimer tick;
        QElapsedTimer clock;
        clock.start();
        QList<qint64> ticks;
        int runs = 0;
        bool canRest = false;
        auto *pacer = new DisplayPacer(&tick, [&runs] { ++runs; }, [&canRest] { return canRest; });
        connect(&tick, &QTimer::timeout, this, [&] { ticks.append(clock.elapsed()); });
        connect(&tick, &QTimer::timeout, pacer, &DisplayPacer::settle);

        // A tick at full pace takes no extra run: silence would be counted twice.
        tick.start(DisplayPacer::kTickMs);
        pacer->wake();
        QCOMPARE(runs, 0);
        canRest = true;
        QTRY_COMPARE(tick.interval(), DisplayPacer::kRestingMs);

        ticks.clear();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() > kRestingTicksTimed,
                                 (kRestingTicksTimed + 1) * (kRestingTickMs + kTimerLateMs));
        for (qsizetype i = 1; i < ticks.size(); ++i) {
            const qint64 gap = ticks[i] - ticks[i - 1];
            QVERIFY2(gap >= kRestingTickMs - kTimerEarlyMs
                         && gap <= kRestingTickMs + kTimerLateMs,
                     qPrintable(QString::number(gap)));
        }

        QTest::qWait(kWakeIntoRestMs);
        const qsizetype before = ticks.size();
        const qint64 woken = clock.elapsed();
        pacer->wake();
        QCOMPARE(runs, 1);
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() > before, kRestingTickMs + kTimerLateMs);
        const qint64 rest = ticks[before] - woken;
        QVERIFY2(rest >= kRestingTickMs - kTimerEarlyMs, qPrintable(QString::number(rest)));
        tick.stop();

        // In the desk, a block from either channel's tap reaches the meters at once.
        MainWindow window;
        for (AudioPlayer *player : {&window.player1, &window.player2}) {
            player->addMedia(longTone);
            player->Play();
            QTRY_VERIFY_WITH_TIMEOUT(player->isPlaying(), kStartToleranceMs);
        }
        QTRY_COMPARE(window.displayTimer->interval(), DisplayPacer::kRestingMs);
        const QList<AudioTap *> taps = {window.bufferOutput, window.bufferOutput2};
        for (AudioTap *tap : taps) {
            for (AudioTap *each : taps)
                emit each->audioBufferReceived(block(0));
            QCOMPARE(window.vuLeft->level(), 0);
            emit tap->audioBufferReceived(block(16384));
            QVERIFY(window.vuLeft->level() > 0);
        }
    }
};

ORVA_TEST_MAIN(TestOnAir)
#include "tst_onair.moc"
