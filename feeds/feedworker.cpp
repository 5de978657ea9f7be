#include "feedworker.h"
#include "helperprocess.h"

#include <QDebug>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <signal.h>
#include <sys/prctl.h>

namespace {

constexpr int kLongestWaitSeconds = 30;
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
        failures = 0;
        setState(State::On);
    });
}

QString FeedWorker::monitorOf(const QByteArray &output)
{
    return output.isEmpty() ? QStringLiteral("@DEFAULT_MONITOR@")
                            : QString::fromUtf8(output) + QStringLiteral(".monitor");
}

int FeedWorker::retrySeconds(int failures)
{
    return failures >= 6 ? kLongestWaitSeconds : std::min(kLongestWaitSeconds, 1 << std::max(0, failures - 1));
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
    capture->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
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
    return capture->exitStatus() == QProcess::CrashExit ? QStringLiteral("ffmpeg was killed")
                                                         : QStringLiteral("ffmpeg ended (%1)").arg(capture->exitCode());
}

void FeedWorker::retryLater(const QString &reason)
{
    steady->stop();
    stopCapture();
    ++failures;
    const int wait = retrySeconds(failures);
    if (state != State::Waiting)
        qWarning().noquote() << name + QStringLiteral(": ") + reason
                                    + QStringLiteral("; trying again, at most every %1 s").arg(kLongestWaitSeconds);
    setState(State::Waiting);
    retry->start(wait * 1000);
}

void FeedWorker::running(const QString &what)
{
    runningWhat = what;
    steady->start();
}

void FeedWorker::setState(State next)
{
    if (next == state)
        return;
    state = next;
    emit stateChanged(state);
}
