#include "preparation.h"
#include "conversioncache.h"
#include "helperprocess.h"
#include "wavreader.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// The decoder yields the processor to playback and to the window.
constexpr int kNiceness = 19;
// How many of the coming entries are checked ahead: a bad file shows in the
// running order while there is time to replace it.
constexpr int kCheckAhead = 10;
// How far down the running order copies are made ahead; an hour or more of
// air, and a bound on the work each change of the list costs.
constexpr int kLookAhead = 24;
// Copies on air at once: one channel fading out, one coming in.
constexpr int kChannels = 2;
// How often files found bad are looked at again, for one replaced or put back.
constexpr int kRecheckMs = 2000;
// How long a file that changed while it was checked (still being copied in)
// is left alone before it is checked again.
constexpr int kSettleMs = 3000;

// An entry that names its own file, not a folder's pick.
bool isFileEntry(const Playlist &entry)
{
    return playsFile(entry) && !isFolder(entry);
}

const QStringList &audioFilePatterns()
{
    static const QStringList patterns = {QStringLiteral("*.mp3"), QStringLiteral("*.wav"),
                                         QStringLiteral("*.ogg"), QStringLiteral("*.flac"),
                                         QStringLiteral("*.mp4")};
    return patterns;
}

// A WAV header that claims more audio than the file holds states the length
// the file was meant to have; the prober goes by what is there.
double declaredWavSeconds(const QString &path)
{
    QFile file(path);
    WavReader::Chunks wav;
    if (!file.open(QIODevice::ReadOnly) || !WavReader::readChunks(file, wav)
        || wav.declaredBytes < 0 || wav.rate <= 0 || wav.blockAlign <= 0)
        return -1.0;
    return double(wav.declaredBytes) / double(wav.blockAlign) / double(wav.rate);
}

double wavSeconds(const QString &path)
{
    QFile file(path);
    WavReader::Chunks wav;
    if (!file.open(QIODevice::ReadOnly) || !WavReader::readChunks(file, wav) || wav.rate <= 0
        || wav.blockAlign <= 0)
        return 0.0;
    return double(qMax<qint64>(0, wav.dataBytes)) / double(wav.blockAlign) / double(wav.rate);
}

// The decoder's progress report ends with the length of what it decoded.
double decodedSeconds(const QByteArray &progress)
{
    const qsizetype at = progress.lastIndexOf("out_time_us=");
    if (at < 0)
        return 0.0;
    const qsizetype start = at + qsizetype(sizeof "out_time_us=") - 1;
    const qsizetype end = progress.indexOf('\n', start);
    return progress.mid(start, end < 0 ? -1 : end - start).trimmed().toLongLong() / 1e6;
}

} // namespace

Preparation::Preparation(QObject *parent)
    : QObject(parent)
    , deadline(new QTimer(this))
    , kick(new QTimer(this))
    , recheck(new QTimer(this))
    , settle(new QTimer(this))
{
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [this] {
        if (fadePending) {
            qInfo() << "Preparation took too long, the fade left unread:" << currentSource;
            fadePending = false;
            jobEnded(fadeVerdict, true);
            return;
        }
        if (!process)
            return;
        HelperProcess::noteOverrun(process->program(), deadline->interval());
        qInfo() << "Preparation took too long, stopped:" << currentSource;
        process->kill();
    });
    // Several changes of the list in one turn of the event loop cost one look.
    kick->setSingleShot(true);
    kick->setInterval(0);
    connect(kick, &QTimer::timeout, this, &Preparation::startNext);
    recheck->setInterval(kRecheckMs);
    connect(recheck, &QTimer::timeout, this, &Preparation::lookAgain);
    settle->setSingleShot(true);
    settle->setInterval(kSettleMs);
    connect(settle, &QTimer::timeout, this, [this] {
        settling.clear();
        schedule();
    });
}

