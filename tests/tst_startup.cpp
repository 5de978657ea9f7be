#include "asrunlog.h"
#include "asrunreport.h"
#include "mainwindow.h"
#include "selfrestart.h"
#include "startup.h"
#include "nowplaying.h"
#include "testsupport.h"

#include <QProcess>
#include <QSettings>
#include <QSharedMemory>
#include <QSplashScreen>
#include <QStyle>
#include <QScreen>
#include <QStandardPaths>

#include <csignal>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

// A desk process needs this long at most to reach its event loop here.
constexpr int kStartupToleranceMs = 10000;
// A second copy must give up at once; generous for a loaded machine.
constexpr int kSecondCopyExitMs = 5000;
// A desk told that the session ends closes within this time.
constexpr int kSessionEndMs = 2000;

// The marker segment as the system sees it, looked at without attaching (a
// probe that attached and detached would remove a segment nobody holds):
// -1 when there is none, else how many processes hold it.
int markerHolders()
{
    QSharedMemory marker;
    setInstanceKey(marker);
    const key_t key = ::ftok(QFile::encodeName(marker.nativeKey()).constData(), 'Q');
    const int id = key == -1 ? -1 : ::shmget(key, 0, 0);
    shmid_ds status = {};
    if (id == -1 || ::shmctl(id, IPC_STAT, &status) == -1)
        return -1;
    return int(status.shm_nattch);
}

bool markerHeld()
{
    return markerHolders() > 0;
}

// Removes a segment left by a desk that the test killed.
void clearStaleMarker()
{
    QSharedMemory probe;
    setInstanceKey(probe);
    if (probe.attach(QSharedMemory::ReadOnly))
        probe.detach();
}

