#include "airguard.h"
#include "mainwindow.h"
#include "nowplaying.h"
#include "streamtitle.h"
#include "tags.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTimer>

#include <csignal>
#include <sys/stat.h>

namespace {

constexpr int kTransitionSeconds = 1;
constexpr int kStartToleranceMs = 5000;
constexpr int kItemToleranceMs = 15000;
// The desk asks a failed stream server again every 5 s.
constexpr int kServerBackMs = 8000;
// How far a change of the line may be from the sound of its item: music
// fades in from silence, and the sound server adds its latency.
constexpr qint64 kFollowToleranceMs = 1000;
constexpr int kWindowMs = 50;
constexpr double kPresentAmplitude = 0.02;

QString nowPlayingFolder()
{
    return TestSupport::privateRoot() + QStringLiteral("/now");
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A tone with title and artist tags.
bool makeTaggedTone(const QString &path, double seconds, int frequency, const QString &title,
                    const QString &artist)
{
    const QString plain = path + QStringLiteral(".plain.wav");
    return TestSupport::makeTone(plain, seconds, frequency)
           && TestSupport::run(QStringLiteral("ffmpeg"),
                               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                                QStringLiteral("-i"), plain, QStringLiteral("-c"), QStringLiteral("copy"),
                                QStringLiteral("-metadata"), QStringLiteral("title=") + title,
                                QStringLiteral("-metadata"), QStringLiteral("artist=") + artist, path});
}

// Milliseconds from the recording's start to the first window where
// `frequency` sounds; -1 when it never does.
qint64 firstHeardMs(const QVector<qint16> &samples, double frequency)
{
    const qsizetype window =
        TestSupport::Recorder::toneWindows(samples, frequency, kWindowMs, kPresentAmplitude).indexOf(true);
    return window < 0 ? -1 : window * kWindowMs;
}

OnAirEvents::Item song(const QString &title, const QString &artist)
{
    OnAirEvents::Item item;
    item.kind = QStringLiteral("music");
    item.title = title;
    item.artist = artist;
    return item;
}

// A file replaced whole has a new inode; one rewritten in place keeps its own.
ino_t inodeOf(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

struct Change
{
    qint64 atMs;
    QString line;
    ino_t inodes[2];
};

// The log lines of the stream server's title, kept for counting.
QStringList serverLines;
QtMessageHandler passOn = nullptr;

void keepServerLines(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String("Now playing: the stream server")))
        serverLines << text;
    passOn(type, context, text);
}

} // namespace

class TestNowPlaying : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }
    void filesFollowTheAir_data();
    void filesFollowTheAir();
    void unwritableFolderWarnsOnce();
    void heldByTheSound_data();
    void heldByTheSound();
    void streamTitleFollowsTheAir();
};

void TestNowPlaying::filesFollowTheAir_data()
{
    QTest::addColumn<bool>("allKinds");
    QTest::addColumn<QStringList>("lines");
    // The jingle leaves the song's line in place, unless every kind is announced.
    QTest::newRow("music only") << false
                                << QStringList{QStringLiteral("Banda Ação - Canção"),
                                               QStringLiteral("Ação"), QString()};
    QTest::newRow("all kinds") << true
                               << QStringList{QStringLiteral("Banda Ação - Canção"),
                                              QStringLiteral("Vinheta"), QStringLiteral("Ação"), QString()};
}

