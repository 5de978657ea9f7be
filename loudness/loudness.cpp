#include "loudness.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const QByteArray kHeader = QByteArrayLiteral("# OrvaRadio loudness 1");
// An item's true peak stays at or below this after its gain.
constexpr double kPeakCeiling = -1.0;
// What ffmpeg says of digital silence ("-inf"), as a number that sorts and sums.
constexpr double kFloor = -150.0;
// Path characters written as they are; the rest, tabs and line ends among
// them, as %XX.
const QByteArray kPlainPathBytes = QByteArrayLiteral("/-_.~ !$&'()*+,;=:@[]");

std::optional<double> numberIn(const QString &text, bool *ok = nullptr)
{
    const QString trimmed = text.trimmed();
    if (ok)
        *ok = trimmed == QLatin1String("-inf");
    if (trimmed == QLatin1String("-inf"))
        return kFloor;
    bool parsed = false;
    const double value = trimmed.toDouble(&parsed);
    if (ok)
        *ok = parsed && std::isfinite(value);
    if (!parsed || !std::isfinite(value))
        return std::nullopt;
    return std::max(value, kFloor);
}

} // namespace

Loudness::Loudness(const QString &storeFile, QObject *parent)
    : QObject(parent)
    , storeFile(storeFile)
{
    load();
}

QString Loudness::defaultStoreFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
           + QStringLiteral("/OrvaRadio/loudness.txt");
}

int Loudness::targetFrom(const QVariant &stored)
{
    if (!stored.isValid())
        return kDefaultTarget;
    bool ok = false;
    const int target = stored.toString().trimmed().toInt(&ok);
    if (ok && target >= kLowestTarget && target <= kHighestTarget)
        return target;
    qWarning() << "Setting audio/loudnessTarget =" << stored.toString() << "unusable, using"
               << kDefaultTarget;
    return kDefaultTarget;
}

void Loudness::configure(bool normalizeOn, int target)
{
    normalize = normalizeOn;
    targetLufs = target;
    median.reset();
}

void Loudness::load()
{
    QFile file(storeFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    int bad = 0;
    int firstBad = 0;
    int superseded = 0;
    const bool ours = !lines.isEmpty() && lines.first().trimmed() == kHeader;
    for (int number = ours ? 1 : 0; number < lines.size(); ++number) {
        const QByteArray &line = lines[number];
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        bool sizeOk = false;
        bool modifiedOk = false;
        bool integratedOk = false;
        bool peakOk = false;
        Known entry{};
        QString path;
        if (fields.size() == 5) {
            entry.stamp.size = fields[0].toLongLong(&sizeOk);
            entry.stamp.modified = fields[1].toLongLong(&modifiedOk);
            entry.measure.integrated =
                numberIn(QString::fromLatin1(fields[2]), &integratedOk).value_or(0.0);
            entry.measure.truePeak = numberIn(QString::fromLatin1(fields[3]), &peakOk).value_or(0.0);
            path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[4]));
        }
        if (!ours || !sizeOk || !modifiedOk || !integratedOk || !peakOk || !path.startsWith('/')) {
            if (bad++ == 0)
                firstBad = number + 1;
            continue;
        }
        if (known.contains(path))
            ++superseded;
        known.insert(path, entry);
    }
    if (bad > 0)
        qWarning() << "Loudness measurements" << storeFile << ":" << bad
                   << "unreadable line(s) ignored, the first is line" << firstBad;
    // Written afresh so that the warning is not repeated at every start,
    // and a file of many re-measured entries shrinks.
    if (bad > 0 || superseded > known.size())
        rewrite();
}

QByteArray Loudness::lineOf(const QString &path, const Known &entry)
{
    return QByteArray::number(entry.stamp.size) + '\t' + QByteArray::number(entry.stamp.modified) + '\t'
           + QByteArray::number(entry.measure.integrated, 'f', 2) + '\t'
           + QByteArray::number(entry.measure.truePeak, 'f', 2) + '\t'
           + path.toUtf8().toPercentEncoding(kPlainPathBytes) + '\n';
}

void Loudness::rewrite()
{
    QDir().mkpath(QFileInfo(storeFile).absolutePath());
    QSaveFile file(storeFile);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(kHeader + '\n');
    for (auto entry = known.cbegin(); entry != known.cend(); ++entry)
        file.write(lineOf(entry.key(), entry.value()));
    if (!file.commit())
        qWarning() << "Loudness measurements could not be written to" << storeFile;
}

