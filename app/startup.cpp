#include "startup.h"
#include "airguard.h"
#include "commandline.h"
#include "mainwindow.h"
#include "selfrestart.h"
#include "sessionend.h"

#include <QApplication>
#include <QDebug>
#include <QPixmap>
#include <QSharedMemory>
#include <QSplashScreen>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <memory>
#include <vector>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

const char *const kSingleInstanceKey = "com.studiokit.orvaradio.singleinstance";

void limitAllocatorArenas()
{
#ifdef __GLIBC__
    // Measured with the soak on Qt 6.8: without a limit the resident memory
    // grew by more than 20 MB over forty items; with two arenas it levels off.
    mallopt(M_ARENA_MAX, 2);
#endif
}

namespace {

volatile sig_atomic_t crashed = 0;

void writeAll(const char *text, size_t length)
{
    while (length > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, length);
        if (n <= 0)
            return;
        text += n;
        length -= size_t(n);
    }
}

void writeText(const char *text)
{
    size_t length = 0;
    while (text[length])
        ++length;
    writeAll(text, length);
}

// Decimal digits without printf, which is not safe inside a signal handler.
void writeNumber(int value)
{
    char digits[12];
    size_t pos = sizeof digits;
    unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    do {
        digits[--pos] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0 && pos > 1);
    if (value < 0)
        digits[--pos] = '-';
    writeAll(digits + pos, sizeof digits - pos);
}

// How long a fresh start of the desk waits for its marker to be free.
constexpr int kMarkerTries = 10;
constexpr unsigned long kMarkerRetryMs = 100;

bool keepsTheAirWithoutMarker(QSharedMemory &marker)
{
    if (!SelfRestart::resuming())
        return false;
    // The fresh start of this very desk, which held the marker: a holder
    // may linger a moment (a child of the replaced process that had not yet
    // started its program), and the air never waits on it for long.
    for (int tries = 0; tries < kMarkerTries; ++tries) {
        QThread::msleep(kMarkerRetryMs);
        if (takeInstanceMarker(marker))
            return true;
    }
    qWarning() << "The single-instance marker is held elsewhere; this desk was on air and goes on without it";
    return true;
}

} // namespace

void crashHandler(int signal)
{
    if (!crashed) {
        crashed = 1;
        writeText("\n*** OrvaRadio crashed (signal ");
        writeNumber(signal);
        writeText(") ***\n");
        writeText("This is likely a bug in the FFmpeg audio decoder with certain MP3 files.\n");
        writeText("Try converting the problematic file or check its integrity.\n");
        // stderr is unbuffered and written with write(2): nothing left to flush.
        SelfRestart::execAfterCrash();
    }
    ::_exit(128 + signal);
}

void installCrashHandler()
{
    // SA_NODEFER lets a fault inside the report re-enter the handler, which then
    // exits with the same status instead of the kernel killing the process.
    struct sigaction action = {};
    action.sa_handler = crashHandler;
    action.sa_flags = SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGSEGV, SIGABRT, SIGFPE})
        sigaction(signal, &action, nullptr);
}

void setInstanceKey(QSharedMemory &marker)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
    marker.setNativeKey(QSharedMemory::legacyNativeKey(QString::fromLatin1(kSingleInstanceKey)));
#else
    marker.setKey(QString::fromLatin1(kSingleInstanceKey));
#endif
}

bool takeInstanceMarker(QSharedMemory &marker)
{
    if (marker.create(1, QSharedMemory::ReadWrite))
        return true;
    if (marker.error() != QSharedMemory::AlreadyExists)
        return false;
    // Detaching removes the segment when we were its only holder, i.e. when the
    // desk that created it is gone; a live desk keeps it attached.
    if (marker.attach(QSharedMemory::ReadOnly))
        marker.detach();
    return marker.create(1, QSharedMemory::ReadWrite);
}

QPalette darkPalette()
{
    const QColor window(48, 48, 48);
    const QColor text(220, 220, 220);
    const QColor accent(85, 170, 255);
    const QColor disabledText(127, 127, 127);

    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(36, 36, 36));
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, text);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(64, 64, 64));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::black);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    return palette;
}

void applyDeskStyle(QApplication &app, const QStringList &styleNames)
{
    if (styleNames.contains(QStringLiteral("gtk3"), Qt::CaseInsensitive)) {
        app.setStyle(QStringLiteral("gtk3"));
        return;
    }
    app.setStyle(QStringLiteral("Fusion"));
    app.setPalette(darkPalette());
    app.setStyleSheet(QStringLiteral(
        "QToolTip { color: #ffffff; background-color: #2a82da; border: 1px solid white; }"));
}

void handOverSplash(QSplashScreen *splash, QWidget *window)
{
    splash->finish(window);
    splash->close();
    window->show();
}

int runDesk(int &argc, char **argv, const std::function<void(MainWindow &)> &ready)
{
    // The application may take its own options out of argv; a fresh start
    // gets them all again.
    std::vector<char *> arguments(argv, argv + argc + 1);
    SelfRestart::rememberArguments(arguments.data());

    std::unique_ptr<QApplication> app;
    {
        DisplayCheck displayCheck;
        app = std::make_unique<QApplication>(argc, argv);
    }
    auto sessionEnd = std::make_unique<SessionEnd>();

    auto marker = std::make_unique<QSharedMemory>();
    setInstanceKey(*marker);
    if (!takeInstanceMarker(*marker) && !keepsTheAirWithoutMarker(*marker)) {
        marker.reset();
        sessionEnd.reset();
        app.reset();
        return 0;
    }

    QCoreApplication::setOrganizationName(QStringLiteral("OrvaRadio"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvaRadio"));

    auto window = std::make_unique<MainWindow>();

    auto picture = std::make_unique<QPixmap>(QStringLiteral(":/images/splash-02.png"));
    auto scaled = std::make_unique<QPixmap>(
        picture->scaled(500, 300, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    auto splash = std::make_unique<QSplashScreen>(*scaled);

    auto styleNames = std::make_unique<QStringList>(QStyleFactory::keys());
    applyDeskStyle(*app, *styleNames);

    auto handOverTimer = std::make_unique<QTimer>();
    if (SelfRestart::resuming()) {
        SelfRestart::resume(*window);
        window->show();
    } else {
        splash->show();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        handOverTimer->setSingleShot(true);
        QObject::connect(handOverTimer.get(), &QTimer::timeout, splash.get(),
                         [&splash, &window] { handOverSplash(splash.get(), window.get()); });
        handOverTimer->start(2000);
    }
    // Building the window and painting the splash run events before the loop
    // does: an end asked for then is taken up here, and the loop never runs.
    bool sessionEnded = false;
    const auto endOnce = [&window, &sessionEnded](int signal) {
        if (!sessionEnded)
            endSession(*window, signal);
        sessionEnded = true;
    };
    QObject::connect(sessionEnd.get(), &SessionEnd::requested, window.get(), endOnce);
    if (const int signal = sessionEnd->received())
        endOnce(signal);
    if (ready)
        ready(*window);

    const int code = sessionEnded ? 0 : QApplication::exec();
    if (code == SelfRestart::kExitCode) {
        // The rest goes with the process image; taking the window down could
        // wait on a media framework whose sound connection is dead.
        marker.reset();
        SelfRestart::exec(arguments.data());
        return 1;
    }

    handOverTimer.reset();
    styleNames.reset();
    splash.reset();
    scaled.reset();
    picture.reset();
    window.reset();
    marker.reset();
    sessionEnd.reset();
    app.reset();
    return code;
}
