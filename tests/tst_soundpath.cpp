// The desk on air while its sound server goes away and comes back. The desk
// runs as a child process of this test (the same program, started with
// "--desk"), against a sound server of the test's own that it stops and
// starts again on the same socket. Lines on the child's standard input fire
// a cart ("cart N") or end it ("quit").
#include "buttonhole.h"
#include "mainwindow.h"
#include "selfrestart.h"
#include "startup.h"
#include "testsupport.h"

#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kOnAirHz = 440;
constexpr int kFollowingHz = 660;
constexpr int kCartHz = 1760;
constexpr int kServerAwayMs = 10000;
// The way back: the server's return to the first sound on its sink.
constexpr int kBackWithinMs = 5000;
constexpr double kMostCoreWhileAway = 0.05;
constexpr int kFewestLinesWhileAway = 20;
// On air this long before the server goes: a desk that crashes sooner after
// its start is not started again.
constexpr int kOnAirBeforeStopMs = 11000;
constexpr int kWindowMs = 50;
// The recording starts a little after the test's clock says: a window that
// holds the moment a cart was fired may already hold its sound.
constexpr int kRecordingClockSlackMs = 100;
constexpr double kPresentAmplitude = 0.05;
const char *const kSink = "soundpathsink";

void listenToStandardInput(MainWindow &window)
{
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &window);
    QObject::connect(input, &QSocketNotifier::activated, &window, [&window, input] {
        static QByteArray pending;
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input->setEnabled(false);
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QByteArray line = pending.left(end).trimmed();
            if (line == "quit")
                QCoreApplication::quit();
            else if (line.startsWith("cart "))
                window.carts[line.mid(5).toInt() - 1]->buttonHoleClick();
        }
    });
}

// Seconds of CPU the process has used, user and system.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0.0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// Index of the first window of `windowMs` in which `frequency` sounds, or -1.
int firstWindowWith(const QVector<qint16> &samples, double frequency, int fromWindow = 0)
{
    return int(TestSupport::Recorder::toneWindows(samples, frequency, kWindowMs, kPresentAmplitude)
                   .indexOf(true, fromWindow));
}

// A PulseAudio server with one null sink, on a socket of the test's own.
class SoundServer
{
public:
    explicit SoundServer(const QString &folder)
        : runtime(folder)
        , socket(folder + QStringLiteral("/pulse/native"))
    {
        QDir().mkpath(folder + QStringLiteral("/pulse"));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~SoundServer() { stop(); }

    QString address() const { return QStringLiteral("unix:") + socket; }

    bool start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        server.setProcessEnvironment(environment);
        server.start(QStringLiteral("pulseaudio"),
                     {QStringLiteral("--daemonize=no"), QStringLiteral("-n"),
                      QStringLiteral("--use-pid-file=no"), QStringLiteral("--exit-idle-time=-1"),
                      QStringLiteral("--disallow-exit"), QStringLiteral("--realtime=no"),
                      QStringLiteral("--high-priority=no"),
                      QStringLiteral("--log-target=file:") + runtime + QStringLiteral("/pulse.log"),
                      QStringLiteral("--load=module-null-sink sink_name=%1 rate=44100 channels=2")
                          .arg(QLatin1String(kSink)),
                      QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=")
                          + socket});
        if (!server.waitForStarted())
            return false;
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(socket) && waited.elapsed() < 5000)
            QThread::msleep(20);
        return QFileInfo::exists(socket);
    }

    void stop()
    {
        if (server.state() == QProcess::NotRunning)
            return;
        server.terminate();
        if (!server.waitForFinished(5000))
            server.kill();
        server.waitForFinished(5000);
    }

private:
    QString runtime;
    QString socket;
    QProcess server;
};

// The desk as a child process, on air with the first of two long items.
class Desk
{
public:
    Desk(const QString &root, const QString &onAir, const QString &following)
    {
        SelfRestart::ResumePoint point;
        point.order = {{QStringLiteral("On air"), onAir, QStringLiteral("00:40"),
                        QStringLiteral("music")},
                       {QStringLiteral("Following"), following, QStringLiteral("00:40"),
                        QStringLiteral("music")}};
        point.next = 1;
        point.onAir = true;
        const QString resumeFile = root + QStringLiteral("/resume.txt");
        if (!SelfRestart::writeResumeFile(resumeFile, point))
            return;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(SelfRestart::kResumeVariable), resumeFile);
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { log += process.readAllStandardError(); });
        process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--desk")});
        process.waitForStarted();
    }
    ~Desk()
    {
        process.write("quit\n");
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }

    bool running() const { return process.state() == QProcess::Running; }
    QString report() const
    {
        return QStringLiteral("desk %1 (status %2, code %3):\n")
                   .arg(running() ? QStringLiteral("running") : QStringLiteral("ended"))
                   .arg(process.exitStatus())
                   .arg(process.exitCode())
               + QString::fromLocal8Bit(log);
    }

    QProcess process;
    QByteArray log;
};

} // namespace

class TestSoundPath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void serverAwayAndBack();
    void crashOnAirGoesOn();

private:
    // The first sound of either item in `heard`, in ms from its start; -1 for none.
    static qint64 firstItemSound(const QVector<qint16> &heard);

    std::unique_ptr<SoundServer> server;
    QString root;
    QString onAir;
    QString following;
};

