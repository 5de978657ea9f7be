#include "mainwindow.h"
#include "testsupport.h"
#include "timerclock.h"

#include <QMediaPlayer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

#include <algorithm>

namespace {

const QString kScript = QStringLiteral(ORVARADIO_SOURCE_DIR "/scripts/make-time-voices.sh");
// A run takes about 20 s on two idle cores; a busy machine gets room.
constexpr int kGenerateTimeoutMs = 120000;
// Progress is told about every hundred files; a batch may carry it past that.
constexpr int kMostFilesUntold = 150;
// Inputs of one ffmpeg run: each holds a descriptor open.
constexpr int kFilesPerProbe = 100;
constexpr double kShortestSeconds = 1.0;
constexpr double kLongestSeconds = 6.0;
// A 50 ms window whose RMS is above -40 dBFS holds sound.
constexpr int kWindowMs = 50;
constexpr double kSoundRms = 0.01;
// The shortest announcements hold about 0.7 s of speech in English, 1.2 s in
// Portuguese (the language the desk is tried with).
constexpr int kLeastSpeechMs = 500;
constexpr int kLeastSpeechHeardMs = 800;
constexpr int kStartToleranceMs = 5000;
// What the sink still plays after the player has stopped.
constexpr int kOutputLatencyMs = 300;

struct Probed
{
    QString format;
    double seconds = 0;
    QByteArray frameCrcs; // of the decoded audio: equal for equal sound
};

// Runs the generator in `workDir`; its standard output goes to `output`.
bool generate(const QString &program, const QStringList &arguments, const QString &workDir,
              QString &output)
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.start(program, arguments);
    if (!process.waitForFinished(kGenerateTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    output = QString::fromUtf8(process.readAllStandardOutput());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return false;
    }
    return true;
}

// Container, decoded length and frame checksums of every file, read in
// batches: starting ffmpeg costs more than decoding a short file. Returns
// what went wrong, or nothing.
QString probe(const QString &folder, const QStringList &names, QHash<QString, Probed> &probed)
{
    const QRegularExpression header(QStringLiteral("^Input #(\\d+), (\\S+), from "),
                                    QRegularExpression::MultilineOption);
    const QRegularExpression timeBase(QStringLiteral("^#tb (\\d+): 1/(\\d+)$"));
    for (qsizetype first = 0; first < names.size(); first += kFilesPerProbe) {
        const QStringList batch = names.mid(first, kFilesPerProbe);
        QStringList arguments = {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                                 QStringLiteral("-xerror")};
        for (const QString &name : batch)
            arguments << QStringLiteral("-i") << name;
        for (qsizetype index = 0; index < batch.size(); ++index)
            arguments << QStringLiteral("-map") << QStringLiteral("%1:a").arg(index);
        arguments << QStringLiteral("-f") << QStringLiteral("framecrc") << QStringLiteral("-");
        QProcess ffmpeg;
        ffmpeg.setWorkingDirectory(folder);
        ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
        if (!ffmpeg.waitForFinished(kGenerateTimeoutMs) || ffmpeg.exitCode() != 0)
            return QStringLiteral("ffmpeg failed on %1..%2: %3")
                .arg(batch.first(), batch.last(),
                     QString::fromUtf8(ffmpeg.readAllStandardError().right(2000)));

        auto inputs = header.globalMatch(QString::fromUtf8(ffmpeg.readAllStandardError()));
        while (inputs.hasNext()) {
            const QRegularExpressionMatch input = inputs.next();
            probed[batch.value(input.captured(1).toInt())].format = input.captured(2);
        }
        // One line per decoded frame: stream, dts, pts, duration, size, CRC.
        QVector<QByteArray> crcs(batch.size());
        QVector<qint64> ends(batch.size());
        QVector<int> rates(batch.size());
        for (const QByteArray &line : ffmpeg.readAllStandardOutput().split('\n')) {
            const QRegularExpressionMatch tb = timeBase.match(QString::fromLatin1(line));
            if (tb.hasMatch())
                rates[tb.captured(1).toInt()] = tb.captured(2).toInt();
            const QList<QByteArray> fields = line.split(',');
            if (line.startsWith('#') || fields.size() != 6)
                continue;
            const int stream = fields[0].trimmed().toInt();
            ends[stream] = fields[2].trimmed().toLongLong() + fields[3].trimmed().toLongLong();
            crcs[stream] += fields[5].trimmed();
        }
        for (qsizetype index = 0; index < batch.size(); ++index) {
            Probed &file = probed[batch[index]];
            file.seconds = rates[index] ? double(ends[index]) / rates[index] : 0.0;
            file.frameCrcs = crcs[index];
        }
    }
    return QString();
}

QVector<qint16> decode(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                  QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("s16le"),
                  QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-ar"),
                  QStringLiteral("44100"), QStringLiteral("-")});
    ffmpeg.waitForFinished();
    const QByteArray bytes = ffmpeg.readAllStandardOutput();
    QVector<qint16> samples(bytes.size() / 2);
    memcpy(samples.data(), bytes.constData(), size_t(samples.size()) * 2);
    return samples;
}

