#include "loudness.h"
#include "mainwindow.h"
#include "testsupport.h"
#include "vumeter.h"
#include "wavreader.h"

#include <QAudioBuffer>
#include <QAudioDecoder>
#include <QtEndian>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>
#include <QTextBrowser>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Time for a channel to start after Play.
constexpr int kStartToleranceMs = 5000;
// How far the meters may lag or lead the playback position.
constexpr qint64 kLevelSyncToleranceMs = 250;
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
// How far a block of the desk's own tap may be from the position once the
// player has settled after a seek: a block of 40 ms and the reports' jitter.
// Until then its position stands still while it fills its pipeline, and the
// tap carries the last report on for up to 200 ms.
constexpr qint64 kBlockSyncToleranceMs = 60;
constexpr qint64 kSeekSettleMs = 200;
#endif
// A fade-out at the default speed: five steps of half a second, with room.
constexpr int kFadeOutToleranceMs = 6000;
// Levels counted as "sounding" for a 0.5-amplitude tone (about -9 dBFS: 28).
constexpr int kToneLevel = 20;
// A tone at about -4 LUFS, which the loudness rule plays 19 dB lower, and a
// quiet one (about -43 dBFS) under a talk-over at 0.1 (-20 dB).
constexpr double kLoudAmplitude = 0.63;
constexpr double kQuietAmplitude = 0.01;
constexpr float kTalkLevel = 0.1f;
constexpr int kMeasureMs = 30000;
// How far the meters' drop may miss the gain, in segments (1.8 dB each).
constexpr double kSegmentTolerance = 1.5;
// Levels fall to zero this long after a channel's last block of audio.
constexpr int kNoBlocksMs = 200;
// Past the watchdog's ten seconds.
constexpr int kLongTalkMs = 12000;

// The highest meter reading over `ms`.
int highestMeter(const MainWindow &window, int ms)
{
    int highest = 0;
    for (QElapsedTimer watch; !watch.isValid() || watch.elapsed() < ms; QTest::qWait(50)) {
        if (!watch.isValid())
            watch.start();
        highest = std::max({highest, window.vuLeft->level(), window.vuRight->level()});
    }
    return highest;
}

QAudioBuffer makeBuffer(QAudioFormat::SampleFormat sampleFormat, int channels,
                        const QVector<double> &samples)
{
    QAudioFormat format;
    format.setSampleFormat(sampleFormat);
    format.setChannelCount(channels);
    format.setSampleRate(44100);
    QByteArray data;
    for (double x : samples) {
        switch (sampleFormat) {
        case QAudioFormat::Int16: {
            const qint16 v = qint16(qBound(-32768.0, x, 32767.0));
            data.append(reinterpret_cast<const char *>(&v), sizeof v);
            break;
        }
        case QAudioFormat::Float: {
            const float v = float(x);
            data.append(reinterpret_cast<const char *>(&v), sizeof v);
            break;
        }
        default: {
            const quint8 v = quint8(x);
            data.append(char(v));
        }
        }
    }
    return QAudioBuffer(data, format);
}

QVector<double> repeated(std::initializer_list<double> pattern, int times)
{
    QVector<double> out;
    for (int i = 0; i < times; ++i)
        out.append(QVector<double>(pattern));
    return out;
}

QVector<double> sine(double amplitude, int frames, int channels, bool silentRight = false)
{
    QVector<double> out;
    for (int i = 0; i < frames; ++i) {
        const double x = amplitude * std::sin(2 * M_PI * i / 100.0);
        out.append(x);
        if (channels == 2)
            out.append(silentRight ? 0.0 : x);
    }
    return out;
}

// How a hand-made WAV file is laid out.
struct WavLayout
{
    quint16 tag = 1; // 1 PCM, 3 float
    int bits = 16;
    int channels = 2;
    bool extensible = false;
    bool chunksBeforeData = false; // an odd-sized LIST and a fact chunk
    bool claimsMore = false;       // a data size beyond the end of the file
};

