#ifndef FEEDWORKER_H
#define FEEDWORKER_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;
class QTimer;

// What the desk sends on from its air output (the stream, the air check)
// captures the sound server's monitor of that output with ffmpeg, on a
// thread of its own, so that a server, a folder or a helper that hangs
// never holds the window. A worker that fails tries again every 2 s for the
// first minute, then less often, at most every 30 s; one that is refused
// (a wrong password) every 30 s. It logs each change of its state once.
class FeedWorker : public QObject
{
    Q_OBJECT

public:
    enum class State { Off, Waiting, Refused, On };
    Q_ENUM(State)

    // `name` heads the worker's log lines.
    FeedWorker(const QString &name, const QString &source);

    // The sound server's source that carries the air: the monitor of the
    // air's output, or the default output's monitor while the air has no
    // output of its own.
    static QString monitorOf(const QByteArray &output);

    // The wait before the next try, `failingMs` into a failure.
    static int retrySeconds(qint64 failingMs);

public slots:
    // On the worker's thread: starts the work; takes a new source; ends
    // the work, stops the thread and leaves the worker to be deleted.
    virtual void begin() = 0;
    void setSource(const QString &monitor);
    void finish();

signals:
    // `why` says what refused the work, for the operator.
    void stateChanged(FeedWorker::State state, const QString &why);

protected:
    // Starts ffmpeg on the air with `output` as its output arguments. It
    // dies with the thread that started it, so a killed desk leaves no
    // capture behind to write on; a process group of its own keeps a signal
    // meant for the desk's group (a terminal's Ctrl-C) from cutting it
    // short of the desk's own ending.
    QProcess *startCapture(const QStringList &output);
    void stopCapture();
    // The capture's last error lines, for a log line.
    QString captureErrors() const;
    // Called when the source changed while the work runs.
    virtual void sourceChanged() = 0;
    // Cleans up what the worker holds beyond the capture.
    virtual void end() {}

    // Logs `reason` if the worker was not already waiting, and calls
    // begin() again after the next wait.
    void retryLater(const QString &reason);
    // The far end turned the work away: tried again at the slow pace, with
    // `why` shown; `reason` is logged once.
    void refused(const QString &reason, const QString &why);
    // The work runs: once it has run a moment without failing, a log line
    // if it was not on, and the waits start over.
    void running(const QString &what);
    // Whether the capture had run steadily when it ended: a crash then
    // costs no more than a start, and its worker may start again at once;
    // one that keeps failing waits as usual.
    bool ranSteadily() const { return steadyRun; }

    QString source;
    QProcess *capture = nullptr;

private:
    void wait(State next, const QString &reason, int seconds, const QString &why = QString());
    void setState(State next, const QString &why = QString());

    QString name;
    QTimer *retry;
    QTimer *steady;
    QString runningWhat;
    QElapsedTimer failing; // since the first failure after the work last ran
    bool steadyRun = false; // since the capture last started
    State state = State::Off;
    QString shownWhy;
};

#endif
