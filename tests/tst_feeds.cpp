// The air sent on to a stream server and kept as an air check, heard by a
// listener of a real server and read back from the files.
#include "airfeeds.h"
#include "buttonhole.h"
#include "mainwindow.h"
#include "onairevents.h"
#include "preview.h"
#include "testsupport.h"

#include <QDirIterator>
#include <QLabel>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QtEndian>

#include <signal.h>
#include <unistd.h>

namespace {

constexpr int kWindowMs = 50;
constexpr double kPresentAmplitude = 0.05;
constexpr int kToneHz[] = {440, 660, 880};
constexpr int kCartHz = 1760;
constexpr int kPreviewHz = 1320;
constexpr double kToneSeconds = 4.0;
constexpr int kOnMs = 10000;
// The stream may follow the air by this much: the encoder's and the sound
// server's buffers, and the listener's decoding.
constexpr qint64 kMostStreamDelayMs = 4000;
// The server away this long: a listener has the air again this soon after
// its return, and the air check loses no more than the longest gap.
constexpr int kAwayMs = 15000;
constexpr int kMostBackMs = 6000;
constexpr int kMostGapMs = 500;
// What the air check may lose beyond the stream over the moves of the air:
// its recorder ends and starts again on the new output (800 ms more than the
// stream seen on Debian 13). Told a move 3 s late, it loses 1,400 ms or more.
constexpr int kMostMoveLossMs = 1000;
constexpr int kMostTitleMs = 5000;
// A recorder's first file: under CI's load its first data has come more
// than 12 s after it counted as on.
constexpr int kFirstFileMs = 60000;
constexpr int kMostRefusedMs = 15000;

const char *const kAirSink = "feedsink";
const char *const kPreviewSink = "feedpreviewsink";

// The feeds' log lines, which come from their threads.
QMutex linesLock;
QStringList feedLines;
QtMessageHandler passOn = nullptr;

void keepFeedLines(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String("Stream:")) || text.startsWith(QLatin1String("Air check:"))
        || text.startsWith(QLatin1String("Now playing:"))) {
        const QMutexLocker locked(&linesLock);
        feedLines << text;
    }
    passOn(type, context, text);
}

QStringList linesWith(const QString &start)
{
    const QMutexLocker locked(&linesLock);
    return feedLines.filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(start)));
}

