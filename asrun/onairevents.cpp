#include "onairevents.h"

#include <cmath>

void OnAirEvents::begin(const void *source, const Item &item)
{
    finish(source);
    open.insert(source);
    emit itemStarted(source, item, QDateTime::currentDateTime());
}

void OnAirEvents::sounding(const void *source)
{
    if (open.contains(source))
        emit itemSounding(source);
}

void OnAirEvents::leaving(const void *source, Outcome outcome)
{
    if (open.contains(source))
        emit itemLeaving(source, outcome);
}

void OnAirEvents::leaving(std::initializer_list<const void *> sources, Outcome outcome)
{
    for (const void *source : sources)
        leaving(source, outcome);
}

void OnAirEvents::finish(const void *source)
{
    if (open.remove(source))
        emit itemLeft(source);
}

void OnAirEvents::outage()
{
    emit soundServerLost();
}

void OnAirEvents::setRunningOrder(bool onAir, const Next &following)
{
    if (!(following == next)) {
        next = following;
        emit nextChanged(next);
    }
    if (onAir != air) {
        air = onAir;
        emit airChanged(air);
    }
}

QDateTime OnAirEvents::expectedEnd(const Item &item, const QDateTime &start)
{
    if (!(item.lengthSeconds > 0.0))
        return QDateTime();
    return start.addMSecs(qint64(std::llround(item.lengthSeconds * 1000.0)));
}
