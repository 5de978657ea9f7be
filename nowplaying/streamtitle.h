#ifndef STREAMTITLE_H
#define STREAMTITLE_H

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Keeps a stream server's title for one mount up to date through its admin
// interface ("/admin/metadata", mode "updinfo", HTTP basic authentication),
// without ever waiting for it: one request at a time, the latest title wins,
// and a server that fails is asked again every few seconds until it takes
// the title. Each change of the server's state is one log line, not one per
// item. A title for the mount the desk streams to waits until the desk's
// source is connected: the server knows no such mount before.
class StreamTitle : public QObject
{
    Q_OBJECT

public:
    StreamTitle(const QUrl &server, const QString &mount, const QString &user,
                const QString &password, QObject *parent = nullptr);

    void setTitle(const QString &title);
    // Whether the mount takes titles now; a mount that comes back gets the
    // latest title again.
    void setReady(bool ready);
    // A title is on its way to the server or waits to be sent.
    bool busy() const { return asking || (pending && ready); }

    // The update request's address for `title`.
    static QUrl updateUrl(const QUrl &server, const QString &mount, const QString &title);

private:
    void send();
    void answered(QNetworkReply *reply);

    QNetworkAccessManager *network;
    QTimer *retry;
    QUrl server;
    QString mount;
    QByteArray authorization;
    QString wanted;
    bool pending = false; // `wanted` has not reached the server yet
    bool asking = false;
    bool ready = true;
    QString failure; // what the server did last time it failed; empty once it answers
};

#endif
