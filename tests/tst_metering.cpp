#include "mainwindow.h"
#include "testsupport.h"
#include "vumeter.h"

#include <QAudioBuffer>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTextBrowser>

#include <cmath>

namespace {

// Time for a channel to start after Play.
constexpr int kStartToleranceMs = 5000;
// How far the meters may lag or lead the playback position.
constexpr qint64 kLevelSyncToleranceMs = 250;
// Levels counted as "sounding" for a 0.5-amplitude tone (about -9 dBFS: 28).
constexpr int kToneLevel = 20;

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

} // namespace

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
        window.levelLeft = 7;
        window.levelRight = 9;
        window.calculateRMS(buffer);
        QCOMPARE(window.levelLeft, left);
        QCOMPARE(window.levelRight, right);
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
            const int level = qMax(window.levelLeft, window.levelRight);
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
        QTRY_VERIFY_WITH_TIMEOUT(window.levelLeft > kToneLevel, kStartToleranceMs);
        window.on_btn_stop_clicked();
        QCOMPARE(window.levelLeft, 0);
        QCOMPARE(window.levelRight, 0);
        QTest::qWait(300);
        QCOMPARE(window.levelLeft, 0);
        QCOMPARE(window.levelRight, 0);
    }

    // After a seek forward the tap delivers blocks of the new position only:
    // those of the silence left behind would tell the watchdog that nothing
    // sounds.
    void seekForwardLeavesOldBlocksBehind()
    {
        const QString file = media + QStringLiteral("/silence-then-tone.wav");
        QVERIFY(TestSupport::makeTone(file, 30, 440, 0.5, QStringLiteral("gte(t,15)")));
        AudioPlayer channel;
        AudioTap tap;
        channel.setBuffer(&tap);
        QList<qint64> delivered;
        connect(&tap, &AudioTap::audioBufferReceived, this,
                [&](const QAudioBuffer &block) { delivered.append(block.startTime() / 1000); });
        channel.addMedia(file);
        channel.Play();
        QTRY_VERIFY_WITH_TIMEOUT(channel.getPosition() > 500, kStartToleranceMs);
        constexpr qint64 kTarget = 20000;
        channel.Seek(int(kTarget));
        QTRY_VERIFY_WITH_TIMEOUT(channel.getPosition() >= kTarget, kStartToleranceMs);
        // The decoder reads on from where it was; it catches up in about a second.
        delivered.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!delivered.isEmpty(), kStartToleranceMs);
        QTest::qWait(500);
        channel.Stop();
        for (const qint64 startMs : std::as_const(delivered))
            QVERIFY2(startMs >= kTarget - kLevelSyncToleranceMs, qPrintable(QString::number(startMs)));
    }
};

ORVA_TEST_MAIN(TestMetering)
#include "tst_metering.moc"