// Decodes `source` (a file or a stream's address) as the recorder's samples.
class Decoder
{
public:
    explicit Decoder(const QString &source)
        : raw(TestSupport::privateRoot() + QStringLiteral("/decoded-%1.raw").arg(++count))
    {
        process.start(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                       QStringLiteral("-i"), source, QStringLiteral("-f"), QStringLiteral("s16le"),
                       QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-ar"), QStringLiteral("44100"), raw});
        started.start();
    }
    // Ends a listener, or waits for a file's end; the samples, empty when
    // ffmpeg failed on a file.
    QVector<qint16> samples(bool listener)
    {
        if (listener)
            process.terminate();
        process.waitForFinished(30000);
        QFile file(raw);
        if ((!listener && process.exitCode() != 0) || !file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll();
        return QVector<qint16>(reinterpret_cast<const qint16 *>(bytes.constData()),
                               reinterpret_cast<const qint16 *>(bytes.constData()) + bytes.size() / 2);
    }
    QElapsedTimer started;

private:
    static inline int count = 0;
    QString raw;
    QProcess process;
};

// Reads a stream as a player does: when data first came, and when each title
// its Ogg comment headers carry first came.
class TitleListener : public QObject
{
public:
    explicit TitleListener(const QString &url)
        : reply(network.get(QNetworkRequest(QUrl(url))))
    {
        clock.start();
        connect(reply, &QIODevice::readyRead, this, [this] {
            if (firstData < 0)
                firstData = clock.elapsed();
            received += reply->readAll();
            // A comment is its little-endian length, then "NAME=value".
            for (qsizetype at; (at = received.indexOf("TITLE=", scanned)) >= 4;) {
                const qsizetype end = at + qFromLittleEndian<quint32>(received.constData() + at - 4);
                if (end > received.size())
                    return;
                const QString title = QString::fromUtf8(received.mid(at + 6, end - at - 6));
                if (!titles.contains(title))
                    titles.insert(title, clock.elapsed());
                scanned = end;
            }
        });
    }
    QElapsedTimer clock;
    qint64 firstData = -1;
    QHash<QString, qint64> titles;

private:
    QNetworkAccessManager network;
    QNetworkReply *reply;
    QByteArray received;
    qsizetype scanned = 0;
};

// Milliseconds from the start of `samples` to where `hz` first sounds; -1 if never.
qint64 firstMs(const QVector<qint16> &samples, int hz)
{
    const qsizetype at =
        TestSupport::Recorder::toneWindows(samples, hz, kWindowMs, kPresentAmplitude).indexOf(true);
    return at < 0 ? -1 : at * kWindowMs;
}

int windowsWith(const QVector<qint16> &samples, int hz)
{
    return int(TestSupport::Recorder::toneWindows(samples, hz, kWindowMs, kPresentAmplitude).count(true));
}

int msOfTones(const QVector<qint16> &samples)
{
    int windows = 0;
    for (int hz : kToneHz)
        windows += windowsWith(samples, hz);
    return windows * kWindowMs;
}

// The first of the tones not heard after the one before it; 0 when they are in order.
int firstOutOfOrder(const QVector<qint16> &samples)
{
    qint64 previous = -1;
    for (int hz : kToneHz) {
        const qint64 at = firstMs(samples, hz);
        if (at <= previous)
            return hz;
        previous = at;
    }
    return 0;
}

// The processes whose command line or environment we may read holding `text`;
// or only our children's, as other desks on the machine name theirs alike.
QStringList processesShowing(const QByteArray &text, bool childrenOnly = false)
{
    const QByteArray parent = "\nPPid:\t" + QByteArray::number(::getpid()) + '\n';
    QStringList found;
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        const QString folder = processes.next();
        QFile status(folder + QStringLiteral("/status"));
        for (const char *part : {"/cmdline", "/environ"}) {
            QFile file(folder + QLatin1String(part));
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text)
                && (!childrenOnly || (status.open(QIODevice::ReadOnly) && status.readAll().contains(parent)))) {
                found << QFileInfo(folder).fileName();
                break;
            }
        }
    }
    return found;
}

// The desk streams to `server` when there is one, and keeps the air in
// `folder` when one is given, with `more` settings on top.
void feedTo(const TestSupport::StreamServer *server, const QString &folder, const QVariantMap &more = {})
{
    QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
    if (server) {
        settings.setValue(QStringLiteral("stream/enabled"), true);
        settings.setValue(QStringLiteral("stream/serverUrl"), server->url());
        settings.setValue(QStringLiteral("stream/mount"), server->mount());
        settings.setValue(QStringLiteral("stream/password"), server->sourcePassword());
    }
    if (!folder.isEmpty()) {
        settings.setValue(QStringLiteral("aircheck/enabled"), true);
        settings.setValue(QStringLiteral("aircheck/folder"), folder);
    }
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        settings.setValue(it.key(), it.value());
}

// How long the air-check files in `folder` last, or only how long the tones sound in them.
qint64 keptMs(const QString &folder, bool tonesOnly)
{
    qint64 ms = 0;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files)) {
        const QVector<qint16> samples = Decoder(file.filePath()).samples(false);
        ms += tonesOnly ? msOfTones(samples) : samples.size() * 1000 / (2 * 44100);
        qInfo() << "air-check file" << file.fileName() << file.size() << "bytes," << samples.size() / (2 * 44100) << "s";
    }
    return ms;
}

} // namespace

