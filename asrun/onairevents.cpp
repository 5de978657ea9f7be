#include "onairevents.h"
#include "tags.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

OnAirEvents::~OnAirEvents()
{
    // The desk closes: what still plays stops with it.
    while (!open.isEmpty()) {
        leaving(open.first().source, Outcome::Stopped);
        finish(open.first().source);
    }
}

qsizetype OnAirEvents::find(const void *source) const
{
    const auto at = std::find_if(open.cbegin(), open.cend(),
                                 [source](const Record &record) { return record.source == source; });
    return at == open.cend() ? -1 : at - open.cbegin();
}

namespace {

// How long an item holds the air by itself, in seconds; negative: unknown.
double heldSeconds(const OnAirEvents::Item &item)
{
    return item.onAirSeconds > 0.0 ? item.onAirSeconds : item.lengthSeconds;
}

} // namespace

void OnAirEvents::setCues(std::function<CuePoints(const QString &path)> source, int seconds)
{
    cuesOf = std::move(source);
    handOverSeconds = seconds;
}

void OnAirEvents::begin(const void *source, const Item &item)
{
    finish(source);
    Item cued = item;
    // A cart plays its whole file.
    if (cuesOf && !item.file.isEmpty() && item.kind != QLatin1String("cart")) {
        const CuePoints cues = cuesOf(item.file);
        const qint64 leaves = leavingPoint(cues, item.kind == QLatin1String("music"), handOverSeconds);
        if (leaves >= 0)
            cued.onAirSeconds = double(leaves - cues.start) / 1000.0;
    }
    const Record record{source, cued, QDateTime::currentDateTime(), {}, {}};
    open.append(record);
    emit itemStarted(record);
}

void OnAirEvents::sounding(const void *source)
{
    const qsizetype at = find(source);
    if (at >= 0 && !open[at].heard.isValid()) {
        open[at].heard.start();
        emit itemHeard(source);
    }
}

void OnAirEvents::leaving(const void *source, Outcome outcome)
{
    const qsizetype at = find(source);
    if (at >= 0 && !open[at].reason)
        open[at].reason = outcome;
}

void OnAirEvents::leaving(std::initializer_list<const void *> sources, Outcome outcome)
{
    for (const void *source : sources)
        leaving(source, outcome);
}

void OnAirEvents::finish(const void *source)
{
    const qsizetype at = find(source);
    if (at >= 0)
        emit itemLeft(open.takeAt(at));
}

void OnAirEvents::outage()
{
    for (Record &record : open) {
        if (!record.reason || *record.reason == Outcome::Error)
            record.reason = Outcome::Interrupted;
    }
    emit soundServerLost();
}

void OnAirEvents::setRunningOrder(bool onAir, const QList<Next> &following)
{
    if (following != next) {
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
    const double seconds = heldSeconds(item);
    if (!(seconds > 0.0))
        return QDateTime();
    return start.addMSecs(qint64(std::llround(seconds * 1000.0)));
}

OnAirEvents::Outcome OnAirEvents::endOf(const Item &item, double playedSeconds)
{
    const double length = heldSeconds(item);
    if (playedSeconds <= 0.0 || (length > 0.0 && playedSeconds < length / 2))
        return Outcome::Error;
    return Outcome::Ended;
}

OnAirEvents::Item onAirItem(const QString &kind, const QString &shownTitle, const QString &file)
{
    const FileTags tags = readFileTags(file);
    OnAirEvents::Item item;
    item.kind = kind;
    // The running order shows "title - artist"; the log keeps them apart.
    item.title = !tags.title.isEmpty() ? tags.title
                 : !shownTitle.isEmpty() ? shownTitle
                                         : cleanTitle(QFileInfo(file).fileName());
    item.artist = tags.artist;
    item.file = file;
    item.album = tags.album;
    item.composer = tags.composer;
    item.isrc = tags.isrc;
    item.lengthSeconds = tags.lengthSeconds;
    return item;
}
