#ifndef PLAYOUTRETRY_H
#define PLAYOUTRETRY_H

#include <QObject>
#include <QString>

class QTimer;

// Keeps a run of failing items from turning into a storm. A lone bad file is
// skipped at once; once several items fail in a row (or a whole round of a
// short running order), the sound path or the media are taken to be gone, and
// the desk waits before it tries again, longer each time. It tries at once
// when the sound server's socket or the file it wants comes back.
// It also keeps an eye on the sound server itself: while its socket takes no
// connections, nothing is tried and the desk waits for it.
class PlayoutRetry : public QObject
{
    Q_OBJECT

public:
    enum class Action {
        Skip,          // a lone failure: on to the following entry now
        AdvanceAndWait, // the run begins: the following entry, after a pause
        Wait,          // the run goes on: the same entry, after a pause
    };

    explicit PlayoutRetry(QObject *parent = nullptr);

    // An item failed before it was heard. `round` is the number of entries in
    // the running order, `file` what failed.
    Action failed(int round, const QString &file);
    // Something was heard: the run is over.
    void heard();
    // After a Skip that started nothing: retryDue comes from the event loop,
    // so that a run of failures never nests in itself.
    void skipSoon();
    // The operator took over, or the desk went off air.
    void cancel();
    // Waiting out a pause, or for the sound server.
    bool waiting() const;
    bool soundServerLost() const { return serverLost; }
    bool soundServerSeen() const { return serverSeen; }
    // This desk is known to play through a sound server (it had reached one
    // before a fresh start): from now on, one that does not answer is gone.
    void expectSoundServer();
    int pauseMs() const { return currentPauseMs; }

    // Whether the sound server's socket takes connections; true when there
    // is no socket to look at.
    static bool soundServerReachable();

signals:
    void retryDue();
    // The sound server's socket stopped taking connections; it takes them again.
    void soundServerGone();
    void soundServerBack();

private:
    void checkPath();
    void checkServer();
    bool pathReachable() const;

    int failures = 0;
    int retries = 0;
    int currentPauseMs = 0;
    QString failedFile;
    bool pathWasDown = false;
    bool serverSeen = false;
    bool serverLost = false;
    QTimer *pause;
    QTimer *skip;
    QTimer *probe;
    QTimer *serverWatch;
};

#endif
