#include "streamworker.h"

#include <QProcess>
#include <QTimer>

#include <mutex>

#include <pthread.h>
#include <shout/shout.h>
#include <signal.h>

namespace {

constexpr int kPollMs = 50;
// A server that has not taken the source within this is given up on.
constexpr int kConnectLimitMs = 10000;
// What the server may leave untaken before it counts as gone: about ten
// seconds of the stream.
constexpr int kMostQueuedSeconds = 10;
// How long an encoder that is replaced may take to hand over its last data.
constexpr int kLastDataMs = 300;

} // namespace

StreamWorker::StreamWorker(const Target &target, const QString &source)
    : FeedWorker(QStringLiteral("Stream"), source)
    , target(target)
    , ticker(new QTimer(this))
{
    ticker->setInterval(kPollMs);
    connect(ticker, &QTimer::timeout, this, &StreamWorker::poll);
}

StreamWorker::~StreamWorker()
{
    closeConnection();
}

void StreamWorker::begin()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] {
        shout_init();
    });
    // A server that closes the connection must not kill the desk: writing
    // to its socket fails instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    closeConnection();
    connection = shout_new();
    const QByteArray host = target.server.host().toUtf8();
    const QByteArray user = target.user.toUtf8();
    const QByteArray password = target.password.toUtf8();
    const QByteArray mount = target.mount.toUtf8();
    const bool tls = target.server.scheme() == QLatin1String("https");
    if (!connection || shout_set_host(connection, host.constData()) != SHOUTERR_SUCCESS
        || shout_set_port(connection, quint16(target.server.port(8000))) != SHOUTERR_SUCCESS
        || shout_set_user(connection, user.constData()) != SHOUTERR_SUCCESS
        || shout_set_password(connection, password.constData()) != SHOUTERR_SUCCESS
        || shout_set_mount(connection, mount.constData()) != SHOUTERR_SUCCESS
        || shout_set_protocol(connection, SHOUT_PROTOCOL_HTTP) != SHOUTERR_SUCCESS
        || shout_set_content_format(connection, target.opus ? SHOUT_FORMAT_OGG : SHOUT_FORMAT_MP3,
                                    SHOUT_USAGE_AUDIO, nullptr) != SHOUTERR_SUCCESS
        || shout_set_tls(connection, tls ? SHOUT_TLS_AUTO_NO_PLAIN : SHOUT_TLS_DISABLED) != SHOUTERR_SUCCESS
        || shout_set_nonblocking(connection, 1) != SHOUTERR_SUCCESS) {
        fail(QStringLiteral("cannot be set up for %1%2 (%3)")
                 .arg(target.server.toDisplayString(QUrl::RemoveUserInfo), target.mount, failure()));
        return;
    }
    const int opened = shout_open(connection);
    if (opened == SHOUTERR_SUCCESS) {
        connected();
    } else if (opened == SHOUTERR_BUSY) {
        connecting.start();
        ticker->start();
    } else {
        fail(QStringLiteral("cannot reach %1 (%2)").arg(target.server.toDisplayString(QUrl::RemoveUserInfo), failure()));
    }
}

void StreamWorker::poll()
{
    if (!connection || capture)
        return;
    const int state = shout_get_connected(connection);
    if (state == SHOUTERR_CONNECTED)
        connected();
    else if (state != SHOUTERR_BUSY && state != SHOUTERR_RETRY)
        fail(QStringLiteral("%1 refused the source for %2 (%3)")
                 .arg(target.server.toDisplayString(QUrl::RemoveUserInfo), target.mount, failure()));
    else if (connecting.elapsed() > kConnectLimitMs)
        fail(QStringLiteral("the server at %1 does not answer").arg(target.server.toDisplayString()));
}

void StreamWorker::connected()
{
    ticker->stop();
    startEncoder();
    running(QStringLiteral("on air to %1%2").arg(target.server.toDisplayString(QUrl::RemoveUserInfo), target.mount));
}

void StreamWorker::startEncoder()
{
    const QString bitrate = QString::number(target.kbps) + QLatin1Char('k');
    // Ogg pages of 200 ms rather than a second: less of the air waits in
    // the encoder, and less is lost when it ends.
    const QStringList output =
        target.opus ? QStringList{QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                                  QStringLiteral("libopus"), QStringLiteral("-b:a"), bitrate,
                                  QStringLiteral("-page_duration"), QStringLiteral("200000"),
                                  QStringLiteral("-f"), QStringLiteral("ogg"), QStringLiteral("pipe:1")}
                    : QStringList{QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                                  QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), bitrate,
                                  QStringLiteral("-f"), QStringLiteral("mp3"), QStringLiteral("pipe:1")};
    if (capture) {
        // The encoder on the old source ends its stream, and what it still
        // holds of the air goes out before the new one starts.
        capture->disconnect(this);
        capture->terminate();
        capture->waitForFinished(kLastDataMs);
        send();
    }
    QProcess *encoder = startCapture(output);
    connect(encoder, &QProcess::readyReadStandardOutput, this, &StreamWorker::send);
    connect(encoder, &QProcess::finished, this, [this] {
        fail(QStringLiteral("the encoder ended: ") + captureErrors());
    });
    connect(encoder, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail(QStringLiteral("ffmpeg cannot be started"));
    });
}

void StreamWorker::send()
{
    if (!capture || !connection)
        return;
    const QByteArray data = capture->readAllStandardOutput();
    const int sent = shout_send(connection, reinterpret_cast<const unsigned char *>(data.constData()),
                                size_t(data.size()));
    if (sent != SHOUTERR_SUCCESS && sent != SHOUTERR_BUSY) {
        fail(QStringLiteral("the server dropped the stream (%1)").arg(failure()));
        return;
    }
    if (shout_queuelen(connection) > ssize_t(target.kbps) * 125 * kMostQueuedSeconds)
        fail(QStringLiteral("the server does not take the stream"));
}

void StreamWorker::fail(const QString &reason)
{
    closeConnection();
    retryLater(reason);
}

void StreamWorker::sourceChanged()
{
    // The sending goes on; a new encoder starts on the new source. In Ogg,
    // that starts a new chained stream, with its own headers.
    startEncoder();
}

void StreamWorker::end()
{
    ticker->stop();
    closeConnection();
}

void StreamWorker::closeConnection()
{
    ticker->stop();
    if (!connection)
        return;
    shout_close(connection);
    shout_free(connection);
    connection = nullptr;
}

QString StreamWorker::failure() const
{
    return connection ? QString::fromUtf8(shout_get_error(connection)) : QStringLiteral("no memory");
}