// How long the stereo samples hold sound, counted in whole windows.
int soundingMs(const QVector<qint16> &samples)
{
    const QVector<double> rms = TestSupport::Recorder::windowRms(samples, kWindowMs);
    return int(std::count_if(rms.begin(), rms.end(), [](double level) { return level > kSoundRms; }))
           * kWindowMs;
}

} // namespace

class TestTimeVoices : public QObject
{
    Q_OBJECT

private:
    QStringList askedFor;
    QHash<QString, QString> folders;

private slots:
    void initTestCase()
    {
        // Every second of a day, in the form the desk's clock emits.
        QSet<QString> names;
        for (int second = 0; second < 24 * 60 * 60; ++second)
            names.insert(
                timeAudioNameFor(QTime(0, 0).addSecs(second).toString(QStringLiteral("hh:mm:ss")))
                + QStringLiteral(".mp3"));
        askedFor = QStringList(names.begin(), names.end());
        askedFor.sort();

        const QString root = TestSupport::privateRoot();
        folders[QStringLiteral("pt")] = root + QStringLiteral("/voices/pt");
        folders[QStringLiteral("en")] = root + QStringLiteral("/voices/en");

        // Portuguese by default, from the source tree, into a relative folder.
        QString output;
        QVERIFY(generate(kScript, {QStringLiteral("voices/pt")}, root, output));
        const QString shown = QFileInfo(folders[QStringLiteral("pt")]).canonicalFilePath();
        QVERIFY2(output.contains(shown + QLatin1Char('\n')), qPrintable(output));
        // A word of progress now and then, and the time it all took.
        const QRegularExpression progressLine(QStringLiteral("^(\\d+) of 780 made \\(\\d+ s\\)$"),
                                              QRegularExpression::MultilineOption);
        const QRegularExpression totalLine(
            QStringLiteral("^Made 780 time announcements \\(pt\\) in \\d+ s\\.$"),
            QRegularExpression::MultilineOption);
        int told = 0;
        for (auto lines = progressLine.globalMatch(output); lines.hasNext();) {
            const int made = lines.next().captured(1).toInt();
            QVERIFY2(made > told && made - told <= kMostFilesUntold, qPrintable(output));
            told = made;
        }
        QVERIFY2(780 - told <= kMostFilesUntold, qPrintable(output));
        QVERIFY2(totalLine.match(output).hasMatch(), qPrintable(output));

        // English from a copy alone, as installed: no common.sh beside it.
        const QString installed = root + QStringLiteral("/bin/orvaradio-time-voices");
        QVERIFY(QDir().mkpath(root + QStringLiteral("/bin")));
        QVERIFY(QFile::copy(kScript, installed));
        QVERIFY(QFile::setPermissions(installed, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(generate(installed,
                         {QStringLiteral("--lang"), QStringLiteral("en"), folders[QStringLiteral("en")]},
                         root, output));
    }

    // Nothing the clock can ask for is missing, nothing else is there, every
    // file is an MP3 of a sensible length, and no two say the same.
    void folderAnswersEveryClockTime_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("pt") << QStringLiteral("pt");
        QTest::newRow("en") << QStringLiteral("en");
    }

    void folderAnswersEveryClockTime()
    {
        QFETCH(QString, language);
        const QString folder = folders.value(language);
        const QStringList present =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        QCOMPARE(present, askedFor);

        QHash<QString, Probed> probed;
        const QString failure = probe(folder, present, probed);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QHash<QByteArray, QString> sayers;
        for (const QString &name : present) {
            const Probed file = probed.value(name);
            QVERIFY2(file.format == QStringLiteral("mp3"), qPrintable(name + ": " + file.format));
            QVERIFY2(file.seconds >= kShortestSeconds && file.seconds <= kLongestSeconds,
                     qPrintable(name + QStringLiteral(": %1 s").arg(file.seconds)));
            QVERIFY2(!file.frameCrcs.isEmpty(), qPrintable(name + QStringLiteral(": not decoded")));
            QVERIFY2(!sayers.contains(file.frameCrcs),
                     qPrintable(name + QStringLiteral(" sounds the same as ") + sayers.value(file.frameCrcs)));
            sayers.insert(file.frameCrcs, name);
        }
    }

    // The dial's edges and the shortest phrases hold speech, not silence.
    void announcementIsSpoken_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("name");
        for (const char *name : {"0000", "0001", "0100", "0101", "1200", "1259", "1159"})
            QTest::addRow("pt %s", name) << QStringLiteral("pt") << QString::fromLatin1(name);
        for (const char *name : {"0000", "1200", "0105"})
            QTest::addRow("en %s", name) << QStringLiteral("en") << QString::fromLatin1(name);
    }

