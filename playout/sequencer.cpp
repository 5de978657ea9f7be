#include "sequencer.h"
#include "announcer.h"
#include "channel.h"
#include "cuewatch.h"
#include "fixedstarts.h"
#include "onairevents.h"
#include "playoutretry.h"
#include "preparation.h"

#include <QDebug>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

// How long a failed channel is left alone before it is reset.
constexpr int kFailedChannelRestMs = 1500;
constexpr int kSilenceLimitMs = 10000;

} // namespace

Sequencer::Sequencer(std::vector<Playlist> &order, Channel &one, Channel &two, const Parts &parts,
                     QObject *parent)
    : QObject(parent)
    , order(order)
    , one(one)
    , two(two)
    , parts(parts)
    , cueWatch(new CueWatch(this))
{
    connect(cueWatch, &CueWatch::reached, this, &Sequencer::leaveOnCue);
    for (Channel *channel : {&one, &two}) {
        connect(channel, &Channel::update_position, this,
                [this, channel](qint64 position) { positionChanged(*channel, position); });
        connect(channel, &Channel::mediaError, this, [this, channel](const QString &file, const QString &errorMsg) {
            this->parts.events->leaving(channel, OnAirEvents::Outcome::Error);
            channelFailed(*channel, file, errorMsg);
        });
        connect(channel, &Channel::playbackFinished, this, [this, channel] {
            if (onAir() && !leavingOf(*channel).left)
                checkAdvanceTrack();
        });
    }
    connect(parts.retry, &PlayoutRetry::retryDue, this, &Sequencer::retryAfterFailures);
    // Streams on a vanished server only fail or stall; the channels rest
    // until it is back, and the fresh start brings the air back.
    connect(parts.retry, &PlayoutRetry::soundServerGone, this, [this] {
        this->parts.events->outage();
        this->one.Reset();
        this->two.Reset();
    });
    connect(parts.announcer, &Announcer::ended, this, &Sequencer::announcementEnded);
    connect(parts.announcer, &Announcer::failed, this, &Sequencer::announcementFailed);
    if (parts.fixedStarts)
        connect(parts.fixedStarts, &FixedStarts::due, this, &Sequencer::fixedTimeReached);
}

Channel *Sequencer::reference() const
{
    const auto audible = [](const Channel &channel) {
        return channel.isPlaying() && channel.targetVolume > 0.0f;
    };
    // During a hand-over the incoming item is the one on air.
    for (Channel *channel : {&two, &one}) {
        if (audible(*channel) && !channel->fadingOut)
            return channel;
    }
    for (Channel *channel : {&two, &one}) {
        if (audible(*channel))
            return channel;
    }
    return nullptr;
}

qint64 Sequencer::remainingTime() const
{
    if (announcing())
        return parts.announcer->remainingTime();
    const Channel *channel = reference();
    if (!channel)
        return 0;
    const qint64 point = leavingOf(*channel).point;
    return point >= 0 ? qMax(qint64(0), point - channel->getPosition()) : channel->remainingTime();
}

Sequencer::Phase Sequencer::phase() const
{
    if (state == Air::Off)
        return Phase::OffAir;
    if (state == Air::Announcing)
        return Phase::Announcing;
    if (parts.retry->waiting())
        return Phase::Resting;
    return handingOver() ? Phase::HandingOver : Phase::OnAir;
}

const Playlist *Sequencer::onAirEntry() const
{
    if (removed)
        return &*removed;
    return current >= 0 && current < int(order.size()) ? &order[size_t(current)] : nullptr;
}

// A channel told to fade out counts as a running hand-over before its first
// fade step sets `fading`.
bool Sequencer::handingOver() const
{
    return one.fading || two.fading || one.fadingOut || two.fadingOut;
}

void Sequencer::advance()
{
    if (order.empty())
        return;
    // However the item on air leaves, a marked entry is the one that follows.
    if (marked && following >= 0 && following < int(order.size())) {
        current = following;
        marked = false;
        return;
    }
    current = followingEntry(order, current);
}