void putLe(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// Two seconds of a 440 Hz tone whose loudness steps every 0.2 s from
// silence to near full scale, the right side at half the left.
QByteArray wavFile(const WavLayout &layout)
{
    constexpr int kRate = 44100;
    constexpr int kFrames = 2 * kRate;
    const double steps[] = {0, 0.001, 0.01, 0.05, 0.2, 0.5, 0.9, 0.03, 0.3, 0.7};
    QByteArray data;
    for (int i = 0; i < kFrames; ++i) {
        const double x = steps[i / (kRate / 5)] * std::sin(2 * M_PI * 440 * i / kRate);
        for (int c = 0; c < layout.channels; ++c) {
            const double v = c == 0 ? x : x / 2;
            if (layout.tag == 3 && layout.bits == 32) {
                const float f = float(v);
                quint32 raw;
                std::memcpy(&raw, &f, sizeof raw);
                putLe(data, raw, 4);
            } else if (layout.tag == 3) {
                quint64 raw;
                std::memcpy(&raw, &v, sizeof raw);
                putLe(data, quint32(raw), 4);
                putLe(data, quint32(raw >> 32), 4);
            } else {
                // 8-bit samples are unsigned, around 128.
                const double full = std::ldexp(1.0, layout.bits - 1);
                const qint32 sample = qint32(std::lround(qBound(-full, v * full, full - 1)));
                putLe(data, quint32(layout.bits == 8 ? sample + 128 : sample), layout.bits / 8);
            }
        }
    }
    const int frameBytes = layout.channels * layout.bits / 8;
    QByteArray fmt;
    putLe(fmt, layout.extensible ? 0xFFFE : layout.tag, 2);
    putLe(fmt, quint32(layout.channels), 2);
    putLe(fmt, kRate, 4);
    putLe(fmt, quint32(kRate * frameBytes), 4);
    putLe(fmt, quint32(frameBytes), 2);
    putLe(fmt, quint32(layout.bits), 2);
    if (layout.extensible) {
        putLe(fmt, 22, 2);
        putLe(fmt, quint32(layout.bits), 2);
        putLe(fmt, layout.channels == 1 ? 0x4 : 0x3, 4);
        putLe(fmt, layout.tag, 2);
        fmt.append("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    QByteArray body = "WAVE";
    auto chunk = [&body](const char *id, const QByteArray &content, quint32 declared) {
        body.append(id, 4);
        putLe(body, declared, 4);
        body.append(content);
        if (content.size() & 1)
            body.append('\0');
    };
    if (layout.chunksBeforeData)
        chunk("LIST", QByteArray("INFOISFT\x05\0\0\0desk\0", 17), 17);
    chunk("fmt ", fmt, quint32(fmt.size()));
    if (layout.chunksBeforeData)
        chunk("fact", QByteArray(4, '\0'), 4);
    chunk("data", data, layout.claimsMore ? quint32(data.size() * 2) : quint32(data.size()));
    QByteArray file = "RIFF";
    putLe(file, quint32(body.size()), 4);
    return file + body;
}

// The levels, per 40 ms block from the start, of the samples `blocks`.
QVector<QPair<int, int>> levelsOf(MainWindow &window, const QList<QAudioBuffer> &blocks)
{
    QVector<QPair<int, int>> levels;
    for (const QAudioBuffer &block : blocks) {
        window.calculateRMS(block);
        levels.append({window.airLevels.item.left, window.airLevels.item.right});
    }
    return levels;
}

// Splits decoded audio into blocks of `frames`.
QList<QAudioBuffer> rechunk(const QByteArray &samples, const QAudioFormat &format, int frames)
{
    QList<QAudioBuffer> blocks;
    const qsizetype bytes = qsizetype(frames) * format.bytesPerFrame();
    for (qsizetype at = 0; at < samples.size(); at += bytes)
        blocks.append(QAudioBuffer(samples.mid(at, bytes), format));
    return blocks;
}

} // namespace

Q_DECLARE_METATYPE(WavLayout)

class TestMetering : public QObject
{
    Q_OBJECT

private:
    QString media;

private slots:
    void initTestCase()
    {
        media = TestSupport::privateRoot() + QStringLiteral("/media");
        QDir().mkpath(media);
    }

    void init() { TestSupport::clearSettings(); }

    void blockLevels_data()
    {
        QTest::addColumn<QAudioBuffer>("buffer");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        using F = QAudioFormat;
        QTest::newRow("16-bit full scale") << makeBuffer(F::Int16, 2, repeated({-32768}, 2000)) << 33 << 33;
        QTest::newRow("16-bit square") << makeBuffer(F::Int16, 1, repeated({32767, -32768}, 1000)) << 32 << 32;
        QTest::newRow("16-bit full-scale sine") << makeBuffer(F::Int16, 2, sine(32767, 4000, 2)) << 31 << 31;
        QTest::newRow("digital silence") << makeBuffer(F::Int16, 2, repeated({0}, 2000)) << 0 << 0;
        QTest::newRow("silent right channel") << makeBuffer(F::Int16, 2, sine(16384, 4000, 2, true)) << 28 << 0;
        QTest::newRow("float sine -20 dB") << makeBuffer(F::Float, 2, sine(0.142, 4000, 2)) << 22 << 22;
        QTest::newRow("float mono full scale") << makeBuffer(F::Float, 1, repeated({1.0}, 100)) << 33 << 33;
        QTest::newRow("below the floor") << makeBuffer(F::Int16, 2, repeated({1}, 2000)) << 0 << 0;
        // Blocks the meters cannot read leave the previous levels (7 and 9); an
        // empty block is what ends a stream and carries no format.
        QTest::newRow("empty block") << makeBuffer(F::Int16, 2, {}) << 7 << 9;
        QTest::newRow("six channels") << makeBuffer(F::Int16, 6, repeated({-32768}, 600)) << 7 << 9;
        QTest::newRow("unsigned 8-bit") << makeBuffer(F::UInt8, 2, repeated({255}, 200)) << 7 << 9;
    }

    void blockLevels()
    {
        QFETCH(QAudioBuffer, buffer);
        QFETCH(int, left);
        QFETCH(int, right);
        MainWindow window;
        window.airLevels.item.left = 7;
        window.airLevels.item.right = 9;
        window.calculateRMS(buffer);
        QCOMPARE(window.airLevels.item.left, left);
        QCOMPARE(window.airLevels.item.right, right);
    }

    void meterPainting_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("segment");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("green lit") << 5 << 4 << QColor(0, 255, 0);
        QTest::newRow("green unlit") << 5 << 5 << QColor(0, 60, 0);
        QTest::newRow("yellow lit") << 25 << 24 << QColor(255, 255, 0);
        QTest::newRow("yellow unlit") << 25 << 25 << QColor(60, 60, 0);
        QTest::newRow("red lit") << 31 << 30 << QColor(255, 0, 0);
        QTest::newRow("red unlit") << 31 << 31 << QColor(60, 0, 0);
        QTest::newRow("above the scale") << 40 << 32 << QColor(255, 0, 0);
        QTest::newRow("below the scale") << -3 << 0 << QColor(0, 60, 0);
    }

    void meterPainting()
    {
        QFETCH(int, level);
        QFETCH(int, segment);
        QFETCH(QColor, colour);
        VuMeter meter;
        meter.resize(300, 20);
        meter.setLevel(level);
        const QImage image = meter.grab().toImage();
        QCOMPARE(image.pixelColor(6 * segment + 2, 5), colour);
        // The gap between segments and everything past 197 px stay unpainted.
        QVERIFY(image.pixelColor(6 * segment + 5, 5) != colour);
        QVERIFY(image.pixelColor(250, 5) != colour);
    }

    void remainingTimeText_data()
    {
        QTest::addColumn<qint64>("remainingMs");
        QTest::addColumn<QString>("text");
        QTest::newRow("3 min 7 s") << qint64(187000) << QStringLiteral("03:07");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("00:00");
        QTest::newRow("125 min") << qint64(125 * 60000) << QStringLiteral("125:00");
        QTest::newRow("past the end") << qint64(-61500) << QStringLiteral("-1:-1");
    }

    void remainingTimeText()
    {
        QFETCH(qint64, remainingMs);
        QFETCH(QString, text);
        QCOMPARE(::remainingTimeText(remainingMs / 60000, (remainingMs / 1000) % 60),
                 QStringLiteral("<p align='center'>") + text + QStringLiteral("</p>"));
    }

    // The meters follow what the channel decodes, in step with the playback:
    // loud in the tones, zero in the silence between them, zero after Stop.
    void levelsFollowPlayback()
    {
        const QString file = media + QStringLiteral("/tone-gap-tone.wav");
        QVERIFY(TestSupport::makeTone(file, 7, 440, 0.5, QStringLiteral("lt(t,2)+gte(t,5)")));
        MainWindow window;
        window.playlist.push_back({QStringLiteral("gap"), file, QStringLiteral("00:07"),
                                   QStringLiteral("jingle")});
        window.on_btn_play_clicked();
        AudioPlayer &channel = window.player2;
        QTRY_VERIFY_WITH_TIMEOUT(channel.isPlaying(), kStartToleranceMs);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        QVERIFY(window.bufferOutput2->readsFile());
#endif

        int loudChecks = 0;
        int silentChecks = 0;
        int mostPending = 0;
        QElapsedTimer elapsed;
        elapsed.start();
        while (channel.isPlaying() && elapsed.elapsed() < 10000) {
            QTest::qWait(50);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
            mostPending = qMax(mostPending, window.bufferOutput2->pendingBlocks());
#endif
            const qint64 position = channel.getPosition();
            const int level = qMax(window.airLevels.item.left, window.airLevels.item.right);
            const bool inTone = position < 2000 - kLevelSyncToleranceMs
                                || (position > 5000 + kLevelSyncToleranceMs && position < 6800);
            const bool inGap = position > 2000 + kLevelSyncToleranceMs
                               && position < 5000 - kLevelSyncToleranceMs;
            if (inTone && position > kLevelSyncToleranceMs) {
                QVERIFY2(level > kToneLevel, qPrintable(QStringLiteral("%1 ms: level %2").arg(position).arg(level)));
                ++loudChecks;
            } else if (inGap) {
                QVERIFY2(level == 0, qPrintable(QStringLiteral("%1 ms: level %2").arg(position).arg(level)));
                ++silentChecks;
            }
        }
        QVERIFY2(loudChecks > 20 && silentChecks > 20,
                 qPrintable(QStringLiteral("%1 loud, %2 silent").arg(loudChecks).arg(silentChecks)));
        // The tap decodes only a little ahead of the sound: 300 ms of 40 ms blocks.
        QVERIFY2(mostPending <= 10, qPrintable(QString::number(mostPending)));

        window.playlist.push_back(window.playlist.front());
        window.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(window.airLevels.item.left > kToneLevel, kStartToleranceMs);
        // Stop fades the air out: the meters follow the sound until the fade
        // is over, and then rest at zero.
        window.on_btn_stop_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(!window.player1.isPlaying() && !window.player2.isPlaying(),
                                 kFadeOutToleranceMs);
        QTRY_COMPARE_WITH_TIMEOUT(window.airLevels.item.left, 0, kLevelSyncToleranceMs);
        QCOMPARE(window.airLevels.item.right, 0);
        QTest::qWait(300);
        QCOMPARE(window.airLevels.item.left, 0);
        QCOMPARE(window.airLevels.item.right, 0);
    }

    // The meters show the air: an item that the loudness rule plays 19 dB
    // lower shows about 10 segments lower, a fade-out shows as it goes, and a
    // talk-over on quiet music empties them without ever tripping the
    // watchdog, which judges the item itself.
    void metersShowTheAir()
    {
        const QString loud = media + QStringLiteral("/loud.wav");
        const QString quiet = media + QStringLiteral("/quiet.wav");
        QVERIFY(TestSupport::makeTone(loud, 6, 1000, kLoudAmplitude));
        QVERIFY(TestSupport::makeTone(quiet, 24, 1000, kQuietAmplitude));
        int shown[2] = {};
        double gainDb = 0.0;
        for (const bool normalize : {true, false}) {
            QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
                .setValue(QStringLiteral("audio/loudnessNormalize"), normalize);
            MainWindow window;
            window.playlist = {{QStringLiteral("loud"), loud, QStringLiteral("00:06"), QStringLiteral("jingle")}};
            window.updateAudioList();
            QTRY_VERIFY_WITH_TIMEOUT(window.loudness->measure(loud).has_value(), kMeasureMs);
            if (normalize)
                gainDb = window.loudness->gainDb(loud);
            window.on_btn_play_clicked();
            QTRY_VERIFY_WITH_TIMEOUT(window.vuLeft->level() > 0, kStartToleranceMs);
            shown[normalize] = highestMeter(window, 1000);
            if (normalize) {
                // A measure that comes while the item plays may lower it, never
                // raise it: a quiet reading now would lift it to full level.
                window.loudness->record(loud, {-40.0, -30.0});
                QTest::qWait(kLevelSyncToleranceMs);
                QVERIFY(highestMeter(window, 500) <= shown[1] + 1);
                continue;
            }
            // Stop fades out: the meters go down with it, not at once.
            window.on_btn_stop_clicked();
            QTRY_VERIFY_WITH_TIMEOUT(window.player2.isPlaying() && window.vuLeft->level() > 0
                                         && window.vuLeft->level() < shown[0] - 3,
                                     kFadeOutToleranceMs);
        }
        QVERIFY2(gainDb < -15.0, qPrintable(QString::number(gainDb)));
        const double drop = shown[0] - shown[1];
        QVERIFY2(std::abs(drop + gainDb * 33.0 / 60.0) <= kSegmentTolerance,
                 qPrintable(QStringLiteral("%1 and %2 segments, gain %3 dB").arg(shown[0]).arg(shown[1]).arg(gainDb)));

        {
            QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
            settings.setValue(QStringLiteral("volume/volumeToTalk"), kTalkLevel);
            settings.setValue(QStringLiteral("volume/talkFade"), false);
        }
        MainWindow window;
        window.playlist = {{QStringLiteral("quiet"), quiet, QStringLiteral("00:24"), QStringLiteral("jingle")}};
        window.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(window.vuLeft->level() > 0, kStartToleranceMs);
        const int before = highestMeter(window, 500);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("Silence watchdog")));
        window.on_btn_talk_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(window.player2.getVolume() <= kTalkLevel + 0.01, kFadeOutToleranceMs);
        QTest::qWait(kLevelSyncToleranceMs);
        const int during = highestMeter(window, kLongTalkMs);
        QVERIFY(window.airLevels.item.left > 0);
        QVERIFY(window.player2.isPlaying());
        QCOMPARE(window.player2.file(), quiet);
        QVERIFY2(during < before - 8, qPrintable(QStringLiteral("%1 then %2").arg(before).arg(during)));
        window.on_btn_talk_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(window.vuLeft->level() >= before - 1, kLevelSyncToleranceMs * 2);
        // A channel that delivers no more blocks (a stalled source) leaves the
        // meters and the watchdog at zero within moments, though it plays on.
        QObject::disconnect(window.bufferOutput2, nullptr, &window, nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(window.airLevels.item.left == 0 && window.vuLeft->level() == 0,
                                 kNoBlocksMs + kLevelSyncToleranceMs);
        QVERIFY(window.player2.isPlaying());
        window.on_btn_stop_clicked();
    }

    // The tap reads WAV blocks straight from the file; their levels are the
    // levels of the same audio decoded by the media framework, whatever the
    // header looks like. Files the reader does not understand go to the
    // decoder.
    void fileReaderMatchesDecoder_data()
    {
        QTest::addColumn<WavLayout>("layout");
        QTest::newRow("16-bit stereo") << WavLayout {};
        QTest::newRow("16-bit mono") << WavLayout {1, 16, 1};
        QTest::newRow("24-bit, extensible, chunks before data")
            << WavLayout {1, 24, 2, true, true};
        QTest::newRow("32-bit integer") << WavLayout {1, 32, 2, true};
        QTest::newRow("float") << WavLayout {3, 32, 2, false, true};
        QTest::newRow("double, extensible") << WavLayout {3, 64, 2, true};
        QTest::newRow("8-bit mono") << WavLayout {1, 8, 1};
        QTest::newRow("data size beyond the end") << WavLayout {1, 16, 2, false, false, true};
    }

    void fileReaderMatchesDecoder()
    {
        QFETCH(WavLayout, layout);
        const QString file = media + QStringLiteral("/layout.wav");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(wavFile(layout));
        out.close();

        WavReader reader;
        QVERIFY(reader.open(file));
        QCOMPARE(reader.format().channelCount(), layout.channels);
        constexpr int kBlockFrames = 1764;
        QList<QAudioBuffer> read;
        for (qint64 first = 0; first < reader.frameCount(); first += kBlockFrames)
            read.append(reader.read(first, kBlockFrames));

        QAudioDecoder decoder;
        QAudioFormat format;
        format.setSampleFormat(QAudioFormat::Int16);
        format.setSampleRate(44100);
        format.setChannelCount(layout.channels);
        decoder.setAudioFormat(format);
        decoder.setSource(QUrl::fromLocalFile(file));
        QByteArray decoded;
        connect(&decoder, &QAudioDecoder::bufferReady, this, [&] {
            const QAudioBuffer block = decoder.read();
            decoded.append(block.constData<char>(), block.byteCount());
        });
        QSignalSpy finished(&decoder, &QAudioDecoder::finished);
        decoder.start();
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kStartToleranceMs);
        QCOMPARE(decoder.error(), QAudioDecoder::NoError);
        QCOMPARE(reader.frameCount(), decoded.size() / format.bytesPerFrame());

        MainWindow window;
        const auto fromFile = levelsOf(window, read);
        const auto fromDecoder = levelsOf(window, rechunk(decoded, format, kBlockFrames));
        QCOMPARE(fromFile.size(), fromDecoder.size());
        QSet<int> seen;
        int loudest = 0;
        for (qsizetype i = 0; i < fromFile.size(); ++i) {
            const QString where = QStringLiteral("block %1: file %2/%3, decoder %4/%5")
                                      .arg(i)
                                      .arg(fromFile[i].first)
                                      .arg(fromFile[i].second)
                                      .arg(fromDecoder[i].first)
                                      .arg(fromDecoder[i].second);
            QVERIFY2(qAbs(fromFile[i].first - fromDecoder[i].first) <= 1, qPrintable(where));
            QVERIFY2(qAbs(fromFile[i].second - fromDecoder[i].second) <= 1, qPrintable(where));
            seen.insert(fromFile[i].first);
            loudest = qMax(loudest, fromFile[i].first);
        }
        // The steps of the tone reach from silence to near full scale.
        QVERIFY2(seen.contains(0) && loudest >= 29 && seen.size() >= 5,
                 qPrintable(QStringLiteral("%1 levels, loudest %2").arg(seen.size()).arg(loudest)));
    }

    void fileReaderRefuses_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("encoding");
        QTest::newRow("MP3") << QStringLiteral("tone.mp3") << QStringList();
        QTest::newRow("six channels") << QStringLiteral("six.wav")
                                      << QStringList {QStringLiteral("-ac"), QStringLiteral("6")};
        QTest::newRow("A-law") << QStringLiteral("alaw.wav")
                               << QStringList {QStringLiteral("-acodec"), QStringLiteral("pcm_alaw")};
    }

    // A file the reader refuses still reaches the meters, through the decoder.
    void fileReaderRefuses()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, encoding);
        const QString file = media + QLatin1Char('/') + name;
        QVERIFY(TestSupport::run(QStringLiteral("ffmpeg"),
                                 QStringList {QStringLiteral("-y"), QStringLiteral("-v"),
                                              QStringLiteral("error"), QStringLiteral("-f"),
                                              QStringLiteral("lavfi"), QStringLiteral("-i"),
                                              QStringLiteral("sine=f=440:d=2")}
                                     + encoding + QStringList {file}));
        WavReader reader;
        QVERIFY(!reader.open(file));

        AudioPlayer channel;
        AudioTap tap;
        channel.setBuffer(&tap);
        int blocks = 0;
        connect(&tap, &AudioTap::audioBufferReceived, this, [&] { ++blocks; });
        channel.addMedia(file);
        channel.Play();
        QTRY_VERIFY_WITH_TIMEOUT(blocks > 5, kStartToleranceMs);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        QVERIFY(!tap.readsFile());
