#include "feedworker.h"
#include "helperprocess.h"

#include <QDebug>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kLongestWaitSeconds = 30;
// A server that restarts or a network that drops briefly is back soon: it is
// tried often at first.
constexpr int kQuickWaitSeconds = 2;
constexpr qint64 kQuickTriesMs = 60000;
// After the quick tries the wait doubles every this much, up to the longest.
constexpr qint64 kBackOffStepMs = 15000;
// ffmpeg ends its file on SIGTERM at once; the session's end waits no longer.
constexpr int kCaptureEndMs = 300;
constexpr int kErrorTailBytes = 400;
// A feed that fails within this of its start has not been on: a folder or
// a source that refuses at once makes no pair of log lines at every try.
constexpr int kSteadyMs = 2000;

} // namespace

FeedWorker::FeedWorker(const QString &name, const QString &source)
    : source(source)
    , name(name)
    , retry(new QTimer(this))
    , steady(new QTimer(this))
{
    retry->setSingleShot(true);
    connect(retry, &QTimer::timeout, this, &FeedWorker::begin);
    steady->setSingleShot(true);
    steady->setInterval(kSteadyMs);
    connect(steady, &QTimer::timeout, this, [this] {
        if (state != State::On)
            qInfo().noquote() << this->name + QStringLiteral(": ") + runningWhat;
        failing.invalidate();
        steadyRun = true;
        setState(State::On);
    });
}

QString FeedWorker::monitorOf(const QByteArray &output)
{
    return output.isEmpty() ? QStringLiteral("@DEFAULT_MONITOR@")
                            : QString::fromUtf8(output) + QStringLiteral(".monitor");
}

int FeedWorker::retrySeconds(qint64 failingMs)
{
    if (failingMs < kQuickTriesMs)
        return kQuickWaitSeconds;
    const qint64 steps = std::min<qint64>(8, (failingMs - kQuickTriesMs) / kBackOffStepMs + 1);
    return int(std::min<qint64>(kLongestWaitSeconds, kQuickWaitSeconds << steps));
}

void FeedWorker::setSource(const QString &monitor)
{
    if (monitor == source)
        return;
    source = monitor;
    if (capture)
        sourceChanged();
}

void FeedWorker::finish()
{
    retry->stop();
    steady->stop();
    stopCapture();
    end();
    setState(State::Off);
    QThread::currentThread()->quit();
}

QProcess *FeedWorker::startCapture(const QStringList &output)
{
    stopCapture();
    capture = new QProcess(this);
    steadyRun = false;
    capture->setChildProcessModifier([] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::setpgid(0, 0);
    });
    capture->start(QStringLiteral("ffmpeg"),
                   QStringList{QStringLiteral("-nostdin"), QStringLiteral("-hide_banner"),
                               QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                               QStringLiteral("pulse"), QStringLiteral("-name"),
                               QStringLiteral("OrvaRadio ") + name, QStringLiteral("-i"), source}
                       + output);
    return capture;
}

void FeedWorker::stopCapture()
{
    if (!capture)
        return;
    QProcess *ending = capture;
    capture = nullptr;
    ending->disconnect(this);
    if (ending->state() != QProcess::NotRunning) {
        ending->terminate();
        if (!ending->waitForFinished(kCaptureEndMs)) {
            HelperProcess::abandon(ending);
            return;
        }
    }
    // It may be the sender of the signal being handled.
    ending->deleteLater();
}

QString FeedWorker::captureErrors() const
{
    if (!capture)
        return QString();
    const QString errors = QString::fromLocal8Bit(capture->readAllStandardError().right(kErrorTailBytes)).trimmed();
    if (!errors.isEmpty())
        return errors;
    // A crashed process's code is the signal that ended it.
    return capture->exitStatus() == QProcess::CrashExit ? QStringLiteral("ffmpeg was killed (signal %1)").arg(capture->exitCode())
                                                         : QStringLiteral("ffmpeg ended (%1)").arg(capture->exitCode());
}

void FeedWorker::retryLater(const QString &reason)
{
    if (!failing.isValid())
        failing.start();
    wait(State::Waiting, reason, retrySeconds(failing.elapsed()));
}

void FeedWorker::refused(const QString &reason, const QString &why)
{
    // Asking again soon would not change the answer.
    wait(State::Refused, reason, kLongestWaitSeconds, why);
}

void FeedWorker::wait(State next, const QString &reason, int seconds, const QString &why)
{
    steady->stop();
    stopCapture();
    if (state != next)
        qWarning().noquote() << name + QStringLiteral(": ") + reason
                                    + (next == State::Refused
                                           ? QStringLiteral("; trying again every %1 s").arg(seconds)
                                           : QStringLiteral("; trying again, at most every %1 s")
                                                 .arg(kLongestWaitSeconds));
    setState(next, why);
    retry->start(seconds * 1000);
}

void FeedWorker::running(const QString &what)
{
    runningWhat = what;
    steady->start();
}

void FeedWorker::setState(State next, const QString &why)
{
    if (next == state && why == shownWhy)
        return;
    state = next;
    shownWhy = why;
    emit stateChanged(state, why);
}
