#include "starttimes.h"

#include <QCoreApplication>

namespace StartTimes {

namespace {

// How long an entry keeps the plain order: music hands over before its end,
// and with its cue points known the silence around its sound is not played.
std::optional<qint64> heldMs(const Playlist &entry, int transitionSeconds, const CuePoints &cues)
{
    const bool music = playedKind(entry.kind) == QLatin1String("music");
    const qint64 leaves = leavingPoint(cues, music, transitionSeconds);
    if (leaves >= 0)
        return leaves - cues.start;
    const std::optional<qint64> length = lengthMs(entry);
    if (!length)
        return std::nullopt;
    const qint64 overlap = music ? transitionSeconds * 1000LL : 0;
    return *length > overlap ? *length - overlap : *length;
}

} // namespace

QString span(qint64 ms)
{
    const qint64 seconds = (ms + 500) / 1000;
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::optional<qint64> lengthMs(const Playlist &entry)
{
    const QStringList parts = entry.duration.split(QLatin1Char(':'));
    bool minutesRead = false;
    bool secondsRead = false;
    const qint64 minutes = parts.value(0).toLongLong(&minutesRead);
    const qint64 seconds = parts.value(1).toLongLong(&secondsRead);
    if (parts.size() != 2 || !minutesRead || !secondsRead)
        return std::nullopt;
    return (minutes * 60 + seconds) * 1000;
}

std::vector<Row> compute(const std::vector<Playlist> &playlist, const Origin &origin, int transitionSeconds,
                         const std::vector<CuePoints> &cues)
{
    const int size = int(playlist.size());
    std::vector<Row> rows(static_cast<size_t>(size));
    if (origin.row < 0 || origin.row >= size)
        return rows;
    rows[size_t(origin.row)].onAir = origin.onAir;
    const bool fixedNext = origin.onAir && origin.fixedNext >= 0 && origin.fixedNext < size
                           && origin.fixedNext != origin.row && playlist[size_t(origin.fixedNext)].fixed.isSet();
    // Each row once, from the one that plays next; the item on air, reached
    // again after a fixed entry that is next, only adds its length.
    const int from = fixedNext ? origin.fixedNext : origin.onAir ? origin.row + 1 : origin.row;
    QDateTime cursor = origin.at;
    for (int step = 0; step < size; ++step) {
        const int index = (from + step) % size;
        const Playlist &entry = playlist[size_t(index)];
        const std::optional<qint64> held =
            heldMs(entry, transitionSeconds, size_t(index) < cues.size() ? cues[size_t(index)] : CuePoints());
        Row &row = rows[size_t(index)];
        if (origin.onAir && index == origin.row) {
            cursor = cursor.isValid() && held ? cursor.addMSecs(*held) : QDateTime();
            continue;
        }
        // What plays first starts at the origin, fixed or not.
        const bool first = step == 0 && (fixedNext || !origin.onAir);
        if (entry.fixed.isSet() && !first) {
            row.fixed = true;
            const QDateTime today(origin.now.date(), entry.fixed.at);
            if (today <= origin.now) {
                row.at = today.addDays(1);
                row.tomorrow = true;
                continue;
            }
            row.at = today;
            if (cursor.isValid())
                row.missMs = today.msecsTo(cursor);
            cursor = today;
        } else {
            row.fixed = entry.fixed.isSet();
            row.at = cursor;
        }
        cursor = cursor.isValid() && held ? cursor.addMSecs(*held) : QDateTime();
    }
    return rows;
}

QString text(const Row &row)
{
    if (row.onAir)
        return QString();
    if (!row.at.isValid())
        return QStringLiteral("--:--:--");
    // Rounded to the second the clock on the wall will show.
    QString shown = row.at.addMSecs(500).toString(QStringLiteral("HH:mm:ss"));
    if (row.tomorrow)
        return QCoreApplication::translate("MainWindow", "amanhã %1").arg(shown);
    if (row.missMs && *row.missMs / 1000 != 0)
        shown += (*row.missMs < 0 ? QStringLiteral(" \u2212") : QStringLiteral(" +")) + span(qAbs(*row.missMs));
    return shown;
}

} // namespace StartTimes
