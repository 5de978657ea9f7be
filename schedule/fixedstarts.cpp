#include "fixedstarts.h"

#include <algorithm>

namespace {

// The timer runs on the monotonic clock: a wall clock set meanwhile is
// noticed within this time.
constexpr qint64 kLongestWaitMs = 60000;

} // namespace

FixedStarts::FixedStarts(QObject *parent)
    : QObject(parent)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &FixedStarts::fire);
}

void FixedStarts::plan(const std::vector<Playlist> &playlist)
{
    starts.clear();
    starts.reserve(playlist.size());
    for (const Playlist &entry : playlist)
        starts.push_back(entry.fixed);
    // A start already due whose timer has not fired yet still fires.
    const QDateTime now = QDateTime::currentDateTime();
    arm(armedFor.isValid() && armedFor <= now ? armedFor.addMSecs(-1) : now);
}

FixedStarts::Point FixedStarts::nextAfter(const QDateTime &from) const
{
    Point next;
    for (int row = 0; row < int(starts.size()); ++row) {
        const FixedStart &start = starts[size_t(row)];
        if (!start.isSet())
            continue;
        QDateTime at(from.date(), start.at);
        if (at <= from)
            at = QDateTime(from.date().addDays(1), start.at);
        if (next.row < 0 || at < next.at)
            next = {row, at};
    }
    return next;
}

void FixedStarts::arm(const QDateTime &from)
{
    const Point next = nextAfter(from);
    armedFor = next.at;
    if (next.row < 0) {
        timer.stop();
        return;
    }
    timer.start(int(std::clamp(QDateTime::currentDateTime().msecsTo(armedFor), qint64(0), kLongestWaitMs)));
}

void FixedStarts::fire()
{
    if (!armedFor.isValid())
        return;
    if (QDateTime::currentDateTime() < armedFor) {
        arm(QDateTime::currentDateTime());
        return;
    }
    const QDateTime when = armedFor;
    const Point point = nextAfter(when.addMSecs(-1));
    arm(when);
    if (point.row >= 0 && point.at == when)
        emit due(point.row);
}