void Preparation::noteVerdict(const QString &path)
{
    if (checks.verdict(path).bad()) {
        knownBad.insert(path);
        recheck->start();
    }
    emit checked(path);
}

void Preparation::lookAgain()
{
    bool changed = false;
    for (auto path = knownBad.begin(); path != knownBad.end();) {
        if (checks.verdict(*path).known) {
            ++path;
            continue;
        }
        // Changed on disk since: no longer known bad.
        const QString again = *path;
        path = knownBad.erase(path);
        changed = true;
        emit checked(again);
    }
    if (knownBad.isEmpty())
        recheck->stop();
    if (changed)
        schedule();
}

Preparation::~Preparation()
{
    if (process)
        HelperProcess::abandon(process);
    delete partial;
}

QString Preparation::playable(const QString &source)
{
    if (!ConversionCache::isMp3(source))
        return source;
    const QString copy = ConversionCache::cacheFileFor(source);
    switch (ConversionCache::lookUp(copy)) {
    case ConversionCache::Copy::Ready:
        ConversionCache::markUsed(copy);
        lastPlayed.removeAll(copy);
        lastPlayed.prepend(copy);
        if (lastPlayed.size() > kChannels)
            lastPlayed.removeLast();
        return copy;
    case ConversionCache::Copy::Foreign:
        return source;
    case ConversionCache::Copy::Missing:
        break;
    }
    // Played from the MP3 this time; converted for the next.
    failedCopies.remove(copy);
    requested.removeAll(source);
    requested.prepend(source);
    if (requested.size() > kChannels)
        requested.removeLast();
    schedule();
    return source;
}

QString Preparation::pickIn(const QString &folder) const
{
    // Name filters match regardless of letter case.
    const QFileInfoList files =
        QDir(folder).entryInfoList(audioFilePatterns(), QDir::Files, QDir::Unsorted);
    QStringList playable;
    for (const QFileInfo &file : files) {
        if (!checks.verdict(file.absoluteFilePath()).bad())
            playable.append(file.absoluteFilePath());
    }
    // A folder of files all known bad still names one: the row tells why.
    if (playable.isEmpty() && !files.isEmpty())
        playable.append(files.constFirst().absoluteFilePath());
    if (playable.isEmpty())
        return QString();
    return playable[int(QRandomGenerator::global()->bounded(qint64(playable.size())))];
}

QString Preparation::pickOf(int index, const Playlist &entry) const
{
    const auto found = picks.constFind(index);
    if (found == picks.cend() || found->folder != entry.path || !QFileInfo::exists(found->file))
        return QString();
    return found->file;
}

MediaCheck::Verdict Preparation::entryVerdict(int index, const Playlist &entry) const
{
    if (!isFileEntry(entry) && !isFolder(entry))
        return {};
    const QString file = entryFile(index, entry);
    return checks.verdict(file.isEmpty() ? entry.path : file);
}

QString Preparation::entryFile(int index, const Playlist &entry) const
{
    if (isFileEntry(entry))
        return entry.path;
    return isFolder(entry) ? pickOf(index, entry) : QString();
}

QString Preparation::takePick(int index, const Playlist &entry)
{
    QString file = pickOf(index, entry);
    picks.remove(index);
    if (file.isEmpty())
        file = pickIn(entry.path);
    return file;
}

