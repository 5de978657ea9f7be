#include "announcementplayer.h"
#include "asrunlog.h"
#include "asrunreport.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "timerclock.h"

#include <QAudioOutput>
#include <QPushButton>
#include <QTextBrowser>

namespace {

// Time for a media player to start after play().
constexpr int kStartToleranceMs = 5000;
// Time for a failing file to be reported by the time player.
constexpr int kErrorToleranceMs = 3000;

bool makeLowRateTone(const QString &path, int seconds)
{
    return TestSupport::run(
        QStringLiteral("ffmpeg"),
        {QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
         QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("sine=frequency=440:sample_rate=8000:duration=%1").arg(seconds),
         QStringLiteral("-ac"), QStringLiteral("1"), path});
}

} // namespace

class TestClock : public QObject
{
    Q_OBJECT

private:
    QString media;
    QString timeFolder;
    QString longTone;

    QString endTimeShown(MainWindow &window)
    {
        return window.findChild<QTextBrowser *>(QStringLiteral("over_at_time"))->toPlainText();
    }

    // Plays the long file on player1 with `remainingMs` left before its end.
    void playNearEnd(MainWindow &window, qint64 remainingMs)
    {
        window.player1.addMedia(longTone);
        window.player1.Play();
        QTRY_VERIFY_WITH_TIMEOUT(window.player1.getPosition() > 0, kStartToleranceMs);
        window.player1.Seek(int(window.player1.getDuration() - remainingMs));
        QTRY_VERIFY(qAbs(window.player1.remainingTime() - remainingMs) < 300);
    }

    // The end time for `now` must match the remaining time read around the call.
    void checkEndTime(MainWindow &window, const QTime &now)
    {
        const qint64 before = window.player1.remainingTime();
        window.currentTimePositionClock(now);
        const qint64 after = window.player1.remainingTime();
        const QString shown = endTimeShown(window);
        const QString early = now.addSecs(int(after / 1000)).toString(QStringLiteral("HH:mm:ss"));
        const QString late = now.addSecs(int(before / 1000)).toString(QStringLiteral("HH:mm:ss"));
        QVERIFY2(shown == early || shown == late, qPrintable(shown + " vs " + early + "/" + late));
    }

private slots:
    void initTestCase()
    {
        media = TestSupport::privateRoot() + QStringLiteral("/media");
        timeFolder = TestSupport::privateRoot() + QStringLiteral("/time");
        QDir().mkpath(media);
        QDir().mkpath(timeFolder);
        longTone = media + QStringLiteral("/long.wav");
        QVERIFY(makeLowRateTone(longTone, 400));
        // One short announcement under all 780 names of the dial.
        const QString voice = media + QStringLiteral("/voice.mp3");
        QVERIFY(TestSupport::makeTone(voice, 1.5, 880));
        for (int hour = 0; hour <= 12; ++hour) {
            for (int minute = 0; minute < 60; ++minute) {
                const QString name = QStringLiteral("%1%2.mp3").arg(hour, 2, 10, QLatin1Char('0'))
                                         .arg(minute, 2, 10, QLatin1Char('0'));
                QVERIFY(QFile::link(voice, timeFolder + QLatin1Char('/') + name));
            }
        }
    }

    void init()
    {
        TestSupport::clearSettings();
        QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
            .setValue(QStringLiteral("files/audioTimeDir"), timeFolder);
    }

    void timeAudioName_data()
    {
        QTest::addColumn<QString>("clock");
        QTest::addColumn<QString>("name");
        QTest::newRow("after midnight") << QStringLiteral("00:05:09") << QStringLiteral("0005");
        QTest::newRow("morning") << QStringLiteral("09:30:00") << QStringLiteral("0930");
        QTest::newRow("noon hour") << QStringLiteral("12:00:59") << QStringLiteral("1200");
        QTest::newRow("afternoon") << QStringLiteral("13:07:00") << QStringLiteral("0107");
        QTest::newRow("last second") << QStringLiteral("23:59:59") << QStringLiteral("1159");
        QTest::newRow("15:42") << QStringLiteral("15:42:10") << QStringLiteral("0342");
        QTest::newRow("empty caption") << QString() << QStringLiteral("00");
        QTest::newRow("malformed caption") << QStringLiteral("ab:cd:ef") << QStringLiteral("00cd");
    }

