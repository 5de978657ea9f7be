#include "testsupport.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QUrlQuery>

namespace {

// Time for the stream server's status to show a new title.
constexpr int kTitleShownMs = 3000;
// Time for the admin interface to answer.
constexpr int kReplyMs = 3000;

// Sets the mount's title through the server's admin interface, as a station
// tool would; returns the HTTP status, or 0 when the server does not answer.
int updateTitle(const TestSupport::StreamServer &server, const QString &title,
                const QString &password)
{
    QUrl url(server.url() + QStringLiteral("/admin/metadata"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("mount"), server.mount());
    query.addQueryItem(QStringLiteral("mode"), QStringLiteral("updinfo"));
    query.addQueryItem(QStringLiteral("song"), title);
    query.addQueryItem(QStringLiteral("charset"), QStringLiteral("UTF-8"));
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setRawHeader("Authorization",
                         "Basic " + (server.adminUser() + QLatin1Char(':') + password).toUtf8().toBase64());
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply *reply = manager.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(kReplyMs);
    reply->deleteLater();
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

class TestNowPlaying : public QObject
{
    Q_OBJECT

private slots:
    void streamServerRoundTrip();
};

// The test stream server takes a title in UTF-8, refuses a wrong password,
// and comes back on the same address with a fresh mount after a stop.
void TestNowPlaying::streamServerRoundTrip()
{
    TestSupport::StreamServer server;
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    const QString url = server.url();
    QCOMPARE(server.title(), QString());

    QCOMPARE(updateTitle(server, QStringLiteral("Canção"), server.adminPassword()), 200);
    QTRY_COMPARE_WITH_TIMEOUT(server.title(), QStringLiteral("Canção"), kTitleShownMs);
    QCOMPARE(updateTitle(server, QStringLiteral("Intruso"), QStringLiteral("wrong")), 401);

    server.stop();
    QCOMPARE(updateTitle(server, QStringLiteral("Ninguém"), server.adminPassword()), 0);
    QCOMPARE(server.title(), QString());

    QVERIFY2(server.start(), qPrintable(server.errorString()));
    QCOMPARE(server.url(), url);
    QCOMPARE(server.title(), QString());
    QCOMPARE(updateTitle(server, QStringLiteral("Ação - Banda"), server.adminPassword()), 200);
    QTRY_COMPARE_WITH_TIMEOUT(server.title(), QStringLiteral("Ação - Banda"), kTitleShownMs);
}

ORVA_TEST_MAIN(TestNowPlaying)
#include "tst_nowplaying.moc"
