#ifndef ASRUNLOG_H
#define ASRUNLOG_H

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

#include "onairevents.h"

#include <initializer_list>

class QTimer;

// What went on air: one CSV file per day ("YYYY-MM-DD.csv" in the folder
// given), one row per item, written when the item leaves the air. A row is
// appended with a single write, so a crash never spoils the rows before it.
// While items are on air, their rows-to-be sit in a journal file beside the
// logs; a journal left by a desk that died becomes "interrupted" rows at the
// next start.
//
// Sources are whatever plays an item (a channel, the time player, a cart),
// told apart by their address.
class AsRunLog : public QObject
{
    Q_OBJECT

public:
    using Outcome = OnAirEvents::Outcome;
    using Item = OnAirEvents::Item;

    static const char *const kJournalName;

    explicit AsRunLog(const QString &folder, QObject *parent = nullptr);
    ~AsRunLog() override;

    // Keeps the rows as `events` reports the items.
    void listenTo(OnAirEvents *events);

    // An item goes on air on `source` at `start` (now, when not given). A row
    // still open there closes first.
    void begin(const void *source, const Item &item, const QDateTime &start = QDateTime());
    // The item on `source` is heard: the first call starts its played time.
    void sounding(const void *source);
    // Why the item on `source` will leave the air; the first reason counts.
    void leaving(const void *source, Outcome outcome);
    void leaving(std::initializer_list<const void *> sources, Outcome outcome);
    // The item on `source` has left the air: its row is written, "ended"
    // unless a reason was given.
    void finish(const void *source);
    bool isOpen(const void *source) const { return open.contains(source); }
    // The sound server is gone: what is on air, and the failures of the
    // moments before (which the outage caused), were interrupted.
    void outage();

    // Turns a journal left behind into rows; returns how many.
    int recoverJournal();

    static QString outcomeName(Outcome outcome);
    // One CSV row (with its line end), quoted where a field needs it: the
    // eight columns of old, then what only the new logs have.
    struct Row
    {
        QByteArray eight;
        QByteArray more;
    };
    static Row row(const QDateTime &start, const QDateTime &end, double playedSeconds,
                   const Item &item, const QString &outcome);
    // An item that ends by itself ended only when it sounded for at least
    // half its length; one that never sounded, or stopped short, failed.
    static Outcome endOf(const Item &item, double playedSeconds);

private:
    struct OpenRow
    {
        Item item;
        QDateTime start;
        QElapsedTimer heard;
        bool haveOutcome = false;
        Outcome outcome = Outcome::Ended;
    };

    // A failure is written a moment later: an outage noticed meanwhile
    // turns it into an interruption.
    struct Failed
    {
        OpenRow row;
        QDateTime end;
        double played;
    };

    double playedSeconds(const OpenRow &row) const;
    bool append(const QDateTime &start, const Row &text);
    void writeJournal();
    void writeFailed(Outcome outcome);

    QString folder;
    QHash<const void *, OpenRow> open;
    QList<Failed> failed;
    QTimer *journalRefresh;
    QTimer *failedHold;
};

#endif