// A song, a jingle, a missing file, a second song and Stop, recorded: the text file changes
// with what is heard, the JSON tells the item, its times and the next entry.
void TestNowPlaying::filesFollowTheAir()
{
    if (!TestSupport::soundServerAvailable())
        QSKIP("needs the test sound server");
    QFETCH(bool, allKinds);
    QFETCH(QStringList, lines);
    const QString media = TestSupport::privateRoot() + QStringLiteral("/media");
    QVERIFY(QDir().mkpath(media));
    QVERIFY(makeTaggedTone(media + QStringLiteral("/song.wav"), 5, 440, QStringLiteral("Canção"),
                           QStringLiteral("Banda Ação")));
    QVERIFY(makeTaggedTone(media + QStringLiteral("/jingle.wav"), 2.5, 1000, QStringLiteral("Vinheta"), QString()));
    QVERIFY(makeTaggedTone(media + QStringLiteral("/other.wav"), 20, 660, QStringLiteral("Ação"), QString()));
    QCOMPARE(readFileTags(media + QStringLiteral("/song.wav")).artist, QStringLiteral("Banda Ação"));
    {
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        settings.setValue(QStringLiteral("volume/TransitionAudioTime"), kTransitionSeconds);
        settings.setValue(QStringLiteral("nowplaying/folder"), nowPlayingFolder());
        settings.setValue(QStringLiteral("nowplaying/allKinds"), allKinds);
    }
    const QString textFile = nowPlayingFolder() + QStringLiteral("/now-playing.txt");
    const QString jsonFile = nowPlayingFolder() + QStringLiteral("/now-playing.json");

    MainWindow desk;
    desk.playlist = {{QStringLiteral("Canção - Banda Ação"), media + QStringLiteral("/song.wav"),
                      QStringLiteral("00:05"), QStringLiteral("music")},
                     {QStringLiteral("Vinheta"), media + QStringLiteral("/jingle.wav"), QStringLiteral("00:02"),
                      QStringLiteral("jingle")},
                     // Fails as it starts: its title never shows.
                     {QStringLiteral("Perdida"), media + QStringLiteral("/missing.wav"), QStringLiteral("00:05"),
                      QStringLiteral("music")},
                     {QStringLiteral("Ação"), media + QStringLiteral("/other.wav"), QStringLiteral("00:20"),
                      QStringLiteral("music")}};
    desk.updateAudioList(false);
    QCOMPARE(fileContent(textFile), QByteArray("\n"));

    // Every change of the text file, as a reader polling it would see it.
    const NowPlaying *nowPlaying = desk.findChild<NowPlaying *>();
    QSignalSpy lineChanges(nowPlaying, &NowPlaying::lineChanged);
    QList<Change> changes;
    // The JSON's next title while the song and while the jingle is on air,
    // once the missing file is known.
    QSet<QString> nextTitles[2];
    QElapsedTimer clock;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        const QString line = QString::fromUtf8(fileContent(textFile)).chopped(1);
        if (changes.isEmpty() || changes.last().line != line)
            changes.append({clock.elapsed(), line, {inodeOf(textFile), inodeOf(jsonFile)}});
        if (desk.sequencer->onAir() && desk.sequencer->currentIndex() < 2 && clock.elapsed() > 2000)
            nextTitles[desk.sequencer->currentIndex()] << QJsonDocument::fromJson(nowPlaying->json())
                                                 .object().value("next").toObject().value("title").toString();
    });
    TestSupport::Recorder recorder;
    QVERIFY(recorder.start());
    clock.start();
    poll.start(10);
    desk.on_btn_play_clicked();
    QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 3 && desk.player1.isPlaying() != desk.player2.isPlaying(),
                             3 * kItemToleranceMs);
    QTest::qWait(1000);

    const QJsonObject onAir = QJsonDocument::fromJson(fileContent(jsonFile)).object();
    QCOMPARE(onAir.value("onAir").toBool(), true);
    const QJsonObject item = onAir.value("item").toObject();
    QCOMPARE(item.value("kind").toString(), QStringLiteral("music"));
    QCOMPARE(item.value("title").toString(), QStringLiteral("Ação"));
    QCOMPARE(item.value("file").toString(), media + QStringLiteral("/other.wav"));
    const QDateTime start = QDateTime::fromString(item.value("start").toString(), Qt::ISODate);
    const QDateTime end = QDateTime::fromString(item.value("expectedEnd").toString(), Qt::ISODate);
    QVERIFY(item.value("start").toString().contains(QRegularExpression("[+-]\\d\\d:\\d\\d$")));
    QVERIFY(qAbs(start.secsTo(QDateTime::currentDateTime())) <= 3);
    // Measured ahead, the 20 s tone hands over T before its last sound.
    QCOMPARE(start.secsTo(end), 20 - kTransitionSeconds);
    // The running order loops: the first song is next.
    QCOMPARE(onAir.value("next").toObject().value("title").toString(), QStringLiteral("Canção"));
    QCOMPARE(onAir.value("next").toObject().value("artist").toString(), QStringLiteral("Banda Ação"));

    // A known-bad entry is never named next, nor, with music only, a jingle.
    QCOMPARE(nextTitles[0], QSet<QString>{allKinds ? QStringLiteral("Vinheta") : QStringLiteral("Ação")});
    QCOMPARE(nextTitles[1], QSet<QString>{QStringLiteral("Ação")});

    desk.on_btn_stop_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(fileContent(textFile), QByteArray("\n"), kStartToleranceMs);
    QTest::qWait(200);
    poll.stop();
    const QVector<qint16> heard = recorder.stop();
    const QJsonObject offAir = QJsonDocument::fromJson(fileContent(jsonFile)).object();
    QCOMPARE(offAir.value("onAir").toBool(), false);
    QVERIFY(offAir.value("item").isNull());

    // Every line that went out, also for an instant; and what a reader saw.
    QStringList told;
    for (const QList<QVariant> &signal : std::as_const(lineChanges))
        told << signal.value(0).toString();
    QCOMPARE(told.join(QStringLiteral(" | ")), lines.join(QStringLiteral(" | ")));
    QStringList seen;
    for (const Change &change : std::as_const(changes))
        seen << change.line;
    QCOMPARE(seen.join(QStringLiteral(" | ")), lines.join(QStringLiteral(" | ")));
    // Each change came as new files renamed over the old: a reader never sees half of one.
    for (qsizetype i = 1; i < changes.size(); ++i) {
        QVERIFY2(changes[i].inodes[0] != changes[i - 1].inodes[0], qPrintable(changes[i].line));
        QVERIFY2(changes[i].inodes[1] != changes[i - 1].inodes[1], qPrintable(changes[i].line));
    }
    // Each line came with its item's sound.
    const QHash<QString, int> tones = {{QStringLiteral("Banda Ação - Canção"), 440},
                                       {QStringLiteral("Vinheta"), 1000},
                                       {QStringLiteral("Ação"), 660}};
    for (const Change &change : std::as_const(changes)) {
        if (!tones.contains(change.line))
            continue;
        const qint64 heardAt = firstHeardMs(heard, tones.value(change.line));
        QVERIFY2(heardAt >= 0 && qAbs(change.atMs - heardAt) <= kFollowToleranceMs,
                 qPrintable(QStringLiteral("\"%1\": written at %2 ms, heard from %3 ms")
                                .arg(change.line).arg(change.atMs).arg(heardAt)));
    }
}

