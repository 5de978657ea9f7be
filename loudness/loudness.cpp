#include "loudness.h"

#include "fadefinder.h"

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
#include <limits>
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

// Cue points: silences shorter than this are not silence (a low note's
// zero crossings, a pause between words), and one that starts this close to
// the file's start or ends this close to its end is its leading or its
// trailing silence.
constexpr double kShortestSilenceSeconds = 0.05;
constexpr qint64 kEdgeMs = 10;
constexpr qint64 kEofSlackMs = 100;
// The loudness meter's momentary value covers the 400 ms up to its time: a
// steady fall is where that window's middle is.
constexpr qint64 kMomentaryLagMs = 200;
// Falls shorter than this are an ending, not a fade; playout uses a fade only
// when it is longer than its hand-over time anyway.
constexpr qint64 kShortestFadeMs = 1000;
// The silence detector looks at every sample, which costs as much as a tenth
// of the decode: in a long file it looks only this far from either end. A
// silence that runs past the part it saw is placed instead by the meter's
// true peak of every 100 ms, when the meter logs them.
constexpr qint64 kCueSearchMs = 20000;
constexpr qint64 kFrameMs = 100;
// The samples are searched for a fade this much further back than playout
// uses one.
constexpr qint64 kFadeMarginMs = 1000;

bool cuesOn = true;
double cueSilenceDb = Loudness::kDefaultCueSilenceDb;
double cueFadeLu = Loudness::kDefaultCueFadeLu;

// The number after `key` in `line`, or NaN.
double valueAfter(const QByteArray &line, const char *key)
{
    const qsizetype at = line.indexOf(key);
    if (at < 0)
        return std::nan("");
    const QByteArray rest = line.mid(at + qsizetype(qstrlen(key))).trimmed();
    const qsizetype space = rest.indexOf(' ');
    const QByteArray token = space < 0 ? rest : rest.left(space);
    if (token == "-inf" || token == "nan" || token == "-nan")
        return -std::numeric_limits<double>::infinity();
    bool ok = false;
    const double value = token.toDouble(&ok);
    return ok ? value : std::nan("");
}

qint64 msOf(double seconds)
{
    return qint64(std::llround(seconds * 1000.0));
}

