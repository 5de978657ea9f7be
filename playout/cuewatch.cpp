#include "cuewatch.h"

#include <QTimer>

CueWatch::CueWatch(QObject *parent)
    : QObject(parent)
    , lastStretch(new QTimer(this))
{
    lastStretch->setSingleShot(true);
    lastStretch->setTimerType(Qt::PreciseTimer);
    connect(lastStretch, &QTimer::timeout, this, &CueWatch::fire);
}

void CueWatch::arm(qint64 point)
{
    if (point == at)
        return;
    at = point;
    lastStretch->stop();
}

void CueWatch::position(qint64 position)
{
    if (at < 0)
        return;
    const qint64 ahead = at - position;
    if (ahead <= 0)
        fire();
    else if (ahead <= kReportMs)
        // A later report knows better: the timer starts afresh.
        lastStretch->start(int(ahead));
}

void CueWatch::fire()
{
    lastStretch->stop();
    at = -1;
    emit reached();
}