// With its cue points known, an item ends where its sound leaves the air,
// music 5 s before its last sound or at its fade-out, and it ended well once
// half of that was heard; a cart, or a file not measured yet, keeps its
// file's length. Cue points: first sound, last sound, fade-out, in ms.
void TestNowPlaying::heldByTheSound_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<int>>("cues");
    QTest::addColumn<qint64>("heldMs");
    QTest::addColumn<double>("playedSeconds");
    QTest::addColumn<bool>("ended");
    QTest::newRow("music") << "music" << QList<int>{2000, 52000, -1} << 45000LL << 23.0 << true;
    QTest::newRow("music fading out") << "music" << QList<int>{0, 58000, 50000} << 50000LL << 24.0 << false;
    QTest::newRow("music not measured") << "music" << QList<int>{} << 60000LL << 29.0 << false;
    QTest::newRow("jingle") << "jingle" << QList<int>{500, 4500, -1} << 4000LL << 2.0 << true;
    QTest::newRow("announcement") << "time" << QList<int>{200, 2200, -1} << 2000LL << 1.5 << true;
    QTest::newRow("cart") << "cart" << QList<int>{500, 4500, -1} << 60000LL << 4.0 << false;
}

void TestNowPlaying::heldByTheSound()
{
    QFETCH(QString, kind);
    QFETCH(QList<int>, cues);
    QFETCH(double, playedSeconds);
    OnAirEvents events;
    const QString file = QStringLiteral("/media/item.wav");
    events.setCues(
        [&](const QString &path) {
            return path == file && cues.size() == 3 ? CuePoints{cues[0], cues[1], cues[2]} : CuePoints();
        },
        5);
    OnAirEvents::Item item = song(QStringLiteral("Item"), QString());
    item.kind = kind;
    item.file = file;
    item.lengthSeconds = 60.0;
    int source = 0;
    events.begin(&source, item);
    const OnAirEvents::Record &record = events.onAir().constFirst();
    QTEST(record.start.msecsTo(OnAirEvents::expectedEnd(record.item, record.start)), "heldMs");
    QTEST(OnAirEvents::endOf(record.item, playedSeconds) == OnAirEvents::Outcome::Ended, "ended");
}

// A folder that cannot be made costs one warning; the files come once it can.
void TestNowPlaying::unwritableFolderWarnsOnce()
{
    const QString blocker = TestSupport::privateRoot() + QStringLiteral("/blocker");
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // A path under a plain file: no one, root included, can make it.
    const QString folder = blocker + QStringLiteral("/now");
    QTest::ignoreMessage(QtWarningMsg,
                         qPrintable(QStringLiteral("Now playing: cannot write to %1 - the files stay as "
                                                   "they are until it can").arg(folder)));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("^Now playing")));
    OnAirEvents events;
    NowPlaying nowPlaying(folder, false);
    nowPlaying.listenTo(&events);
    int sources[3];
    QElapsedTimer took;
    took.start();
    for (int &source : sources) {
        events.begin(&source, song(QStringLiteral("Canção"), QString()));
        events.setRunningOrder(true, {});
        events.finish(&source);
        QCoreApplication::processEvents();
    }
    QVERIFY2(took.elapsed() < 1000, "writing to a folder that cannot be made stalled");
    QCOMPARE(nowPlaying.line(), QStringLiteral("Canção"));

    QVERIFY(QFile::remove(blocker));
    QTest::ignoreMessage(QtInfoMsg, qPrintable(QStringLiteral("Now playing: writing to %1 again").arg(folder)));
    events.begin(&sources[0], song(QStringLiteral("Ação"), QStringLiteral("Banda")));
    QTRY_COMPARE(fileContent(folder + QStringLiteral("/now-playing.txt")), QByteArray("Banda - Ação\n"));
    // A song that fails once the one before has handed over gives the line back to it.
    events.begin(&sources[1], song(QStringLiteral("Perdida"), QString()));
    events.finish(&sources[0]);
    events.leaving(&sources[1], OnAirEvents::Outcome::Error);
    events.finish(&sources[1]);
    QCOMPARE(nowPlaying.line(), QStringLiteral("Banda - Ação"));
}