// The loudest channel's true peak in a meter line ("FTPK: -26.6 -25.9 dBFS").
double framePeak(const QByteArray &line)
{
    const qsizetype at = line.indexOf("FTPK:");
    double loudest = -std::numeric_limits<double>::infinity();
    if (at < 0)
        return loudest;
    const QByteArray values = line.mid(at + 5, line.indexOf("dBFS", at) - at - 5);
    for (const QByteArray &value : values.simplified().split(' ')) {
        bool ok = false;
        const double peak = value.toDouble(&ok);
        if (ok)
            loudest = std::max(loudest, peak);
    }
    return loudest;
}

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
        // Lines written before cue points were found have none.
        bool cuesOk = fields.size() == 5;
        if (fields.size() == 5 || fields.size() == 8) {
            entry.stamp.size = fields[0].toLongLong(&sizeOk);
            entry.stamp.modified = fields[1].toLongLong(&modifiedOk);
            entry.measure.integrated =
                numberIn(QString::fromLatin1(fields[2]), &integratedOk).value_or(0.0);
            entry.measure.truePeak = numberIn(QString::fromLatin1(fields[3]), &peakOk).value_or(0.0);
            path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields.last()));
        }
        if (fields.size() == 8) {
            CuePoints cues;
            bool startOk = false;
            bool endOk = false;
            bool fadeOk = false;
            cues.start = fields[4].toLongLong(&startOk);
            cues.end = fields[5].toLongLong(&endOk);
            cues.fade = fields[6].toLongLong(&fadeOk);
            cuesOk = startOk && endOk && fadeOk && cues.start >= -1 && cues.end >= -1 && cues.fade >= -1;
            entry.cues = cues;
        }
        if (!ours || !sizeOk || !modifiedOk || !integratedOk || !peakOk || !cuesOk
            || !path.startsWith('/')) {
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
    QByteArray cues;
    if (entry.cues)
        cues = QByteArray::number(entry.cues->start) + '\t' + QByteArray::number(entry.cues->end) + '\t'
               + QByteArray::number(entry.cues->fade) + '\t';
    return QByteArray::number(entry.stamp.size) + '\t' + QByteArray::number(entry.stamp.modified) + '\t'
           + QByteArray::number(entry.measure.integrated, 'f', 2) + '\t'
           + QByteArray::number(entry.measure.truePeak, 'f', 2) + '\t' + cues
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

std::optional<CuePoints> Loudness::cues(const QString &path) const
{
    const auto found = known.constFind(path);
    if (found == known.cend() || FileStamp::of(path) != found->stamp)
        return std::nullopt;
    return found->cues;
}

bool Loudness::measuredFully(const QString &path) const
{
    return measure(path) && (!cuesOn || cues(path));
}

void Loudness::record(const QString &path, const LoudnessMeasure &measure,
                      const std::optional<CuePoints> &cues)
{
    const FileStamp now = FileStamp::of(path);
    if (now.size < 0)
        return;
    const Known entry{now, measure, cues};
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

void Loudness::setCuesWanted(bool wanted)
{
    cuesOn = wanted;
}

bool Loudness::cuesWanted()
{
    return cuesOn;
}

void Loudness::setCueThresholds(double silenceDb, double fadeLu)
{
    const bool silenceOk = silenceDb >= -90.0 && silenceDb <= -20.0;
    const bool fadeOk = fadeLu >= 1.0 && fadeLu <= 40.0;
    if (!silenceOk)
        qWarning() << "Cue silence threshold" << silenceDb << "dBFS unusable, using" << kDefaultCueSilenceDb;
    if (!fadeOk)
        qWarning() << "Cue fade threshold" << fadeLu << "LU unusable, using" << kDefaultCueFadeLu;
    cueSilenceDb = silenceOk ? silenceDb : kDefaultCueSilenceDb;
    cueFadeLu = fadeOk ? fadeLu : kDefaultCueFadeLu;
}

QStringList Loudness::filterArguments(double lengthSeconds, bool frameLog)
{
    if (!cuesOn)
        return {QStringLiteral("-af"), QStringLiteral("ebur128=peak=true:framelog=verbose")};
    // The silence detector places, to the sample, where the sound starts and
    // ends. The fade is found in the samples of a WAV afterwards; for other
    // files in the meter's log of each 100 ms, which costs the decoder a
    // dozen writes each.
    const QString meter = frameLog ? QStringLiteral("ebur128=peak=true:framelog=info")
                                   : QStringLiteral("ebur128=peak=true:framelog=verbose");
    const QString detector = QStringLiteral("silencedetect=n=%1dB:d=%2").arg(cueSilenceDb).arg(kShortestSilenceSeconds);
    const double searched = double(kCueSearchMs) / 1000.0;
    if (lengthSeconds <= 2 * searched)
        return {QStringLiteral("-af"), meter + QLatin1Char(',') + detector};
    // The decoded samples go to the output whole; the detector gets a
    // reference to the frames near either end.
    return {QStringLiteral("-filter_complex"),
            QStringLiteral("[0:a]%1,asplit[measured][edges];[edges]aselect='lt(t,%2)+gte(t,%3)',%4,anullsink")
                .arg(meter)
                .arg(searched)
                .arg(lengthSeconds - searched, 0, 'f', 3)
                .arg(detector),
            QStringLiteral("-map"), QStringLiteral("[measured]")};
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

std::optional<CuePoints> Loudness::cuesFromLog(const QByteArray &log, qint64 lengthMs, bool fadeLogged)
{
    const std::optional<LoudnessMeasure> measure = fromLog(log);
    struct Silence
    {
        qint64 start;
        qint64 end;
    };
    std::vector<Silence> silences;
    std::vector<std::pair<qint64, double>> momentary;
    // The ends of the first and the last 100 ms that sound.
    qint64 firstFrameHeard = -1;
    qint64 lastFrameHeard = -1;
    bool framesLogged = false;
    for (const QByteArray &physical : log.split('\n')) {
        // The decoder's progress line ends in a carriage return, with the
        // next log line after it.
        const QByteArray line = physical.mid(physical.lastIndexOf('\r') + 1);
        if (line.contains("TARGET:")) {
            framesLogged = true;
            const double t = valueAfter(line, " t:");
            const double m = valueAfter(line, " M:");
            if (std::isfinite(t) && !std::isnan(m))
                momentary.emplace_back(msOf(t), std::max(m, kFloor));
            if (std::isfinite(t) && framePeak(line) >= cueSilenceDb) {
                lastFrameHeard = msOf(t);
                if (firstFrameHeard < 0)
                    firstFrameHeard = lastFrameHeard;
            }
        } else if (line.contains("silence_start:")) {
            const double at = valueAfter(line, "silence_start:");
            if (!std::isnan(at))
                silences.push_back({msOf(at), -1});
        } else if (line.contains("silence_end:")) {
            const double at = valueAfter(line, "silence_end:");
            if (!std::isnan(at) && !silences.empty())
                silences.back().end = msOf(at);
        }
    }
    if (!measure || (!framesLogged && fadeLogged))
        return std::nullopt;
    CuePoints cues;
    if (lengthMs <= 0)
        return cues;
    // A silence that began in the part searched at the start and was still
    // silence after it ran on into the part not searched.
    const auto unseen = [lengthMs](const Silence &silence) {
        return lengthMs > 2 * kCueSearchMs && silence.start < kCueSearchMs
               && (silence.end < 0 || silence.end >= kCueSearchMs);
    };
    qint64 start = 0;
    qint64 end = lengthMs;
    // Past the part searched, the meter's log places the sound when there is
    // one; else that end stays the file's.
    if (!silences.empty() && silences.front().start <= kEdgeMs) {
        if (unseen(silences.front()))
            start = framesLogged ? (firstFrameHeard < 0 ? lengthMs : firstFrameHeard - kFrameMs) : 0;
        else
            start = silences.front().end < 0 ? lengthMs : silences.front().end;
    }
    // Some decoders report a silence that lasts to the end as ending there,
    // others leave it open.
    if (!silences.empty() && (silences.back().end < 0 || silences.back().end >= lengthMs - kEofSlackMs))
        end = !unseen(silences.back()) ? silences.back().start : framesLogged ? lastFrameHeard : lengthMs;
    if (end <= start)
        return cues;
    cues.start = start;
    cues.end = end;
    // The fade: after the last moment the sound is within the fade threshold
    // of the file's own loudness, it stays below it until the end.
    const double floor = measure->integrated - cueFadeLu;
    if (!framesLogged)
        return cues;
    for (auto frame = momentary.crbegin(); frame != momentary.crend(); ++frame) {
        if (frame->second < floor || frame->first > end + kMomentaryLagMs * 2)
            continue;
        if (frame == momentary.crbegin())
            break;
        const auto after = std::prev(frame);
        const double fraction = (frame->second - floor) / (frame->second - after->second);
        const qint64 fade =
            frame->first + qint64(double(after->first - frame->first) * fraction) - kMomentaryLagMs;
        if (fade > start && end - fade >= kShortestFadeMs)
            cues.fade = fade;
        break;
    }
    return cues;
}

qint64 Loudness::fadeFromSamples(const QString &wav, const CuePoints &cues, double integratedLufs)
{
    return FadeFinder::find(wav, cues.start, cues.end, integratedLufs - cueFadeLu,
                            kLongestCueOverlapMs + kFadeMarginMs, kShortestFadeMs);
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
