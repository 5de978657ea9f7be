#include "audioplayer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QtEndian>

#include <cstdio>

namespace {

constexpr int kConvertTimeoutMs = 30000;
constexpr int kProbeTimeoutMs = 5000;

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

// Starts `program` from the search path, no shell involved, and waits for it.
// True when it ran to completion with exit status 0; a program still running
// after the bound is killed.
bool runToSuccess(QProcess &process, const QString &program, const QStringList &arguments,
                  int timeoutMs)
{
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

QString AudioPlayer::transcodeIfNeeded(const QString &path)
{
    if (!path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive))
        return path;

    const QFileInfo info(path);
    const QString output =
        QDir::tempPath() + QStringLiteral("/orvadio_") + cacheKey(info) + QStringLiteral(".wav");
    if (QFileInfo::exists(output))
        return output;

    // Converted under a temporary name and moved into place only when complete,
    // so an interrupted conversion never looks like a cache hit.
    QTemporaryFile partial(output + QStringLiteral(".XXXXXX.part"));
    if (!partial.open())
        return path;
    partial.close();

    QProcess converter;
    if (!runToSuccess(converter, QStringLiteral("ffmpeg"),
                      {QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error"),
                       QStringLiteral("-i"), path, QStringLiteral("-vn"), QStringLiteral("-acodec"),
                       QStringLiteral("pcm_s16le"), QStringLiteral("-f"), QStringLiteral("wav"),
                       partial.fileName()},
                      kConvertTimeoutMs))
        return path;
    if (std::rename(QFile::encodeName(partial.fileName()).constData(),
                    QFile::encodeName(output).constData()) != 0)
        return path;
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