void Preparation::plan(const std::vector<Playlist> &order, int currentIndex, int nextIndex,
                           bool onAir)
{
    const int size = int(order.size());
    for (auto pick = picks.begin(); pick != picks.end();) {
        const bool stale = pick.key() >= size || order[size_t(pick.key())].path != pick->folder;
        pick = stale ? picks.erase(pick) : std::next(pick);
    }
    planned.clear();
    keptSources.clear();
    toCheck.clear();
    QSet<QString> seen;
    QSet<int> visited;
    int entries = 0;
    const auto want = [&](int index) {
        if (index < 0 || index >= size || visited.contains(index))
            return;
        visited.insert(index);
        const Playlist &entry = order[size_t(index)];
        QString file;
        if (isFolder(entry) && entries < kCheckAhead) {
            // A pick found bad is replaced by one that may play.
            file = pickOf(index, entry);
            if (file.isEmpty() || checks.verdict(file).bad())
                file = pickIn(entry.path);
            if (file.isEmpty()) {
                if (!checks.verdict(entry.path).known) {
                    MediaCheck::Verdict empty;
                    empty.known = true;
                    empty.problem = MediaCheck::Problem::EmptyFolder;
                    checks.record(entry.path, empty);
                    noteVerdict(entry.path);
                }
                ++entries;
                return;
            }
            picks.insert(index, {entry.path, file});
        } else if (isFileEntry(entry)) {
            file = entry.path;
        } else {
            return;
        }
        if (entries++ < kCheckAhead && !toCheck.contains(file))
            toCheck.append(file);
        if (ConversionCache::isMp3(file) && !seen.contains(file)) {
            seen.insert(file);
            planned.append(file);
        }
    };
    if (!onAir)
        want(currentIndex);
    want(nextIndex);
    keptSources = planned;
    if (onAir && currentIndex >= 0 && currentIndex < size
        && ConversionCache::isMp3(order[size_t(currentIndex)].path))
        keptSources.append(order[size_t(currentIndex)].path);
    const int start = currentIndex >= 0 && currentIndex < size ? currentIndex : 0;
    for (int step = 1; step <= size && planned.size() < kLookAhead; ++step)
        want((start + step) % size);
    schedule();
}

void Preparation::alsoMeasure(const QStringList &files)
{
    if (files == extras)
        return;
    extras = files;
    schedule();
}

void Preparation::schedule()
{
    if (!process && !fadePending)
        kick->start();
}

void Preparation::startNext()
{
    if (process || fadePending)
        return;
    const qint64 bound = ConversionCache::boundBytes();
    qint64 ahead = 0;
    readyAhead.clear();
    // The entry to play next comes first, then what played before its copy
    // was ready, then the rest in the order of need.
    QStringList candidates = toCheck.mid(0, 1) + planned.mid(0, 1) + requested + toCheck.mid(1)
                             + planned.mid(1);
    candidates.removeDuplicates();
    const qsizetype firstExtra = candidates.size();
    for (const QString &extra : extras) {
        if (!candidates.contains(extra))
            candidates.append(extra);
    }
    for (int i = 0; i < candidates.size(); ++i) {
        const QString &source = candidates[i];
        const QFileInfo info(source);
        // A pipe or a device is left to the media framework alone: reading it
        // here would take its data.
        if ((info.exists() && !info.isFile() && !info.isDir()) || settling.contains(source))
            continue;
        const bool extra = i >= firstExtra;
        const bool checkDue = (extra || toCheck.contains(source)) && !uncheckable.contains(source);
        MediaCheck::Verdict known = checks.verdict(source);
        // Measured in an earlier run and unchanged since: it decoded soundly.
        if (!known.known && loudness && loudness->measuredFully(source)) {
            known.known = true;
            checks.record(source, known);
            noteVerdict(source);
        }
        if (!known.known && checkDue && checks.recordQuickLook(source)) {
            noteVerdict(source);
            continue;
        }
        if (known.bad())
            continue;
        if (ConversionCache::isMp3(source) && !extra) {
            const QString copy = ConversionCache::cacheFileFor(source);
            const ConversionCache::Copy found = ConversionCache::lookUp(copy);
            if (found == ConversionCache::Copy::Ready) {
                ahead += QFileInfo(copy).size();
                readyAhead.append(copy);
            }
            if (found == ConversionCache::Copy::Missing && !failedCopies.contains(copy)
                && info.exists()) {
                // Converting further ahead would only push out copies needed sooner.
                if (i > 0 && ahead >= bound)
                    return;
                if (startJob(source, true))
                    return;
                continue;
            }
        }
        if (!known.known && checkDue && startJob(source, false))
            return;
    }
}

