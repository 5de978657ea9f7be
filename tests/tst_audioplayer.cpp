#include "audioplayer.h"
#include "playwatch.h"
#include "testsupport.h"

#include <QAudioOutput>
#include <QTimer>

namespace {

// Time for a media player to reach PlayingState after play().
constexpr int kStartToleranceMs = 5000;
// Extra time allowed past a file's length for its end to be reported.
constexpr int kEndToleranceMs = 3000;
// How long a failing item gets to report all its errors.
constexpr int kErrorSettleMs = 1000;
// Allowed deviation of a float volume from its expected step value.
constexpr double kVolumeTolerance = 1e-6;

using Volumes = QList<double>;

// Stops the channel's own fade timer so that a test drives fade() alone.
void holdFadeTimer(AudioPlayer &player)
{
    player.findChild<QTimer *>()->stop();
}

} // namespace

class TestAudioPlayer : public QObject
{
    Q_OBJECT

private:
    QString media;
    QString longTone;

    void startPlaying(AudioPlayer &player, const QString &file)
    {
        player.addMedia(file);
        player.Play();
        QTRY_VERIFY_WITH_TIMEOUT(player.isPlaying(), kStartToleranceMs);
    }

private slots:
    void initTestCase()
    {
        media = TestSupport::privateRoot() + QStringLiteral("/media");
        QDir().mkpath(media);
        longTone = media + QStringLiteral("/long.wav");
        QVERIFY(TestSupport::makeTone(longTone, 20));
    }

    void initialState()
    {
        AudioPlayer player;
        QVERIFY(!player.fadingOut && !player.fadingIn && !player.fading);
        QCOMPARE(player.fadeStep, 0.2f);
        QCOMPARE(player.targetVolume, 1.0f);
        QCOMPARE(player.getVolume(), 1.0);
        QVERIFY(player.isStopped());
        QVERIFY(player.findChild<QTimer *>()->isActive());
        QCOMPARE(player.findChild<QTimer *>()->interval(), 500);
    }

    void fadeTicks_data()
    {
        QTest::addColumn<bool>("playing");
        QTest::addColumn<float>("step");
        QTest::addColumn<float>("startVolume");
        QTest::addColumn<float>("target");
        QTest::addColumn<bool>("requestFadeOut");
        QTest::addColumn<Volumes>("volumes");
        QTest::addColumn<int>("stoppedAtTick"); // 0: keeps playing

        QTest::newRow("fade-out stops on the sixth tick")
            << true << 0.2f << 1.0f << 1.0f << true
            << Volumes{0.8, 0.6, 0.4, 0.2, 0.0, 0.0, 0.0} << 6;
        QTest::newRow("fade-in reaches full on the fifth tick")
            << true << 0.2f << 0.0f << 1.0f << false
            << Volumes{0.2, 0.4, 0.6, 0.8, 1.0, 1.0} << 0;
        QTest::newRow("target 0.8 settles in one tick")
            << true << 0.2f << 1.0f << 0.8f << false << Volumes{0.8, 0.8, 0.8} << 0;
        QTest::newRow("target 0.5 settles at 0.6")
            << true << 0.2f << 1.0f << 0.5f << false << Volumes{0.8, 0.6, 0.6, 0.6} << 0;
        QTest::newRow("outside volume change climbs back")
            << true << 0.2f << 0.5f << 1.0f << false << Volumes{0.7, 0.9, 1.0, 1.0} << 0;
        QTest::newRow("step 0 never fades out")
            << true << 0.0f << 1.0f << 1.0f << true << Volumes{1.0, 1.0, 1.0} << 0;
        QTest::newRow("step 0 never rises")
            << true << 0.0f << 0.0f << 1.0f << false << Volumes{0.0, 0.0, 0.0} << 0;
        QTest::newRow("idle rule silences a stopped channel")
            << false << 0.2f << 1.0f << 1.0f << false << Volumes{0.0, 0.0} << 1;
    }

    void fadeTicks()
    {
        QFETCH(bool, playing);
        QFETCH(float, step);
        QFETCH(float, startVolume);
        QFETCH(float, target);
        QFETCH(bool, requestFadeOut);
        QFETCH(Volumes, volumes);
        QFETCH(int, stoppedAtTick);

        AudioPlayer player;
        holdFadeTimer(player);
        player.fadeStep = step;
        if (playing)
            startPlaying(player, longTone);
        player.setVolume(startVolume);
        player.targetVolume = target;
        if (requestFadeOut)
            player.fadeOut();

        for (int tick = 1; tick <= volumes.size(); ++tick) {
            player.fade();
            QVERIFY2(qAbs(player.getVolume() - volumes[tick - 1]) < kVolumeTolerance,
                     qPrintable(QStringLiteral("tick %1: volume %2").arg(tick).arg(player.getVolume())));
            const bool shouldBeStopped = stoppedAtTick > 0 && tick >= stoppedAtTick;
            QCOMPARE(player.isStopped(), shouldBeStopped);
        }
        if (!requestFadeOut && playing && step > 0)
            QVERIFY(!player.fading);
    }

