#ifndef ONAIREVENTS_H
#define ONAIREVENTS_H

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>

#include <initializer_list>

// What goes on and off the air, as the players report it: the one place that
// the as-run log and the now-playing export listen to. A source is whatever
// plays an item (a channel, the time player, a cart), told apart by its
// address; several may be on air at once.
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
    };

    // The entry the running order plays next, as it shows it.
    struct Next
    {
        QString shownTitle;
        QString file;
        bool operator==(const Next &other) const
        {
            return shownTitle == other.shownTitle && file == other.file;
        }
    };

    using QObject::QObject;

    // An item goes on air on `source`; one still open there leaves first.
    void begin(const void *source, const Item &item);
    // The item on `source` is heard.
    void sounding(const void *source);
    // Why the item on `source` will leave the air; the first reason counts.
    void leaving(const void *source, Outcome outcome);
    void leaving(std::initializer_list<const void *> sources, Outcome outcome);
    // The item on `source` has left the air.
    void finish(const void *source);
    bool isOpen(const void *source) const { return open.contains(source); }
    // The sound server is gone: what is on air was interrupted.
    void outage();
    // The running order's state, told after each change of it; a signal
    // goes out only for what changed.
    void setRunningOrder(bool onAir, const Next &next);

    // When an item that started at `start` ends by itself; invalid when its
    // length is unknown.
    static QDateTime expectedEnd(const Item &item, const QDateTime &start);

signals:
    void itemStarted(const void *source, const OnAirEvents::Item &item, const QDateTime &start);
    void itemSounding(const void *source);
    void itemLeaving(const void *source, OnAirEvents::Outcome outcome);
    void itemLeft(const void *source);
    void soundServerLost();
    void airChanged(bool onAir);
    void nextChanged(const OnAirEvents::Next &next);

private:
    QSet<const void *> open;
    bool air = false;
    Next next;
};

#endif