bool Preparation::startJob(const QString &source, bool convert)
{
    currentSource = source;
    convertJob = convert;
    // A verdict belongs to the file as it was when its check began.
    jobStamp = FileStamp::of(source);
    statedSeconds = -1.0;
    measured.reset();
    cues.reset();
    if (convert) {
        currentOutput = ConversionCache::cacheFileFor(source);
        partial = new QTemporaryFile(currentOutput + QStringLiteral(".XXXXXX.part"), this);
        if (!partial->open()) {
            delete partial;
            partial = nullptr;
            failedCopies.insert(currentOutput);
            currentSource.clear();
            currentOutput.clear();
            return false;
        }
        partial->close();
    }
    deadline->start(ConversionCache::timeoutMs(source));
    runStage(Stage::Probe);
    return true;
}

void Preparation::runStage(Stage next)
{
    stage = next;
    process = new QProcess(this);
    // A child left at normal priority still does its work.
    process->setChildProcessModifier([] { [[maybe_unused]] const int niceness = ::nice(kNiceness); });
    connect(process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        stageEnded(status == QProcess::NormalExit && code == 0);
    });
    connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        // Without the prober the length is unknown; without the decoder the
        // file cannot be judged.
        if (stage == Stage::Probe)
            stageEnded(false);
        else
            jobEnded({}, false);
    });
    switch (stage) {
    case Stage::Probe:
        process->start(QStringLiteral("ffprobe"),
                       {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                        QStringLiteral("format=duration"), QStringLiteral("-of"),
                        QStringLiteral("default=noprint_wrappers=1:nokey=1"), currentSource});
        break;
    case Stage::Convert:
        logToFile();
        fadeSamples = Loudness::cuesWanted() ? partial->fileName() : QString();
        process->start(QStringLiteral("ffmpeg"),
                       ConversionCache::converterArguments(currentSource, partial->fileName(), true,
                                                           statedSeconds));
        break;
    case Stage::Decode:
        logToFile();
        fadeSamples = Loudness::cuesWanted() && WavReader().open(currentSource) ? currentSource : QString();
        process->start(QStringLiteral("ffmpeg"),
                       QStringList{QStringLiteral("-nostdin")} + Loudness::logArguments()
                           + QStringList{QStringLiteral("-i"), currentSource, QStringLiteral("-vn")}
                           + Loudness::filterArguments(statedSeconds, fadeSamples.isEmpty())
                           // The samples go nowhere: the cue points' decode leaves
                           // them as the meters made them, which pays for finding
                           // the silence, rather than converting them to 16 bits.
                           + (Loudness::cuesWanted() ? QStringList{QStringLiteral("-c:a"), QStringLiteral("pcm_f64le")}
                                                     : QStringList())
                           + QStringList{QStringLiteral("-f"), QStringLiteral("null"),
                                         QStringLiteral("-progress"), QStringLiteral("pipe:1"),
                                         QStringLiteral("-nostats"), QStringLiteral("-")});
        break;
    }
}

void Preparation::logToFile()
{
    // The meter logs every 100 ms of audio, in many small writes: into a
    // pipe they cost the decoder more than finding the cue points does.
    if (!decoderLog) {
        decoderLog = new QTemporaryFile(this);
        if (!decoderLog->open())
            return;
    }
    if (decoderLog->isOpen())
        process->setStandardErrorFile(decoderLog->fileName());
}

