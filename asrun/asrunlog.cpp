#include "asrunlog.h"
#include "asrunformat.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace {

// How stale the journal may get: what a crash can lose of an item's time.
constexpr int kJournalRefreshMs = 5000;
// Longer than the sound server's watch takes to notice it gone.
constexpr int kFailedHoldMs = 2000;
// How long the later failures of a run may wait for the day's file.
constexpr int kRunRowsMs = 60000;
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

QByteArray firstLine(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readLine() : QByteArray();
}

} // namespace

const char *const AsRunLog::kJournalName = "journal";

AsRunLog::AsRunLog(const QString &folder, QObject *parent)
    : QObject(parent)
    , folder(folder)
    , journalRefresh(new QTimer(this))
    , failedHold(new QTimer(this))
    , runRows(new QTimer(this))
{
    connect(journalRefresh, &QTimer::timeout, this, &AsRunLog::writeJournal);
    failedHold->setSingleShot(true);
    connect(failedHold, &QTimer::timeout, this, [this] { writeFailed(Outcome::Error); });
    runRows->setObjectName(QStringLiteral("runRows"));
    runRows->setSingleShot(true);
    // A coarse timer may run 5 % late: a minute is the most.
    runRows->setTimerType(Qt::PreciseTimer);
    connect(runRows, &QTimer::timeout, this, [this] { writeFailed(Outcome::Error); });
}

AsRunLog::~AsRunLog()
{
    endRun(Outcome::Error);
}

void AsRunLog::listenTo(OnAirEvents *source)
{
    events = source;
    connect(events, &OnAirEvents::itemStarted, this, [this] {
        writeJournal();
        journalRefresh->start(kJournalRefreshMs);
    });
    connect(events, &OnAirEvents::itemLeft, this, &AsRunLog::left);
    connect(events, &OnAirEvents::soundServerLost, this, [this] { endRun(Outcome::Interrupted); });
    // Something heard, or the air off: the run of failures is over.
    connect(events, &OnAirEvents::itemHeard, this, [this] { endRun(Outcome::Error); });
    connect(events, &OnAirEvents::airChanged, this, [this](bool onAir) {
        if (!onAir)
            endRun(Outcome::Error);
    });
}

void AsRunLog::left(const OnAirEvents::Record &record)
{
    const Pending done{record.item, record.start, QDateTime::currentDateTime(), record.playedSeconds()};
    const Outcome outcome = record.outcome();
    if (outcome == Outcome::Error) {
        failed.append(done);
        // The first of a run reaches the day's file after the short hold; the
        // rest of a run that goes on and on (an order whose files are all
        // gone) wait for its end, or at most a minute: a write a minute rather
        // than one a turn, and a journal that stays small.
        if (!inRun) {
            inRun = true;
            failedHold->start(kFailedHoldMs);
        } else if (!failedHold->isActive() && !runRows->isActive()) {
            runRows->start(kRunRowsMs);
        }
    } else {
        append(done.start, row(done.start, done.end, done.played, done.item, outcomeName(outcome)));
    }
    writeJournal();
    if (events->onAir().isEmpty() && failed.isEmpty())
        journalRefresh->stop();
}

void AsRunLog::endRun(Outcome outcome)
{
    inRun = false;
    writeFailed(outcome);
}

void AsRunLog::writeFailed(Outcome outcome)
{
    failedHold->stop();
    runRows->stop();
    for (const Pending &each : std::as_const(failed))
        append(each.start, row(each.start, each.end, each.played, each.item, outcomeName(outcome)));
    const bool any = !failed.isEmpty();
    failed.clear();
    if (any)
        writeJournal();
    if (!events || events->onAir().isEmpty())
        journalRefresh->stop();
}

QString AsRunLog::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::HandedOver:
        return QStringLiteral("handed-over");
    case Outcome::Ended:
        return QStringLiteral("ended");
    case Outcome::SkippedSilence:
        return QStringLiteral("skipped-silence");
    case Outcome::Error:
        return QStringLiteral("error");
    case Outcome::Stopped:
        return QStringLiteral("stopped");
    case Outcome::Next:
        return QStringLiteral("next");
    case Outcome::Interrupted:
        break;
    }
    return QStringLiteral("interrupted");
}