void Sequencer::next()
{
    if (order.empty()) {
        std::fputs("nothing\n", stdout);
        std::fflush(stdout);
        tell(false);
        return;
    }
    if (current < 0 || current >= int(order.size()))
        current = 0;
    if (announcing()) {
        tell(false);
        return;
    }

    if (!passOverBadEntries()) {
        // No file can play: a run of failures, paced like one, from the event
        // loop like an entry that starts nothing.
        state = Air::On;
        QTimer::singleShot(0, this, [this, index = current] { skipEmptyEntry(index); });
        tell(false);
        return;
    }

    state = Air::On;
    cueWatch->disarm();
    // A new start: a removed on-air entry is leaving, and a marked entry that
    // starts now is no longer to come.
    if (current == following)
        marked = false;
    removed.reset();
    for (Channel *channel : {&one, &two}) {
        if (channel->isPlaying())
            channel->fadeOut();
    }

    const Playlist &entry = order[size_t(current)];
    QString kind = entry.kind;
    QString path = entry.path;
    const bool folderEntry = kind.startsWith(QLatin1String("folder-"));

    if (folderEntry) {
        path = parts.preparation->takePick(current, entry);
        if (path.isEmpty())
            qWarning() << "No audio in folder:" << entry.path << "- skipping";
        kind = path.isEmpty() ? QString() : playedKind(kind);
    }
    // A folder without audio, or a kind that the running order named but the
    // desk cannot play, is passed over like an entry that fails, not left to
    // the watchdog's ten seconds of silence. From the event loop, so that
    // this start completes.
    if (!isKnownKind(kind))
        QTimer::singleShot(0, this, [this, index = current] { skipEmptyEntry(index); });

    Channel *chosen = nullptr;
    if (two.isPlaying())
        chosen = &one;
    else if (one.isPlaying())
        chosen = two.hasFailed() ? &one : &two;
    else if (one.isStopped() && two.isStopped())
        chosen = two.hasFailed() ? &one : &two;

    OnAirEvents::Item item = onAirItem(kind, folderEntry ? QString() : entry.title, path);
    item.planned = entry.fixed.at;
    const bool music = kind == QLatin1String("music");
    if (chosen && (music || kind == QLatin1String("jingle"))) {
        parts.events->begin(chosen, item);
        const CuePoints cues = cuesFor(path);
        leavingOf(*chosen) = {leavingPoint(cues, music, handOverSeconds), music};
        chosen->start(path, music, cues.known() ? cues.start : -1);
    }

    if (entry.kind == QLatin1String("time"))
        startTimeAnnouncement();

    tell(false);
    emit started();
}

bool Sequencer::passOverBadEntries()
{
    const int size = int(order.size());
    bool anyPlayable = false;
    for (int index = 0; index < size && !anyPlayable; ++index) {
        const Playlist &entry = order[size_t(index)];
        anyPlayable = playsFile(entry) && !parts.preparation->entryVerdict(index, entry).bad();
    }
    // Each known-bad entry is passed over at once, without the media framework
    // ever seeing it: no gap beyond the hand-over, no stall. With every file
    // known bad (time entries alone would only go round and round), the
    // entry's turn still leaves its row, and the retry paces the run and
    // moves on.
    for (int tries = 0; tries <= size; ++tries) {
        const Playlist &entry = order[size_t(current)];
        const MediaCheck::Verdict verdict = parts.preparation->entryVerdict(current, entry);
        if (!verdict.bad())
            return anyPlayable;
        // A bad pick is used up: the entry's next turn picks afresh.
        const QString pick = entry.kind.startsWith(QLatin1String("folder-"))
                                 ? parts.preparation->takePick(current, entry)
                                 : QString();
        const QString file = pick.isEmpty() ? entry.path : pick;
        // Once a run of failures is paced, the retry's line tells each turn.
        if (anyPlayable || parts.retry->pauseMs() == 0)
            qWarning() << "Passing over" << file << ":" << MediaCheck::logText(verdict.problem)
                       << verdict.detail;
        const void *source = parts.preparation;
        parts.events->begin(source,
                            onAirItem(playedKind(entry.kind), pick.isEmpty() ? entry.title : QString(), file));
        parts.events->leaving(source, OnAirEvents::Outcome::Error);
        parts.events->finish(source);
        if (!anyPlayable)
            return false;
        // A marked entry passed over has had its turn.
        if (current == following)
            marked = false;
        advance();
    }
    return false;
}

