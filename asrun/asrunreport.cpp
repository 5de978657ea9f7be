#include "asrunreport.h"
#include "asrunformat.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

namespace {

enum Column {
    Start, End, Played, Kind, Title, Artist, File, Outcome,
    Album, Composer, Isrc, Length, // not in the 8-column form
    Planned,                       // only in the 13-column form
    ColumnCount
};

using AsRunFormat::kHeader;
constexpr QByteArrayView kOldHeader = AsRunFormat::kEightColumnHeader;

struct Field
{
    const char *begin = nullptr;
    qsizetype size = 0;
    bool doubledQuotes = false;

    QByteArrayView view() const { return {begin, size}; }
    QString text() const
    {
        if (!doubledQuotes)
            return QString::fromUtf8(view());
        return QString::fromUtf8(view().toByteArray().replace("\"\"", "\""));
    }
};

struct Row
{
    std::array<Field, ColumnCount> fields;
    int count = 0;
    const char *begin = nullptr;
    int line = 0;
    int lines = 1;               // physical lines the row spans
    const char *fault = nullptr; // what is wrong with its quoting
    bool ended = false;          // by a line break, not by the end of the file
    bool blank = false;
};

// Splits a file into RFC 4180 rows. Fields are views into the content, which
// must outlive the rows. Tolerates CRLF line ends, as an editor may leave.
class RowReader
{
public:
    explicit RowReader(const QByteArray &content)
        : p(content.constData())
        , end(content.constData() + content.size())
    {
        if (content.startsWith("\xEF\xBB\xBF"))
            p += 3;
    }

    bool atEnd() const { return p == end; }

    // The line the reader is at, without its line end; moves past it.
    QByteArrayView takeLine()
    {
        const char *begin = p;
        skipLine();
        QByteArrayView text(begin, p - begin);
        if (text.endsWith('\n'))
            text.chop(1);
        if (text.endsWith('\r'))
            text.chop(1);
        return text;
    }

    Row next()
    {
        Row row;
        row.begin = p;
        row.line = line;
        row.blank = p != end && (*p == '\n' || (*p == '\r' && p + 1 != end && p[1] == '\n'));
        for (;;) {
            Field field;
            if (p != end && *p == '"') {
                if (!readQuoted(field, row))
                    return row;
            } else {
                field.begin = p;
                while (p != end && *p != ',' && *p != '\n') {
                    if (*p == '"') {
                        row.fault = "a quote inside an unquoted field";
                        skipLine();
                        return row;
                    }
                    ++p;
                }
                field.size = p - field.begin;
                if (field.size > 0 && field.begin[field.size - 1] == '\r' && (p == end || *p == '\n'))
                    --field.size;
            }
            if (row.count < ColumnCount)
                row.fields[size_t(row.count)] = field;
            ++row.count;
            if (p == end)
                return row;
            if (*p++ == '\n') {
                ++line;
                row.ended = true;
                return row;
            }
        }
    }

    // Reads on from the line after the one where `row` began.
    void restartAfter(const Row &row)
    {
        p = row.begin;
        line = row.line;
        skipLine();
    }

private:
    bool readQuoted(Field &field, Row &row)
    {
        field.begin = ++p;
        for (;;) {
            const auto *quote = static_cast<const char *>(std::memchr(p, '"', size_t(end - p)));
            countLines(row, quote ? quote : end);
            if (!quote) {
                p = end;
                row.fault = "a quote that is never closed";
                return false;
            }
            if (quote + 1 != end && quote[1] == '"') {
                field.doubledQuotes = true;
                p = quote + 2;
                continue;
            }
            field.size = quote - field.begin;
            p = quote + 1;
            break;
        }
        if (p != end && *p == '\r' && (p + 1 == end || p[1] == '\n'))
            ++p;
        if (p != end && *p != ',' && *p != '\n') {
            row.fault = "text after a closing quote";
            skipLine();
            return false;
        }
        return true;
    }

    void countLines(Row &row, const char *until)
    {
        const int breaks = int(std::count(p, until, '\n'));
        line += breaks;
        row.lines += breaks;
    }

    void skipLine()
    {
        const auto *lineEnd = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (lineEnd) {
            p = lineEnd + 1;
            ++line;
        } else {
            p = end;
        }
    }

