#include "audioplayer.h"
#include "conversioncache.h"
#include "preparation.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <utime.h>

namespace {

// Time for a queued conversion to start, and to finish for a short file.
constexpr int kStartMs = 2000;
constexpr int kConversionMs = 5000;
// A conversion made slow by a stand-in that sleeps a second first.
constexpr int kSlowConversionMs = kConversionMs + 1000;
// How long a queue that should stay idle is watched.
constexpr int kSettleMs = 500;
// About 0.6 MB as a WAV copy.
constexpr double kBoundToneSeconds = 3.5;

using TestSupport::ConverterStandIn;

QStringList cacheFiles()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("orvadio_*")}, QDir::Files);
}

void setModificationTime(const QString &path, time_t seconds)
{
    struct utimbuf times = {seconds, seconds};
    utime(QFile::encodeName(path).constData(), &times);
}

Playlist music(const QString &path)
{
    return {QFileInfo(path).completeBaseName(), path, QStringLiteral("00:03"),
            QStringLiteral("music")};
}

// Sets an environment variable for as long as it lives.
class EnvironmentValue
{
public:
    EnvironmentValue(const char *name, const QByteArray &value)
        : name(name), old(qgetenv(name)), had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~EnvironmentValue()
    {
        if (had)
            qputenv(name, old);
        else
            qunsetenv(name);
    }

private:
    const char *name;
    QByteArray old;
    bool had;
};

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

    // Whatever someone else put at the name a station's MP3 will use must
    // not go on air, and must not be replaced or removed by the desk.
    void plantedCopiesAreLeftAlone_data()
    {
        QTest::addColumn<bool>("symlink");
        QTest::newRow("symlink to a WAV") << true;
        QTest::newRow("WAV owned by another user") << false;
    }

    void plantedCopiesAreLeftAlone()
    {
        QFETCH(bool, symlink);
        const passwd *nobody = getpwnam("nobody");
        if (!symlink && (::geteuid() != 0 || !nobody))
            QSKIP("giving a file to another user needs root and the user nobody");
        const QString folder = freshFolder();
        const QString song = folder + QStringLiteral("/song.mp3");
        const QString planted = folder + QStringLiteral("/planted.wav");
        QVERIFY(TestSupport::makeTone(song, 1));
        QVERIFY(TestSupport::makeTone(planted, 1, 3000));
        const QString name = ConversionCache::cacheFileFor(song);
        if (symlink) {
            QVERIFY(QFile::link(planted, name));
        } else {
            QVERIFY(QFile::copy(planted, name));
            QCOMPARE(::chown(QFile::encodeName(name).constData(), nobody->pw_uid, nobody->pw_gid),
                     0);
        }
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QRegularExpression::escape(name)));

        Preparation queue;
        QSignalSpy preparation(&queue, &Preparation::finished);
        AudioPlayer channel;
        channel.setPreparation(&queue);
        channel.addMedia(song);
        QCOMPARE(channel.file(), song);
        AudioPlayer waiting;
        QCOMPARE(waiting.transcodeIfNeeded(song), song);
        queue.plan({music(song)}, 0, 0, false);
        QTest::qWait(kSettleMs);
        QCOMPARE(preparation.count(), 0);
        const QFileInfo after(name);
        QCOMPARE(after.isSymLink(), symlink);
        if (!symlink)
            QCOMPARE(after.ownerId(), nobody->pw_uid);
    }

    // On air the marked next entry converts first, off air the entry Play
    // starts; an entry removed from the running order is not converted any more.
    void queueFollowsTheRunningOrder_data()
    {
        QTest::addColumn<bool>("onAir");
        QTest::addColumn<int>("first");
        QTest::newRow("on air, next marked") << true << 2;
        QTest::newRow("off air, next marked") << false << 0;
    }

    void queueFollowsTheRunningOrder()
    {
        QFETCH(bool, onAir);
        QFETCH(int, first);
        const QString folder = freshFolder();
        std::vector<Playlist> order;
        for (const char *name : {"/a.mp3", "/b.mp3", "/c.mp3"}) {
            QVERIFY(TestSupport::makeTone(folder + QLatin1String(name), 1));
            order.push_back(music(folder + QLatin1String(name)));
        }
        const QString log = folder + QStringLiteral("/runs.log");
        ConverterStandIn slow(folder + QStringLiteral("/bin"),
                              "for a; do [ \"$p\" = -i ] && echo \"$a\"; p=$a; done >> '" + log.toLocal8Bit()
                                  + "'\nsleep 1\nexec '"
                                  + realConverter.toLocal8Bit() + "' \"$@\"\n");
        Preparation queue;
        QSignalSpy preparation(&queue, &Preparation::finished);
        queue.plan(order, 0, 2, onAir);
        QTRY_COMPARE_WITH_TIMEOUT(queue.converting(), order[size_t(first)].path, kStartMs);
        queue.plan({order[0], order[2]}, 0, 1, onAir);
        QTRY_COMPARE_WITH_TIMEOUT(preparation.count(), 2, 2 * kSlowConversionMs);
        QTest::qWait(kSettleMs);
        QCOMPARE(preparation.count(), 2);
        QFile runs(log);
        QVERIFY(runs.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(runs.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 (QStringList{order[size_t(first)].path, order[size_t(2 - first)].path}));
        for (const Playlist &entry : order)
            QCOMPARE(QFile::exists(ConversionCache::cacheFileFor(entry.path)), entry.path != order[1].path);
    }

    // Over the bound, the least recently used copies go; the copies on air
    // and of the next entry stay.
    void cacheBound()
    {
        const QString folder = freshFolder();
        std::vector<Playlist> order;
        for (const char *name : {"/a.mp3", "/b.mp3", "/c.mp3", "/d.mp3", "/e.mp3"}) {
            QVERIFY(TestSupport::makeTone(folder + QLatin1String(name), kBoundToneSeconds));
            order.push_back(music(folder + QLatin1String(name)));
        }
        QStringList copies;
        for (const Playlist &entry : order)
            copies.append(ConversionCache::cacheFileFor(entry.path));
        QStringList old;
        for (const char *name : {"/orvadio_1.wav", "/orvadio_2.wav"}) {
            QFile file(QDir::tempPath() + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(700 * 1024, '\0'));
            file.close();
            setModificationTime(file.fileName(), 1000000000);
            old.append(file.fileName());
        }
        // The copies present as each conversion ends.
        QList<QStringList> present;
        Preparation queue;
        QHash<QString, QStringList> presentAfter;
        connect(&queue, &Preparation::finished, this, [&](const QString &source) {
            present.append(QStringList());
            for (const QString &copy : old + copies)
                if (QFile::exists(copy))
                    present.last().append(copy);
            presentAfter.insert(source, present.last());
        });

        // Off air, the first four fit in 2 MB once the two old copies are gone.
        EnvironmentValue twoMegabytes("ORVARADIO_CACHE_MAX_MB", "2");
        queue.plan({order.begin(), order.begin() + 4}, 0, 1, false);
        QTRY_COMPARE_WITH_TIMEOUT(present.size(), 4, 4 * kConversionMs);
        QCOMPARE(present[3], copies.mid(0, 4));

        // On air with c, e next, and room for one copy only: a, b and d go.
        EnvironmentValue oneMegabyte("ORVARADIO_CACHE_MAX_MB", "1");
        QCOMPARE(queue.playable(order[2].path), copies[2]);
        queue.plan({order[0], order[1], order[2], order[4]}, 2, 3, true);
        QTRY_VERIFY_WITH_TIMEOUT(present.size() >= 5, kConversionMs);
        QCOMPARE(present[4], (QStringList{copies[2], copies[4]}));

        // c, taken out of the list while it still sounds, is neither current
        // nor next: its copy stays while d's is made.
        presentAfter.remove(order[3].path);
        queue.plan({order[0], order[1], order[3], order[4]}, 1, 2, true);
        QTRY_VERIFY_WITH_TIMEOUT(presentAfter.contains(order[3].path), 2 * kConversionMs);
        QVERIFY(presentAfter[order[3].path].contains(copies[2]));
        QVERIFY(presentAfter[order[3].path].contains(copies[3]));
    }

    void validMediaFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // empty: make a real WAV
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("prober"); // empty: the real ffprobe
        QTest::newRow("wav") << QStringLiteral("ok.wav") << QByteArray() << true << QByteArray();
        QTest::newRow("text") << QStringLiteral("text.wav") << QByteArray("hello\n") << false
                              << QByteArray();
        QTest::newRow("missing") << QStringLiteral("missing.wav") << QByteArray("-") << false
                                 << QByteArray();
        // A stream whose length the prober cannot tell, yet it exits with 0.
        QTest::newRow("duration not a number")
            << QStringLiteral("unknown-length.wav") << QByteArray() << false
            << QByteArray("echo N/A\n");
    }

    void validMediaFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, valid);
        QFETCH(QByteArray, prober);
        const QString folder = freshFolder();
        const QString path = folder + QLatin1Char('/') + name;
        if (content.isEmpty()) {
            QVERIFY(TestSupport::makeTone(path, 1));
        } else if (content != "-") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        std::optional<EnvironmentValue> searchPath;
        if (!prober.isEmpty()) {
            const QString bin = folder + QStringLiteral("/bin");
            QVERIFY(QDir().mkpath(bin));
            QFile script(bin + QStringLiteral("/ffprobe"));
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\n" + prober);
            script.close();
            QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
            searchPath.emplace("PATH", QFile::encodeName(bin) + ':' + qgetenv("PATH"));
        }
        QCOMPARE(AudioPlayer::isValidMediaFile(path), valid);
    }
};

ORVA_TEST_MAIN(TestTranscode)
#include "tst_transcode.moc"