#define START_OR_SKIP(server)                                                                                          \
    if (!(server).start(false))                                                                                        \
    QSKIP(qPrintable((server).errorString()))

class FeedsTest : public QObject
{
    Q_OBJECT

    QStringList tones;
    QString cart;
    QString previewed;

    // The tones by their index, as a running order of jingles.
    void load(MainWindow &desk, const QVector<int> &toneIndexes)
    {
        for (int i : toneIndexes)
            desk.playlist.push_back({QFileInfo(tones[i]).completeBaseName(), tones[i], QStringLiteral("00:04"),
                                     QStringLiteral("jingle")});
        desk.updateAudioList();
    }

private slots:
    void initTestCase()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        passOn = qInstallMessageHandler(keepFeedLines);
        const QString root = TestSupport::privateRoot();
        for (int hz : kToneHz) {
            tones << root + QStringLiteral("/tone-%1.wav").arg(hz);
            QVERIFY(TestSupport::makeTone(tones.last(), kToneSeconds, hz));
        }
        cart = root + QStringLiteral("/cart.wav");
        previewed = root + QStringLiteral("/previewed.wav");
        QVERIFY(TestSupport::makeTone(cart, 1.5, kCartHz));
        QVERIFY(TestSupport::makeTone(previewed, 3, kPreviewHz));
        QVERIFY(TestSupport::loadSink(QLatin1String(kAirSink)));
        QVERIFY(TestSupport::loadSink(QLatin1String(kPreviewSink)));
    }

    void cleanupTestCase()
    {
        TestSupport::unloadSink(QLatin1String(kAirSink));
        TestSupport::unloadSink(QLatin1String(kPreviewSink));
    }

    void init()
    {
        TestSupport::clearSettings();
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        settings.setValue(QStringLiteral("volume/TransitionAudioTime"), 1);
        settings.setValue(QStringLiteral("audio/outputDevice"), QLatin1String(kAirSink));
        settings.setValue(QStringLiteral("audio/previewDevice"), QLatin1String(kPreviewSink));
        const QMutexLocker locked(&linesLock);
        feedLines.clear();
    }

    // Three tones, a cart and a preview while a listener takes the mount:
    // the stream carries the tones in order and the cart, soon after the
    // air, never the preview and nowhere the password. Meanwhile an
    // air-check folder that cannot be made costs one warning however often
    // it is tried.
    void streamCarriesTheAir()
    {
        TestSupport::StreamServer server;
        START_OR_SKIP(server);
        const QString blocker = TestSupport::privateRoot() + QStringLiteral("/not-a-folder");
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        feedTo(&server, blocker + QStringLiteral("/aircheck"),
               {{QStringLiteral("buttonhole/btn_1"), cart}, {QStringLiteral("nowplaying/allKinds"), true}});
        MainWindow desk;
        load(desk, {0, 1, 2});
        const AirFeeds *feeds = desk.findChild<AirFeeds *>();
        QTRY_COMPARE_WITH_TIMEOUT(feeds->streamState(), FeedWorker::State::On, kOnMs);
        QVERIFY(server.mounted());
        QTRY_COMPARE_WITH_TIMEOUT(desk.findChild<QLabel *>(QStringLiteral("feeds_state"))->text(),
                                  QStringLiteral("Stream: on · Air check: failing"), kOnMs);
        QCOMPARE(processesShowing(server.sourcePassword().toUtf8()), QStringList());
        QVERIFY(!linesWith(QString()).join(QLatin1Char('\n')).contains(server.sourcePassword()));
        // The title waited for the source: the server knows no mount before.
        QCOMPARE(linesWith(QStringLiteral("Now playing:")), QStringList());

        Decoder listener(server.url() + server.mount());
        TestSupport::Recorder air{QLatin1String(kAirSink)};
        QVERIFY(air.start());
        QElapsedTimer airClock;
        airClock.start();
        QTest::qWait(1000);
        desk.on_btn_play_clicked();
        QTest::qWait(1000);
        desk.carts[0]->face()->click();
        QVERIFY(desk.preview->start(previewed, false));
        QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 2, 3 * int(kToneSeconds) * 1000);
        // Without a now-playing server of its own, the title goes to the streamed mount.
        QTRY_COMPARE_WITH_TIMEOUT(server.title(), QStringLiteral("tone-880"), kOnMs);
        QTest::qWait(int(kMostStreamDelayMs));
        const QVector<qint16> streamed = listener.samples(true);
        const QVector<qint16> aired = air.stop();
        desk.on_btn_stop_clicked();

        QCOMPARE(firstOutOfOrder(streamed), 0);
        const qint64 delay = (airClock.elapsed() - listener.started.elapsed()) + firstMs(streamed, kToneHz[0])
                             - firstMs(aired, kToneHz[0]);
        qInfo() << "the stream follows the air by" << delay << "ms";
        QVERIFY2(delay <= kMostStreamDelayMs, qPrintable(QString::number(delay)));
        QVERIFY(windowsWith(streamed, kCartHz) > 10);
        QCOMPARE(windowsWith(streamed, kPreviewHz), 0);
        // Tried again every 2 s by now.
        QCOMPARE(linesWith(QStringLiteral("Air check:")).size(), 1);
        QElapsedTimer ending;
        ending.start();
        desk.findChild<AirFeeds *>()->stop();
        QVERIFY(ending.elapsed() < 1000);
        QCOMPARE(feeds->streamState(), FeedWorker::State::Off);
    }

    // The server away for 15 s while the air plays: one log line each way, a
    // listener has the air again soon after its return, and the air check, in
    // files of a minute, loses nothing of it.
    void outageCostsTheAirCheckNothing()
    {
        TestSupport::StreamServer server;
        START_OR_SKIP(server);
        const QString folder = TestSupport::privateRoot() + QStringLiteral("/outage");
        feedTo(&server, folder, {{QStringLiteral("aircheck/fileMinutes"), 1}});
        MainWindow desk;
        load(desk, {0, 1, 2, 0, 1, 2, 0, 1, 2});
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).isEmpty(QDir::Files), kFirstFileMs);
        QElapsedTimer recording;
        recording.start();
        QTRY_COMPARE_WITH_TIMEOUT(desk.findChild<AirFeeds *>()->streamState(), FeedWorker::State::On, kOnMs);
        desk.on_btn_play_clicked();
        QTest::qWait(2000);
        server.stop();
        QTest::qWait(kAwayMs);
        QVERIFY(server.start(false));
        QElapsedTimer back;
        back.start();
        QTRY_VERIFY_WITH_TIMEOUT(server.mounted(), kMostBackMs);
        TitleListener listener(server.url() + server.mount());
        QTRY_VERIFY_WITH_TIMEOUT(listener.firstData >= 0, kMostBackMs);
        qInfo() << "the air heard again" << back.elapsed() << "ms after the server's return";
        QVERIFY(back.elapsed() <= kMostBackMs);
        QTest::qWait(int(kToneSeconds) * 1000);
        desk.findChild<AirFeeds *>()->stop();
        const qint64 ranMs = recording.elapsed();
        QCOMPARE(linesWith(QStringLiteral("Stream:")).size(), 3);
        QCOMPARE(linesWith(QStringLiteral("Air check:")).size(), 1);
        const qint64 kept = keptMs(folder, false);
        qInfo() << "the air check kept" << kept << "ms of" << ranMs;
        QVERIFY(kept >= ranMs - kMostGapMs);
    }

    // A server that is not there reads as reconnecting; once it is there, a
    // wrong password reads as refused, logged once.
    void streamTellsRefusedFromGone()
    {
        TestSupport::StreamServer server;
        feedTo(&server, QString(), {{QStringLiteral("stream/password"), QStringLiteral("wrong")}});
        MainWindow desk;
        const QLabel *state = desk.findChild<QLabel *>(QStringLiteral("feeds_state"));
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Stream: reconnecting · Air check: off"), kOnMs);
        START_OR_SKIP(server);
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Stream: refused: check the user and password · Air check: off"),
                                  kMostRefusedMs);
        QTest::qWait(5000);
        QCOMPARE(linesWith(QStringLiteral("Stream:")).filter(QStringLiteral("refused")).size(), 1);
    }

    // The air's output goes away mid-item and comes back: the stream, in Ogg
    // Opus here, takes the air from the default output meanwhile, and from
    // its own output again with the next item, without ever leaving the
    // server, and the air check with it. Each item's title reaches a listener
    // in the stream's comments soon after the item starts, never before.
    void streamFollowsTheAir()
    {
        TestSupport::StreamServer server;
        START_OR_SKIP(server);
        const QString folder = TestSupport::privateRoot() + QStringLiteral("/follows");
        feedTo(&server, folder,
               {{QStringLiteral("stream/format"), QStringLiteral("opus")}, {QStringLiteral("nowplaying/allKinds"), true}});
        MainWindow desk;
        load(desk, {0, 1});
        QTRY_COMPARE_WITH_TIMEOUT(desk.findChild<AirFeeds *>()->streamState(), FeedWorker::State::On, kOnMs);
        Decoder listener(server.url() + server.mount());
        TitleListener titles(server.url() + server.mount());
        QHash<QString, qint64> started;
        connect(desk.findChild<OnAirEvents *>(), &OnAirEvents::itemStarted, &titles,
                [&](const OnAirEvents::Record &record) {
                    started.insert(record.item.title, started.value(record.item.title, titles.clock.elapsed()));
                });
        QTest::qWait(1000);
        desk.on_btn_play_clicked();
        QTest::qWait(1000);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Output device \"feedsink\" not found")));
        QVERIFY(TestSupport::unloadSink(QLatin1String(kAirSink)));
        QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 1, 2 * int(kToneSeconds) * 1000);
        QVERIFY(TestSupport::loadSink(QLatin1String(kAirSink)));
        QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 0, 2 * int(kToneSeconds) * 1000);
        QTest::qWait(int(kToneSeconds) * 1000 + int(kMostStreamDelayMs));
        const QVector<qint16> streamed = listener.samples(true);
        desk.on_btn_stop_clicked();
        // Both tones, twice over, less what the move of the air takes.
        const int heardMs = msOfTones(streamed);
        qInfo() << "the stream carried" << heardMs << "ms of the air's 16 s";
        QVERIFY2(heardMs >= 12000, qPrintable(QString::number(heardMs)));
        QCOMPARE(linesWith(QStringLiteral("Stream: the")).size(), 0);
        // Told of each move at once, the air check lost no more than the stream.
        desk.findChild<AirFeeds *>()->stop();
        const qint64 kept = keptMs(folder, true);
        QVERIFY2(kept >= heardMs - kMostMoveLossMs, qPrintable(QStringLiteral("%1 ms of %2").arg(kept).arg(heardMs)));
        qInfo() << "the air check kept" << kept << "ms; titles" << titles.titles << "items started" << started;
        for (const QString &title : {QStringLiteral("tone-440"), QStringLiteral("tone-660")}) {
            const qint64 late = titles.titles.value(title, -1) - started.value(title);
            QVERIFY2(started.contains(title) && late >= 0 && late <= kMostTitleMs, qPrintable(title));
        }
        QCOMPARE(linesWith(QStringLiteral("Now playing:")), QStringList());
    }

    // Files of one minute: the running order straddles a change of file and
    // is there whole, in order, across the join; a recorder killed as by a
    // crash leaves a playable file, which the next one does not write over;
    // files beyond the days to keep are gone from the start.
    void airCheckKeepsTheAir()
    {
        const QString folder = TestSupport::privateRoot() + QStringLiteral("/aircheck");
        QVERIFY(QDir().mkpath(folder));
        const QDateTime old = QDateTime::currentDateTime().addDays(-3);
        for (const char *name : {"2026-01-01_10h.ogg", "notes.txt"}) {
            QFile file(folder + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write("x") == 1 && file.flush());
            QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        feedTo(nullptr, folder, {{QStringLiteral("aircheck/fileMinutes"), 1}, {QStringLiteral("aircheck/days"), 2}});
        // By name, in the order they were written: a piece kept from before
        // a restart ("_14h05-1.ogg") comes before the file of that name.
        const auto written = [&folder] {
            return QDir(folder).entryList({QStringLiteral("*.ogg")}, QDir::Files, QDir::Name);
        };
        MainWindow desk;
        load(desk, {0, 1, 2, 0});
        const AirFeeds *feeds = desk.findChild<AirFeeds *>();
        QTRY_COMPARE_WITH_TIMEOUT(feeds->airCheckState(), FeedWorker::State::On, kOnMs);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/2026-01-01_10h.ogg")));
        QVERIFY(QFile::exists(folder + QStringLiteral("/notes.txt")));
        // On a loaded machine the recorder's first data comes well after it
        // counts as on; the order waits for it. The tones end 4 s after a
        // full minute.
        QTRY_VERIFY_WITH_TIMEOUT(!written().isEmpty(), kFirstFileMs);
        while (QTime::currentTime().second() != 48)
            QTest::qWait(200);
        desk.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 3, 4 * int(kToneSeconds) * 1000);
        // The kill below loses the Ogg page being filled, and on a loaded
        // machine the recorder runs behind the air.
        QTest::qWait(int(kToneSeconds) * 1000 + 2000);
        desk.on_btn_stop_clicked();
        // A recorder that ran steadily and then crashed is replaced at once.
        const QStringList crashed = processesShowing("OrvaRadio Air check", true);
        QCOMPARE(crashed.size(), 1);
        QCOMPARE(::kill(crashed.first().toInt(), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(processesShowing("OrvaRadio Air check", true).size() == 1
                                     && processesShowing("OrvaRadio Air check", true) != crashed,
                                 kMostGapMs);
        QCOMPARE(feeds->airCheckState(), FeedWorker::State::On);

        // The piece kept at the crash, after the file of the order's first
        // minute, and the new recorder's file of that name, made with its
        // first data.
        const auto keptPiece = [&written] {
            const QStringList files = written();
            for (qsizetype i = 1; i < files.size(); ++i) {
                if (files[i].endsWith(QLatin1String("-1.ogg")) && files.contains(files[i].chopped(6) + QLatin1String(".ogg")))
                    return i;
            }
            return qsizetype(-1);
        };
        QTRY_VERIFY2_WITH_TIMEOUT(keptPiece() > 0, qPrintable(written().join(QLatin1Char(' '))), kFirstFileMs);
        const QStringList files = written();
        qInfo() << "air-check files" << files;
        QVector<qint16> joined;
        for (const QString &name : files.mid(keptPiece() - 1, 2)) {
            const QVector<qint16> part = Decoder(folder + QLatin1Char('/') + name).samples(false);
            QVERIFY2(!part.isEmpty(), qPrintable(name + QStringLiteral(" is not playable")));
            joined += part;
        }
        QCOMPARE(firstOutOfOrder(joined), 0);
        for (int hz : kToneHz) {
            const int heardMs = windowsWith(joined, hz) * kWindowMs;
            QVERIFY2(heardMs >= (kToneSeconds - 0.5) * 1000 * (hz == kToneHz[0] ? 2 : 1),
                     qPrintable(QStringLiteral("%1 Hz: %2 ms").arg(hz).arg(heardMs)));
        }
        // The crash is the one warning.
        QCOMPARE(linesWith(QStringLiteral("Air check: cannot")).size(), 1);
    }
};

ORVA_TEST_MAIN(FeedsTest)
#include "tst_feeds.moc"