void Sequencer::startTimeAnnouncement()
{
    const QString file = timeFile ? timeFile() : QString();
    OnAirEvents::Item item = onAirItem(QStringLiteral("time"), QString(), file);
    item.title = order[size_t(current)].title;
    const void *source = parts.announcer->eventSource();
    if (!QFileInfo::exists(file)) {
        qWarning() << "Time audio not found:" << file << "- skipping time item";
        parts.events->leaving(source, OnAirEvents::Outcome::Next);
        parts.events->begin(source, item);
        parts.events->leaving(source, OnAirEvents::Outcome::Error);
        parts.events->finish(source);
        // A failure like any other: the music was already told to fade out,
        // and what follows comes from the retry.
        afterFailure(file, false);
        return;
    }
    parts.announcer->play(item, cuesFor(file));
    state = Air::Announcing;
}

void Sequencer::stopTimeAnnouncement()
{
    if (state == Air::Announcing)
        state = Air::On;
    parts.announcer->stop();
}

void Sequencer::play()
{
    if (order.empty())
        return;
    parts.retry->cancel();
    // On air the entry starts again on the other channel: the play it cuts
    // was not played through. An announcement holds the running order.
    if (!announcing())
        parts.events->leaving({&one, &two}, OnAirEvents::Outcome::Next);
    next();
}

void Sequencer::stop()
{
    if (order.empty() && !one.isPlaying() && !two.isPlaying())
        return;
    // A second Stop while the air fades out cuts it at once.
    const bool fadingAway = !onAir() && (one.fadingOut || two.fadingOut);
    parts.events->leaving({&one, &two, parts.announcer->eventSource()}, OnAirEvents::Outcome::Stopped);
    for (Channel *channel : {&one, &two}) {
        if (stopFades && !fadingAway && channel->isPlaying())
            channel->fadeOut();
        else
            channel->Reset();
    }
    stopTimeAnnouncement();
    parts.retry->cancel();
    cueWatch->disarm();
    // Off air the panels tell what Play will start, the first row, and what
    // follows it.
    state = Air::Off;
    current = 0;
    marked = false;
    removed.reset();
    tell(false);
    emit wentOffAir();
}

void Sequencer::skipNext()
{
    if (order.empty() || !(one.isPlaying() || two.isPlaying()) || handingOver())
        return;
    current = following >= 0 && following < int(order.size()) ? following : 0;
    parts.retry->cancel();
    parts.events->leaving({&one, &two}, OnAirEvents::Outcome::Next);
    next();
}

void Sequencer::playRow(int row)
{
    if (state == Air::Off)
        state = Air::On;
    current = row;
    parts.retry->cancel();
    parts.events->leaving({&one, &two}, OnAirEvents::Outcome::Next);
    // The row clicked replaces an announcement that is speaking, rather than
    // waiting for it and then giving way to the entry after it.
    if (announcing()) {
        parts.events->leaving(parts.announcer->eventSource(), OnAirEvents::Outcome::Next);
        stopTimeAnnouncement();
    }
    next();
}

void Sequencer::markNext(int row)
{
    following = row;
    marked = true;
    tell(true);
}

void Sequencer::clear()
{
    parts.events->leaving({&one, &two, parts.announcer->eventSource()}, OnAirEvents::Outcome::Stopped);
    one.Reset();
    two.Reset();
    stopTimeAnnouncement();
    parts.retry->cancel();
    cueWatch->disarm();
    state = Air::Off;
    current = 0;
    following = 0;
    marked = false;
    removed.reset();
    order.clear();
    tell(false);
    emit wentOffAir();
}

void Sequencer::insert(int row, const Playlist &entry)
{
    order.insert(order.begin() + row, entry);
    // A marked entry moves down with the rows below the insertion, and so
    // does the on-air entry while on air.
    if (onAir() && current >= row)
        ++current;
    if (marked && following >= row)
        ++following;
    tell(false);
}

void Sequencer::remove(int row)
{
    if (row < 0 || row >= int(order.size()))
        return;
    // A mark follows its entry, and ends with it.
    if (marked) {
        if (row == following)
            marked = false;
        else if (row < following)
            --following;
    }
    if (onAir()) {
        // The positions follow their entries. The on-air entry itself goes
        // on playing; the entry that followed it still follows it.
        const bool onAirRow = !removed && row == current;
        if (onAirRow)
            removed = order[size_t(row)];
        order.erase(order.begin() + row);
        if (onAirRow || row < current || (removed && row == current))
            --current;
        tell(false);
        return;
    }
    order.erase(order.begin() + row);
    const int size = int(order.size());
    current = qBound(0, current, size - 1);
    following = qBound(0, following, size - 1);
    tell(false);
}

