#include "audioplayer.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <utime.h>

namespace {

// Puts a stand-in for ffmpeg first on PATH for as long as it lives.
class ConverterStandIn
{
public:
    ConverterStandIn(const QString &folder, const QByteArray &script)
        : oldPath(qgetenv("PATH"))
    {
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/ffmpeg"));
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n" + script);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", folder.toLocal8Bit() + ':' + oldPath);
    }
    ~ConverterStandIn() { qputenv("PATH", oldPath); }

private:
    QByteArray oldPath;
};

QStringList cacheFiles()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("orvadio_*")}, QDir::Files);
}

void setModificationTime(const QString &path, time_t seconds)
{
    struct utimbuf times = {seconds, seconds};
    utime(QFile::encodeName(path).constData(), &times);
}

} // namespace

class TestTranscode : public QObject
{
    Q_OBJECT

private:
    QString media;
    QString realConverter;
    int folderCount = 0;

    QString freshFolder()
    {
        const QString folder = media + QStringLiteral("/case%1").arg(++folderCount);
        QDir().mkpath(folder);
        return folder;
    }

    void cleanCache()
    {
        for (const QString &name : cacheFiles())
            QFile::remove(QDir::tempPath() + QLatin1Char('/') + name);
    }

private slots:
    void initTestCase()
    {
        media = TestSupport::privateRoot() + QStringLiteral("/media");
        realConverter = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        QVERIFY(!realConverter.isEmpty());
    }

    void init() { cleanCache(); }

    void convertsOnlyMp3_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("converted");
        QTest::newRow("lower-case mp3") << QStringLiteral("song.mp3") << true;
        QTest::newRow("upper-case MP3") << QStringLiteral("SONG.MP3") << true;
        QTest::newRow("mixed-case Mp3") << QStringLiteral("song.Mp3") << true;
        QTest::newRow("mp3.wav") << QStringLiteral("song.mp3.wav") << false;
        QTest::newRow("ogg") << QStringLiteral("song.ogg") << false;
        QTest::newRow("spaces and quotes")
            << QStringLiteral("it's a \"live\" take $HOME; ls.mp3") << true;
    }

    void convertsOnlyMp3()
    {
        QFETCH(QString, name);
        QFETCH(bool, converted);
        const QString path = freshFolder() + QLatin1Char('/') + name;
        QVERIFY(TestSupport::makeTone(path, 1));

        AudioPlayer player;
        const QString result = player.transcodeIfNeeded(path);
        if (!converted) {
            QCOMPARE(result, path);
            QVERIFY(cacheFiles().isEmpty());
            return;
        }
        const QFileInfo output(result);
        QCOMPARE(output.absolutePath(), QDir(QDir::tempPath()).absolutePath());
        QVERIFY2(QRegularExpression(QStringLiteral("^orvadio_[0-9]+\\.wav$"))
                     .match(output.fileName()).hasMatch(), qPrintable(output.fileName()));
        QFile wav(result);
        QVERIFY(wav.open(QIODevice::ReadOnly));
        const QByteArray header = wav.read(44);
        QVERIFY(header.startsWith("RIFF"));
        QCOMPARE(header.mid(8, 4), QByteArray("WAVE"));
        QCOMPARE(cacheFiles(), QStringList{output.fileName()});
    }

    void cacheReusedUntilFileChanges()
    {
        const QString folder = freshFolder();
        const QString song = folder + QStringLiteral("/song.mp3");
        QVERIFY(TestSupport::makeTone(song, 1));
        const QString log = folder + QStringLiteral("/runs.log");
        ConverterStandIn wrapper(folder + QStringLiteral("/bin"),
                                 "echo run >> '" + log.toLocal8Bit() + "'\nexec '"
                                     + realConverter.toLocal8Bit() + "' \"$@\"\n");
        auto runs = [&log] {
            QFile file(log);
            return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
        };

        AudioPlayer player;
        const QString first = player.transcodeIfNeeded(song);
        QCOMPARE(runs(), 1);
        QCOMPARE(player.transcodeIfNeeded(song), first);
        AudioPlayer otherChannel;
        QCOMPARE(otherChannel.transcodeIfNeeded(song), first);
        QCOMPARE(runs(), 1);

        setModificationTime(song, QFileInfo(song).lastModified().toSecsSinceEpoch() + 60);
        const QString touched = player.transcodeIfNeeded(song);
        QCOMPARE(runs(), 2);
        QVERIFY(touched != first);
        QVERIFY(QFile::exists(touched));
    }

    // Copies made with preserved times have the same time and size; each must
    // still play its own recording.
    void equalStampsKeepSeparateEntries()
    {
        const QString folder = freshFolder();
        const QString low = folder + QStringLiteral("/a/take.mp3");
        const QString high = folder + QStringLiteral("/b/take.mp3");
        QDir().mkpath(folder + QStringLiteral("/a"));
        QDir().mkpath(folder + QStringLiteral("/b"));
        QVERIFY(TestSupport::makeTone(low, 1, 300));
        QVERIFY(TestSupport::makeTone(high, 1, 3000));
        setModificationTime(low, 1700000000);
        setModificationTime(high, 1700000000);
        QCOMPARE(QFileInfo(low).size(), QFileInfo(high).size());

        AudioPlayer player;
        const QString lowWav = player.transcodeIfNeeded(low);
        const QString highWav = player.transcodeIfNeeded(high);
        QVERIFY(lowWav != low && highWav != high);
        QVERIFY(lowWav != highWav);
        QFile a(lowWav), b(highWav);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY(a.readAll() != b.readAll());
    }

    void failedConversionLeavesNothing_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::newRow("exits 1 after a partial write")
            << QByteArray("for last; do :; done\necho partial > \"$last\"\nexit 1\n");
        QTest::newRow("killed by a signal")
            << QByteArray("for last; do :; done\necho partial > \"$last\"\nkill -9 $$\n");
        QTest::newRow("missing converter") << QByteArray();
    }

    void failedConversionLeavesNothing()
    {
        QFETCH(QByteArray, script);
        const QString folder = freshFolder();
        const QString song = folder + QStringLiteral("/song.mp3");
        QVERIFY(TestSupport::makeTone(song, 1));
        const QByteArray oldPath = qgetenv("PATH");
        {
            ConverterStandIn standIn(folder + QStringLiteral("/bin"), script);
            if (script.isEmpty())
                qputenv("PATH", (folder + QStringLiteral("/empty")).toLocal8Bit());
            AudioPlayer player;
            QCOMPARE(player.transcodeIfNeeded(song), song);
        }
        qputenv("PATH", oldPath);
        QCOMPARE(cacheFiles(), QStringList());

        // With the real converter back, the file converts as usual.
        AudioPlayer player;
        QVERIFY(player.transcodeIfNeeded(song) != song);
    }

    void validMediaFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // empty: make a real WAV
        QTest::addColumn<bool>("valid");
        QTest::newRow("wav") << QStringLiteral("ok.wav") << QByteArray() << true;
        QTest::newRow("text") << QStringLiteral("text.wav") << QByteArray("hello\n") << false;
        QTest::newRow("missing") << QStringLiteral("missing.wav") << QByteArray("-") << false;
    }

    void validMediaFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, valid);
        const QString path = freshFolder() + QLatin1Char('/') + name;
        if (content.isEmpty()) {
            QVERIFY(TestSupport::makeTone(path, 1));
        } else if (content != "-") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QCOMPARE(AudioPlayer::isValidMediaFile(path), valid);
    }
};

ORVA_TEST_MAIN(TestTranscode)
#include "tst_transcode.moc"
