// Loudness normalisation: what goes on air against what the files measure,
// and the measurements kept across restarts.
#include "buttonhole.h"
#include "fadefinder.h"
#include "preparation.h"
#include "loudness.h"
#include "mainwindow.h"
#include "testsupport.h"

#include <QAudioOutput>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kItemSeconds = 4.0;
// The part of each item measured on the recording: clear of its start and
// end however late the hand-overs come.
constexpr double kMeasureFromSeconds = 0.8;
constexpr double kMeasureSeconds = 2.4;
constexpr double kToleranceLu = 1.0;
constexpr int kPrepareMs = 30000;
constexpr int kStartToleranceMs = 5000;
constexpr int kListenAfterMs = 500;
// Below this RMS a 10 ms window counts as silence; between two items of
// pink noise no such run may last longer than kLongestGapMs.
constexpr double kSilentRms = 0.003;
constexpr int kWindowMs = 10;
constexpr int kLongestGapMs = 300;
// A ducking channel with talk level 0.5 and fade speed 5 lands on 0.5 in one tick.
constexpr float kTalkLevel = 0.5f;
constexpr double kLevelTolerance = 0.08;
// When a file being copied in is complete.
constexpr int kCopyEndsMs = 500;
// Bytes of noise in the middle of a damaged MP3.
constexpr qsizetype kDamagedBytes = 3000;
// Cue points: the silence detector places the sound's start and end to the
// sample; the fade is read from the meter's 100 ms steps.
constexpr qint64 kCueToleranceMs = 20;
// Past the part of a long file the detector hears, one of the meter's steps;
// an MP3 is shifted by its encoder's delay.
constexpr qint64 kCoarseToleranceMs = 100;
constexpr double kLongFileSeconds = 60.0;
constexpr qint64 kFadeToleranceMs = 1000;

// ffmpeg's own word on the integrated loudness of its input, read apart from
// the desk's reading of the same log.
double ffmpegLufs(const QStringList &input)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner")}
                                               + input
                                               + QStringList{QStringLiteral("-af"), QStringLiteral("ebur128=framelog=verbose"),
                                                             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(60000))
        return qQNaN();
    static const QRegularExpression integrated(QStringLiteral("Summary:.*\\bI:\\s+(-?[0-9.]+) LUFS"),
                                               QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = integrated.match(QString::fromUtf8(ffmpeg.readAllStandardError()));
    return match.hasMatch() ? match.captured(1).toDouble() : qQNaN();
}

// Pink noise at about `lufs`, as a stereo WAV.
bool makePinkNoise(const QString &path, double lufs)
{
    const QString source = QStringLiteral("anoisesrc=color=pink:amplitude=0.5:seed=7:sample_rate=44100:duration=%1")
                               .arg(kItemSeconds);
    double gainDb = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        if (!TestSupport::run(QStringLiteral("ffmpeg"),
                              {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                               QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source,
                               QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-af"),
                               QStringLiteral("volume=%1dB").arg(gainDb), QStringLiteral("-c:a"),
                               QStringLiteral("pcm_s16le"), path}))
            return false;
        gainDb += lufs - ffmpegLufs({QStringLiteral("-i"), path});
    }
    return std::abs(ffmpegLufs({QStringLiteral("-i"), path}) - lufs) < kToleranceLu / 2;
}

// The loudness of `seconds` of the recording from `from`.
double recordedLufs(const QString &raw, double from, double seconds)
{
    return ffmpegLufs({QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-ar"),
                       QStringLiteral("44100"), QStringLiteral("-ac"), QStringLiteral("2"),
                       QStringLiteral("-ss"), QString::number(from), QStringLiteral("-t"),
                       QString::number(seconds), QStringLiteral("-i"), raw});
}

QString saveRaw(const QVector<qint16> &samples)
{
    const QString raw = TestSupport::privateRoot() + QStringLiteral("/recorded.raw");
    QFile file(raw);
    if (file.open(QIODevice::WriteOnly))
        file.write(reinterpret_cast<const char *>(samples.constData()), samples.size() * qsizetype(sizeof(qint16)));
    return raw;
}