    const char *p;
    const char *end;
    int line = 1;
};

// The number written with `digits` decimal digits at `at`, or -1.
int number(QByteArrayView text, qsizetype at, int digits)
{
    int value = 0;
    for (qsizetype i = at; i < at + digits; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// How soon after an outage's cut the fresh start plays the item again.
constexpr qint64 kReplayWithinS = 300;

// A packed time as a count of seconds; only differences count.
qint64 secondsOf(qint64 packed)
{
    const QDate day(int(packed / 10000000000), int(packed / 100000000 % 100), int(packed / 1000000 % 100));
    return day.toJulianDay() * 86400 + packed / 10000 % 100 * 3600 + packed / 100 % 100 * 60 + packed % 100;
}

// "2026-12-07T14:03:22" as 20261207140322, or -1.
qint64 packedTime(QByteArrayView text)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':'
        || text[16] != ':')
        return -1;
    const int year = number(text, 0, 4);
    const int month = number(text, 5, 2);
    const int day = number(text, 8, 2);
    const int hour = number(text, 11, 2);
    const int minute = number(text, 14, 2);
    const int second = number(text, 17, 2);
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, second))
        return -1;
    return ((((qint64(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

QString timeText(qint64 packed)
{
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", int(packed / 10000000000),
                             int(packed / 100000000 % 100), int(packed / 1000000 % 100),
                             int(packed / 10000 % 100), int(packed / 100 % 100), int(packed % 100));
}

// "183.4" in tenths, rounded half up from further decimals; -1 for anything
// but digits with an optional fraction.
qint64 tenths(QByteArrayView text)
{
    // More whole digits than this is no length of air time (and would overflow).
    constexpr qsizetype kMaxWholeDigits = 12;
    qsizetype i = 0;
    qint64 whole = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (i == kMaxWholeDigits)
            return -1;
        whole = whole * 10 + (text[i] - '0');
    }
    if (i == 0)
        return -1;
    if (i == text.size())
        return whole * 10;
    if (text[i] != '.' || i + 1 == text.size())
        return -1;
    qint64 result = whole * 10;
    for (qsizetype j = i + 1; j < text.size(); ++j) {
        const char c = text[j];
        if (c < '0' || c > '9')
            return -1;
        if (j == i + 1)
            result += c - '0';
        else if (j == i + 2 && c >= '5')
            ++result;
    }
    return result;
}

QByteArray secondsText(qint64 tenths)
{
    if (tenths < 0)
        return {};
    return QByteArray::number(tenths / 10) + '.' + QByteArray::number(tenths % 10);
}

// The header line of the totals and of the plays, in each language.
QByteArray totalsHeader(AsRunReport::Language language)
{
    if (language == AsRunReport::Language::English)
        return "kind,title,artist,composer,album,isrc,length_s,plays,played_s,first,last\n";
    return "tipo,título,artista,compositor,álbum,isrc,duração_s,execuções,segundos_ouvidos,primeira,última\n";
}

QByteArray playsHeader(AsRunReport::Language language)
{
    if (language == AsRunReport::Language::English)
        return "date,time,kind,title,artist,composer,album,isrc,length_s,played_s,outcome\n";
    return "data,hora,tipo,título,artista,compositor,álbum,isrc,duração_s,segundos_ouvidos,desfecho\n";
}

// The report's last line, after its rows: a comment that a sum over a
// column passes over.
QByteArray footer(const QString &note)
{
    return note.isEmpty() ? QByteArray() : "# " + note.toUtf8() + '\n';
}

int kindIndex(QByteArrayView text)
{
    const QLatin1String name(text.data(), text.size());
    const QStringList &kinds = AsRunReport::kinds();
    for (int i = 0; i < kinds.size(); ++i) {
        if (kinds[i] == name)
            return i;
    }
    return -1;
}

} // namespace

const QStringList &AsRunReport::kinds()
{
    static const QStringList names = {QStringLiteral("music"), QStringLiteral("jingle"),
                                      QStringLiteral("time"), QStringLiteral("cart")};
    return names;
}

qint64 AsRunReport::parseSeconds(QStringView text)
{
    return tenths(text.toLatin1());
}

AsRunReport::AsRunReport(qint64 floorTenths, bool keepPlays)
    : floor(floorTenths)
    , keepPlays(keepPlays)
    , briefRows(kinds().size())
{
}

QDate AsRunReport::parseDay(QStringView text)
{
    if (text.size() != 10 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-'))
        return {};
    const QByteArray bytes = text.toLatin1();
    const int year = number(bytes, 0, 4);
    const int month = number(bytes, 5, 2);
    const int day = number(bytes, 8, 2);
    return QDate::isValid(year, month, day) ? QDate(year, month, day) : QDate();
}

bool AsRunReport::read(const QString &folder, QDate from, QDate to)
{
    const QFileInfo info(folder);
    if (!info.isDir()) {
        failure = QStringLiteral("%1: no such folder").arg(folder);
        return false;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        failure = QStringLiteral("%1: permission denied").arg(folder);
        return false;
    }
    // Names sort like their days.
    const QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QDate day = parseDay(QStringView(name).left(10));
        if (name.size() != 14 || !day.isValid() || day < from || day > to)
            continue;
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            failure = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
            return false;
        }
        const QByteArray content = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            failure = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
            return false;
        }
        addDay(content, file.fileName());
        ++days;
    }
    return true;
}

