#ifndef CUEWATCH_H
#define CUEWATCH_H

#include <QObject>

class QTimer;

// Tells when a playing item reaches a point of its own (ms from its file's
// start), on the moment rather than on the next position report: reports
// come about every 100 ms, so once the point is less than a report away a
// timer takes the last stretch.
class CueWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kReportMs = 150;

    explicit CueWatch(QObject *parent = nullptr);

    // Watches for `point`; -1 watches for nothing.
    void arm(qint64 point);
    void disarm() { arm(-1); }
    qint64 point() const { return at; }
    // The item reported `position`.
    void position(qint64 position);

signals:
    // Once per point armed.
    void reached();

private:
    void fire();

    QTimer *lastStretch;
    qint64 at = -1;
};

#endif