    void idleRuleArmsFadeIn()
    {
        AudioPlayer player;
        holdFadeTimer(player);
        player.fade();
        QCOMPARE(player.getVolume(), 0.0);
        QCOMPARE(player.targetVolume, 0.0f);
        QVERIFY(player.fadingIn);
        QVERIFY(!player.fading);
    }

    void fadeRequestsNeedTheRightState()
    {
        AudioPlayer player;
        holdFadeTimer(player);
        player.fadeOut();
        QVERIFY(!player.fadingOut);
        startPlaying(player, longTone);
        player.fadeIn();
        QVERIFY(!player.fadingIn);
    }

    void fadingFlagDuringFadeOut()
    {
        AudioPlayer player;
        holdFadeTimer(player);
        startPlaying(player, longTone);
        player.fadeOut();
        player.fade();
        QVERIFY(player.fading);
        for (int tick = 0; tick < 5; ++tick)
            player.fade();
        QVERIFY(player.isStopped());
        QVERIFY(!player.fading && !player.fadingOut);
    }

    // The media framework (GStreamer, Qt 6.4) now and then ends a fresh item
    // before any of it sounded: the channel plays it again, once.
    void endOfMediaSignalledOnce_data()
    {
        QTest::addColumn<int>("silentEnds");
        QTest::newRow("plays to its end") << 0;
        QTest::newRow("ended at once: played again") << 1;
        QTest::newRow("ended at once twice: over") << 2;
    }

