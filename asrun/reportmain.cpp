// orvaradio-report: what went on air over a month or a run of days, from the
// desk's as-run logs, as CSV on standard output.
#include "asrunreport.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

constexpr int kExitFailed = 1; // the logs could not be read, or the report not written
constexpr int kExitUsage = 2;

void printError(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
}

int refuse(const QString &message)
{
    printError(message);
    std::fprintf(stderr, "Try '%s --help'.\n", qPrintable(QCoreApplication::applicationName()));
    return kExitUsage;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvaradio-report"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sums up what the desk played, from its as-run logs: one CSV row per kind, title\n"
        "and artist, with the composer, album, ISRC and length (from the latest play\n"
        "that has them), the plays, the seconds heard and the first and last start.\n"
        "Music comes first, then jingles. With --plays, one row per play instead.\n"
        "A play is an item heard for at least 30 s (see --min-seconds), or for at\n"
        "least half its length when it is shorter than a minute. Shorter ones are\n"
        "left out; the report's last line, a comment after \"#\", and one line on\n"
        "standard error say how many.\n"
        "Rows the logs garble are skipped, with a warning each on standard error.\n"
        "Exit status: 0 when the report is printed, 1 when the logs cannot be read,\n"
        "2 for bad arguments."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("First day of the report (with --to)."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("Last day of the report (with --from)."),
                                QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption kind(QStringLiteral("kind"),
                                  QStringLiteral("Only this kind: music, jingle, time or cart. "
                                                 "May be given more than once."),
                                  QStringLiteral("KIND"));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("Reads the logs from this folder instead of %1.")
                                     .arg(asRunFolder()),
                                 QStringLiteral("FOLDER"));
    const QCommandLineOption plays(QStringLiteral("plays"),
                                   QStringLiteral("Lists every play in time order instead of the sums."));
    const QCommandLineOption lang(QStringLiteral("lang"),
                                  QStringLiteral("Language of the header line: pt (the default) or en."),
                                  QStringLiteral("pt|en"));
    const QCommandLineOption minSeconds(
        QStringLiteral("min-seconds"),
        QStringLiteral("Least time heard that makes a play, instead of 30; an item shorter than "
                       "twice this counts when half of it was heard."),
        QStringLiteral("N"));
    parser.addOptions({help, from, to, kind, dir, plays, lang, minSeconds});
    parser.addPositionalArgument(QStringLiteral("month"),
                                 QStringLiteral("The month to report, as YYYY-MM."),
                                 QStringLiteral("[YYYY-MM]"));

    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }

    const QStringList months = parser.positionalArguments();
    const bool range = parser.isSet(from) || parser.isSet(to);
    if (months.size() > 1)
        return refuse(QStringLiteral("one month at a time, not \"%1\"").arg(months.join(QLatin1Char(' '))));
    if (months.isEmpty() && !range)
        return refuse(QStringLiteral("name a month (YYYY-MM) or a range (--from DATE --to DATE)"));
    if (!months.isEmpty() && range)
        return refuse(QStringLiteral("a month or a range, not both"));

    QDate first;
    QDate last;
    if (range) {
        if (!parser.isSet(from) || !parser.isSet(to))
            return refuse(QStringLiteral("--from and --to go together"));
        first = AsRunReport::parseDay(parser.value(from));
        last = AsRunReport::parseDay(parser.value(to));
        if (!first.isValid())
            return refuse(QStringLiteral("--from %1 is not a date (YYYY-MM-DD)").arg(parser.value(from)));
        if (!last.isValid())
            return refuse(QStringLiteral("--to %1 is not a date (YYYY-MM-DD)").arg(parser.value(to)));
        if (first > last)
            return refuse(QStringLiteral("--from %1 comes after --to %2")
                              .arg(parser.value(from), parser.value(to)));
    } else {
        first = AsRunReport::parseDay(QString(months.first() + QStringLiteral("-01")));
        if (!first.isValid())
            return refuse(QStringLiteral("%1 is not a month (YYYY-MM)").arg(months.first()));
        last = first.addMonths(1).addDays(-1);
    }

    QStringList kinds;
    const QStringList asked = parser.values(kind);
    for (const QString &name : asked) {
        if (!AsRunReport::kinds().contains(name))
            return refuse(QStringLiteral("unknown kind \"%1\" (music, jingle, time or cart)").arg(name));
    }
    for (const QString &name : AsRunReport::kinds()) {
        if (asked.isEmpty() ? name == QLatin1String("music") || name == QLatin1String("jingle")
                            : asked.contains(name))
            kinds.append(name);
    }

    AsRunReport::Language language = AsRunReport::Language::Portuguese;
    if (parser.isSet(lang)) {
        const QString name = parser.value(lang);
        if (name == QLatin1String("en"))
            language = AsRunReport::Language::English;
        else if (name != QLatin1String("pt"))
            return refuse(QStringLiteral("unknown language \"%1\" (pt or en)").arg(name));
    }
    qint64 floor = AsRunReport::kDefaultFloorTenths;
    if (parser.isSet(minSeconds)) {
        floor = AsRunReport::parseSeconds(parser.value(minSeconds));
        if (floor < 0)
            return refuse(QStringLiteral("--min-seconds %1 is not a number of seconds")
                              .arg(parser.value(minSeconds)));
    }

    const QString folder = parser.isSet(dir) ? parser.value(dir) : asRunFolder();
    AsRunReport report(floor, parser.isSet(plays));
    const bool read = report.read(folder, first, last);
    for (const QString &warning : report.warnings())
        std::fprintf(stderr, "%s\n", qPrintable(warning));
    if (!read) {
        printError(QStringLiteral("cannot read the as-run logs: %1").arg(report.error()));
        return kExitFailed;
    }
    if (report.daysRead() == 0) {
        printError(QStringLiteral("no as-run logs from %1 to %2 in %3")
                       .arg(first.toString(Qt::ISODate), last.toString(Qt::ISODate), folder));
    }

    const QByteArray csv =
        parser.isSet(plays) ? report.playsCsv(kinds, language) : report.csv(kinds, language);
    std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout);
    if (std::fflush(stdout) != 0) {
        printError(QStringLiteral("cannot write the report"));
        return kExitFailed;
    }
    const QString leftOut = report.leftOutNote(kinds, AsRunReport::Language::English);
    if (!leftOut.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(leftOut));
    return 0;
}
