#ifndef STARTTIMES_H
#define STARTTIMES_H

#include "cuepoints.h"
#include "playlist.h"

#include <QDateTime>

#include <optional>
#include <vector>

// When each row of the running order is expected to start: counted from the
// item on air (or from now, off air), each row adding how long it holds the
// air, and from a fixed entry's own time after it. A fixed time
// that has passed today is tomorrow's, and the plain order passes its entry
// over.
namespace StartTimes {

struct Origin
{
    int row = 0;
    // When `row` starts, or, with `onAir`, when the item on air in `row`
    // hands over; invalid when that is not known.
    QDateTime at;
    bool onAir = false;
    // The wall clock: a fixed time is its next occurrence after this.
    QDateTime now;
    // A fixed entry that is next (its soft time came, or it was marked): it
    // starts when the item on air leaves, and the order goes on after it.
    int fixedNext = -1;
};

struct Row
{
    QDateTime at; // invalid: not known
    bool fixed = false;
    bool onAir = false;
    // A fixed time that has passed today: `at` is tomorrow's.
    bool tomorrow = false;
    // A fixed row due later today: when the plain order would reach it, less
    // its time.
    std::optional<qint64> missMs;
};

// An entry holds the air from its first sound to where it leaves (`cues`:
// each row's cue points, by row; a row without known ones, or beyond the
// list, holds it for its length, music less `transitionSeconds`).
std::vector<Row> compute(const std::vector<Playlist> &playlist, const Origin &origin, int transitionSeconds,
                         const std::vector<CuePoints> &cues = {});

// "HH:mm:ss", "--:--:--" when not known, for a fixed row the miss after it
// ("12:00:00 −0:42") or its day ("amanhã 12:00:00", translated in the
// window's context); empty for the row on air.
QString text(const Row &row);

// A length as "m:ss", or "h:mm:ss" from an hour on.
QString span(qint64 ms);

// The length an entry's duration text gives; none for "--:--".
std::optional<qint64> lengthMs(const Playlist &entry);

} // namespace StartTimes

#endif