void AsRunReport::addDay(const QByteArray &content, const QString &name)
{
    RowReader reader(content);
    if (reader.atEnd())
        return;
    const auto skip = [&](int line, const QString &why) {
        skipped.append(QStringLiteral("%1:%2: skipped a bad row (%3)").arg(name).arg(line).arg(why));
    };
    // The header tells the form; a file without one is read in the old form.
    int columns = ColumnCount;
    const QByteArrayView header = reader.takeLine();
    if (header == AsRunFormat::kTwelveColumnHeader) {
        columns = Planned;
    } else if (header != kHeader) {
        columns = Album;
        if (header != kOldHeader)
            skip(1, QStringLiteral("not the header line \"%1\"").arg(QLatin1String(kHeader)));
    }

    while (!reader.atEnd()) {
        const Row row = reader.next();
        if (row.blank)
            continue;
        const auto &f = row.fields;
        QString why;
        if (row.fault)
            why = QString::fromLatin1(row.fault);
        else if (!row.ended)
            why = QStringLiteral("cut off at the end of the file");
        else if (row.count != columns)
            why = QStringLiteral("%1 fields instead of %2").arg(row.count).arg(columns);
        if (!why.isEmpty()) {
            skip(row.line, why);
            // A stray quote can swallow the rows after it: read them again.
            if (row.lines > 1)
                reader.restartAfter(row);
            continue;
        }

        const qint64 start = packedTime(f[Start].view());
        const qint64 played = tenths(f[Played].view());
        const int kind = kindIndex(f[Kind].view());
        // Fields a row of the old form lacks stay empty.
        const bool lengthKnown = f[Length].size > 0;
        const qint64 length = lengthKnown ? tenths(f[Length].view()) : -1;
        if (start < 0)
            why = QStringLiteral("start is not a date and time");
        else if (packedTime(f[End].view()) < 0)
            why = QStringLiteral("end is not a date and time");
        else if (played < 0)
            why = QStringLiteral("played_s is not a number of seconds");
        else if (kind < 0)
            why = QStringLiteral("unknown kind \"%1\"").arg(f[Kind].text().simplified());
        else if (lengthKnown && length < 0)
            why = QStringLiteral("length_s is not a number of seconds");
        if (!why.isEmpty()) {
            skip(row.line, why);
            continue;
        }
        if (played == 0)
            continue;

        // A length of 0 says nothing about the file. Without a length, only
        // the floor tells a play from a blip, which may have "ended" too.
        const bool heardEnough =
            played >= floor || (length > 0 && length < 2 * floor && 2 * played >= length);
        if (!heardEnough) {
            ++briefRows[kind];
            continue;
        }

        const Key key{kind, f[Title].text(), f[Artist].text()};
        Tally &tally = tallies[key];
        if (tally.plays == 0 || start < tally.first)
            tally.first = start;
        if (tally.plays == 0 || start > tally.last)
            tally.last = start;
        ++tally.plays;
        const auto cut = cuts.constFind(key);
        if (cut != cuts.cend()) {
            const qint64 gap = secondsOf(start) - cut->end;
            if (gap >= 0 && gap <= kReplayWithinS) {
                --tally.plays;
                if (keepPlays)
                    plays[cut->play].replayed = true;
            }
            cuts.erase(cut);
        }
        if (f[Outcome].view() == "interrupted")
            cuts.insert(key, {secondsOf(packedTime(f[End].view())), plays.size()});
        tally.playedTenths += played;
        const auto note = [start](Latest &latest, const Field &field) {
            if (field.size > 0 && start >= latest.at)
                latest = {field.text(), start};
        };
        note(tally.composer, f[Composer]);
        note(tally.album, f[Album]);
        note(tally.isrc, f[Isrc]);
        if (length > 0 && start >= tally.lengthAt) {
            tally.lengthTenths = length;
            tally.lengthAt = start;
        }
        if (keepPlays) {
            plays.append({start, kind, f[Title].text(), f[Artist].text(), f[Composer].text(),
                          f[Album].text(), f[Isrc].text(), length > 0 ? length : -1, played,
                          f[Outcome].text()});
        }
    }
}