// Three items on a real stream server, titles in UTF-8 with '&' and '+': the
// mount's title follows them. With the server gone the desk plays on and
// says so once; the title comes back with the server.
void TestNowPlaying::streamTitleFollowsTheAir()
{
    if (!TestSupport::soundServerAvailable())
        QSKIP("needs the test sound server");
    TestSupport::StreamServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QString media = TestSupport::privateRoot() + QStringLiteral("/stream");
    QVERIFY(QDir().mkpath(media));
    QVERIFY(makeTaggedTone(media + QStringLiteral("/1.wav"), 4, 440, QStringLiteral("Canção"), QStringLiteral("Banda")));
    QVERIFY(makeTaggedTone(media + QStringLiteral("/2.wav"), 4, 660, QStringLiteral("Ação"), QString()));
    QVERIFY(makeTaggedTone(media + QStringLiteral("/3.wav"), 30, 880, QStringLiteral("Rock & Roll + 1"), QString()));
    {
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        settings.setValue(QStringLiteral("volume/TransitionAudioTime"), kTransitionSeconds);
        settings.setValue(QStringLiteral("nowplaying/folder"), nowPlayingFolder());
        settings.setValue(QStringLiteral("nowplaying/serverUrl"), server.url());
        // Without its slash, as an operator may type it.
        settings.setValue(QStringLiteral("nowplaying/mount"), server.mount().mid(1));
        settings.setValue(QStringLiteral("nowplaying/user"), server.adminUser());
        settings.setValue(QStringLiteral("nowplaying/password"), server.adminPassword());
    }
    serverLines.clear();
    passOn = qInstallMessageHandler(keepServerLines);
    const auto restoreHandler = qScopeGuard([] { qInstallMessageHandler(passOn); });
    // The title a desk that died left on the mount goes at the next start.
    {
        StreamTitle left(QUrl(server.url()), server.mount(), server.adminUser(), server.adminPassword());
        left.setTitle(QStringLiteral("Left over"));
        QTRY_COMPARE_WITH_TIMEOUT(server.title(), QStringLiteral("Left over"), kStartToleranceMs);
    }

    MainWindow desk;
    QTRY_COMPARE_WITH_TIMEOUT(server.title(), QString(), kStartToleranceMs);
    for (const QString &name : {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")})
        desk.playlist.push_back({name, media + QLatin1Char('/') + name + QStringLiteral(".wav"),
                                 QStringLiteral("00:04"), QStringLiteral("music")});
    desk.updateAudioList(false);
    desk.on_btn_play_clicked();
    QTRY_COMPARE_WITH_TIMEOUT(server.title(), QStringLiteral("Banda - Canção"), kStartToleranceMs);
    QTRY_COMPARE_WITH_TIMEOUT(server.title(), QStringLiteral("Ação"), kItemToleranceMs);

    server.stop();
    QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 2 && (desk.player1.isPlaying() || desk.player2.isPlaying()),
                             kItemToleranceMs);
    QTRY_COMPARE_WITH_TIMEOUT(serverLines.size(), 1, kStartToleranceMs);
    QVERIFY2(serverLines[0].startsWith(QLatin1String("Now playing: the stream server does not answer")),
             qPrintable(serverLines[0]));

    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QTRY_COMPARE_WITH_TIMEOUT(server.title(), QStringLiteral("Rock & Roll + 1"), kServerBackMs);
    QVERIFY(desk.player1.isPlaying() || desk.player2.isPlaying());
    // A retry may meet the new server before its source is back: that is a
    // second state, told once.
    QCOMPARE(serverLines.filter(QStringLiteral("does not answer")).size(), 1);
    QCOMPARE(serverLines.last(), QStringLiteral("Now playing: the stream server answers again"));
    // A session ended by a signal takes the title off before the desk exits.
    endSession(desk, SIGTERM);
    // The process exits then: what the desk tells must be out already.
    QCOMPARE(fileContent(nowPlayingFolder() + QStringLiteral("/now-playing.txt")), QByteArray("\n"));
    QVERIFY(!desk.findChild<StreamTitle *>()->busy());
    QCOMPARE(server.title(), QString());
}

ORVA_TEST_MAIN(TestNowPlaying)
#include "tst_nowplaying.moc"
