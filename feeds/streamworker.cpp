#include "streamworker.h"

#include <QDebug>
#include <QProcess>
#include <QTimer>

#include <mutex>

#include <opusenc.h>
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
// The Opus stream is encoded from 48 kHz 16-bit stereo.
constexpr int kOpusRate = 48000;
constexpr int kFrameBytes = 4;
// Ogg pages of 200 ms rather than a second: less of the air waits in the
// encoder, and less is lost when it ends.
constexpr int kPageSamples = kOpusRate / 5;

OggOpusComments *commentsFor(const QString &title)
{
    OggOpusComments *comments = ope_comments_create();
    // The line names the artist too, as the MP3 stream's title does.
    if (comments && !title.isEmpty())
        ope_comments_add(comments, "TITLE", title.toUtf8().constData());
    return comments;
}

// What the server does with the source: not there (tried again soon), or
// there but saying no (the login, TLS), which another try will not change.
bool unreachable(int error)
{
    return error == SHOUTERR_NOCONNECT || error == SHOUTERR_SOCKET;
}

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
        refusedOrGone(opened);
    }
}

void StreamWorker::refusedOrGone(int error)
{
    const QString server = target.server.toDisplayString(QUrl::RemoveUserInfo);
    if (unreachable(error)) {
        fail(QStringLiteral("cannot reach %1 (%2)").arg(server, failure()));
        return;
    }
    const QString reason = QStringLiteral("%1 refused the source for %2 (%3)").arg(server, target.mount, failure());
    // A login turned away is what the window explains; anything else is
    // shown as the server's own words.
    const QString why = error == SHOUTERR_NOLOGIN ? QString() : failure();
    closeConnection();
    refused(reason, why);
}

void StreamWorker::poll()
{
    if (!connection || capture)
        return;
    const int state = shout_get_connected(connection);
    if (state == SHOUTERR_CONNECTED)
        connected();
    else if (state != SHOUTERR_BUSY && state != SHOUTERR_RETRY)
        refusedOrGone(state);
    else if (connecting.elapsed() > kConnectLimitMs)
        fail(QStringLiteral("the server at %1 does not answer").arg(target.server.toDisplayString()));
}

void StreamWorker::connected()
{
    ticker->stop();
    if (target.opus && !startOpus()) {
        fail(QStringLiteral("the Opus encoder cannot be set up"));
        return;
    }
    startEncoder();
    running(QStringLiteral("on air to %1%2").arg(target.server.toDisplayString(QUrl::RemoveUserInfo), target.mount));
}

void StreamWorker::startEncoder()
{
    const QString bitrate = QString::number(target.kbps) + QLatin1Char('k');
    const QStringList output =
        target.opus ? QStringList{QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-ar"),
                                  QString::number(kOpusRate), QStringLiteral("-f"), QStringLiteral("s16le"),
                                  QStringLiteral("pipe:1")}
                    : QStringList{QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                                  QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), bitrate,
                                  QStringLiteral("-f"), QStringLiteral("mp3"), QStringLiteral("pipe:1")};
    if (capture) {
        // The capture of the old source ends, and what it still holds of the
        // air goes out before the new one starts.
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
    if (opus) {
        encode(data);
    } else {
        const int sent = shout_send(connection, reinterpret_cast<const unsigned char *>(data.constData()),
                                    size_t(data.size()));
        sendFailed = sent != SHOUTERR_SUCCESS && sent != SHOUTERR_BUSY;
    }
    if (sendFailed) {
        fail(QStringLiteral("the server dropped the stream (%1)").arg(failure()));
        return;
    }
    if (shout_queuelen(connection) > ssize_t(target.kbps) * 125 * kMostQueuedSeconds)
        fail(QStringLiteral("the server does not take the stream"));
}

void StreamWorker::setTitle(const QString &line)
{
    if (line == title)
        return;
    title = line;
    chainWanted = opus != nullptr;
}

bool StreamWorker::startOpus()
{
    endOpus();
    const OpusEncCallbacks callbacks{
        [](void *worker, const unsigned char *page, opus_int32 length) {
            auto *self = static_cast<StreamWorker *>(worker);
            const int sent = self->connection ? shout_send(self->connection, page, size_t(length)) : SHOUTERR_UNCONNECTED;
            if (sent == SHOUTERR_SUCCESS || sent == SHOUTERR_BUSY)
                return 0;
            self->sendFailed = true;
            return 1;
        },
        [](void *) { return 0; }};
    OggOpusComments *comments = commentsFor(title);
    int error = OPE_OK;
    opus = comments ? ope_encoder_create_callbacks(&callbacks, this, comments, kOpusRate, 2, 0, &error) : nullptr;
    ope_comments_destroy(comments);
    chainWanted = false;
    // Encoded as the sound comes, without waiting to choose frame sizes.
    return opus && ope_encoder_ctl(opus, OPUS_SET_BITRATE(target.kbps * 1000)) == OPE_OK
           && ope_encoder_ctl(opus, OPE_SET_MUXING_DELAY(kPageSamples)) == OPE_OK
           && ope_encoder_ctl(opus, OPE_SET_DECISION_DELAY(0)) == OPE_OK;
}

void StreamWorker::encode(const QByteArray &pcm)
{
    partFrame += pcm;
    const int frames = int(partFrame.size() / kFrameBytes);
    if (frames == 0)
        return;
    if (ope_encoder_write(opus, reinterpret_cast<const opus_int16 *>(partFrame.constData()), frames) != OPE_OK)
        sendFailed = true;
    partFrame.remove(0, qsizetype(frames) * kFrameBytes);
    // A new title starts a new chained stream right after the sound just
    // taken, so that it comes with the item and not before it; the chain
    // keeps the sound whole across the join.
    if (chainWanted && !sendFailed) {
        chainWanted = false;
        OggOpusComments *comments = commentsFor(title);
        if (!comments || ope_encoder_chain_current(opus, comments) != OPE_OK)
            qWarning().noquote() << "Stream: the title could not be put in the Opus stream";
        ope_comments_destroy(comments);
    }
}

void StreamWorker::endOpus()
{
    if (opus)
        ope_encoder_destroy(opus);
    opus = nullptr;
    partFrame.clear();
    sendFailed = false;
}

void StreamWorker::fail(const QString &reason)
{
    closeConnection();
    retryLater(reason);
}

void StreamWorker::sourceChanged()
{
    // The sending goes on; a new capture starts on the new source. The Opus
    // encoder goes on as it was; an MP3 stream simply runs on.
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
    endOpus();
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