#endif
        channel.Stop();
    }

    // After a seek forward the tap delivers blocks of the new position only:
    // those of the silence left behind would tell the watchdog that nothing
    // sounds. Nor does a block come before the sound it measures, nor after.
    void seekForwardLeavesOldBlocksBehind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readFromFile");
        QTest::newRow("WAV, read from the file") << QStringLiteral("silence-then-tone.wav") << true;
        QTest::newRow("OGG, decoded") << QStringLiteral("silence-then-tone.ogg") << false;
    }

    void seekForwardLeavesOldBlocksBehind()
    {
        QFETCH(QString, name);
        QFETCH(bool, readFromFile);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        // Qt's own tap reads nothing from the file and decodes nothing twice.
        if (!readFromFile)
            QSKIP("the desk has no decoder path of its own on this Qt");
#endif
        const QString file = media + QLatin1Char('/') + name;
        QVERIFY(TestSupport::makeTone(file, 30, 440, 0.5, QStringLiteral("gte(t,15)")));
        AudioPlayer channel;
        AudioTap tap;
        channel.setBuffer(&tap);
        struct Delivery
        {
            qint64 startMs;
            qint64 positionMs;
        };
        QList<Delivery> delivered;
        connect(&tap, &AudioTap::audioBufferReceived, this, [&](const QAudioBuffer &block) {
            delivered.append({block.startTime() / 1000, channel.getPosition()});
        });
        channel.addMedia(file);
        channel.Play();
        QTRY_VERIFY_WITH_TIMEOUT(channel.getPosition() > 500, kStartToleranceMs);
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
        QCOMPARE(tap.readsFile(), readFromFile);
#endif
        constexpr qint64 kTarget = 20000;
        channel.Seek(int(kTarget));
        QTRY_VERIFY_WITH_TIMEOUT(channel.getPosition() >= kTarget, kStartToleranceMs);
        // The decoder reads on from where it was; it catches up in about a second.
        delivered.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!delivered.isEmpty(), kStartToleranceMs);
        QTest::qWait(1000);
        channel.Stop();
        for (const Delivery &block : std::as_const(delivered)) {
            const QString where = QStringLiteral("block at %1 ms delivered at %2 ms")
                                      .arg(block.startMs)
                                      .arg(block.positionMs);
            QVERIFY2(block.startMs >= kTarget - kLevelSyncToleranceMs, qPrintable(where));
            QVERIFY2(block.startMs <= block.positionMs + kLevelSyncToleranceMs, qPrintable(where));
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
            if (block.positionMs > kTarget + kSeekSettleMs)
                QVERIFY2(qAbs(block.startMs - block.positionMs) <= kBlockSyncToleranceMs, qPrintable(where));
#endif
        }
    }
};

ORVA_TEST_MAIN(TestMetering)
#include "tst_metering.moc"
