#ifndef FADEFINDER_H
#define FADEFINDER_H

#include <QString>

// Where an item's sound falls for good below a loudness, read from the
// samples of a WAV file near its end: the decoder then need not log the
// meter's every 100 ms.
namespace FadeFinder {

// The fade-out start in ms from the file's start: the last moment before
// `endMs` at which the momentary loudness (400 ms, K-weighted) is at or above
// `floorLufs`, when it stays below it for at least `shortestMs` after that.
// -1 when it does not fall there, or the file cannot be read. Only the last
// `searchMs` before the end are read.
qint64 find(const QString &wavPath, qint64 startMs, qint64 endMs, double floorLufs, qint64 searchMs,
            qint64 shortestMs);

} // namespace FadeFinder

#endif
