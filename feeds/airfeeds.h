#ifndef AIRFEEDS_H
#define AIRFEEDS_H

#include "feedworker.h"

#include <QObject>

class NowPlaying;
class OutputDevices;
class QSettings;
class QThread;

// The air as it goes to the air's output, sent on to a stream server and
// kept as an air check, each by a worker on a thread of its own, both
// following the air from one output to another, each failing on its own. Off
// unless the settings ("stream/...", "aircheck/...") turn them on. The stream
// carries what `nowPlaying` says is on air: an Opus stream in its own
// comments, an MP3 stream through the server, once the source is connected.
class AirFeeds : public QObject
{
    Q_OBJECT

public:
    AirFeeds(const QSettings &settings, OutputDevices *outputs, NowPlaying *nowPlaying, QObject *parent = nullptr);
    ~AirFeeds() override;

    FeedWorker::State streamState() const { return stream.state; }
    FeedWorker::State airCheckState() const { return airCheck.state; }
    // Both states, for the window, in the interface language.
    QString text() const;

    // Ends both feeds within a second: the end of a session waits no longer.
    void stop();

    // Where the air check goes when no folder was chosen.
    static QString airCheckFolder(const QString &stored);

signals:
    void changed();
    // The stream's source is connected to the server, or no longer.
    void streamConnected(bool connected);

private:
    struct Feed
    {
        QThread *thread = nullptr;
        FeedWorker *worker = nullptr;
        FeedWorker::State state = FeedWorker::State::Off;
        QString why; // what refused it
    };

    void run(Feed &feed, FeedWorker *worker);
    // The monitor of the output the air is heard on, handed to both
    // workers when it changes.
    void followAir(const QByteArray &output);
    QString airSource() const;

    OutputDevices *outputs;
    QString source;
    Feed stream;
    Feed airCheck;
};

#endif
