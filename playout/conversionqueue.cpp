#include "conversionqueue.h"
#include "conversioncache.h"

#include <QDebug>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

// The converter yields the processor to playback and to the window.
constexpr int kNiceness = 19;
// How far down the running order copies are made ahead; an hour or more of
// air, and a bound on the work each change of the list costs.
constexpr int kLookAhead = 24;
// Copies on air at once: one channel fading out, one coming in.
constexpr int kChannels = 2;
constexpr int kKillWaitMs = 1000;

bool convertible(const Playlist &entry)
{
    return (entry.kind == QLatin1String("music") || entry.kind == QLatin1String("jingle"))
           && ConversionCache::isMp3(entry.path);
}

} // namespace

ConversionQueue::ConversionQueue(QObject *parent)
    : QObject(parent)
    , deadline(new QTimer(this))
    , kick(new QTimer(this))
{
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, this, [this] {
        if (!process)
            return;
        qWarning() << "Conversion took too long, stopped:" << currentSource;
        process->kill();
    });
    // Several changes of the list in one turn of the event loop cost one look.
    kick->setSingleShot(true);
    kick->setInterval(0);
    connect(kick, &QTimer::timeout, this, &ConversionQueue::startNext);
}

ConversionQueue::~ConversionQueue()
{
    if (process) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(kKillWaitMs);
    }
    delete partial;
}

QString ConversionQueue::playable(const QString &source)
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

void ConversionQueue::plan(const std::vector<Playlist> &order, int currentIndex, int nextIndex,
                           bool onAir)
{
    const int size = int(order.size());
    planned.clear();
    keptSources.clear();
    QSet<QString> seen;
    const auto want = [&](int index) {
        if (index < 0 || index >= size || !convertible(order[size_t(index)]))
            return;
        const QString &path = order[size_t(index)].path;
        if (!seen.contains(path)) {
            seen.insert(path);
            planned.append(path);
        }
    };
    if (!onAir)
        want(currentIndex);
    want(nextIndex);
    keptSources = planned;
    if (onAir && currentIndex >= 0 && currentIndex < size && convertible(order[size_t(currentIndex)]))
        keptSources.append(order[size_t(currentIndex)].path);
    const int start = currentIndex >= 0 && currentIndex < size ? currentIndex : 0;
    for (int step = 1; step <= size && planned.size() < kLookAhead; ++step)
        want((start + step) % size);
    schedule();
}

void ConversionQueue::schedule()
{
    if (!process)
        kick->start();
}

void ConversionQueue::startNext()
{
    if (process)
        return;
    const qint64 bound = ConversionCache::boundBytes();
    qint64 ahead = 0;
    readyAhead.clear();
    QStringList candidates = planned.mid(0, 1) + requested + planned.mid(1);
    candidates.removeDuplicates();
    for (int i = 0; i < candidates.size(); ++i) {
        const QString &source = candidates[i];
        const QString copy = ConversionCache::cacheFileFor(source);
        const ConversionCache::Copy found = ConversionCache::lookUp(copy);
        if (found == ConversionCache::Copy::Ready) {
            ahead += QFileInfo(copy).size();
            readyAhead.append(copy);
        }
        if (found != ConversionCache::Copy::Missing || failedCopies.contains(copy)
            || !QFileInfo::exists(source))
            continue;
        // Converting further ahead would only push out copies needed sooner.
        if (i > 0 && ahead >= bound)
            return;

        partial = new QTemporaryFile(copy + QStringLiteral(".XXXXXX.part"), this);
        if (!partial->open()) {
            delete partial;
            partial = nullptr;
            failedCopies.insert(copy);
            continue;
        }
        partial->close();
        currentSource = source;
        currentOutput = copy;
        process = new QProcess(this);
        process->setChildProcessModifier([] { (void)::nice(kNiceness); });
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        connect(process, &QProcess::finished, this,
                [this](int code, QProcess::ExitStatus status) {
                    conversionEnded(status == QProcess::NormalExit && code == 0);
                });
        connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                conversionEnded(false);
        });
        deadline->start(ConversionCache::timeoutMs(source));
        process->start(QStringLiteral("ffmpeg"),
                       ConversionCache::converterArguments(source, partial->fileName()));
        return;
    }
}

void ConversionQueue::conversionEnded(bool ok)
{
    if (!process)
        return;
    deadline->stop();
    process->disconnect(this);
    process->deleteLater();
    process = nullptr;

    const QString source = currentSource;
    const QString copy = currentOutput;
    currentSource.clear();
    currentOutput.clear();
    // Moved into place only when complete, so an interrupted conversion never
    // looks like a ready copy.
    ok = ok
         && std::rename(QFile::encodeName(partial->fileName()).constData(),
                        QFile::encodeName(copy).constData())
                == 0;
    delete partial;
    partial = nullptr;
    requested.removeAll(source);
    if (ok) {
        trim(copy);
    } else {
        failedCopies.insert(copy);
        qWarning() << "Conversion failed, the MP3 plays as it is:" << source;
    }
    emit finished(source, ok);
    schedule();
}

void ConversionQueue::trim(const QString &fresh)
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
