#ifndef ASRUNLOG_H
#define ASRUNLOG_H

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include "onairevents.h"

class QTimer;

// What went on air: one CSV file per day ("YYYY-MM-DD.csv" in the folder
// given), one row per item, written when the item leaves the air. A row is
// appended with a single write, so a crash never spoils the rows before it.
// While items are on air, their rows-to-be sit in a journal file beside the
// logs; a journal left by a desk that died becomes "interrupted" rows at the
// next start.
//
// The items and why they left are the on-air events' record: the log only
// writes it.
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

private:
    // A row to be written: a failure is written a moment later, so that an
    // outage noticed meanwhile turns it into an interruption. The later
    // failures of a run are held until it ends, or for at most a minute.
    struct Pending
    {
        Item item;
        QDateTime start;
        QDateTime end;
        double played;
    };

    void left(const OnAirEvents::Record &record);
    bool append(const QDateTime &start, const Row &text);
    void writeJournal();
    void writeFailed(Outcome outcome);
    void endRun(Outcome outcome);

    QString folder;
    QPointer<OnAirEvents> events;
    QList<Pending> failed;
    QTimer *journalRefresh;
    QTimer *failedHold;
    QTimer *runRows;
    bool inRun = false;
};

#endif
