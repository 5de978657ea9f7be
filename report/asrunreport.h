#ifndef ASRUNREPORT_H
#define ASRUNREPORT_H

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// The folder of the as-run logs, shared by the desk that writes them and the
// report that reads them: "OrvaRadio/as-run" in $XDG_DATA_HOME, or in
// ~/.local/share when that is unset or empty.
QString asRunFolder();

// One CSV field in UTF-8, quoted (quotes doubled) when it holds a comma, a
// quote or a line break.
QByteArray csvField(const QString &text);

// Sums up what went on air over a run of days, from the desk's as-run logs
// (one CSV file per day, "YYYY-MM-DD.csv"): per kind, title and artist, the
// plays, the seconds heard and the first and last start. A row belongs to the
// day of the file it is in. Rows that cannot be read are skipped, each with
// one warning; an item that was never heard (0 seconds) is not a play.
class AsRunReport
{
public:
    struct Total
    {
        QString kind;
        QString title;
        QString artist;
        int plays = 0;
        qint64 playedTenths = 0; // tenths of a second
        QString first;          // start of the first and of the last play, as logged
        QString last;
    };

    // The kinds of item, in the order the report lists them.
    static const QStringList &kinds();
    // A "YYYY-MM-DD" date; an invalid date for anything else.
    static QDate parseDay(QStringView text);

    // Reads the day files from `from` to `to` (inclusive) in `folder`; a day
    // without a file is a day off air. False, with error() telling why, when
    // the folder or one of those files cannot be read.
    bool read(const QString &folder, QDate from, QDate to);
    // Adds the rows of one day file; `name` stands for it in warnings.
    void addDay(const QByteArray &content, const QString &name);

    // The totals of the given kinds: kind after kind in the order of kinds(),
    // then the most played first, then by title.
    QVector<Total> totals(const QStringList &selected) const;
    // The same as CSV, after the header line
    // "kind,title,artist,plays,played_s,first,last".
    QByteArray csv(const QStringList &selected) const;

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

    struct Tally
    {
        int plays = 0;
        qint64 playedTenths = 0;
        qint64 first = 0; // yyyyMMddhhmmss as a number, which orders like the time
        qint64 last = 0;
    };

    QHash<Key, Tally> tallies;
    QStringList skipped;
    QString failure;
    int days = 0;
};

#endif
