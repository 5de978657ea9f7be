#ifndef CONVERSIONCACHE_H
#define CONVERSIONCACHE_H

#include <QSet>
#include <QString>
#include <QStringList>

// The WAV copies of MP3 files in the temporary folder, shared by the waiting
// conversion and the background queue.
namespace ConversionCache {

bool isMp3(const QString &source);

// Where the WAV copy of `source` lives: "orvadio_<number>.wav" in the
// temporary folder. The number changes when the file is touched or resized.
QString cacheFileFor(const QString &source);

enum class Copy { Missing, Ready, Foreign };

// Ready only for a regular file (not a symlink) owned by this user: only our
// own copies go on air. Anything else at that name is Foreign, left alone
// and named once in the log.
Copy lookUp(const QString &cacheFile);

// Marks a copy as just used: the cache is trimmed least recently used first.
void markUsed(const QString &cacheFile);

// The converter's arguments: 16-bit PCM WAV, video dropped, output replaced.
// With `measure`, it also measures the loudness of what it decodes, `lengthSeconds`
// long when known; the fade is then found in the copy.
QStringList converterArguments(const QString &source, const QString &output, bool measure = false,
                               double lengthSeconds = -1.0);

// How long the converter may take for `source`: it grows with the file, so
// that a programme of several hours still converts.
int timeoutMs(const QString &source);

// The most the desk's copies may take together: ORVARADIO_CACHE_MAX_MB when
// set, else 2 GiB or a quarter of the temporary folder's free space,
// whichever is smaller.
qint64 boundBytes();

// Removes the least recently used copies until the rest fit the bound. The
// files in `keep` stay whatever their age.
void trim(const QSet<QString> &keep);

} // namespace ConversionCache

#endif
