#ifndef SESSIONEND_H
#define SESSIONEND_H

#include <QObject>

class QSocketNotifier;

// The end of a session reaches the desk as SIGTERM (a logout, a shutdown, a
// service stop), SIGINT or SIGHUP. The handler only writes the signal's
// number into a pipe; the event loop reads it and emits `requested`, where
// the desk can close in order. A second signal while it closes ends the
// process at once. One object at a time.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    explicit SessionEnd(QObject *parent = nullptr);
    ~SessionEnd() override;

    // The first signal that arrived, 0 while none did: one may come before
    // anything is connected to `requested`.
    int received() const { return first; }

signals:
    void requested(int signal);

private:
    void readSignal();

    QSocketNotifier *notifier = nullptr;
    int first = 0;
};

#endif