void Preparation::stageEnded(bool ran)
{
    // A decoder stopped by the deadline says nothing about the file.
    const bool timedOut = !deadline->isActive();
    const QByteArray output = process->readAllStandardOutput();
    QByteArray errors = process->readAllStandardError();
    if (stage != Stage::Probe && decoderLog && decoderLog->isOpen() && decoderLog->seek(0))
        errors = decoderLog->readAll();
    process->disconnect(this);
    process->deleteLater();
    process = nullptr;
    if (stage == Stage::Probe) {
        if (timedOut) {
            jobEnded({}, false);
            return;
        }
        bool ok = false;
        const double probed = output.trimmed().toDouble(&ok);
        statedSeconds = qMax(ran && ok ? probed : -1.0, declaredWavSeconds(currentSource));
        runStage(convertJob ? Stage::Convert : Stage::Decode);
        return;
    }
    if (timedOut) {
        jobEnded({}, false);
        return;
    }
    const double decoded =
        stage == Stage::Convert ? wavSeconds(partial->fileName()) : decodedSeconds(output);
    measured = Loudness::fromLog(errors);
    cues = Loudness::cuesFromLog(errors, qint64(decoded * 1000.0), fadeSamples.isEmpty());
    const MediaCheck::Verdict verdict =
        MediaCheck::decodeVerdict(ran, Loudness::errorLines(errors), decoded, statedSeconds);
    if (fadeSamples.isEmpty() || verdict.bad() || !measured || !cues || !cues->known()) {
        jobEnded(verdict, true);
        return;
    }
    // The samples may sit on a slow share: they are read away from the
    // window, within the job's deadline.
    fadeVerdict = verdict;
    fadePending = true;
    auto fade = std::make_shared<qint64>(-1);
    QThread *reader = QThread::create(
        [fade, wav = fadeSamples, sound = *cues, integrated = measured->integrated] {
            *fade = Loudness::fadeFromSamples(wav, sound, integrated);
        });
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    connect(reader, &QThread::finished, this, [this, fade, job = ++fadeJob] {
        if (!fadePending || job != fadeJob)
            return;
        fadePending = false;
        cues->fade = *fade;
        jobEnded(fadeVerdict, true);
    });
    reader->start(QThread::LowPriority);
}

void Preparation::jobEnded(const MediaCheck::Verdict &verdict, bool decided)
{
    deadline->stop();
    if (process) {
        process->disconnect(this);
        process->deleteLater();
        process = nullptr;
    }
    const QString source = currentSource;
    const QString copy = currentOutput;
    currentSource.clear();
    currentOutput.clear();
    // Changed while it was read: judged later, as it is then.
    const bool changed = decided && FileStamp::of(source) != jobStamp;
    if (changed) {
        settling.insert(source);
        settle->start();
    } else if (decided) {
        checks.record(source, verdict);
        if (!verdict.bad() && measured && loudness)
            loudness->record(source, *measured, cues);
        if (verdict.bad())
            qWarning() << "Found ahead:" << source << "is bad:" << MediaCheck::logText(verdict.problem)
                       << verdict.detail;
    } else {
        uncheckable.insert(source);
    }
    if (convertJob) {
        // Moved into place only when complete and sound, so an interrupted
        // conversion never looks like a ready copy.
        const bool ok = decided && !changed && !verdict.bad()
                        && std::rename(QFile::encodeName(partial->fileName()).constData(),
                                       QFile::encodeName(copy).constData())
                               == 0;
        delete partial;
        partial = nullptr;
        requested.removeAll(source);
        if (ok) {
            trim(copy);
        } else if (!changed) {
            failedCopies.insert(copy);
            if (!decided)
                qWarning() << "Conversion failed, the MP3 plays as it is:" << source;
        }
        emit finished(source, ok);
    }
    if (decided && !changed)
        noteVerdict(source);
    schedule();
}

void Preparation::trim(const QString &fresh)
{
    // Copies needed sooner than the fresh one stay, or the queue would make
    // them again and push the fresh one out in turn.
    QSet<QString> keep(readyAhead.cbegin(), readyAhead.cend());
    keep.insert(fresh);
    for (const QString &copy : lastPlayed)
        keep.insert(copy);
    for (const QString &source : keptSources)
        keep.insert(ConversionCache::cacheFileFor(source));
    ConversionCache::trim(keep);
}