void configure(bool normalize, const QVariant &target = Loudness::kDefaultTarget)
{
    TestSupport::clearSettings();
    QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
    settings.setValue(QStringLiteral("audio/loudnessNormalize"), normalize);
    settings.setValue(QStringLiteral("audio/loudnessTarget"), target);
    settings.setValue(QStringLiteral("volume/volumeToTalk"), kTalkLevel);
    settings.setValue(QStringLiteral("volume/speedFade"), 5);
}

Playlist jingle(const QString &path)
{
    return {QFileInfo(path).completeBaseName(), path, QStringLiteral("00:04"), QStringLiteral("jingle")};
}

bool measuredRow(const MainWindow &desk, int row)
{
    const auto *view = desk.findChild<QTreeWidget *>(QStringLiteral("audio_list"));
    return view->topLevelItem(row)->toolTip(1).contains(QStringLiteral("LUFS"));
}

} // namespace

class LoudnessTest : public QObject
{
    Q_OBJECT

    QString pink[3];
    const double levels[3] = {-10.0, -18.0, -30.0};

private slots:
    void initTestCase()
    {
        for (int i = 0; i < 3; ++i) {
            pink[i] = TestSupport::privateRoot() + QStringLiteral("/pink%1.wav").arg(i);
            QVERIFY2(makePinkNoise(pink[i], levels[i]), qPrintable(pink[i]));
        }
    }

    void init() { QFile::remove(Loudness::defaultStoreFile()); }

    // Three items of pink noise, one after the other, measured on what the
    // sound server played.
    void itemsGoOnAirAtTheTarget_data()
    {
        QTest::addColumn<bool>("normalize");
        QTest::addColumn<QVector<double>>("expected");
        QTest::newRow("normalised to -23") << true << QVector<double>{-23.0, -23.0, -30.0};
        QTest::newRow("off") << false << QVector<double>{-10.0, -18.0, -30.0};
    }

