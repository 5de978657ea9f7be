#include "audioplayer.h"
#include "conversioncache.h"
#include "helperprocess.h"
#include "loudness.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kProbeTimeoutMs = 5000;
// A killed helper is gone at once, unless the disk it waits on has stalled.
constexpr int kKilledWaitMs = 1000;
// The converter gets this long for any file, plus a share per megabyte:
// measured, an hour of 128 kb/s MP3 (58 MB) converts in about 3.5 s.
constexpr int kBaseTimeoutMs = 30000;
constexpr int kTimeoutMsPerMegabyte = 2000;
constexpr qint64 kDefaultBoundBytes = qint64(2) << 30;

// A number that depends on the file's content stamp (modification time and
// size) and on where it lives, so two different files never share a cache
// entry even when their times and sizes agree.
QString cacheKey(const QFileInfo &info)
{
    const QByteArray digest = QCryptographicHash::hash(
        info.absoluteFilePath().toUtf8(), QCryptographicHash::Sha1);
    const qint64 pathPart = qFromBigEndian<qint64>(digest.constData());
    const qint64 key = info.lastModified().toMSecsSinceEpoch() ^ info.size() ^ pathPart;
    const quint64 magnitude = key < 0 ? 0 - quint64(key) : quint64(key);
    return QString::number(magnitude);
}

// True for a regular file (not a symlink) owned by this user; `status` gets
// what lstat found. Whether anything exists at all is in `exists`.
bool ours(const QString &path, struct stat &status, bool &exists)
{
    exists = ::lstat(QFile::encodeName(path).constData(), &status) == 0;
    return exists && S_ISREG(status.st_mode) && status.st_uid == ::geteuid();
}

// Starts `program` from the search path, no shell involved, and waits for it.
// True when it ran to completion with exit status 0; a program still running
// after the bound is killed.
bool runToSuccess(QProcess &process, const QString &program, const QStringList &arguments,
                  int timeoutMs)
{
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        if (process.state() != QProcess::NotRunning)
            HelperProcess::noteOverrun(program, timeoutMs);
        process.kill();
        process.waitForFinished(kKilledWaitMs);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

namespace ConversionCache {

bool isMp3(const QString &source)
{
    return source.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
}

QString cacheFileFor(const QString &source)
{
    return QDir::tempPath() + QStringLiteral("/orvadio_") + cacheKey(QFileInfo(source))
           + QStringLiteral(".wav");
}

Copy lookUp(const QString &cacheFile)
{
    struct stat status;
    bool exists = false;
    if (ours(cacheFile, status, exists))
        return Copy::Ready;
    if (!exists)
        return Copy::Missing;
    // Once per name: the queue looks at the same file again and again.
    static QSet<QString> named;
    if (!named.contains(cacheFile)) {
        named.insert(cacheFile);
        qWarning() << "Cache file not ours, left alone:" << cacheFile;
    }
    return Copy::Foreign;
}

void markUsed(const QString &cacheFile)
{
    ::utimensat(AT_FDCWD, QFile::encodeName(cacheFile).constData(), nullptr, 0);
}

QStringList converterArguments(const QString &source, const QString &output, bool measure, double lengthSeconds)
{
    QStringList arguments{QStringLiteral("-y")};
    arguments << (measure ? Loudness::logArguments() : QStringList{QStringLiteral("-v"), QStringLiteral("error")});
    arguments << QStringLiteral("-i") << source << QStringLiteral("-vn");
    if (measure)
        arguments << Loudness::filterArguments(lengthSeconds, false);
    arguments << QStringLiteral("-acodec") << QStringLiteral("pcm_s16le") << QStringLiteral("-f")
              << QStringLiteral("wav") << output;
    return arguments;
}

int timeoutMs(const QString &source)
{
    const qint64 megabytes = QFileInfo(source).size() >> 20;
    return int(std::min<qint64>(kBaseTimeoutMs + megabytes * kTimeoutMsPerMegabyte,
                                std::numeric_limits<int>::max()));
}

qint64 boundBytes()
{
    bool ok = false;
    const qint64 megabytes = qEnvironmentVariable("ORVARADIO_CACHE_MAX_MB").toLongLong(&ok);
    if (ok && megabytes >= 0)
        return megabytes << 20;
    const QStorageInfo storage(QDir::tempPath());
    const qint64 quarter = storage.isValid() ? storage.bytesAvailable() / 4 : kDefaultBoundBytes;
    return std::min(kDefaultBoundBytes, quarter);
}

void trim(const QSet<QString> &keep)
{
    struct Copy
    {
        QString path;
        qint64 size;
        qint64 used;
    };
    const QDir folder(QDir::tempPath());
    const QRegularExpression ownName(QStringLiteral("^orvadio_[0-9]+\\.wav$"));
    QList<Copy> copies;
    qint64 total = 0;
    for (const QString &name : folder.entryList({QStringLiteral("orvadio_*.wav")}, QDir::Files)) {
        const QString path = folder.filePath(name);
        struct stat status;
        bool exists = false;
        if (!ownName.match(name).hasMatch() || !ours(path, status, exists))
            continue;
        copies.append({path, qint64(status.st_size),
                       qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec});
        total += status.st_size;
    }
    const qint64 bound = boundBytes();
    if (total <= bound)
        return;
    std::sort(copies.begin(), copies.end(),
              [](const Copy &a, const Copy &b) { return a.used < b.used; });
    for (const Copy &copy : copies) {
        if (total <= bound)
            break;
        if (keep.contains(copy.path) || !QFile::remove(copy.path))
            continue;
        total -= copy.size;
    }
}

} // namespace ConversionCache

QString AudioPlayer::transcodeIfNeeded(const QString &path)
{
    if (!ConversionCache::isMp3(path))
        return path;

    const QString output = ConversionCache::cacheFileFor(path);
    switch (ConversionCache::lookUp(output)) {
    case ConversionCache::Copy::Ready:
        ConversionCache::markUsed(output);
        return output;
    case ConversionCache::Copy::Foreign:
        return path;
    case ConversionCache::Copy::Missing:
        break;
    }

    // Converted under a temporary name and moved into place only when complete,
    // so an interrupted conversion never looks like a cache hit.
    QTemporaryFile partial(output + QStringLiteral(".XXXXXX.part"));
    if (!partial.open())
        return path;
    partial.close();

    QProcess converter;
    if (!runToSuccess(converter, QStringLiteral("ffmpeg"),
                      ConversionCache::converterArguments(path, partial.fileName()),
                      ConversionCache::timeoutMs(path)))
        return path;
    if (std::rename(QFile::encodeName(partial.fileName()).constData(),
                    QFile::encodeName(output).constData()) != 0)
        return path;
    ConversionCache::trim({output});
    return output;
}

bool AudioPlayer::isValidMediaFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isReadable())
        return false;

    QProcess prober;
    if (!runToSuccess(prober, QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"),
                       QStringLiteral("-show_entries"), QStringLiteral("format=duration"),
                       QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1:nokey=1"),
                       path},
                      kProbeTimeoutMs))
        return false;
    const QString duration = QString::fromUtf8(prober.readAllStandardOutput().trimmed());
    if (duration.isEmpty())
        return false;
    bool ok = false;
    duration.toDouble(&ok);
    return ok;
}
