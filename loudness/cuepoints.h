#ifndef CUEPOINTS_H
#define CUEPOINTS_H

#include <QtGlobal>

// Where the sound of a file is, found in the decode that measures its
// loudness; milliseconds from the file's start, -1 when not found.
struct CuePoints
{
    // The first and the last moment above the silence threshold.
    qint64 start = -1;
    qint64 end = -1;
    // Music only: where the sound falls for good below its own loudness by
    // the fade threshold; -1 when there is no such fade longer than the
    // hand-over time.
    qint64 fade = -1;

    bool known() const { return start >= 0 && end > start; }
    bool operator==(const CuePoints &other) const
    {
        return start == other.start && end == other.end && fade == other.fade;
    }
};

// A music item overlaps the next no earlier than this before its audible end.
constexpr qint64 kLongestCueOverlapMs = 10000;

// Where an item with these cue points leaves the air, in ms from its file's
// start: music `handOverSeconds` before its audible end, or at its fade-out
// when that comes earlier (no more than kLongestCueOverlapMs before the end);
// anything else at its audible end. -1 when the cue points are not known.
inline qint64 leavingPoint(const CuePoints &cues, bool music, int handOverSeconds)
{
    if (!cues.known())
        return -1;
    if (!music)
        return cues.end;
    qint64 point = cues.end - qint64(handOverSeconds) * 1000;
    if (cues.fade >= 0 && cues.fade < point)
        point = qMax(cues.fade, cues.end - kLongestCueOverlapMs);
    return qMax(point, cues.start);
}

#endif
