#ifndef STREAMWORKER_H
#define STREAMWORKER_H

#include "feedworker.h"

#include <QElapsedTimer>
#include <QUrl>

struct OggOpusEnc;
struct shout;
class QTimer;

// Sends the air to a stream server's mount as its source (Icecast 2
// protocol, through libshout), encoded as MP3 by ffmpeg, or as Ogg Opus in
// this process from ffmpeg's capture, so that each change of title can start
// a new chained Ogg stream with the title in its comments, with no gap in the
// sound. The password stays in this process: it is on no command line and in
// no environment, and in no log line.
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
    // What is on air, for the Opus stream's comments: a new chained stream
    // carries it from the sound then being sent. An MP3 stream's title is
    // set through the server instead.
    void setTitle(const QString &line);

protected:
    void sourceChanged() override;
    void end() override;

private:
    void poll();
    void connected();
    void startEncoder();
    void send();
    void encode(const QByteArray &pcm);
    bool startOpus();
    void endOpus();
    // Closes the connection and tries again later.
    void fail(const QString &reason);
    void refusedOrGone(int error);
    void closeConnection();
    QString failure() const;

    Target target;
    shout *connection = nullptr;
    QTimer *ticker;
    QElapsedTimer connecting;
    OggOpusEnc *opus = nullptr;
    QByteArray partFrame; // the capture's last bytes short of a whole frame
    QString title;
    bool chainWanted = false; // the title changed since the stream's comments
    bool sendFailed = false;
};

#endif
