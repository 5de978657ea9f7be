#ifndef ONAIREVENTS_H
#define ONAIREVENTS_H

#include "cuepoints.h"

#include <QDateTime>
#include <QTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <initializer_list>
#include <optional>

// What goes on and off the air, as the players report it: the one record of
// the items on air, which the as-run log and the now-playing export listen
// to. A source is whatever plays an item (a channel, the time player, a
// cart), told apart by its address; several may be on air at once.
class OnAirEvents : public QObject
{
    Q_OBJECT

public:
    // Why an item leaves the air.
    enum class Outcome { HandedOver, Ended, SkippedSilence, Error, Stopped, Next, Interrupted };

    struct Item
    {
        QString kind; // "music", "jingle", "time" or "cart"
        QString title;
        QString artist;
        QString file;
        QString album;
        QString composer;
        QString isrc;
        double lengthSeconds = -1.0; // negative: unknown
        QTime planned;               // a fixed entry's time
        // From its first sound to where it leaves the air, when its cue
        // points are known; negative: unknown.
        double onAirSeconds = -1.0;
    };

    // An entry the running order will play, as it shows it; `kind` is the
    // kind it plays as ("music", "jingle", "time").
    struct Next
    {
        QString shownTitle;
        QString file;
        QString kind;
        bool operator==(const Next &other) const
        {
            return shownTitle == other.shownTitle && file == other.file && kind == other.kind;
        }
    };

    // An item on air.
    struct Record
    {
        const void *source = nullptr;
        Item item;
        QDateTime start;
        QElapsedTimer heard; // from the first time it was heard
        std::optional<Outcome> reason; // the first reason given for its leaving

        double playedSeconds() const { return heard.isValid() ? double(heard.elapsed()) / 1000.0 : 0.0; }
        // How it left: the reason given, or else as endOf() says.
        Outcome outcome() const { return reason ? *reason : endOf(item, playedSeconds()); }
    };

    using QObject::QObject;
    ~OnAirEvents() override;

    // Where the sound of a file is: an item that begins, a cart apart, gets
    // the time its sound holds the air, music handing over `handOverSeconds`
    // before its last sound. Unset, none does.
    void setCues(std::function<CuePoints(const QString &path)> source, int handOverSeconds);
    // An item goes on air on `source`; one still open there leaves first.
    void begin(const void *source, const Item &item);
    // The item on `source` is heard.
    void sounding(const void *source);
    // Why the item on `source` will leave the air; the first reason counts.
    void leaving(const void *source, Outcome outcome);
    void leaving(std::initializer_list<const void *> sources, Outcome outcome);
    // The item on `source` has left the air.
    void finish(const void *source);
    bool isOpen(const void *source) const { return find(source) >= 0; }
    // The items on air, in the order they started.
    const QList<Record> &onAir() const { return open; }
    // The sound server is gone: what is on air was interrupted, unless it
    // was leaving for a reason of its own.
    void outage();
    // The running order's state, told after each change of it; a signal
    // goes out only for what changed. `coming`: the entries that will play
    // next, in their order, those known bad left out, up to the first music.
    void setRunningOrder(bool onAir, const QList<Next> &coming);

    // When an item that started at `start` leaves the air by itself: where
    // its sound hands over, or else at its file's end; invalid when neither
    // is known.
    static QDateTime expectedEnd(const Item &item, const QDateTime &start);
    // An item that ends by itself ended only when it sounded for at least
    // half its length (its sound's, when known); one that never sounded, or
    // stopped short, failed.
    static Outcome endOf(const Item &item, double playedSeconds);

signals:
    void itemStarted(const OnAirEvents::Record &record);
    void itemLeft(const OnAirEvents::Record &record);
    // The item on `source` is heard for the first time.
    void itemHeard(const void *source);
    void soundServerLost();
    void airChanged(bool onAir);
    void nextChanged(const QList<OnAirEvents::Next> &coming);

private:
    qsizetype find(const void *source) const;

    std::function<CuePoints(const QString &path)> cuesOf;
    int handOverSeconds = 0;
    QList<Record> open;
    bool air = false;
    QList<Next> next;
};

// The item a file makes, with the file's tags and length: its title tag, or
// without one `shownTitle` (what the running order shows, empty for folder
// entries and carts), or else the file's name.
OnAirEvents::Item onAirItem(const QString &kind, const QString &shownTitle, const QString &file);

#endif