class ShowWatcher : public QObject
{
public:
    QSplashScreen *splash = nullptr;
    bool splashVisibleAtShow = true;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            splashVisibleAtShow = splash->isVisible();
        return false;
    }
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    void startDesk(QProcess &desk)
    {
        desk.start(QStringLiteral(ORVARADIO_BIN), {});
        QVERIFY(desk.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(markerHeld(), kStartupToleranceMs);
    }

    void killDesk(QProcess &desk)
    {
        desk.kill();
        desk.waitForFinished();
        clearStaleMarker();
    }

private slots:
    void styleChoice_data()
    {
        QTest::addColumn<QStringList>("styleNames");
        QTest::addColumn<bool>("dark");
        QTest::newRow("no gtk3") << QStringList{"Fusion", "Windows"} << true;
        QTest::newRow("gtk3") << QStringList{"Fusion", "gtk3"} << false;
        QTest::newRow("GTK3 upper case") << QStringList{"GTK3"} << false;
        QTest::newRow("Gtk3 mixed case") << QStringList{"Windows", "Gtk3"} << false;
    }

    void styleChoice()
    {
        QFETCH(QStringList, styleNames);
        QFETCH(bool, dark);
        auto *app = qApp;
        app->setStyleSheet(QString());
        app->setPalette(QPalette());
        const QColor plainWindow = app->palette().color(QPalette::Window);

        applyDeskStyle(*app, styleNames);

        if (dark) {
            QCOMPARE(app->palette().color(QPalette::Window), QColor(0x30, 0x30, 0x30));
            QCOMPARE(app->styleSheet(),
                     QStringLiteral("QToolTip { color: #ffffff; background-color: #2a82da; "
                                    "border: 1px solid white; }"));
            // Without the style sheet the application's own style shows again.
            app->setStyleSheet(QString());
            QCOMPARE(app->style()->metaObject()->className(), "QFusionStyle");
        } else {
            QCOMPARE(app->palette().color(QPalette::Window), plainWindow);
            QVERIFY(app->styleSheet().isEmpty());
        }
    }

    void darkPaletteColours_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("role");
        QTest::addColumn<QColor>("colour");
        const int all = QPalette::Active;
        QTest::newRow("window") << all << int(QPalette::Window) << QColor("#303030");
        QTest::newRow("window text") << all << int(QPalette::WindowText) << QColor("#dcdcdc");
        QTest::newRow("base") << all << int(QPalette::Base) << QColor("#242424");
        QTest::newRow("alternate base") << all << int(QPalette::AlternateBase) << QColor("#303030");
        QTest::newRow("button") << all << int(QPalette::Button) << QColor("#404040");
        QTest::newRow("bright text") << all << int(QPalette::BrightText) << QColor("#ff0000");
        QTest::newRow("highlight") << all << int(QPalette::Highlight) << QColor("#55aaff");
        QTest::newRow("highlighted text") << all << int(QPalette::HighlightedText) << QColor("#000000");
        QTest::newRow("inactive text") << int(QPalette::Inactive) << int(QPalette::Text) << QColor("#dcdcdc");
        QTest::newRow("disabled text") << int(QPalette::Disabled) << int(QPalette::Text) << QColor("#7f7f7f");
        QTest::newRow("disabled button text")
            << int(QPalette::Disabled) << int(QPalette::ButtonText) << QColor("#7f7f7f");
        QTest::newRow("disabled window text")
            << int(QPalette::Disabled) << int(QPalette::WindowText) << QColor("#dcdcdc");
    }

    void darkPaletteColours()
    {
        QFETCH(int, group);
        QFETCH(int, role);
        QFETCH(QColor, colour);
        QCOMPARE(darkPalette().color(QPalette::ColorGroup(group), QPalette::ColorRole(role)), colour);
    }

    void splashClosedBeforeWindowShows()
    {
        MainWindow window;
        QSplashScreen splash(QPixmap(QStringLiteral(":/images/splash-02.png")));
        splash.show();
        ShowWatcher watcher;
        watcher.splash = &splash;
        window.installEventFilter(&watcher);

        handOverSplash(&splash, &window);

        QVERIFY(!watcher.splashVisibleAtShow);
        QVERIFY(window.isVisible());
        QVERIFY(!splash.isVisible());
    }

    void windowPinnedAndCentred()
    {
        MainWindow window;
        QCOMPARE(window.size(), QSize(1048, 622));
        QCOMPARE(window.minimumSize(), QSize(1048, 622));
        QCOMPARE(window.maximumSize(), QSize(1048, 622));
        QCOMPARE(window.focusPolicy(), Qt::StrongFocus);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = window.frameGeometry();
        QCOMPARE(frame.left(), (area.left() + area.right()) / 2 - frame.width() / 2);
        QCOMPARE(frame.top(), (area.top() + area.bottom()) / 2 - frame.height() / 2);
    }

    void markerRefusedWhileHeld()
    {
        QSharedMemory first;
        setInstanceKey(first);
        QVERIFY(takeInstanceMarker(first));
        QSharedMemory second;
        setInstanceKey(second);
        QVERIFY(!takeInstanceMarker(second));
        QVERIFY(first.isAttached());
        first.detach();
        QVERIFY(takeInstanceMarker(second));
    }

    // A second copy gives up at once; the fresh start of a desk that held
    // the marker (after a crash on air) keeps the air without it.
    void secondCopyExitsAtOnce_data()
    {
        QTest::addColumn<bool>("freshStart");
        QTest::newRow("second copy") << false;
        QTest::newRow("fresh start of the desk") << true;
    }

    void secondCopyExitsAtOnce()
    {
        QFETCH(bool, freshStart);
        QProcess first;
        startDesk(first);

        QProcess second;
        if (freshStart) {
            const QString resumeFile = TestSupport::privateRoot() + QStringLiteral("/resume.txt");
            QVERIFY(SelfRestart::writeResumeFile(resumeFile, SelfRestart::ResumePoint()));
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QString::fromLatin1(SelfRestart::kResumeVariable), resumeFile);
            second.setProcessEnvironment(environment);
        }
        second.start(QStringLiteral(ORVARADIO_BIN), {});
        QCOMPARE(second.waitForFinished(kSecondCopyExitMs), !freshStart);
        if (freshStart) {
            QVERIFY(second.readAllStandardError().contains("goes on without it"));
            second.kill();
            second.waitForFinished();
        } else {
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);
            QVERIFY(!second.readAllStandardError().contains("crashed"));
        }

        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(markerHeld());
        killDesk(first);
    }

    void startsAfterKilledDesk()
    {
        QProcess first;
        startDesk(first);
        first.kill();
        first.waitForFinished();
        // The killed desk left its marker, held by nobody.
        QCOMPARE(markerHolders(), 0);

        QProcess next;
        startDesk(next);
        QTest::qWait(1000);
        QCOMPARE(next.state(), QProcess::Running);
        killDesk(next);
    }

    // Without a display the desk says so in one line and ends with 1; the
    // usage and the version need none.
    void withoutDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::newRow("start, Portuguese")
            << QStringList() << QStringLiteral("pt_BR") << 1
            << QStringLiteral("O OrvaRadio precisa de uma sessão gráfica: nenhuma tela encontrada "
                              "(DISPLAY/WAYLAND_DISPLAY não definidas)\n");
        QTest::newRow("first start, English")
            << QStringList() << QString() << 1
            << QStringLiteral("OrvaRadio needs a graphical session: no display found "
                              "(DISPLAY/WAYLAND_DISPLAY unset)\n");
        QTest::newRow("--version") << QStringList {QStringLiteral("--version")} << QString() << 0
                                   << QStringLiteral("OrvaRadio %1\nLicense GPL-3.0-or-later").arg(QLatin1String(MainWindow::kVersion));
        QTest::newRow("--help") << QStringList {QStringLiteral("--help")} << QStringLiteral("en_US")
                                << 0 << QStringLiteral("Usage: orvaradio [--help | --version]");
    }

    void withoutDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, language);
        QFETCH(int, status);
        QFETCH(QString, output);
        TestSupport::clearSettings();
        if (!language.isEmpty())
            QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
                .setValue(QStringLiteral("interface/language"), language);
        QProcess desk;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(variable));
        desk.setProcessEnvironment(environment);
        desk.start(QStringLiteral(ORVARADIO_BIN), arguments);
        QVERIFY(desk.waitForFinished(kSecondCopyExitMs));
        TestSupport::clearSettings();

        QCOMPARE(desk.exitStatus(), QProcess::NormalExit);
        QCOMPARE(desk.exitCode(), status);
        const QString printed = QString::fromLocal8Bit(status == 0 ? desk.readAllStandardOutput()
                                                                   : desk.readAllStandardError());
        QVERIFY2(status == 0 ? printed.startsWith(output) : printed == output, qPrintable(printed));
        QVERIFY(!markerHeld());
    }

    // The end of a session (a logout, a shutdown) closes the desk on air in
    // order: nothing asked, the rows "stopped", the marker and the resume
    // file gone, the running order that was never saved kept for the next
    // start, and that start finds nothing interrupted.
    void sessionEndClosesInOrder_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void sessionEndClosesInOrder()
    {
        QFETCH(int, signal);
        TestSupport::clearSettings();
        QDir(asRunFolder()).removeRecursively();
        const QString tone = TestSupport::privateRoot() + QStringLiteral("/session-end.wav");
        QVERIFY(TestSupport::makeTone(tone, 30));
        SelfRestart::ResumePoint point;
        point.order = {{QStringLiteral("Session end"), tone, QStringLiteral("00:30"),
                        QStringLiteral("music")}};
        point.onAir = true;
        const QString resumeFile = TestSupport::privateRoot() + QStringLiteral("/resume.txt");
        QVERIFY(SelfRestart::writeResumeFile(resumeFile, point));

        QProcess desk;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(SelfRestart::kResumeVariable), resumeFile);
        desk.setProcessEnvironment(environment);
        startDesk(desk);
        const QString journal = asRunFolder() + QLatin1Char('/') + QLatin1String(AsRunLog::kJournalName);
        const QString deskResumeFile =
            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
            + QStringLiteral("/orvaradio-resume-%1.txt").arg(desk.processId());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(journal) && QFile::exists(deskResumeFile),
                                 kStartupToleranceMs);
        const QString nowPlaying = NowPlaying::folderFrom(QString()) + QStringLiteral("/now-playing");
        const auto written = [&nowPlaying](const char *extension) {
            QFile file(nowPlaying + QLatin1String(extension));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(written(".txt"), QByteArray("Session end\n"), kStartupToleranceMs);

        QElapsedTimer closing;
        closing.start();
        ::kill(pid_t(desk.processId()), signal);
        QVERIFY(desk.waitForFinished(kStartupToleranceMs));
        QVERIFY2(closing.elapsed() < kSessionEndMs, qPrintable(QString::number(closing.elapsed())));
        QCOMPARE(desk.exitStatus(), QProcess::NormalExit);
        QCOMPARE(desk.exitCode(), 0);
        // Off air, as after Stop.
        QCOMPARE(written(".txt"), QByteArray("\n"));
        QVERIFY(written(".json").contains("\"onAir\": false"));
        const QList<TestSupport::AsRunRow> rows = TestSupport::todaysAsRunRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].outcome, QStringLiteral("stopped"));
        QVERIFY(!QFile::exists(journal));
        QVERIFY(!QFile::exists(deskResumeFile));
        QCOMPARE(markerHolders(), -1);
        QVERIFY(QDir::temp().entryList({QStringLiteral("qipc_*")}, QDir::Files).isEmpty());
        const QString kept = QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
                                 .value(QStringLiteral("files/recent"))
                                 .toString();
        QFile keptFile(kept);
        QVERIFY2(keptFile.open(QIODevice::ReadOnly), qPrintable(kept));
        QCOMPARE(keptFile.readAll(), (playlistLine(point.order[0]) + QLatin1Char('\n')).toUtf8());
        QVERIFY(desk.readAllStandardError().contains(kept.toLocal8Bit()));

        QProcess next;
        startDesk(next);
        QTRY_VERIFY_WITH_TIMEOUT(next.state() == QProcess::Running, kStartupToleranceMs);
        ::kill(pid_t(next.processId()), signal);
        QVERIFY(next.waitForFinished(kStartupToleranceMs));
        QCOMPARE(next.exitCode(), 0);
        QCOMPARE(TestSupport::todaysAsRunRows().size(), 1);
    }

    void crashReport_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGSEGV") << SIGSEGV;
        QTest::newRow("SIGABRT") << SIGABRT;
        QTest::newRow("SIGFPE") << SIGFPE;
    }

    void crashReport()
    {
        QFETCH(int, signal);
        QProcess desk;
        startDesk(desk);
        ::kill(pid_t(desk.processId()), signal);
        QVERIFY(desk.waitForFinished(kStartupToleranceMs));
        clearStaleMarker();

        QCOMPARE(desk.exitStatus(), QProcess::NormalExit);
        QCOMPARE(desk.exitCode(), 128 + signal);
        const QString report = QString::fromLocal8Bit(desk.readAllStandardError());
        const QString expected = QStringLiteral(
            "\n*** OrvaRadio crashed (signal %1) ***\n"
            "This is likely a bug in the FFmpeg audio decoder with certain MP3 files.\n"
            "Try converting the problematic file or check its integrity.\n").arg(signal);
        QVERIFY2(report.contains(expected), qPrintable(report));
        QCOMPARE(report.count(QStringLiteral("crashed (signal")), 1);
    }
};

ORVA_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
