#ifndef PLAYOUTRETRY_H
#define PLAYOUTRETRY_H

#include <QList>
#include <QObject>
#include <QString>

class QMediaPlayer;
class QTimer;

// Keeps a run of failing items from turning into a storm. A lone bad file is
// skipped at once; once several items fail in a row (or a whole round of a
// short running order), the sound path or the media are taken to be gone, and
// the desk waits before it tries again, longer each time. It tries at once
// when the sound server's socket or the file it wants comes back.
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
    // The operator took over, or the desk went off air.
    void cancel();
    bool waiting() const;
    int pauseMs() const { return currentPauseMs; }

    // Whether the sound server's socket takes connections; true when there
    // is no socket to look at.
    static bool soundServerReachable();

signals:
    void retryDue();

private:
    void checkPath();
    bool pathReachable() const;

    int failures = 0;
    int retries = 0;
    int currentPauseMs = 0;
    QString failedFile;
    bool pathWasDown = false;
    QTimer *pause;
    QTimer *probe;
};

// Players whose sound output may hold on to a dead server connection: every
// one that is not playing, or that failed, lets go of its source.
void releaseIdlePlayers(const QList<QMediaPlayer *> &players);

#endif