AsRunLog::Row AsRunLog::row(const QDateTime &start, const QDateTime &end, double playedSeconds,
                            const Item &item, const QString &outcome)
{
    Row text;
    text.eight = start.toString(kTimeFormat).toLatin1();
    text.eight += ',' + end.toString(kTimeFormat).toLatin1();
    text.eight += ',' + QByteArray::number(playedSeconds, 'f', 1);
    for (const QString *field : {&item.kind, &item.title, &item.artist, &item.file, &outcome})
        text.eight += ',' + csvField(*field);
    for (const QString *field : {&item.album, &item.composer, &item.isrc})
        text.more += ',' + csvField(*field);
    text.more += ',';
    if (item.lengthSeconds >= 0.0)
        text.more += QByteArray::number(item.lengthSeconds, 'f', 1);
    text.more += ',';
    if (item.planned.isValid())
        text.more += item.planned.toString(QStringLiteral("HH:mm:ss")).toLatin1();
    return text;
}

bool AsRunLog::append(const QDateTime &start, const Row &text)
{
    // The day the item started, also when it crosses midnight.
    const QString path = folder + QLatin1Char('/') + start.date().toString(Qt::ISODate)
                         + QStringLiteral(".csv");
    QFile file(path);
    if (!QDir().mkpath(folder)
        || !file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        qWarning() << "As-run log: cannot write" << path << file.errorString();
        return false;
    }
    // A day begun by an older desk keeps its columns; the planned time, the
    // last of them, never holds a comma.
    const QByteArray header = file.size() > 0 ? firstLine(path).trimmed() : QByteArray();
    QByteArray line = header == AsRunFormat::kEightColumnHeader ? text.eight : text.eight + text.more;
    if (header == AsRunFormat::kTwelveColumnHeader)
        line.truncate(line.lastIndexOf(','));
    line += '\n';
    // Header and row in one write, so a reader never sees half of either.
    const QByteArray whole =
        file.size() == 0 ? AsRunFormat::kHeader.toByteArray() + '\n' + line : line;
    if (file.write(whole) != whole.size()) {
        qWarning() << "As-run log: writing" << path << "failed:" << file.errorString();
        return false;
    }
    return true;
}

// The journal holds, for every item on air, the row it would get if the desk
// died now: "<start date> <length> <length of its first eight columns>\n" and
// then that many bytes of row. A journal of an older desk has no third number.
void AsRunLog::writeJournal()
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(kJournalName);
    const QDateTime now = QDateTime::currentDateTime();
    QList<Pending> pendingRows = failed;
    if (events) {
        for (const OnAirEvents::Record &each : events->onAir())
            pendingRows.append({each.item, each.start, now, each.playedSeconds()});
    }
    if (pendingRows.isEmpty()) {
        QFile::remove(path);
        return;
    }
    QByteArray content;
    for (const Pending &pending : std::as_const(pendingRows)) {
        const Row text = row(pending.start, pending.end, pending.played, pending.item,
                             outcomeName(Outcome::Interrupted));
        content += pending.start.date().toString(Qt::ISODate).toLatin1() + ' '
                   + QByteArray::number(text.eight.size() + text.more.size()) + ' '
                   + QByteArray::number(text.eight.size()) + '\n' + text.eight + text.more;
    }
    // Written beside and renamed over the old one: a crash leaves one or the
    // other whole. No sync to disk, which would cost milliseconds each time
    // on the GUI thread.
    QDir().mkpath(folder);
    const QString written = path + QStringLiteral(".new");
    QFile file(written);
    const bool done = file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                      && file.write(content) == content.size() && file.flush();
    file.close();
    if (!done || std::rename(QFile::encodeName(written).constData(), QFile::encodeName(path).constData()) != 0)
        qWarning() << "As-run log: cannot write the journal" << path;
}

int AsRunLog::recoverJournal()
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(kJournalName);
    QFile journal(path);
    if (!journal.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray content = journal.readAll();
    journal.close();
    int recovered = 0;
    for (qsizetype at = 0; at < content.size();) {
        const qsizetype lineEnd = content.indexOf('\n', at);
        const QList<QByteArray> header = content.mid(at, lineEnd - at).split(' ');
        const qsizetype length = header.size() >= 2 ? header[1].toLongLong() : -1;
        const QDate day = QDate::fromString(QString::fromLatin1(header.value(0)), Qt::ISODate);
        if (lineEnd < 0 || length <= 0 || !day.isValid() || lineEnd + 1 + length > content.size()) {
            qWarning() << "As-run log: the journal" << path << "is damaged; kept rows:" << recovered;
            break;
        }
        const QByteArray text = content.mid(lineEnd + 1, length);
        const qsizetype eight = header.size() == 3 ? header[2].toLongLong() : 0;
        const Row recoveredRow = eight > 0 && eight <= length
                                     ? Row{text.first(eight), text.sliced(eight)}
                                     : Row{text.chopped(1), ",,,,,"};
        if (append(day.startOfDay(), recoveredRow))
            ++recovered;
        at = lineEnd + 1 + length;
    }
    QFile::remove(path);
    return recovered;
}
