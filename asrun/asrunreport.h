#ifndef ASRUNREPORT_H
#define ASRUNREPORT_H

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include "asrunformat.h"

// Sums up what went on air over a run of days, from the desk's as-run logs
// (one CSV file per day, "YYYY-MM-DD.csv", in the 8-column form or in the
// 12-column form that adds album, composer, ISRC and length): per kind, title
// and artist, the plays, the seconds heard and the first and last start. A row
// belongs to the day of the file it is in. Rows that cannot be read are
// skipped, each with one warning.
//
// A row is a play when it was heard for at least the floor (30 s unless set),
// or, with a known length shorter than twice the floor, for at least half that
// length. An item never heard (0 s) is no play; the others under the floor are
// left out: they add nothing to the plays or the seconds, and the report's
// last line says how many. An "interrupted" play that starts again within
// five minutes of its cut (the desk's fresh start after an outage) is one
// play with its replay.
class AsRunReport
{
public:
    static constexpr qint64 kDefaultFloorTenths = 300;

    enum class Language { Portuguese, English };

    struct Total
    {
        QString kind;
        QString title;
        QString artist;
        QString composer; // from the latest play that has one
        QString album;
        QString isrc;
        qint64 lengthTenths = -1; // -1: unknown
        int plays = 0;
        qint64 playedTenths = 0; // tenths of a second
        QString first;          // start of the first and of the last play, as logged
        QString last;
    };

    // The kinds of item, in the order the report lists them.
    static const QStringList &kinds();
    // A "YYYY-MM-DD" date; an invalid date for anything else.
    static QDate parseDay(QStringView text);
    // "30" or "12.5" seconds in tenths; -1 for anything else.
    static qint64 parseSeconds(QStringView text);

    // `floorTenths`: the least time heard that makes a play. `keepPlays`
    // keeps every play for playsCsv().
    explicit AsRunReport(qint64 floorTenths = kDefaultFloorTenths, bool keepPlays = false);

    // Reads the day files from `from` to `to` (inclusive) in `folder`; a day
    // without a file is a day off air. False, with error() telling why, when
    // the folder or one of those files cannot be read.
    bool read(const QString &folder, QDate from, QDate to);
    // Adds the rows of one day file; `name` stands for it in warnings.
    void addDay(const QByteArray &content, const QString &name);

    // The totals of the given kinds: kind after kind in the order of kinds(),
    // then the most played first, then by title.
    QVector<Total> totals(const QStringList &selected) const;
    // The totals as CSV, after a header line in `language`, and then
    // "# " and leftOutNote() when rows were left out.
    QByteArray csv(const QStringList &selected, Language language = Language::Portuguese) const;
    // Every play of the given kinds in the order of their starts, as CSV,
    // with the same header and last line in `language`.
    QByteArray playsCsv(const QStringList &selected, Language language = Language::Portuguese) const;
    // How many rows of the given kinds were heard, but too briefly to count.
    int leftOut(const QStringList &selected) const;
    // "3 plays under 30 s left out", in `language`; empty when none were.
    QString leftOutNote(const QStringList &selected, Language language) const;

    int daysRead() const { return days; }
    // "file:line: ..." for every row skipped, in reading order.
    const QStringList &warnings() const { return skipped; }
    const QString &error() const { return failure; }

private:
    struct Key
    {
        int kind;
        QString title;
        QString artist;
        bool operator==(const Key &other) const
        {
            return kind == other.kind && title == other.title && artist == other.artist;
        }
    };
    friend size_t qHash(const Key &key, size_t seed)
    {
        return qHashMulti(seed, key.kind, key.title, key.artist);
    }

    // A tag of a work as its latest play that had it tells it.
    struct Latest
    {
        QString text;
        qint64 at = -1;
    };

    struct Tally
    {
        int plays = 0;
        qint64 playedTenths = 0;
        qint64 first = 0; // yyyyMMddhhmmss as a number, which orders like the time
        qint64 last = 0;
        Latest composer;
        Latest album;
        Latest isrc;
        qint64 lengthTenths = -1;
        qint64 lengthAt = -1;
    };

    struct Play
    {
        qint64 start;
        int kind;
        QString title;
        QString artist;
        QString composer;
        QString album;
        QString isrc;
        qint64 lengthTenths;
        qint64 playedTenths;
        QString outcome;
        bool replayed = false; // cut by an outage and played again: one play with the replay
    };

    // A play cut by an outage or a crash; the fresh start plays it again.
    struct Cut
    {
        qint64 end; // seconds since the epoch
        qsizetype play; // its place in `plays`, when they are kept
    };

    qint64 floor;
    bool keepPlays;
    QHash<Key, Tally> tallies;
    QHash<Key, Cut> cuts;
    QVector<Play> plays;
    QVector<int> briefRows; // per kind: heard, but under the floor
    QStringList skipped;
    QString failure;
    int days = 0;
};

#endif