void Sequencer::settleNext(bool keep)
{
    const int size = int(order.size());
    const bool currentValid = !removed && current >= 0 && current < size;
    const bool follows = currentValid || (removed && current >= -1 && size > 0);
    // A marked entry stays next until it starts or is removed.
    if (follows && !keep && !marked)
        following = followingEntry(order, current);
}

void Sequencer::tell(bool jump)
{
    settleNext(jump);
    emit changed(jump);
}

void Sequencer::place(const Position &at)
{
    current = at.current;
    following = at.next;
    marked = at.marked;
    state = at.air;
    removed.reset();
}

void Sequencer::resume(int row, int next)
{
    const int size = int(order.size());
    state = Air::On;
    current = row;
    // A next entry other than the following one was marked.
    if (next >= 0 && next < size && next != (row + 1) % size) {
        following = next;
        marked = true;
    }
}

void Sequencer::skipToNext()
{
    if (order.empty())
        return;
    // A media pipeline that failed takes a second to stop (GStreamer, Qt 6.4),
    // and the following item cannot start meanwhile: it starts first, on the
    // other channel, and the failed one is reset once that one plays.
    for (Channel *channel : {&one, &two}) {
        if (!channel->hasFailed())
            channel->Reset();
    }
    advance();
    next();
    for (Channel *channel : {&one, &two}) {
        if (channel->hasFailed()) {
            QTimer::singleShot(kFailedChannelRestMs, channel, [channel] {
                if (channel->hasFailed())
                    channel->Reset();
            });
        }
    }
}

void Sequencer::silence()
{
    parts.events->leaving({&one, &two}, OnAirEvents::Outcome::SkippedSilence);
    skipToNext();
}

void Sequencer::heard(bool sounding, int ms)
{
    // Silent by design: a hand-over, an announcement, a rest after failures.
    if (sounding || phase() != Phase::OnAir) {
        silentMs = 0;
        return;
    }
    silentMs += ms;
    if (silentMs < kSilenceLimitMs)
        return;
    qWarning() << "Silence watchdog: no audio for" << kSilenceLimitMs << "ms — skipping track";
    silentMs = 0;
    silence();
}

void Sequencer::positionChanged(Channel &channel, qint64 position)
{
    if (position > 0) {
        parts.retry->heard();
        parts.events->sounding(&channel);
    }
    if (state != Air::On)
        return;
    // The overlapping hand-over: a music item passes the air to the following
    // entry when its remaining time first reads 0:T. It needs an audible
    // reference channel. A channel told to fade out has handed over already,
    // though its first tick may not have set `fading` yet: a channel that
    // next() starts can report its position at once and re-enter here.
    Channel *onAirChannel = reference();
    const Playlist *entry = onAirEntry();
    if (!onAirChannel || !entry || handingOver())
        return;
    // An item whose sound is known leaves on it. Music overlaps what follows,
    // which is started as much ahead as it takes to be heard; a jingle is
    // heard whole, and what follows comes a moment after its last sound.
    if (const Leaving leaving = leavingOf(*onAirChannel); leaving.point >= 0) {
        const Channel &incoming = onAirChannel == &one ? two : one;
        const bool seeks = following >= 0 && following < int(order.size())
                           && cuesFor(order[size_t(following)].path).start > 0;
        cueChannel = onAirChannel;
        cueWatch->arm(qMax(qint64(0), leaving.point - (leaving.music ? incoming.startDelay(seeks) : 0)));
        cueWatch->position(onAirChannel->getPosition());
        return;
    }
    const qint64 remaining = onAirChannel->remainingTime();
    if (remaining / 60000 != 0 || (remaining / 1000) % 60 != handOverSeconds)
        return;
    if (entry->kind == QLatin1String("music") || entry->kind == QLatin1String("folder-music")) {
        parts.events->leaving(onAirChannel, OnAirEvents::Outcome::HandedOver);
        advance();
        next();
        for (Channel *playing : {&one, &two}) {
            if (playing->isPlaying())
                playing->fading = true;
        }
    }
}

