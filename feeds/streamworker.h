#ifndef STREAMWORKER_H
#define STREAMWORKER_H

#include "feedworker.h"

#include <QElapsedTimer>
#include <QUrl>

struct shout;
class QTimer;

// Sends the air to a stream server's mount as its source (Icecast 2
// protocol, through libshout), encoded by ffmpeg as MP3 or Ogg Opus. The
// password stays in this process: it is on no command line and in no
// environment, and in no log line.
class StreamWorker : public FeedWorker
{
    Q_OBJECT

public:
    struct Target
    {
        QUrl server;
        QString mount = QStringLiteral("/live");
        QString user = QStringLiteral("source");
        QString password;
        bool opus = false;
        int kbps = 128;
    };

    StreamWorker(const Target &target, const QString &source);
    ~StreamWorker() override;

    void begin() override;

protected:
    void sourceChanged() override;
    void end() override;

private:
    void poll();
    void connected();
    void startEncoder();
    void send();
    // Closes the connection and tries again later.
    void fail(const QString &reason);
    void closeConnection();
    QString failure() const;

    Target target;
    shout *connection = nullptr;
    QTimer *ticker;
    QElapsedTimer connecting;
};

#endif
