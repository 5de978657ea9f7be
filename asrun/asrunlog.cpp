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
{
    connect(journalRefresh, &QTimer::timeout, this, &AsRunLog::writeJournal);
    failedHold->setSingleShot(true);
    connect(failedHold, &QTimer::timeout, this, [this] { writeFailed(Outcome::Error); });
}

AsRunLog::~AsRunLog()
{
    writeFailed(Outcome::Error);
    // The desk closes: what still plays stops with it.
    const QList<const void *> sources = open.keys();
    for (const void *source : sources) {
        leaving(source, Outcome::Stopped);
        finish(source);
    }
}

void AsRunLog::listenTo(OnAirEvents *events)
{
    connect(events, &OnAirEvents::itemStarted, this, &AsRunLog::begin);
    connect(events, &OnAirEvents::itemSounding, this, &AsRunLog::sounding);
    connect(events, &OnAirEvents::itemLeaving, this,
            qOverload<const void *, Outcome>(&AsRunLog::leaving));
    connect(events, &OnAirEvents::itemLeft, this, &AsRunLog::finish);
    connect(events, &OnAirEvents::soundServerLost, this, &AsRunLog::outage);
}

void AsRunLog::begin(const void *source, const Item &item, const QDateTime &start)
{
    finish(source);
    OpenRow entry;
    entry.item = item;
    entry.start = start.isValid() ? start : QDateTime::currentDateTime();
    open.insert(source, entry);
    writeJournal();
    journalRefresh->start(kJournalRefreshMs);
}

void AsRunLog::sounding(const void *source)
{
    const auto entry = open.find(source);
    if (entry != open.end() && !entry->heard.isValid())
        entry->heard.start();
}

void AsRunLog::leaving(const void *source, Outcome outcome)
{
    const auto entry = open.find(source);
    if (entry == open.end() || entry->haveOutcome)
        return;
    entry->haveOutcome = true;
    entry->outcome = outcome;
}

void AsRunLog::leaving(std::initializer_list<const void *> sources, Outcome outcome)
{
    for (const void *source : sources)
        leaving(source, outcome);
}

void AsRunLog::finish(const void *source)
{
    const auto entry = open.find(source);
    if (entry == open.end())
        return;
    const double played = playedSeconds(*entry);
    const Outcome outcome =
        entry->outcome == Outcome::Ended ? endOf(entry->item, played) : entry->outcome;
    if (outcome == Outcome::Error) {
        failed.append({*entry, QDateTime::currentDateTime(), played});
        failedHold->start(kFailedHoldMs);
    } else {
        append(entry->start, row(entry->start, QDateTime::currentDateTime(), played, entry->item,
                                 outcomeName(outcome)));
    }
    open.erase(entry);
    writeJournal();
    if (open.isEmpty() && failed.isEmpty())
        journalRefresh->stop();
}

void AsRunLog::outage()
{
    for (OpenRow &row : open) {
        if (!row.haveOutcome || row.outcome == Outcome::Error) {
            row.haveOutcome = true;
            row.outcome = Outcome::Interrupted;
        }
    }
    writeFailed(Outcome::Interrupted);
}

void AsRunLog::writeFailed(Outcome outcome)
{
    failedHold->stop();
    for (const Failed &each : std::as_const(failed))
        append(each.row.start, row(each.row.start, each.end, each.played, each.row.item,
                                   outcomeName(outcome)));
    const bool any = !failed.isEmpty();
    failed.clear();
    if (any)
        writeJournal();
}

double AsRunLog::playedSeconds(const OpenRow &row) const
{
    return row.heard.isValid() ? double(row.heard.elapsed()) / 1000.0 : 0.0;
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

AsRunLog::Outcome AsRunLog::endOf(const Item &item, double playedSeconds)
{
    if (playedSeconds <= 0.0 || (item.lengthSeconds > 0.0 && playedSeconds < item.lengthSeconds / 2))
        return Outcome::Error;
    return Outcome::Ended;
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
    // A day begun by an older desk keeps its eight columns.
    const bool eightColumns =
        file.size() > 0 && firstLine(path).trimmed() == AsRunFormat::kEightColumnHeader;
    const QByteArray line = eightColumns ? text.eight + '\n' : text.eight + text.more + '\n';
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
    if (open.isEmpty() && failed.isEmpty()) {
        QFile::remove(path);
        return;
    }
    QByteArray content;
    const QDateTime now = QDateTime::currentDateTime();
    QList<Failed> pendingRows = failed;
    for (const OpenRow &each : std::as_const(open))
        pendingRows.append({each, now, playedSeconds(each)});
    for (const Failed &pending : std::as_const(pendingRows)) {
        const Row text = row(pending.row.start, pending.end, pending.played, pending.row.item,
                             outcomeName(Outcome::Interrupted));
        content += pending.row.start.date().toString(Qt::ISODate).toLatin1() + ' '
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
                                     : Row{text.chopped(1), ",,,,"};
        if (append(day.startOfDay(), recoveredRow))
            ++recovered;
        at = lineEnd + 1 + length;
    }
    QFile::remove(path);
    return recovered;
}
