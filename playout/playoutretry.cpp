#include "playoutretry.h"

#include <QDebug>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Failures in a row that make a run: fewer are bad files, skipped at once.
constexpr int kRunLength = 3;
constexpr int kFirstPauseMs = 1000;
constexpr int kLongestPauseMs = 10000;
// How often a waiting desk looks for its way back; a connect() on a local
// socket and a stat() cost next to nothing.
constexpr int kProbeMs = 250;
// How often the sound server is looked at while it is there.
constexpr int kServerWatchMs = 1000;

QString soundServerSocket()
{
    const QString server = qEnvironmentVariable("PULSE_SERVER");
    if (server.startsWith(QLatin1String("unix:")))
        return server.mid(5);
    if (!server.isEmpty())
        return QString();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/pulse/native");
}

} // namespace

PlayoutRetry::PlayoutRetry(QObject *parent)
    : QObject(parent)
    , pause(new QTimer(this))
    , skip(new QTimer(this))
    , probe(new QTimer(this))
    , serverWatch(new QTimer(this))
{
    pause->setSingleShot(true);
    connect(pause, &QTimer::timeout, this, [this] {
        probe->stop();
        if (!serverLost)
            emit retryDue();
    });
    skip->setSingleShot(true);
    skip->setInterval(0);
    connect(skip, &QTimer::timeout, this, &PlayoutRetry::retryDue);
    probe->setInterval(kProbeMs);
    connect(probe, &QTimer::timeout, this, &PlayoutRetry::checkPath);
    connect(serverWatch, &QTimer::timeout, this, &PlayoutRetry::checkServer);
    serverWatch->start(kServerWatchMs);
    checkServer();
}

PlayoutRetry::Action PlayoutRetry::failed(int round, const QString &file)
{
    checkServer();
    if (pause->isActive() || serverLost)
        return Action::Wait;
    ++failures;
    if (failures < std::min(kRunLength, std::max(round, 1)))
        return Action::Skip;

    const bool runBegins = !pause->isActive() && retries == 0;
    // A failure that names no file (an order of time entries) waits its pause out.
    const bool pathUp = (file.isEmpty() || QFileInfo::exists(file)) && soundServerReachable();
    currentPauseMs = std::min(kFirstPauseMs << std::min(retries, 8), kLongestPauseMs);
    ++retries;
    failedFile = file;
    pathWasDown = !pathUp;
    qWarning() << "Playout failing:" << failures << "items in a row - trying again in"
               << currentPauseMs << "ms";
    pause->start(currentPauseMs);
    probe->start();
    // With the way out there, the failure was the item's own: its successor
    // gets the next try.
    return runBegins || pathUp ? Action::AdvanceAndWait : Action::Wait;
}

void PlayoutRetry::heard()
{
    if (failures == 0 && retries == 0)
        return;
    failures = 0;
    retries = 0;
    currentPauseMs = 0;
}

void PlayoutRetry::skipSoon()
{
    skip->start();
}

void PlayoutRetry::cancel()
{
    pause->stop();
    skip->stop();
    probe->stop();
    heard();
}

bool PlayoutRetry::waiting() const
{
    return pause->isActive() || serverLost;
}

bool PlayoutRetry::soundServerReachable()
{
    const QString path = soundServerSocket();
    if (path.isEmpty() || !QFileInfo::exists(path))
        return path.isEmpty();
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address = {};
    if (size_t(name.size()) >= sizeof(address.sun_path))
        return true;
    address.sun_family = AF_UNIX;
    std::copy(name.cbegin(), name.cend(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true;
    const bool reached =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return reached;
}

bool PlayoutRetry::pathReachable() const
{
    return (failedFile.isEmpty() || QFileInfo::exists(failedFile)) && soundServerReachable();
}

void PlayoutRetry::checkPath()
{
    // A server that comes back takes a fresh start, not another try.
    if (serverLost || !pathWasDown || !pathReachable())
        return;
    // Back: no reason to sit out the rest of the pause.
    pause->stop();
    probe->stop();
    emit retryDue();
}

void PlayoutRetry::expectSoundServer()
{
    serverSeen = true;
    checkServer();
}

void PlayoutRetry::checkServer()
{
    const bool reachable = soundServerReachable();
    // A desk that never reached a server plays through something else.
    if (!serverSeen) {
        serverSeen = reachable;
        return;
    }
    if (reachable == !serverLost)
        return;
    serverLost = !reachable;
    // Looked at often while it is gone: the way back should be short.
    serverWatch->setInterval(serverLost ? kProbeMs : kServerWatchMs);
    if (serverLost) {
        qWarning() << "Sound server gone - waiting for it";
        emit soundServerGone();
    } else {
        qWarning() << "Sound server back";
        emit soundServerBack();
    }
}