    void timeAudioName()
    {
        QFETCH(QString, clock);
        QFETCH(QString, name);
        MainWindow window;
        window.updateClockLabel(clock);
        QCOMPARE(window.timeAudioName, name);
        QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("audio_clock"))->text(), clock);
    }

    void clockTicks()
    {
        TimerClock clock;
        QSignalSpy texts(&clock, &TimerClock::updateTime);
        QSignalSpy times(&clock, &TimerClock::updateSeparateTime);
        QTRY_COMPARE_WITH_TIMEOUT(texts.count(), 1, 1500);
        QCOMPARE(times.count(), 1);
        const QTime shown = QTime::fromString(texts.first().first().toString(), QStringLiteral("hh:mm:ss"));
        QVERIFY(shown.isValid());
        QVERIFY(qAbs(shown.secsTo(times.first().first().toTime())) <= 1);
    }

    void endTime_data()
    {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<qint64>("remainingMs");
        QTest::newRow("10:00:00 + 129.5 s") << QTime(10, 0, 0) << qint64(129500);
        QTest::newRow("across midnight") << QTime(23, 58, 30) << qint64(150500);
    }

    void endTime()
    {
        QFETCH(QTime, now);
        QFETCH(qint64, remainingMs);
        MainWindow window;
        TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, true);
        playNearEnd(window, remainingMs);
        checkEndTime(window, now);
        if (now == QTime(10, 0, 0))
            QVERIFY(endTimeShown(window) == QStringLiteral("10:02:09")
                    || endTimeShown(window) == QStringLiteral("10:02:08"));
        else
            QVERIFY(endTimeShown(window) == QStringLiteral("00:01:00")
                    || endTimeShown(window) == QStringLiteral("00:00:59"));
    }

    void endTimeFrozenOffAir()
    {
        MainWindow window;
        playNearEnd(window, 60000);
        const QString before = endTimeShown(window);
        window.currentTimePositionClock(QTime(10, 0, 0));
        QCOMPARE(endTimeShown(window), before);
        // On air with no audible channel the box shows the time itself.
        window.player1.Stop();
        TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, true);
        window.currentTimePositionClock(QTime(10, 0, 0));
        QCOMPARE(endTimeShown(window), QStringLiteral("10:00:00"));
    }

    void clockClickDucksMusic_data()
    {
        QTest::addColumn<bool>("inTransition");
        QTest::newRow("steady music") << false;
        QTest::newRow("during a transition") << true;
    }

    void clockClickDucksMusic()
    {
        QFETCH(bool, inTransition);
        MainWindow window;
        window.player1.addMedia(longTone);
        window.player1.Play();
        QTRY_VERIFY_WITH_TIMEOUT(window.player1.isPlaying(), kStartToleranceMs);
        window.player1.fading = inTransition;
        window.updateClockLabel(QStringLiteral("15:42:10"));

        window.on_audio_clock_clicked();
        QCOMPARE(window.timePlayer->source(),
                 QUrl::fromLocalFile(timeFolder + QStringLiteral("/0342.mp3")));
        QCOMPARE(window.timeOutput->volume(), 1.0f);
        QTRY_COMPARE_WITH_TIMEOUT(window.timePlayer->playbackState(), QMediaPlayer::PlayingState,
                                  kStartToleranceMs);
        QCOMPARE(window.player1.getVolume(), inTransition ? 1.0 : 0.5);
        QVERIFY(!window.sequencer->announcing());
        // A second click restarts the voice: the first left for the next.
        QFile::remove(TestSupport::todaysAsRunLog());
        window.on_audio_clock_clicked();
        const QList<TestSupport::AsRunRow> rows = TestSupport::todaysAsRunRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].outcome, QStringLiteral("next"));
        if (!inTransition) {
            // The channel's own fade ticks bring it back: 0.7, 0.9, 1.0.
            QTRY_COMPARE_WITH_TIMEOUT(window.player1.getVolume(), 1.0, 3 * 500 + 1000);
        }
    }

    // What the sound server played: a time entry and a jingle in a loop; the
    // announcement is heard every time, with one "ended" row each.
    // ORVARADIO_TIME_PLAYS asks for a longer run than three.
    void recordedAnnouncements()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const int plays = qMax(3, qEnvironmentVariableIntValue("ORVARADIO_TIME_PLAYS"));
        const QString jingle = media + QStringLiteral("/jingle.wav");
        QVERIFY(TestSupport::makeTone(jingle, 1, 440));
        MainWindow window;
        window.updateClockLabel(QStringLiteral("09:30:00"));
        window.playlist = {{QStringLiteral("Hora Certa"), QString(), QStringLiteral("--:--"), QStringLiteral("time")},
                           {QStringLiteral("jingle"), jingle, QStringLiteral("00:01"), QStringLiteral("jingle")}};
        QFile::remove(TestSupport::todaysAsRunLog());
        const auto timeRows = [] {
            QStringList outcomes;
            for (const TestSupport::AsRunRow &row : TestSupport::todaysAsRunRows()) {
                if (row.kind == QLatin1String("time"))
                    outcomes << row.outcome;
            }
            return outcomes;
        };
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        window.on_btn_play_clicked();
        // The announcement shows its own remaining time and end.
        QTRY_COMPARE_WITH_TIMEOUT(window.findChild<QTextBrowser *>(QStringLiteral("remain_time"))->toPlainText(),
                                  QStringLiteral("00:01"), 3000);
        const int endsIn = QTime::currentTime().secsTo(QTime::fromString(endTimeShown(window), QStringLiteral("HH:mm:ss")));
        QVERIFY2(endsIn >= 0 && endsIn <= 2, qPrintable(endTimeShown(window)));
        QTRY_VERIFY_WITH_TIMEOUT(timeRows().size() >= plays, plays * 5000);
        window.on_btn_stop_clicked();
        constexpr int kWindowMs = 50;
        const QVector<bool> heard = TestSupport::Recorder::toneWindows(recorder.stop(), 880, kWindowMs, 0.02);
        // A quiet spell this long parts two announcements; a shorter one is a
        // dropout under load.
        constexpr int kPartingWindows = 300 / kWindowMs;
        int bursts = 0;
        int quiet = kPartingWindows;
        for (const bool sounds : heard) {
            if (sounds && quiet >= kPartingWindows)
                ++bursts;
            quiet = sounds ? 0 : quiet + 1;
        }
        QCOMPARE(bursts, plays);
        QCOMPARE(timeRows(), QStringList(plays, QStringLiteral("ended")));
    }

    void clockClickWithMissingFile()
    {
        MainWindow window;
        window.audioTimeDir = media + QStringLiteral("/nowhere");
        window.updateClockLabel(QStringLiteral("10:00:00"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Timeplayer error:")));
        QSignalSpy errors(window.announcer, &AnnouncementPlayer::failed);
        QFile::remove(TestSupport::todaysAsRunLog());
        window.on_audio_clock_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), kErrorToleranceMs);
        // Its as-run row is written within moments, not when the clock is next clicked.
        QVERIFY(!window.airEvents->isOpen(window.timePlayer));
        QTRY_VERIFY_WITH_TIMEOUT(!TestSupport::todaysAsRunRows().isEmpty(), 2 * kErrorToleranceMs);
        QFile log(TestSupport::todaysAsRunLog());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> fields = log.readAll().trimmed().split('\n').last().split(',');
        QCOMPARE(fields.size(), 13);
        QCOMPARE(fields[2], QByteArray("0.0"));
        QCOMPARE(fields[3], QByteArray("time"));
        QVERIFY(fields[4].startsWith("Current time "));
        QCOMPARE(fields[7], QByteArray("error"));
        QVERIFY(!window.sequencer->onAir());
        QVERIFY(!window.sequencer->announcing());
        QVERIFY(window.player1.isStopped() && window.player2.isStopped());
    }
};

ORVA_TEST_MAIN(TestClock)
#include "tst_clock.moc"
