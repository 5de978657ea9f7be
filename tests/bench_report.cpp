// Prints how long the as-run report over a whole year of logs takes (goal:
// well under a second), in this process and as the command-line tool.
#include "asrunreport.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRowsPerDay = 411; // a year of them is about 150,000 rows
constexpr int kSongs = 3000;
constexpr int kJingles = 40;
constexpr int kCarts = 10;
constexpr int kRuns = 5;

template<typename Work>
double medianMs(Work work)
{
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[kRuns / 2];
}

QByteArray quoted(const QByteArray &field)
{
    if (!field.contains(',') && !field.contains('"'))
        return field;
    return '"' + QByteArray(field).replace("\"", "\"\"") + '"';
}

// A day of rows spread over 24 hours: mostly music, some titles needing
// quotes, jingles, time checks, carts, and now and then an item that failed.
QByteArray dayLog(const QDate &day, int &serial)
{
    QByteArray text = "start,end,played_s,kind,title,artist,file,outcome\n";
    const QDateTime midnight = day.startOfDay();
    for (int i = 0; i < kRowsPerDay; ++i, ++serial) {
        QByteArray kind = "music";
        QByteArray title;
        QByteArray artist;
        double played = 150.0 + (serial * 37 % 1500) / 10.0;
        QByteArray outcome = "handed-over";
        if (i % 10 == 0) {
            kind = "jingle";
            title = "Vinheta " + QByteArray::number(serial % kJingles);
            played = 5.0 + serial % 20 / 10.0;
        } else if (i % 20 == 7) {
            kind = "time";
            title = "Hora certa";
            played = 4.2;
        } else if (i % 40 == 13) {
            kind = "cart";
            title = "Cart " + QByteArray::number(serial % kCarts);
            played = 3.1;
        } else {
            const int song = serial * 7919 % kSongs;
            title = song % 25 == 0 ? "Canção " + QByteArray::number(song) + ", \"ao vivo\""
                                   : "Canção " + QByteArray::number(song);
            artist = "Artista " + QByteArray::number(song % 300);
            if (serial % 60 == 0) {
                played = 0.0;
                outcome = "error";
            }
        }
        const QDateTime start = midnight.addSecs(qint64(i) * 86000 / kRowsPerDay);
        const QDateTime end = start.addSecs(qint64(played) + 1);
        text += start.toString(Qt::ISODate).toLatin1() + ',' + end.toString(Qt::ISODate).toLatin1() + ','
                + QByteArray::number(played, 'f', 1) + ',' + kind + ',' + quoted(title) + ','
                + quoted(artist) + ",/music/" + quoted(title) + ".mp3," + outcome + '\n';
    }
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    TestSupport::isolateEnvironment();
    QCoreApplication app(argc, argv);

    const QString folder = QDir::tempPath() + QStringLiteral("/as-run-year");
    QDir().mkpath(folder);
    const QDate first(2026, 1, 1);
    const QDate last(2026, 12, 31);
    int serial = 0;
    qint64 bytes = 0;
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        QFile file(folder + day.toString(QStringLiteral("/yyyy-MM-dd.csv")));
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
        bytes += file.write(dayLog(day, serial));
    }
    std::printf("a year of as-run logs: %d rows, %.1f MB in 365 files\n", serial, double(bytes) / 1e6);

    QByteArray csv;
    const double inProcessMs = medianMs([&] {
        AsRunReport report;
        report.read(folder, first, last);
        csv = report.csv(AsRunReport::kinds());
    });
    std::printf("report in this process (read, sum, sort, CSV): %.0f ms, %lld report rows\n",
                inProcessMs, qint64(csv.count('\n')) - 1 - qint64(csv.contains("\n#")));

    const QString tool =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../orvaradio-report");
    if (!QFile::exists(tool)) {
        std::printf("orvaradio-report is not built; no figure for the tool\n");
        return 0;
    }
    bool toolRan = true;
    const double toolMs = medianMs([&] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(tool, {QStringLiteral("--from"), first.toString(Qt::ISODate), QStringLiteral("--to"),
                             last.toString(Qt::ISODate), QStringLiteral("--kind"), QStringLiteral("music"),
                             QStringLiteral("--kind"), QStringLiteral("jingle"), QStringLiteral("--dir"), folder});
        toolRan = toolRan && process.waitForFinished(60000) && process.exitCode() == 0;
    });
    if (toolRan)
        std::printf("orvaradio-report over the year, as a process: %.0f ms (goal: under 1000 ms)\n", toolMs);
    else
        std::printf("orvaradio-report failed over the year\n");
    return 0;
}
