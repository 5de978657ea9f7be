#include "mediacheck.h"
#include "deskfiles.h"
#include "wavreader.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace {

// Bytes looked at to tell a text file from audio.
constexpr qint64 kSniffBytes = 512;
// A file that decodes to less than this share of its stated length, and at
// least this many seconds less, stops long before its end.
constexpr double kShortShare = 0.9;
constexpr double kShortSlackSeconds = 0.5;

} // namespace

MediaCheck::Problem MediaCheck::quickProblem(const QString &path)
{
    const QFileInfo info(path);
    // A pipe or a device is left to the media framework alone: opening it
    // here could block the window, and reading it would take its data.
    if (info.exists() && !info.isFile() && !info.isDir())
        return Problem::None;
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        return Problem::Unreadable;
    const QByteArray head = file.read(kSniffBytes);
    if (head.isEmpty())
        return Problem::Empty;
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WAVE") {
        // A copy cut short after its header: the framework would wait for
        // data that never comes.
        WavReader::Chunks wav;
        if (!WavReader::readChunks(file, wav) || wav.dataBytes < qMax(1, wav.blockAlign))
            return Problem::NoAudioData;
        return Problem::None;
    }
    // Every audio container carries binary bytes (sizes, frame headers) at
    // its start; text has none.
    for (const char byte : head) {
        const auto value = static_cast<unsigned char>(byte);
        if (value < 0x09 || (value > 0x0d && value < 0x20))
            return Problem::None;
    }
    return Problem::NotAudio;
}

QString MediaCheck::logText(Problem problem)
{
    switch (problem) {
    case Problem::None:
        break;
    case Problem::Unreadable:
        return QStringLiteral("File not found or not readable");
    case Problem::Empty:
        return QStringLiteral("Empty file");
    case Problem::NotAudio:
        return QStringLiteral("Not an audio file");
    case Problem::NoAudioData:
        return QStringLiteral("WAV file without audio data");
    case Problem::DecodeErrors:
        return QStringLiteral("Does not decode");
    case Problem::Short:
        return QStringLiteral("Decodes short of its length");
    case Problem::EmptyFolder:
        return QStringLiteral("No audio in folder");
    }
    return QString();
}

MediaCheck::Verdict MediaCheck::decodeVerdict(bool ran, const QByteArray &errors,
                                              double decodedSeconds, double statedSeconds)
{
    Verdict verdict;
    verdict.known = true;
    QByteArray firstError = errors.trimmed().split('\n').value(0).trimmed();
    // "[mp3float @ 0x5562...] Header missing": the decoder's name and address
    // say nothing to an operator.
    if (firstError.startsWith('[') && firstError.contains("] "))
        firstError = firstError.mid(firstError.indexOf("] ") + 2);
    if (!ran || !firstError.isEmpty()) {
        verdict.problem = Problem::DecodeErrors;
        verdict.detail = QString::fromUtf8(firstError);
    } else if (statedSeconds > 0.0 && decodedSeconds < statedSeconds * kShortShare
               && statedSeconds - decodedSeconds > kShortSlackSeconds) {
        verdict.problem = Problem::Short;
        verdict.detail = QStringLiteral("%1 of %2 s")
                             .arg(decodedSeconds, 0, 'f', 1)
                             .arg(statedSeconds, 0, 'f', 1);
    }
    return verdict;
}

MediaCheck::Verdict MediaCheck::verdict(const QString &path) const
{
    const auto found = known.constFind(path);
    if (found == known.cend())
        return {};
    if (FileStamp::of(path) != found->stamp)
        return {};
    return found->verdict;
}

void MediaCheck::record(const QString &path, const Verdict &verdict)
{
    known.insert(path, {FileStamp::of(path), verdict});
}

bool MediaCheck::recordQuickLook(const QString &path)
{
    const Problem problem = quickProblem(path);
    if (problem == Problem::None)
        return false;
    Verdict verdict;
    verdict.known = true;
    verdict.problem = problem;
    record(path, verdict);
    return true;
}