void TestSoundPath::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        QSKIP("needs pulseaudio");
    root = TestSupport::privateRoot();
    server = std::make_unique<SoundServer>(root + QStringLiteral("/soundpath"));
    QVERIFY(server->start());
    qputenv("PULSE_SERVER", server->address().toLocal8Bit());
    qputenv("ORVARADIO_TEST_SINK", kSink);

    onAir = root + QStringLiteral("/on-air.wav");
    following = root + QStringLiteral("/following.wav");
    const QString cart = root + QStringLiteral("/cart.wav");
    QVERIFY(TestSupport::makeTone(onAir, 40, kOnAirHz));
    QVERIFY(TestSupport::makeTone(following, 40, kFollowingHz));
    QVERIFY(TestSupport::makeTone(cart, 3, kCartHz));
    QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
    settings.setValue(QStringLiteral("buttonhole/btn_1"), cart);
}

qint64 TestSoundPath::firstItemSound(const QVector<qint16> &heard)
{
    const int onAirWindow = firstWindowWith(heard, kOnAirHz);
    const int followingWindow = firstWindowWith(heard, kFollowingHz);
    const int window = onAirWindow < 0         ? followingWindow
                       : followingWindow < 0   ? onAirWindow
                                               : std::min(onAirWindow, followingWindow);
    return window < 0 ? -1 : qint64(window) * kWindowMs;
}

// Stopped mid-item for ten seconds: the desk rests quietly, and once the
// server is back the running order sounds again by itself, from a fresh
// start of the desk (after a crash of the media framework, with the next
// item), and a cart fired then sounds too.
void TestSoundPath::serverAwayAndBack()
{
    Desk desk(root, onAir, following);
    QVERIFY(desk.running());
    {
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(kOnAirBeforeStopMs);
        QVERIFY2(firstWindowWith(recorder.stop(), kOnAirHz) >= 0, qPrintable(desk.report()));
    }

    server->stop();
    const qsizetype linesBefore = desk.log.count('\n');
    const double cpuBefore = cpuSeconds(desk.process.processId());
    QTest::qWait(kServerAwayMs);
    const double coreShare =
        (cpuSeconds(desk.process.processId()) - cpuBefore) * 1000.0 / kServerAwayMs;
    const qsizetype linesAway = desk.log.count('\n') - linesBefore;
    qInfo("While the server was away: %.1f %% of a core, %lld lines", 100.0 * coreShare,
          qlonglong(linesAway));
    QVERIFY2(desk.running(), qPrintable(desk.report()));
    QVERIFY2(coreShare < kMostCoreWhileAway, qPrintable(desk.report()));
    QVERIFY2(linesAway < kFewestLinesWhileAway, qPrintable(desk.report()));

    QElapsedTimer sinceBack;
    QVERIFY(server->start());
    sinceBack.start();
    TestSupport::Recorder recorder;
    QVERIFY(recorder.start());
    const qint64 recordingFrom = sinceBack.elapsed();
    const qint64 cartFiredAt = kBackWithinMs + 1000;
    QTest::qWait(int(cartFiredAt - recordingFrom));
    desk.process.write("cart 1\n");
    QTest::qWait(2000);
    const QVector<qint16> heard = recorder.stop();

    const qint64 back = firstItemSound(heard);
    QVERIFY2(back >= 0, qPrintable(desk.report()));
    qInfo("Sound back %lld ms after the server", qlonglong(recordingFrom + back));
    QVERIFY2(recordingFrom + back <= kBackWithinMs, qPrintable(desk.report()));
    const int cartWindow = firstWindowWith(heard, kCartHz);
    QVERIFY2(cartWindow >= 0, qPrintable(desk.report()));
    QVERIFY(recordingFrom + cartWindow * kWindowMs + kRecordingClockSlackMs >= cartFiredAt);
    QVERIFY(desk.running());
    // The item the outage cut is logged as cut, not as played or failed.
    const QList<TestSupport::AsRunRow> rows = TestSupport::todaysAsRunRows();
    QVERIFY2(!rows.isEmpty() && rows.constFirst().title == QLatin1String("On air")
                 && rows.constFirst().outcome == QLatin1String("interrupted"),
             qPrintable(rows.isEmpty() ? QString() : rows.constFirst().title + QLatin1Char(' ') + rows.constFirst().outcome));
}

// A crash on air, after the desk has run for a while, is followed by a fresh
// start that goes on with the next item.
void TestSoundPath::crashOnAirGoesOn()
{
    Desk desk(root, onAir, following);
    QVERIFY(desk.running());
    QTest::qWait(kOnAirBeforeStopMs);
    TestSupport::Recorder recorder;
    QVERIFY(recorder.start());
    ::kill(pid_t(desk.process.processId()), SIGSEGV);
    QTest::qWait(kBackWithinMs);
    const QVector<qint16> heard = recorder.stop();
    QVERIFY2(desk.running(), qPrintable(desk.report()));
    const int followingWindow = firstWindowWith(heard, kFollowingHz);
    QVERIFY2(followingWindow >= 0, qPrintable(desk.report()));
    // Nothing of the crashed item after the fresh start.
    QCOMPARE(firstWindowWith(heard, kOnAirHz, followingWindow), -1);
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--desk") == 0) {
        installCrashHandler();
        return runDesk(argc, argv, listenToStandardInput);
    }
    TestSupport::isolateEnvironment();
    QApplication app(argc, argv);
    TestSoundPath test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soundpath.moc"
