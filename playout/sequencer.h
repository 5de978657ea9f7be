#ifndef SEQUENCER_H
#define SEQUENCER_H

#include "cuepoints.h"
#include "playlist.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class Announcer;
class Channel;
class CueWatch;
class FixedStarts;
class OnAirEvents;
class PlayoutRetry;
class Preparation;

// The running order's sequence: which entry is on air and which follows, and
// every decision about them (Play, Stop, Next, a row played by hand, the
// hand-over, bad entries passed over, failures and their pacing, time
// entries, fixed starts). It drives the two channels and the announcer, and
// tells what changed through its signals; the window only shows it.
class Sequencer : public QObject
{
    Q_OBJECT

public:
    // Where the air is: off, an entry of the order on a channel, or a time
    // entry speaking (the channels' hand-over and a rest after failures come
    // from the channels and the retry).
    enum class Air { Off, On, Announcing };

    struct Parts
    {
        Preparation *preparation = nullptr;
        PlayoutRetry *retry = nullptr;
        OnAirEvents *events = nullptr;
        Announcer *announcer = nullptr;
        FixedStarts *fixedStarts = nullptr;
    };

    // `one` and `two` are the channels; the second is the first choice.
    Sequencer(std::vector<Playlist> &order, Channel &one, Channel &two, const Parts &parts,
              QObject *parent = nullptr);

    Air air() const { return state; }
    // What the air is doing now, the channels' hand-over and the retry's
    // rest included.
    enum class Phase { OffAir, OnAir, HandingOver, Announcing, Resting };
    Phase phase() const;
    bool onAir() const { return state != Air::Off; }
    bool announcing() const { return state == Air::Announcing; }
    int currentIndex() const { return current; }
    int nextIndex() const { return following; }
    // A "Marcar como Próximo" mark, or a soft fixed time come: the entry plays
    // next however the item on air leaves; the mark ends when it starts or is
    // removed.
    bool nextMarked() const { return marked; }
    // The on-air entry, once it has been removed from the running order while
    // it plays; currentIndex() then is the row before the entry that followed
    // it (-1 when that entry is now the first).
    const std::optional<Playlist> &removedOnAir() const { return removed; }
    // The channel the on-air display and the hand-over go by: the one that
    // plays audibly, the second first; null when neither does.
    Channel *reference() const;
    // What remains of the item on air until it leaves: a time entry's
    // announcement, or the reference channel's item, to its leaving point
    // when its cue points are known; 0 when nothing is known.
    qint64 remainingTime() const;

    // Music hands over this many seconds before its end.
    void setHandOverSeconds(int seconds) { handOverSeconds = seconds; }
    int handOver() const { return handOverSeconds; }
    // Stop fades the air out, rather than cutting it.
    void setStopFades(bool fades) { stopFades = fades; }
    // The announcement file a time entry speaks now.
    void setTimeFile(std::function<QString()> file) { timeFile = std::move(file); }
    // Where a file's sound is, when known: items then start on their sound
    // and leave on it. Without it every item plays whole.
    void setCues(std::function<CuePoints(const QString &path)> find) { cuesOf = std::move(find); }

    // The operator's actions.
    void play();
    void stop();
    void skipNext();
    void playRow(int row);
    void markNext(int row);
    void clear();
    // The running order changed: `entry` was put in at `row`; `row` removed.
    void insert(int row, const Playlist &entry);
    void remove(int row);
    // Recomputes the entry that follows the one on air, after any change of
    // the order; `keep` leaves a chosen next entry as it is.
    void settleNext(bool keep);
    // Where the order stands.
    struct Position
    {
        int current = 0;
        int next = 0;
        bool marked = false;
        Air air = Air::Off;
    };
    Position position() const { return {current, following, marked, state}; }
    // Puts the order at `at` with nothing started or removed.
    void place(const Position &at);
    // A fresh start resumes the air at `row`, `next` marked when it is not the
    // entry that follows.
    void resume(int row, int next);

    // Starts the entry at the current row (or passes it over).
    void next();
    // The item on air is passed over: on to the following entry now.
    void skipToNext();
    // Nothing was heard for too long on air.
    void silence();
    // The silence watchdog: whether the item on air sounded over the last
    // `ms`; silent on air for ten seconds, it is passed over.
    void heard(bool sounding, int ms);
    int silentFor() const { return silentMs; }
    // A channel reported where it is.
    void positionChanged(Channel &channel, qint64 position);
    // A channel's item ended; both channels are off air: the order goes on.
    void checkAdvanceTrack();
    // An announcement in the order ended.
    void announcementEnded();

signals:
    // The on-air state or the running order changed; `jump` keeps a next
    // entry chosen by hand.
    void changed(bool jump);
    // An entry started: its row is worth bringing into view.
    void started();
    // The air went off: nothing is timed any more.
    void wentOffAir();

private:
    // What follows is settled before anything is shown.
    void tell(bool jump);
    void advance();
    bool passOverBadEntries();
    void startTimeAnnouncement();
    void stopTimeAnnouncement();
    void channelFailed(Channel &channel, const QString &file, const QString &errorMsg);
    void skipEmptyEntry(int index);
    void afterFailure(const QString &file, bool channelFailed);
    void retryAfterFailures();
    void announcementFailed();
    void fixedTimeReached(int row);
    const Playlist *onAirEntry() const;
    bool handingOver() const;
    // Where the item a channel plays leaves the air, when its cue points
    // are known (-1 when not), and whether it hands over as music.
    struct Leaving
    {
        qint64 point = -1;
        bool music = false;
        // Left on its sound: the end of its file follows nothing more.
        bool left = false;
    };
    Leaving &leavingOf(const Channel &channel) { return &channel == &one ? leavingOne : leavingTwo; }
    const Leaving &leavingOf(const Channel &channel) const { return &channel == &one ? leavingOne : leavingTwo; }
    CuePoints cuesFor(const QString &path) const { return cuesOf ? cuesOf(path) : CuePoints(); }
    void leaveOnCue();

    std::vector<Playlist> &order;
    Channel &one;
    Channel &two;
    Parts parts;
    Air state = Air::Off;
    int current = 0;
    int following = 0;
    bool marked = false;
    std::optional<Playlist> removed;
    int handOverSeconds = 5;
    bool stopFades = true;
    std::function<QString()> timeFile;
    std::function<CuePoints(const QString &path)> cuesOf;
    Leaving leavingOne;
    Leaving leavingTwo;
    // The reference channel's leaving point, watched on its position.
    CueWatch *cueWatch;
    Channel *cueChannel = nullptr;
    int silentMs = 0;
};

#endif