std::optional<LoudnessMeasure> Loudness::measure(const QString &path) const
{
    const auto found = known.constFind(path);
    if (found == known.cend())
        return std::nullopt;
    const FileStamp now = FileStamp::of(path);
    if (now != found->stamp)
        return std::nullopt;
    return found->measure;
}

void Loudness::record(const QString &path, const LoudnessMeasure &measure)
{
    const FileStamp now = FileStamp::of(path);
    if (now.size < 0)
        return;
    const Known entry{now, measure};
    known.insert(path, entry);
    median.reset();
    // One line appended per file: a desk that dies mid-write loses at most
    // that line, which the next start ignores.
    QDir().mkpath(QFileInfo(storeFile).absolutePath());
    QFile file(storeFile);
    const bool fresh = !file.exists() || file.size() == 0;
    const bool written = file.open(QIODevice::Append)
                         && file.write((fresh ? kHeader + '\n' : QByteArray()) + lineOf(path, entry)) > 0;
    // A cache folder that cannot be written is named once, not per file; the
    // measures still serve this run.
    if (!written && !writeWarned)
        qWarning() << "Loudness measurements could not be written to" << storeFile;
    writeWarned = writeWarned || !written;
    emit measured(path);
}

double Loudness::gainOf(const LoudnessMeasure &measure) const
{
    // The output cannot go above full volume: a quiet item plays at its own level.
    return std::min({double(targetLufs) - measure.integrated, kPeakCeiling - measure.truePeak, 0.0});
}

double Loudness::medianGain() const
{
    if (!median) {
        std::vector<double> gains;
        gains.reserve(size_t(known.size()));
        for (const Known &entry : known)
            gains.push_back(gainOf(entry.measure));
        if (gains.empty()) {
            median = 0.0;
        } else {
            const auto middle = gains.begin() + std::ptrdiff_t(gains.size() / 2);
            std::nth_element(gains.begin(), middle, gains.end());
            median = *middle;
        }
    }
    return *median;
}

double Loudness::gainDb(const QString &path) const
{
    if (!normalize)
        return 0.0;
    const std::optional<LoudnessMeasure> found = measure(path);
    return found ? gainOf(*found) : medianGain();
}

float Loudness::factor(double gainDb)
{
    return float(std::pow(10.0, gainDb / 20.0));
}

float Loudness::startGain(const QString &path)
{
    if (!normalize)
        return 1.0f;
    const std::optional<LoudnessMeasure> found = measure(path);
    if (found && found->integrated < double(targetLufs))
        qInfo().noquote() << QStringLiteral("Loudness: %1 LUFS, below the target by %2 LU, plays at "
                                            "its own level: \"%3\"")
                                 .arg(found->integrated, 0, 'f', 1)
                                 .arg(double(targetLufs) - found->integrated, 0, 'f', 1)
                                 .arg(path);
    return factor(gainDb(path));
}

QStringList Loudness::logArguments()
{
    return {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
            QStringLiteral("level+info")};
}

QStringList Loudness::filterArguments()
{
    return {QStringLiteral("-af"), QStringLiteral("ebur128=peak=true:framelog=verbose")};
}

std::optional<LoudnessMeasure> Loudness::fromLog(const QByteArray &log)
{
    const qsizetype summary = log.lastIndexOf("Integrated loudness:");
    if (summary < 0)
        return std::nullopt;
    const QString text = QString::fromUtf8(log.mid(summary));
    static const QRegularExpression integrated(QStringLiteral("\\bI:\\s+(-?inf|-?[0-9.]+) LUFS"));
    static const QRegularExpression peak(QStringLiteral("\\bPeak:\\s+(-?inf|-?[0-9.]+) dBFS"));
    const QRegularExpressionMatch i = integrated.match(text);
    const QRegularExpressionMatch p = peak.match(text);
    if (!i.hasMatch() || !p.hasMatch())
        return std::nullopt;
    const std::optional<double> lufs = numberIn(i.captured(1));
    const std::optional<double> dbtp = numberIn(p.captured(1));
    if (!lufs || !dbtp)
        return std::nullopt;
    return LoudnessMeasure{*lufs, *dbtp};
}

QByteArray Loudness::errorLines(const QByteArray &log)
{
    QByteArray errors;
    for (const QByteArray &line : log.split('\n')) {
        for (const char *level : {"[error] ", "[fatal] ", "[panic] "}) {
            const qsizetype at = line.indexOf(level);
            if (at < 0)
                continue;
            errors += line.left(at) + line.mid(at + qsizetype(qstrlen(level))) + '\n';
            break;
        }
    }
    return errors;
}
