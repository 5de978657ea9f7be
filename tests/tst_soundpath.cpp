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
    const qsizetype frames = 44100 * kWindowMs / 1000;
    for (qsizetype window = fromWindow; (window + 1) * frames * 2 <= samples.size(); ++window) {
        if (TestSupport::Recorder::toneAmplitude(samples, window * frames, frames, frequency)
            > kPresentAmplitude)
            return int(window);
    }
    return -1;
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

} // namespace

class TestSoundPath : public QObject
{
    Q_OBJECT

private slots:
    void serverAwayAndBack();
};

// Stopped mid-item for ten seconds: the desk rests quietly, and once the
// server is back the running order sounds again by itself, from a fresh
// start of the desk, and a cart fired then sounds too.
void TestSoundPath::serverAwayAndBack()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        QSKIP("needs pulseaudio");
    const QString root = TestSupport::privateRoot();
    SoundServer server(root + QStringLiteral("/soundpath"));
    QVERIFY(server.start());
    qputenv("PULSE_SERVER", server.address().toLocal8Bit());
    qputenv("ORVARADIO_TEST_SINK", kSink);

    const QString onAir = root + QStringLiteral("/on-air.wav");
    const QString following = root + QStringLiteral("/following.wav");
    const QString cart = root + QStringLiteral("/cart.wav");
    QVERIFY(TestSupport::makeTone(onAir, 40, kOnAirHz));
    QVERIFY(TestSupport::makeTone(following, 40, kFollowingHz));
    QVERIFY(TestSupport::makeTone(cart, 3, kCartHz));
    {
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        settings.setValue(QStringLiteral("buttonhole/btn_1"), cart);
    }
    SelfRestart::ResumePoint point;
    point.order = {{QStringLiteral("On air"), onAir, QStringLiteral("00:40"), QStringLiteral("music")},
                   {QStringLiteral("Following"), following, QStringLiteral("00:40"),
                    QStringLiteral("music")}};
    point.next = 1;
    point.onAir = true;
    const QString resumeFile = root + QStringLiteral("/resume.txt");
    QVERIFY(SelfRestart::writeResumeFile(resumeFile, point));

    QProcess desk;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(SelfRestart::kResumeVariable), resumeFile);
    desk.setProcessEnvironment(environment);
    QByteArray log;
    connect(&desk, &QProcess::readyReadStandardError, this,
            [&] { log += desk.readAllStandardError(); });
    desk.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--desk")});
    QVERIFY(desk.waitForStarted());
    const auto cleanUp = qScopeGuard([&] {
        desk.write("quit\n");
        if (!desk.waitForFinished(5000))
            desk.kill();
        desk.waitForFinished(5000);
    });

    {
        TestSupport::Recorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(kOnAirBeforeStopMs);
        QVERIFY2(firstWindowWith(recorder.stop(), kOnAirHz) >= 0, log.constData());
    }

    server.stop();
    const qsizetype linesBefore = log.count('\n');
    const double cpuBefore = cpuSeconds(desk.processId());
    QTest::qWait(kServerAwayMs);
    const double coreShare = (cpuSeconds(desk.processId()) - cpuBefore) * 1000.0 / kServerAwayMs;
    const qsizetype linesAway = log.count('\n') - linesBefore;
    qInfo("While the server was away: %.1f %% of a core, %lld lines", 100.0 * coreShare,
          qlonglong(linesAway));
    QVERIFY2(desk.state() == QProcess::Running,
             qPrintable(QStringLiteral("desk ended (status %1, code %2): ")
                            .arg(desk.exitStatus()).arg(desk.exitCode())
                        + QString::fromLocal8Bit(log)));
    QVERIFY2(coreShare < kMostCoreWhileAway, log.constData());
    QVERIFY2(linesAway < kFewestLinesWhileAway, log.constData());

    QElapsedTimer sinceBack;
    QVERIFY(server.start());
    sinceBack.start();
    TestSupport::Recorder recorder;
    QVERIFY(recorder.start());
    const qint64 recordingFrom = sinceBack.elapsed();
    QTest::qWait(kBackWithinMs + 1000 - int(recordingFrom));
    desk.write("cart 1\n");
    QTest::qWait(2000);
    const qint64 cartFiredAt = kBackWithinMs + 1000;
    const QVector<qint16> heard = recorder.stop();

    // The item on air, or after a crash of the media framework the next one.
    const int onAirBack = firstWindowWith(heard, kOnAirHz);
    const int followingBack = firstWindowWith(heard, kFollowingHz);
    const int back = onAirBack < 0 ? followingBack : followingBack < 0 ? onAirBack : std::min(onAirBack, followingBack);
    QVERIFY2(back >= 0, log.constData());
    const qint64 backMs = recordingFrom + back * kWindowMs;
    qInfo("Sound back %lld ms after the server", qlonglong(backMs));
    QVERIFY2(backMs <= kBackWithinMs, log.constData());
    const int cartWindow = firstWindowWith(heard, kCartHz);
    QVERIFY2(cartWindow >= 0, log.constData());
    QVERIFY(recordingFrom + cartWindow * kWindowMs >= cartFiredAt);
    QVERIFY(desk.state() == QProcess::Running);
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