    void endOfMediaSignalledOnce()
    {
        QFETCH(int, silentEnds);
        const QString shortTone = media + QStringLiteral("/short.wav");
        QVERIFY(TestSupport::makeTone(shortTone, 1));
        AudioPlayer player;
        QSignalSpy finished(&player, &AudioPlayer::playbackFinished);
        QSignalSpy positions(&player, &AudioPlayer::update_position);
        player.addMedia(shortTone);
        player.Play();
        for (int end = 0; end < silentEnds; ++end) {
            QVERIFY(QMetaObject::invokeMethod(player.findChild<PlayWatch *>(), "onMediaStatusChanged",
                                              Qt::DirectConnection,
                                              Q_ARG(QMediaPlayer::MediaStatus, QMediaPlayer::EndOfMedia)));
        }
        if (silentEnds > 1) {
            QCOMPARE(finished.count(), 1);
            return;
        }
        QCOMPARE(finished.count(), 0);
        QVERIFY(player.isPlaying());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kStartToleranceMs + 1000 + kEndToleranceMs);
        QVERIFY(player.isStopped());
        QVERIFY(!positions.isEmpty());
        QTest::qWait(300);
        QCOMPARE(finished.count(), 1);
    }

    // An item on its way out is left to its fade, moving or not: a source
    // that stops delivering while it fades out is no failure.
    void stalledWhileFadingOut()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        AudioPlayer player;
        TestSupport::StallingPipe pipe(media + QStringLiteral("/stalling.wav"), 440, 500);
        QVERIFY(pipe.ready());
        // The fade is held where it is, as a slow fade would be.
        player.findChild<QTimer *>()->stop();
        QSignalSpy errors(&player, &AudioPlayer::mediaError);
        player.addMedia(media + QStringLiteral("/stalling.wav"));
        player.Play();
        player.fadeOut();
        QVERIFY(player.fadingOut);
        QTest::qWait(PlayWatch::kStallMs + 1000);
        QCOMPARE(errors.count(), 0);
        QVERIFY(player.fadingOut);
    }

    void stopAndResetAreSilent_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::newRow("Stop") << false;
        QTest::newRow("Reset") << true;
    }

    void stopAndResetAreSilent()
    {
        QFETCH(bool, reset);
        AudioPlayer player;
        QSignalSpy finished(&player, &AudioPlayer::playbackFinished);
        startPlaying(player, longTone);
        if (reset)
            player.Reset();
        else
            player.Stop();
        QTRY_VERIFY(player.isStopped());
        QTest::qWait(300);
        QCOMPARE(finished.count(), 0);
    }

    // Some media backends switch to Playing only a while after play(); a fade
    // tick in between must not take the channel for idle and silence it.
    void playingFromThePlayRequest()
    {
        AudioPlayer player;
        holdFadeTimer(player);
        player.addMedia(longTone);
        player.Play();
        QVERIFY(player.isPlaying());
        QVERIFY(!player.isStopped());
        player.fade();
        QCOMPARE(player.getVolume(), 1.0);
        QCOMPARE(player.targetVolume, 1.0f);
    }

    void playAfterResetPlaysNothing()
    {
        AudioPlayer player;
        QSignalSpy finished(&player, &AudioPlayer::playbackFinished);
        QSignalSpy errors(&player, &AudioPlayer::mediaError);
        startPlaying(player, longTone);
        player.Reset();
        player.Play();
        QTest::qWait(500);
        QVERIFY(!player.isPlaying());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(errors.count(), 0);
    }

    void failingItemReportedOnce_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<QString>("reason");     // the channel's own, before the framework's
        QFile wav(longTone);
        QVERIFY(wav.open(QIODevice::ReadOnly));
        // RIFF header, format chunk and the start of the next chunk: a copy cut off at 44 bytes.
        const QByteArray header = wav.read(44);
        QTest::newRow("missing file") << QStringLiteral("missing.wav") << QByteArray()
                                      << QStringLiteral("File not found or not readable");
        QTest::newRow("text named .wav") << QStringLiteral("text.wav") << QByteArray("not audio\n")
                                         << QStringLiteral("Not an audio file");
        QTest::newRow("zero bytes") << QStringLiteral("empty.mp3") << QByteArray("")
                                    << QStringLiteral("Empty file");
        QTest::newRow("WAV cut off after its header") << QStringLiteral("cut.wav") << header
                                                      << QStringLiteral("WAV file without audio data");
        QTest::newRow("WAV whose data holds no whole frame")
            << QStringLiteral("half-frame.wav") << header.left(36) + QByteArray("data\x03\0\0\0\1\2\3", 11)
            << QStringLiteral("WAV file without audio data");
    }

    void failingItemReportedOnce()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = media + QLatin1Char('/') + name;
        if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        AudioPlayer player;
        QSignalSpy errors(&player, &AudioPlayer::mediaError);
        player.addMedia(path);
        player.Play();
        QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, kStartToleranceMs);
        QTest::qWait(kErrorSettleMs);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(0).toString(), path);
        QCOMPARE(errors.first().at(1).toString(), reason);
        QVERIFY(!player.isPlaying());
        QVERIFY(player.isStopped());

        // The next item on the same channel plays normally.
        startPlaying(player, longTone);
        QCOMPARE(errors.count(), 1);
    }

    // A fade-out cut short by the end of its item must not stop the next one.
    void fadeOutEndedByEndOfMedia()
    {
        const QString shortTone = media + QStringLiteral("/short-fade.wav");
        QVERIFY(TestSupport::makeTone(shortTone, 1));
        AudioPlayer player;
        holdFadeTimer(player);
        player.fadeStep = 0.05f;
        QSignalSpy finished(&player, &AudioPlayer::playbackFinished);
        startPlaying(player, shortTone);
        player.fadeOut();
        player.fade();
        QVERIFY(player.fading);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 1000 + kEndToleranceMs);
        QVERIFY(!player.fadingOut);
        QVERIFY(!player.fading);

        player.fade(); // idle rule
        startPlaying(player, longTone);
        player.targetVolume = 1.0f;
        player.fade();
        QVERIFY(player.isPlaying());
        QVERIFY(player.getVolume() > 0.0);
    }

    void resetRestoresConfiguredStep()
    {
        AudioPlayer player;
        player.configureFadeStep(0.5f);
        QCOMPARE(player.fadeStep, 0.5f);
        player.fadeStep = 0.1f;
        player.fadingIn = player.fadingOut = player.fading = true;
        player.targetVolume = 0.3f;
        player.Reset();
        QCOMPARE(player.fadeStep, 0.5f);
        QCOMPARE(player.targetVolume, 1.0f);
        QVERIFY(!player.fadingIn && !player.fadingOut && !player.fading);

        AudioPlayer unconfigured;
        unconfigured.Reset();
        QCOMPARE(unconfigured.fadeStep, 0.2f);
    }

    // What the sound server really played: a fade-out falls in steps of one
    // fade tick and ends in silence.
    void recordedFadeOut()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        AudioPlayer player;
        // Neither the start nor the fade is taken for a stall.
        QSignalSpy errors(&player, &AudioPlayer::mediaError);
        startPlaying(player, longTone);
        QTest::qWait(1000);
        player.fadeOut();
        QTRY_VERIFY_WITH_TIMEOUT(player.isStopped(), 6 * 500 + kEndToleranceMs);
        QTest::qWait(500);
        const QVector<double> rms = TestSupport::Recorder::windowRms(recorder.stop(), 50);
        QVERIFY(rms.size() > 40);

        const double full = *std::max_element(rms.begin(), rms.end());
        QVERIFY2(full > 0.3, qPrintable(QString::number(full)));
        // Count plateaus: runs of windows at about the same level between
        // full and silence. A 500 ms step is 10 windows of 50 ms.
        QVector<int> plateauLengths;
        int run = 0;
        for (int i = 1; i < rms.size(); ++i) {
            const double level = rms[i] / full;
            const double previous = rms[i - 1] / full;
            if (level < 0.95 && level > 0.05 && qAbs(level - previous) < 0.03) {
                ++run;
            } else {
                if (run >= 6)
                    plateauLengths.append(run + 1);
                run = 0;
            }
        }
        QVERIFY2(plateauLengths.size() >= 3,
                 qPrintable(QStringLiteral("plateaus: %1").arg(plateauLengths.size())));
        for (int length : plateauLengths)
            QVERIFY2(length >= 7 && length <= 13, qPrintable(QString::number(length)));
        QVERIFY(rms.last() < 0.001);
        QCOMPARE(errors.count(), 0);
    }
};

ORVA_TEST_MAIN(TestAudioPlayer)
#include "tst_audioplayer.moc"
