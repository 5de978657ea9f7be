#include "streamtitle.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// A title sent to a slow server must not hold back the next one for long.
constexpr int kAnswerTimeoutMs = 5000;
constexpr int kRetryMs = 5000;

} // namespace

StreamTitle::StreamTitle(const QUrl &server, const QString &mount, const QString &user,
                         const QString &password, QObject *parent)
    : QObject(parent)
    , network(new QNetworkAccessManager(this))
    , retry(new QTimer(this))
    , server(server)
    , mount(mount)
    , authorization("Basic "
                    + ((user.isEmpty() ? QStringLiteral("admin") : user) + QLatin1Char(':') + password)
                          .toUtf8()
                          .toBase64())
{
    retry->setSingleShot(true);
    connect(retry, &QTimer::timeout, this, &StreamTitle::send);
    connect(network, &QNetworkAccessManager::finished, this, &StreamTitle::answered);
}

QUrl StreamTitle::updateUrl(const QUrl &server, const QString &mount, const QString &title)
{
    QUrl url = server;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/admin/metadata"));
    const QString mountPath = mount.startsWith(QLatin1Char('/')) ? mount : QLatin1Char('/') + mount;
    // Every value fully percent-encoded (UTF-8): a '+' or '&' in a title
    // must reach the server as itself.
    url.setQuery(QStringLiteral("mount=") + QString::fromLatin1(QUrl::toPercentEncoding(mountPath))
                     + QStringLiteral("&mode=updinfo&song=")
                     + QString::fromLatin1(QUrl::toPercentEncoding(title))
                     + QStringLiteral("&charset=UTF-8"),
                 QUrl::StrictMode);
    return url;
}

void StreamTitle::setTitle(const QString &title)
{
    wanted = title;
    pending = true;
    // While the server fails, the next retry brings the latest title.
    if (!retry->isActive())
        send();
}

void StreamTitle::setReady(bool takes)
{
    if (takes == ready)
        return;
    ready = takes;
    retry->stop();
    if (!ready)
        return;
    failure.clear();
    pending = true;
    send();
}

void StreamTitle::send()
{
    if (asking || !pending || !ready)
        return;
    QNetworkRequest request(updateUrl(server, mount, wanted));
    request.setRawHeader("Authorization", authorization);
    request.setTransferTimeout(kAnswerTimeoutMs);
    asking = true;
    pending = false;
    network->get(request);
}

void StreamTitle::answered(QNetworkReply *reply)
{
    reply->deleteLater();
    asking = false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        if (!failure.isEmpty())
            qInfo().noquote() << "Now playing: the stream server answers again";
        failure.clear();
        send();
        return;
    }
    // The title did not get there: it goes again with the retry, unless a
    // newer one is waiting. A mount whose source went meanwhile gets it when
    // the source is back, with nothing to log.
    pending = true;
    if (!ready)
        return;
    const QString what = status > 0 ? QStringLiteral("refused (%1)").arg(status)
                                    : QStringLiteral("does not answer");
    if (what != failure) {
        if (status > 0)
            qWarning().noquote() << "Now playing: the stream server" << what;
        else
            qWarning().noquote() << "Now playing: the stream server" << what + QLatin1Char(':')
                                 << reply->errorString();
    }
    failure = what;
    retry->start(kRetryMs);
}