QVector<AsRunReport::Total> AsRunReport::totals(const QStringList &selected) const
{
    struct Entry
    {
        int kind;
        Total total;
    };
    QVector<Entry> entries;
    for (auto it = tallies.cbegin(); it != tallies.cend(); ++it) {
        const QString &kind = kinds()[it.key().kind];
        if (!selected.contains(kind))
            continue;
        const Tally &tally = it.value();
        entries.append({it.key().kind,
                        {kind, it.key().title, it.key().artist, tally.composer.text, tally.album.text,
                         tally.isrc.text, tally.lengthTenths, tally.plays, tally.playedTenths,
                         timeText(tally.first), timeText(tally.last)}});
    }
    QCollator collator;
    std::sort(entries.begin(), entries.end(), [&collator](const Entry &a, const Entry &b) {
        if (a.kind != b.kind)
            return a.kind < b.kind;
        if (a.total.plays != b.total.plays)
            return a.total.plays > b.total.plays;
        if (const int order = collator.compare(a.total.title, b.total.title))
            return order < 0;
        if (const int order = collator.compare(a.total.artist, b.total.artist))
            return order < 0;
        return std::tie(a.total.title, a.total.artist) < std::tie(b.total.title, b.total.artist);
    });
    QVector<Total> result;
    result.reserve(entries.size());
    for (Entry &entry : entries)
        result.append(std::move(entry.total));
    return result;
}

QByteArray AsRunReport::csv(const QStringList &selected, Language language) const
{
    QByteArray text = totalsHeader(language);
    for (const Total &total : totals(selected)) {
        text += total.kind.toUtf8() + ',' + csvField(total.title) + ',' + csvField(total.artist) + ','
                + csvField(total.composer) + ',' + csvField(total.album) + ',' + csvField(total.isrc)
                + ',' + secondsText(total.lengthTenths) + ',' + QByteArray::number(total.plays) + ','
                + secondsText(total.playedTenths) + ',' + total.first.toUtf8() + ','
                + total.last.toUtf8() + '\n';
    }
    return text + footer(leftOutNote(selected, language));
}

QByteArray AsRunReport::playsCsv(const QStringList &selected, Language language) const
{
    QVector<const Play *> chosen;
    for (const Play &play : plays) {
        if (!play.replayed && selected.contains(kinds()[play.kind]))
            chosen.append(&play);
    }
    // Reading order breaks ties, so plays of the same second keep theirs.
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const Play *a, const Play *b) { return a->start < b->start; });
    QByteArray text = playsHeader(language);
    for (const Play *play : std::as_const(chosen)) {
        const QByteArray start = timeText(play->start).toLatin1();
        text += start.left(10) + ',' + start.mid(11) + ',' + kinds()[play->kind].toUtf8() + ','
                + csvField(play->title) + ',' + csvField(play->artist) + ',' + csvField(play->composer)
                + ',' + csvField(play->album) + ',' + csvField(play->isrc) + ','
                + secondsText(play->lengthTenths) + ',' + secondsText(play->playedTenths) + ','
                + csvField(play->outcome) + '\n';
    }
    return text + footer(leftOutNote(selected, language));
}

int AsRunReport::leftOut(const QStringList &selected) const
{
    int count = 0;
    for (int kind = 0; kind < kinds().size(); ++kind) {
        if (selected.contains(kinds()[kind]))
            count += briefRows[kind];
    }
    return count;
}

QString AsRunReport::leftOutNote(const QStringList &selected, Language language) const
{
    const int count = leftOut(selected);
    if (count == 0)
        return {};
    const QString under =
        floor % 10 ? QString::number(double(floor) / 10, 'f', 1) : QString::number(floor / 10);
    const bool one = count == 1;
    const QString text = language == Language::English
        ? (one ? QStringLiteral("%1 play under %2 s left out") : QStringLiteral("%1 plays under %2 s left out"))
        : (one ? QStringLiteral("%1 execução abaixo de %2 s deixada de fora")
               : QStringLiteral("%1 execuções abaixo de %2 s deixadas de fora"));
    return text.arg(count).arg(under);
}