    void itemsGoOnAirAtTheTarget()
    {
        QFETCH(bool, normalize);
        QFETCH(QVector<double>, expected);
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        configure(normalize);
        MainWindow desk;
        desk.playlist = {jingle(pink[0]), jingle(pink[1]), jingle(pink[2])};
        desk.updateAudioList();
        for (int row = 0; row < 3; ++row)
            QTRY_VERIFY_WITH_TIMEOUT(measuredRow(desk, row), kPrepareMs);
        if (normalize) {
            // The quiet one says why it stays below the target.
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral(
                                                "^Loudness: -\\d+\\.\\d LUFS, below the target by \\d+\\.\\d LU.*pink2")));
        }

        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        desk.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 2, 2 * (int(kItemSeconds) * 1000 + kStartToleranceMs));
        // The running order loops: the first item again ends the third.
        QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 0, int(kItemSeconds) * 1000 + kStartToleranceMs);
        QTest::qWait(kListenAfterMs);
        const QVector<qint16> samples = recorder.stop();
        desk.on_btn_stop_clicked();

        const QVector<double> rms = TestSupport::Recorder::windowRms(samples, kWindowMs);
        const qsizetype first = std::find_if(rms.cbegin(), rms.cend(), [](double r) { return r > kSilentRms; }) - rms.cbegin();
        qsizetype last = rms.size() - 1;
        while (last > first && rms[last] <= kSilentRms)
            --last;
        int gap = 0;
        int longestGap = 0;
        for (qsizetype i = first; i <= last; ++i) {
            gap = rms[i] <= kSilentRms ? gap + kWindowMs : 0;
            longestGap = std::max(longestGap, gap);
        }
        QVERIFY2(longestGap <= kLongestGapMs, qPrintable(QString::number(longestGap)));

        const QString raw = saveRaw(samples);
        const double start = double(first) * kWindowMs / 1000.0;
        for (int item = 0; item < 3; ++item) {
            const double heard = recordedLufs(raw, start + item * kItemSeconds + kMeasureFromSeconds, kMeasureSeconds);
            qInfo() << "item" << item << "heard at" << heard << "LUFS";
            QVERIFY2(std::abs(heard - expected[item]) <= kToleranceLu,
                     qPrintable(QStringLiteral("item %1: %2 LUFS").arg(item).arg(heard)));
        }
    }

    // Talk-over ducks a normalised item to its talk level times its gain, and
    // brings it back to its gain.
    void talkOverKeepsItsShape()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const QString tone = TestSupport::privateRoot() + QStringLiteral("/tone.wav");
        QVERIFY(TestSupport::makeTone(tone, 20.0, 1000, 0.5));
        configure(true);
        MainWindow desk;
        desk.playlist = {{QStringLiteral("tone"), tone, QStringLiteral("00:20"), QStringLiteral("music")}};
        desk.updateAudioList();
        QTRY_VERIFY_WITH_TIMEOUT(measuredRow(desk, 0), kPrepareMs);
        const double gain = Loudness::factor(desk.loudness->gainDb(tone));
        QVERIFY2(gain < 0.9, qPrintable(QString::number(gain)));

        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        desk.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(desk.player2.isPlaying() && desk.player2.getVolume() == 1.0, kStartToleranceMs);
        QTest::qWait(2000);
        auto *talk = desk.findChild<QPushButton *>(QStringLiteral("btn_talk"));
        talk->click();
        QTRY_COMPARE_WITH_TIMEOUT(desk.player2.getVolume(), double(kTalkLevel), kStartToleranceMs);
        QCOMPARE(desk.player2.outputVolume(), kTalkLevel * float(gain));
        QTest::qWait(2000);
        talk->click();
        QTRY_COMPARE_WITH_TIMEOUT(desk.player2.getVolume(), 1.0, kStartToleranceMs);
        QTest::qWait(2000);
        const QVector<qint16> samples = recorder.stop();
        desk.on_btn_stop_clicked();

        // The tone's level along the recording, in 250 ms steps.
        QVector<double> level;
        constexpr qsizetype kStep = 44100 / 4;
        for (qsizetype frame = 0; frame + kStep <= samples.size() / 2; frame += kStep)
            level.append(TestSupport::Recorder::toneAmplitude(samples, frame, kStep, 1000.0));
        const double full = *std::max_element(level.cbegin(), level.cend());
        const auto near = [](double value, double wanted) { return std::abs(value - wanted) < kLevelTolerance * wanted; };
        QVERIFY2(near(full, 0.5 * gain), qPrintable(QString::number(full)));
        const qsizetype firstFull = std::find_if(level.cbegin(), level.cend(), [&](double v) { return near(v, full); }) - level.cbegin();
        const qsizetype dip = std::find_if(level.cbegin() + firstFull, level.cend(),
                                           [&](double v) { return near(v, 0.5 * gain * kTalkLevel); }) - level.cbegin();
        QVERIFY2(dip < level.size(), "never ducked to the talk level times the gain");
        const auto back = std::find_if(level.cbegin() + dip, level.cend(), [&](double v) { return near(v, full); });
        QVERIFY2(back != level.cend(), "never came back to its gain");
    }

    // Carts and time announcements play at their gain too.
    void cartsAndAnnouncementsFollowTheRule()
    {
        configure(true, -20);
        const QString timeDir = TestSupport::privateRoot() + QStringLiteral("/time");
        QVERIFY(QDir().mkpath(timeDir));
        QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio")).setValue(QStringLiteral("files/audioTimeDir"), timeDir);
        QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio")).setValue(QStringLiteral("buttonhole/btn_1"), pink[0]);
        MainWindow desk;
        desk.loudness->record(pink[0], {-10.0, -1.0});
        const float gain = Loudness::factor(-10.0);
        ButtonHole *cart = desk.carts.first();
        cart->buttonHoleClick();
        QCOMPARE(cart->audioOutput()->volume(), gain);
        cart->buttonHoleStop();

        desk.updateClockLabel(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        const QString announcement = timeDir + QLatin1Char('/') + desk.timeAudioName + QStringLiteral(".mp3");
        QFile::remove(announcement);
        QVERIFY(QFile::copy(pink[0], announcement));
        desk.loudness->record(announcement, {-10.0, -1.0});
        desk.on_audio_clock_clicked();
        QCOMPARE(desk.timeOutput->volume(), gain);
        desk.timePlayer->stop();
    }

    // The true peak keeps its ceiling, an item quieter than the target plays
    // at its own level, and one not measured yet at the median gain of those
    // measured.
    void peakCeilingAndMedian()
    {
        Loudness loudness(Loudness::defaultStoreFile());
        loudness.configure(true, Loudness::kDefaultTarget);
        const QString unmeasured = TestSupport::privateRoot() + QStringLiteral("/never-measured.wav");
        QCOMPARE(loudness.gainDb(unmeasured), 0.0);
        loudness.record(pink[0], {-22.0, 1.0});
        QCOMPARE(loudness.gainDb(pink[0]), -2.0);
        loudness.record(pink[1], {-13.0, -3.0});
        loudness.record(pink[2], {-33.0, -20.0});
        QCOMPARE(loudness.gainDb(pink[2]), 0.0);
        QCOMPARE(loudness.gainDb(unmeasured), -2.0);
    }

    // A damaged or foreign file of measurements costs one warning and is
    // measured afresh; the good lines stay, and the next start is quiet.
    void damagedStore_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("kept");
        QTest::newRow("cut off mid-line") << QByteArray("# OrvaRadio loudness 1\n@GOOD@\n12\t3") << 1;
        QTest::newRow("garbage between") << QByteArray("# OrvaRadio loudness 1\n\x01\xffzz\n@GOOD@\nx\ty\tz\tw\t/a\n") << 1;
        QTest::newRow("foreign file") << QByteArray("[General]\nkey=value\n") << 0;
    }

    void damagedStore()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, kept);
        const QString file = Loudness::defaultStoreFile();
        {
            Loudness good(file);
            good.record(pink[0], {-10.0, 0.1});
        }
        QFile store(file);
        QVERIFY(store.open(QIODevice::ReadOnly));
        const QByteArray goodLine = store.readAll().split('\n').value(1);
        store.close();
        QVERIFY(store.open(QIODevice::WriteOnly));
        store.write(content.replace("@GOOD@", goodLine));
        store.close();

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Loudness measurements .* ignored")));
        {
            MainWindow desk;
            QCOMPARE(desk.loudness->measure(pink[0]).has_value(), kept == 1);
            desk.loudness->record(pink[1], {-18.0, -5.0});
        }
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^Loudness measurements")));
        Loudness again(file);
        QCOMPARE(again.measure(pink[0]).has_value(), kept == 1);
        QCOMPARE(again.measure(pink[1])->integrated, -18.0);
    }

    // A cache that cannot be written is named once; the measures still serve.
    void unwritableStoreWarnsOnce()
    {
        Loudness loudness(QStringLiteral("/proc/orvaradio/loudness.txt"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Loudness measurements could not be written")));
        loudness.record(pink[0], {-10.0, 0.1});
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^Loudness measurements")));
        loudness.record(pink[1], {-18.0, -5.0});
        QCOMPARE(loudness.measure(pink[1])->integrated, -18.0);
    }

    // Where the sound of a made file starts, ends and fades out, found by
    // the preparation's decode. A file without sound is still sound for the
    // media check; one that is not audio has no cue points.
    void cuePointsFoundAhead_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("format");
        QTest::addColumn<double>("amplitude");
        QTest::addColumn<QString>("gate");
        QTest::addColumn<CuePoints>("expected");
        QTest::newRow("tone, then silence") << 6.0 << "wav" << 0.5 << "lt(t,4)" << CuePoints{0, 4000, -1};
        QTest::newRow("silence, then tone") << 5.5 << "wav" << 0.5 << "gte(t,1.5)" << CuePoints{1500, 5500, -1};
        // 0.5 falls to -50 dBFS at 99.4 % of a linear fade; 12 LU below the
        // file's -8.6 LUFS is 13.9 dB below the tone's -6.7, at 79.8 %. The
        // fade is found in the samples of a WAV or an MP3's copy, else in
        // the meter's log.
        const QString fade = QStringLiteral("if(lt(t,1),0,if(lt(t,7),1,max(0,1-(t-7)/12)))");
        for (const char *format : {"wav", "mp3", "flac"})
            QTest::addRow("12 s linear fade, %s", format) << 20.0 << format << 0.5 << fade << CuePoints{1000, 18924, 16580};
        QTest::newRow("quiet intro kept") << 7.0 << "wav" << 0.5 << "if(lt(t,3),0.02,1)" << CuePoints{0, 7000, -1};
        // In a long file the detector hears only its first and last 20 s; a
        // silence past those is placed by the meter's 100 ms peaks when it
        // logs them, else that end stays the file's.
        QTest::newRow("long, silent middle") << 75.0 << "wav" << 0.5 << "lt(t,5)+between(t,70,72)" << CuePoints{0, 72000, -1};
        QTest::newRow("long, sound only in the middle") << 75.0 << "wav" << 0.5 << "between(t,40,50)" << CuePoints{0, 75000, -1};
        QTest::newRow("long, sound only in the middle, FLAC") << 75.0 << "flac" << 0.5 << "between(t,40,50)" << CuePoints{40000, 50000, -1};
        QTest::newRow("long, sound only at the start") << 75.0 << "wav" << 0.5 << "lt(t,15)" << CuePoints{0, 75000, -1};
        QTest::newRow("all silence") << 5.0 << "wav" << 0.0 << QString() << CuePoints{};
        QTest::newRow("not audio") << 0.0 << "wav" << 0.0 << QString() << CuePoints{};
    }

    void cuePointsFoundAhead()
    {
        QFETCH(double, seconds);
        QFETCH(double, amplitude);
        QFETCH(QString, gate);
        QFETCH(CuePoints, expected);
        QFETCH(QString, format);
        const QString file = TestSupport::privateRoot() + QStringLiteral("/cues-%1.%2").arg(QTest::currentDataTag(), format);
        QFile text(file);
        QVERIFY(seconds > 0 ? TestSupport::makeTone(file, seconds, 440, amplitude, gate)
                            : text.open(QIODevice::WriteOnly) && text.write("not a sound\n") > 0);
        text.close();
        Loudness loudness(Loudness::defaultStoreFile());
        Preparation preparation;
        preparation.setLoudness(&loudness);
        preparation.plan({jingle(file)}, 0, 0, false);
        QTRY_VERIFY_WITH_TIMEOUT(preparation.verdict(file).known, kPrepareMs);
        QCOMPARE(preparation.verdict(file).bad(), seconds == 0);
        QCOMPARE(loudness.cues(file).has_value(), seconds > 0);
        const CuePoints found = loudness.cues(file).value_or(CuePoints{});
        const auto near = [](qint64 one, qint64 other, qint64 tolerance) { return std::abs(one - other) <= tolerance; };
        const qint64 tolerance = seconds > kLongFileSeconds || format == QLatin1String("mp3") ? kCoarseToleranceMs
                                                                                               : kCueToleranceMs;
        QVERIFY2(near(found.start, expected.start, tolerance) && near(found.end, expected.end, tolerance)
                     && near(found.fade, expected.fade, kFadeToleranceMs) && (found.fade < 0) == (expected.fade < 0),
                 qPrintable(QStringLiteral("%1 %2 %3").arg(found.start).arg(found.end).arg(found.fade)));
    }

    // The fade read from a WAV's samples, whatever their encoding: the 12 s
    // linear fade above, with the file's loudness 12 LU over the floor. A
    // level that holds to the end, or one already below the floor where
    // the search begins, is no fade.
    void fadeFoundInTheSamples_data()
    {
        QTest::addColumn<QString>("gate");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<qint64>("endMs");
        QTest::addColumn<qint64>("expected");
        const QString fade = QStringLiteral("if(lt(t,1),0,if(lt(t,7),1,max(0,1-(t-7)/12)))");
        QTest::newRow("16-bit") << fade << "pcm_s16le" << 18924LL << 16580LL;
        QTest::newRow("float") << fade << "pcm_f32le" << 18924LL << 16580LL;
        QTest::newRow("24-bit") << fade << "pcm_s24le" << 18924LL << 16580LL;
        QTest::newRow("no fade") << "lt(t,19)" << "pcm_s16le" << 19000LL << -1LL;
        QTest::newRow("below before the search") << fade << "pcm_s16le" << 30000LL << -1LL;
    }

    void fadeFoundInTheSamples()
    {
        QFETCH(QString, gate);
        QFETCH(QString, codec);
        QFETCH(qint64, endMs);
        QFETCH(qint64, expected);
        const QString made = TestSupport::privateRoot() + QStringLiteral("/fade-made.wav");
        const QString file = TestSupport::privateRoot() + QStringLiteral("/fade-%1.wav").arg(QTest::currentDataTag());
        QVERIFY(TestSupport::makeTone(made, 20.0, 440, 0.5, gate));
        QVERIFY(TestSupport::run(QStringLiteral("ffmpeg"), {QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error"),
                                                            QStringLiteral("-i"), made, QStringLiteral("-c:a"), codec, file}));
        const qint64 found = FadeFinder::find(file, 1000, endMs, -8.6 - 12.0, 11000, 1000);
        QVERIFY2(expected < 0 ? found < 0 : std::abs(found - expected) <= kFadeToleranceMs, qPrintable(QString::number(found)));
    }

    // Either decoder's log: one closes a silence that lasts to the end and
    // logs digital silence as a number, the other may leave it open and log
    // -inf. 12 LU below -10 LUFS is at 19.2 s in the meter's log: 19.0 s.
    void cuesFromEitherDecodersLog_data()
    {
        QTest::addColumn<QByteArray>("closing");
        QTest::addColumn<QByteArray>("silent");
        QTest::newRow("closed at the end") << QByteArray("[info] silence_end: 26 | silence_duration: 6\n") << QByteArray("-120.7");
        QTest::newRow("left open") << QByteArray() << QByteArray("-inf");
    }

    void cuesFromEitherDecodersLog()
    {
        QFETCH(QByteArray, closing);
        QFETCH(QByteArray, silent);
        QByteArray log = "[info] size=N/A time=00:00:00.00 speed=N/A \r[info] silence_start: 0\n"
                         "[info] silence_end: 2.00005 | silence_duration: 2.00005\n";
        for (int step = 1; step <= 260; ++step) {
            const int level = step <= 20 || step > 200 ? 0 : -10 - qMax(0, step - 180);
            log += "[info] t: " + QByteArray::number(step / 10.0) + "  TARGET:-23 LUFS    M:"
                   + (level < 0 ? QByteArray::number(level) : silent) + " S: -10.0\n";
        }
        log += "[info] silence_start: 20.0001\n[info] Summary:\n  Integrated loudness:\n    I:         -10.0 LUFS\n"
               "  True peak:\n    Peak:       -6.0 dBFS\n" + closing;
        QCOMPARE(Loudness::cuesFromLog(log, 26000), std::optional(CuePoints{2000, 20000, 19000}));
        QVERIFY(!Loudness::cuesFromLog(log.replace("TARGET:", "target:"), 26000));
    }

    // Cue points are kept with the measure: found, looked for in vain, or
    // from a line written before they were looked for, which gives its
    // measure and makes the file be decoded again while they are wanted.
    void cuesKeptWithTheMeasure_data()
    {
        QTest::addColumn<QByteArray>("cueFields");
        QTest::addColumn<std::optional<CuePoints>>("cues");
        QTest::newRow("found") << QByteArray("1200\t20000\t18000\t") << std::optional(CuePoints{1200, 20000, 18000});
        QTest::newRow("none") << QByteArray("-1\t-1\t-1\t") << std::optional(CuePoints{});
        QTest::newRow("before cue points") << QByteArray() << std::optional<CuePoints>();
    }

    void cuesKeptWithTheMeasure()
    {
        QFETCH(QByteArray, cueFields);
        QFETCH(std::optional<CuePoints>, cues);
        const QString file = Loudness::defaultStoreFile();
        Loudness(file).record(pink[1], {-18.0, -5.0}, CuePoints{1200, 20000, 18000});
        QFile store(file);
        QVERIFY(store.open(QIODevice::ReadWrite));
        const QList<QByteArray> fields = store.readAll().split('\n').value(1).split('\t');
        QCOMPARE(fields.size(), 8);
        QVERIFY(store.resize(0) && store.seek(0));
        store.write("# OrvaRadio loudness 1\n" + fields.mid(0, 4).join('\t') + '\t' + cueFields + fields.last());
        store.close();
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^Loudness measurements")));
        const Loudness reader(file);
        QCOMPARE(reader.measure(pink[1])->integrated, -18.0);
        QCOMPARE(reader.cues(pink[1]), cues);
        QCOMPARE(reader.measuredFully(pink[1]), cues.has_value());
        Loudness::setCuesWanted(false);
        QVERIFY(reader.measuredFully(pink[1]));
        Loudness::setCuesWanted(true);
    }

    // A file measured once is not decoded again by the next start.
    void measuredOnceAcrossRestarts()
    {
        configure(true);
        const QString runs = TestSupport::privateRoot() + QStringLiteral("/ffmpeg-runs");
        QFile::remove(runs);
        TestSupport::ConverterStandIn standIn(TestSupport::privateRoot() + QStringLiteral("/bin"),
                                              "echo run >> '" + runs.toUtf8() + "'\nexec '"
                                                  + TestSupport::ConverterStandIn::realConverter() + "' \"$@\"\n");
        for (int start = 0; start < 2; ++start) {
            MainWindow desk;
            desk.playlist = {jingle(pink[1])};
            desk.updateAudioList();
            QTRY_VERIFY_WITH_TIMEOUT(measuredRow(desk, 0), kPrepareMs);
            QVERIFY(desk.findChild<QTreeWidget *>(QStringLiteral("audio_list"))->topLevelItem(0)->toolTip(1).contains(QStringLiteral("gain -5.")));
        }
        QFile log(runs);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("run"), 1);
    }

    // A file whose check begins while it is still being copied in: the
    // decoder reads the silent start it finds, and the copy completes before
    // the decoder ends. Neither that verdict nor that measure may stay: once
    // complete, the whole file is judged and measured.
    void checkedWhileCopiedIn()
    {
        configure(true);
        QFile source(pink[0]);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray whole = source.readAll();
        const QString growing = TestSupport::privateRoot() + QStringLiteral("/growing.wav");
        const auto write = [&](const QByteArray &content) {
            QFile file(growing);
            return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
        };
        const qsizetype samplesAt = whole.indexOf("data") + 8;
        QVERIFY(samplesAt > 8);
        QVERIFY(write(whole.first(samplesAt) + QByteArray(whole.size() / 4, '\0')));
        TestSupport::ConverterStandIn lingering(
            TestSupport::privateRoot() + QStringLiteral("/bin"),
            "'" + TestSupport::ConverterStandIn::realConverter() + "' \"$@\"; status=$?; sleep 2; exit $status\n");
        // Beside it, an MP3 whole in length but damaged in its middle: the
        // decoder's errors alone make it bad.
        const QString damaged = TestSupport::privateRoot() + QStringLiteral("/damaged.mp3");
        QVERIFY(TestSupport::makeTone(damaged, kItemSeconds * 2));
        QFile mp3(damaged);
        QVERIFY(mp3.open(QIODevice::ReadWrite) && mp3.seek(mp3.size() / 2));
        QList<quint32> noise(kDamagedBytes / sizeof(quint32));
        QRandomGenerator(7).fillRange(noise.data(), noise.size());
        QVERIFY(mp3.write(reinterpret_cast<const char *>(noise.data()), kDamagedBytes) == kDamagedBytes);
        mp3.close();
        MainWindow desk;
        desk.playlist = {jingle(growing), jingle(damaged)};
        desk.updateAudioList();
        QTimer::singleShot(kCopyEndsMs, this, [&] { QVERIFY(write(whole)); });
        QTRY_VERIFY_WITH_TIMEOUT(measuredRow(desk, 0), kPrepareMs);
        QTRY_VERIFY_WITH_TIMEOUT(desk.preparation->verdict(damaged).known, kPrepareMs);
        QCOMPARE(desk.preparation->verdict(damaged).problem, MediaCheck::Problem::DecodeErrors);
        QVERIFY(!desk.loudness->measure(damaged));
        QVERIFY(!desk.preparation->verdict(growing).bad());
        const std::optional<LoudnessMeasure> measure = desk.loudness->measure(growing);
        QVERIFY(measure);
        QVERIFY2(std::abs(measure->integrated - levels[0]) < kToleranceLu, qPrintable(QString::number(measure->integrated)));
    }
};

ORVA_TEST_MAIN(LoudnessTest)
#include "tst_loudness.moc"