    void announcementIsSpoken()
    {
        QFETCH(QString, language);
        QFETCH(QString, name);
        const int heard = soundingMs(
            decode(folders.value(language) + QLatin1Char('/') + name + QStringLiteral(".mp3")));
        QVERIFY2(heard >= kLeastSpeechMs, qPrintable(QStringLiteral("%1 ms of sound").arg(heard)));
    }

    // The desk pointed at the generated folder speaks the time on a click.
    void deskSpeaksTheTime()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const QString folder = folders.value(QStringLiteral("pt"));
        TestSupport::clearSettings();
        QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
            .setValue(QStringLiteral("files/audioTimeDir"), folder);
        MainWindow window;
        // The clock's first tick names the file.
        QTRY_COMPARE_WITH_TIMEOUT(window.timeAudioName.size(), 4, 3000);

        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        window.findChild<QPushButton *>(QStringLiteral("audio_clock"))->click();
        QTRY_COMPARE_WITH_TIMEOUT(window.timePlayer->playbackState(), QMediaPlayer::PlayingState,
                                  kStartToleranceMs);
        const QString played = window.timePlayer->source().toLocalFile();
        QTRY_COMPARE_WITH_TIMEOUT(window.timePlayer->playbackState(), QMediaPlayer::StoppedState,
                                  int(kLongestSeconds * 1000));
        QTest::qWait(kOutputLatencyMs);
        const int heard = soundingMs(recorder.stop());

        QCOMPARE(QFileInfo(played).absolutePath(), folder);
        QVERIFY2(heard >= kLeastSpeechHeardMs,
                 qPrintable(QStringLiteral("%1 ms of sound from %2").arg(heard).arg(played)));
    }
};

ORVA_TEST_MAIN(TestTimeVoices)
#include "tst_timevoices.moc"