void Sequencer::leaveOnCue()
{
    Channel *onAirChannel = reference();
    if (state != Air::On || !onAirChannel || onAirChannel != cueChannel || !onAirEntry() || handingOver())
        return;
    // Music overlaps what follows; anything else ends at its audible end, and
    // the silence after it fades out unheard under the following entry.
    parts.events->leaving(onAirChannel, leavingOf(*onAirChannel).music ? OnAirEvents::Outcome::HandedOver
                                                                         : OnAirEvents::Outcome::Ended);
    leavingOf(*onAirChannel).left = true;
    advance();
    next();
    for (Channel *playing : {&one, &two}) {
        if (playing->isPlaying())
            playing->fading = true;
    }
}

void Sequencer::checkAdvanceTrack()
{
    // A channel that fades out has already handed over the air, and a fade that
    // ends in Stop reports nothing: waiting for it would leave dead air.
    const auto offAir = [](const Channel &channel) { return channel.isStopped() || channel.fadingOut; };
    if (state != Air::On || order.empty() || !offAir(one) || !offAir(two))
        return;
    advance();
    next();
}

void Sequencer::announcementEnded()
{
    if (!onAir())
        return;
    if (!one.fading && !two.fading) {
        for (Channel *channel : {&one, &two})
            channel->setVolume(channel->isPlaying() ? channel->targetVolume : 0.0f);
    }
    if (announcing()) {
        state = Air::On;
        advance();
        next();
    }
}

void Sequencer::channelFailed(Channel &channel, const QString &file, const QString &errorMsg)
{
    // An item can fail after it has handed the air over, when its fade-out
    // reaches a cut-off end: what is on air now plays on.
    const Channel &other = &channel == &one ? two : one;
    const bool handedOver = announcing() || (other.isPlaying() && !other.fadingOut);
    qWarning() << (&channel == &one ? "Player1 error on" : "Player2 error on") << file << ":" << errorMsg;
    if (!onAir() || handedOver)
        return;
    // The file as the running order names it, not its converted copy.
    afterFailure(current >= 0 && current < int(order.size()) ? order[size_t(current)].path : file, true);
}

void Sequencer::skipEmptyEntry(int index)
{
    // The outgoing item, if any, goes on fading out.
    if (!onAir() || index != current || order.empty())
        return;
    // The retry watches a file for its return: the entry's own, or the next
    // one's that has a file (a time entry has none).
    const int size = int(order.size());
    int watched = index;
    for (int tries = 0; tries < size && !playsFile(order[size_t(watched)]); ++tries)
        watched = (watched + 1) % size;
    afterFailure(order[size_t(watched)].path, false);
}

void Sequencer::afterFailure(const QString &file, bool channelFailed)
{
    const PlayoutRetry::Action action = parts.retry->failed(int(order.size()), file);
    if (action == PlayoutRetry::Action::Skip) {
        if (channelFailed) {
            skipToNext();
        } else {
            advance();
            parts.retry->skipSoon();
            tell(false);
        }
        return;
    }
    // A channel's failed pipeline rests with the running order.
    if (channelFailed) {
        one.Reset();
        two.Reset();
    }
    if (action == PlayoutRetry::Action::AdvanceAndWait)
        advance();
    tell(false);
}

void Sequencer::retryAfterFailures()
{
    if (onAir())
        next();
}

void Sequencer::announcementFailed()
{
    if (!announcing())
        return;
    state = Air::On;
    advance();
    next();
}

void Sequencer::fixedTimeReached(int row)
{
    if (row < 0 || row >= int(order.size()) || !order[size_t(row)].fixed.isSet())
        return;
    const Playlist &entry = order[size_t(row)];
    const QString at = entry.fixed.at.toString(QStringLiteral("HH:mm:ss"));
    if (!onAir()) {
        qInfo().noquote() << "Fixed time" << at << "of" << entry.title << "missed: the desk is off air";
        return;
    }
    // The operator started it already.
    if (row == current && !removed)
        return;
    if (!entry.fixed.hard) {
        qInfo().noquote() << "Fixed time" << at << ":" << entry.title << "is next";
        markNext(row);
        return;
    }
    qInfo().noquote() << "Fixed time" << at << ":" << entry.title << "starts now";
    // An announcement fades out like a channel, rather than being cut.
    if (announcing()) {
        parts.events->leaving(parts.announcer->eventSource(), OnAirEvents::Outcome::Next);
        state = Air::On;
        parts.announcer->fadeOut(one.fadeStep);
    }
    playRow(row);
}
