#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

const QByteArray kHeader = "start,end,played_s,kind,title,artist,file,outcome\n";
const QByteArray kTaggedHeader = "start,end,played_s,kind,title,artist,file,outcome,album,composer,isrc,length_s\n";
const QByteArray kTotalsHeader =
    "tipo,título,artista,compositor,álbum,isrc,duração_s,execuções,segundos_ouvidos,primeira,última\n";

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the report tool as the operator would; `dataHome` becomes its
// XDG_DATA_HOME.
Result report(const QStringList &arguments, const QString &dataHome = QString())
{
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../orvaradio-report");
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    Result result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        qWarning() << "could not run" << tool << process.errorString();
        return result;
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray row(const QString &start, double played, const QString &kind, const QString &title,
               const QString &artist, const QString &outcome = QStringLiteral("ended"))
{
    const QString end = start.left(11) + QStringLiteral("23:59:59");
    return QStringLiteral("%1,%2,%3,%4,%5,%6,/media/%5.mp3,%7\n")
        .arg(start, end, QString::number(played, 'f', 1), kind, title, artist, outcome)
        .toUtf8();
}

// `row` in the 12-column form; `tags` is "album,composer,isrc,length_s" as CSV.
QByteArray tagged(QByteArray row, const QByteArray &tags)
{
    row.chop(1);
    return row + ',' + tags + '\n';
}

// One day on air as the desk logs it. The 16:00 row is the day's ninth line.
QByteArray dayLog(const QDate &day)
{
    const struct
    {
        const char *time;
        double played;
        const char *kind;
        const char *title;
        const char *artist;
        const char *outcome;
    } items[] = {
        {"09:00:00", 8.2, "jingle", "Vinheta Manhã", "", "ended"},
        {"10:00:00", 183.4, "music", "Sol de Inverno", "Banda Azul", "ended"},
        {"11:00:00", 0.0, "music", "Faixa Quebrada", "Ninguém", "error"},
        {"12:00:00", 201.0, "music", "Maré Alta", "", "ended"},
        {"13:00:00", 240.0, "music", "Luar", "Trio Sul", "handed-over"},
        {"14:00:00", 4.5, "time", "Hora certa", "", "ended"},
        {"15:00:00", 3.0, "cart", "Aplausos", "", "ended"},
        {"16:00:00", 183.4, "music", "Sol de Inverno", "Banda Azul", "ended"},
    };
    QByteArray text = kHeader;
    for (const auto &item : items) {
        text += row(day.toString(Qt::ISODate) + QLatin1Char('T') + QLatin1String(item.time), item.played,
                    QString::fromUtf8(item.kind), QString::fromUtf8(item.title),
                    QString::fromUtf8(item.artist), QString::fromUtf8(item.outcome));
    }
    return text;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private slots:
    void monthWithACutOffDay();
    void quotedFieldsAndDamagedRows();
    void selection_data();
    void selection();
    void refusals_data();
    void refusals();
};

// December on air every day; on the 15th the desk died while it wrote the
// last row, which lost its line end and the end of its outcome but still has
// all its fields. On the 7th a song was skipped after 12.3 s, too short to be
// a play. The days either
// side of the month hold plays that must not count. The logs are in the
// default folder, found through HOME as XDG_DATA_HOME is empty.
void TestReport::monthWithACutOffDay()
{
    const QString home = qEnvironmentVariable("HOME");
    const QString folder = home + QStringLiteral("/.local/share/OrvaRadio/as-run");
    for (QDate day(2026, 11, 30); day <= QDate(2027, 1, 1); day = day.addDays(1)) {
        QByteArray log = dayLog(day);
        if (day == QDate(2026, 12, 7))
            log += row(QStringLiteral("2026-12-07T17:00:00"), 12.3, QStringLiteral("music"),
                       QStringLiteral("Sol de Inverno"), QStringLiteral("Banda Azul"),
                       QStringLiteral("skipped-silence"));
        if (day == QDate(2026, 12, 15))
            log.chop(3);
        if (day == QDate(2026, 11, 30))
            log += "garbage outside the month\n";
        QVERIFY(writeFile(folder + day.toString(QStringLiteral("/yyyy-MM-dd.csv")), log));
    }

    const Result result = report({QStringLiteral("2026-12")}, QString());
    QCOMPARE(result.exitCode, 0);
    // Sol de Inverno: 61 plays (2 a day, less the cut one) for 61 x 183.4 s.
    // The failed Faixa Quebrada is no play. The jingle, of unknown length,
    // ended after 8.2 s: left out each day, with the skipped song.
    QCOMPARE(result.out, kTotalsHeader
                             + "music,Sol de Inverno,Banda Azul,,,,,61,11187.4,2026-12-01T10:00:00,2026-12-31T16:00:00\n"
                               "music,Luar,Trio Sul,,,,,31,7440.0,2026-12-01T13:00:00,2026-12-31T13:00:00\n"
                               "music,Maré Alta,,,,,,31,6231.0,2026-12-01T12:00:00,2026-12-31T12:00:00\n"
                               "# 32 execuções abaixo de 30 s deixadas de fora\n");
    const QList<QByteArray> lines = result.err.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.first().startsWith(QFile::encodeName(folder) + "/2026-12-15.csv:9: "),
             lines.first().constData());
    QCOMPARE(lines.last(), QByteArray("32 plays under 30 s left out"));
}

// Fields quoted as RFC 4180 has it come out whole and quoted again; a line
// break inside quotes still counts for the line numbers of warnings; a stray
// quote spoils its own row only. In a file of the 12-column form, a row with
// an unquoted comma, a row of the 8-column form and a garbled length are
// refused.
void TestReport::quotedFieldsAndDamagedRows()
{
    const QString dataHome = TestSupport::privateRoot() + QStringLiteral("/quoted");
    const QString folder = dataHome + QStringLiteral("/OrvaRadio/as-run/");
    const QByteArray log = kHeader
        + "2026-12-07T08:00:00,2026-12-07T08:03:00,180.0,music,\"Tarde, \"\"ao vivo\"\"\",\"Nós, Eles\",\"/música/a,b.mp3\",ended\n"
          "\"2026-12-07T09:00:00\",2026-12-07T09:03:00,\"180.0\",\"music\",\"Tarde, \"\"ao vivo\"\"\",\"Nós, Eles\",/m/x.mp3,handed-over\n"
          "2026-12-07T10:00:00,2026-12-07T10:02:00,120.5,music,\"Linha um\nLinha dois\",Coro,/m/l.mp3,ended\n"
          "2026-12-07T25:00:00,2026-12-07T11:02:00,120.5,music,Hora errada,Coro,/m/e.mp3,ended\n"
          "2026-12-07T12:00:00,2026-12-07T12:01:00,60.0,music,\"Aspas soltas,Coro,/m/s.mp3,ended\n"
          "2026-12-07T13:00:00,2026-12-07T13:03:00,180.0,music,\"Tarde, \"\"ao vivo\"\"\",\"Nós, Eles\",/m/x.mp3,ended\n"
          "2026-12-07T14:00:00,2026-12-07T14:01:00,60.0,news,Boletim,Redação,/m/n.mp3,ended\n"
          "2026-12-07T15:00:00,2026-12-07T15:01:00,sixty,music,Sem tempo,Coro,/m/t.mp3,ended\n";
    QVERIFY(writeFile(folder + QStringLiteral("2026-12-07.csv"), log));
    QVERIFY(writeFile(folder + QStringLiteral("2026-12-08.csv"),
                      kTaggedHeader
                          + "2026-12-08T08:00:00,2026-12-08T08:03:00,180.0,music,\"Tarde, \"\"ao vivo\"\"\",\"Nós, Eles\",/m/x.mp3,ended,\"Disco, Um\",,,180.0\n"
                            "2026-12-08T09:00:00,2026-12-08T09:03:00,180.0,music,Tarde, ao vivo,Nós,/m/x.mp3,ended,Disco,,,180.0\n"
                            "2026-12-08T10:00:00,2026-12-08T10:03:00,180.0,music,Tarde,Nós,/m/x.mp3,ended\n"
                            "2026-12-08T11:00:00,2026-12-08T11:03:00,180.0,music,Tarde,Nós,/m/x.mp3,ended,Disco,,,3min\n"));

    const Result result = report({QStringLiteral("2026-12")}, dataHome);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, kTotalsHeader
                             + "music,\"Tarde, \"\"ao vivo\"\"\",\"Nós, Eles\",,\"Disco, Um\",,180.0,4,720.0,2026-12-07T08:00:00,2026-12-08T08:00:00\n"
                               "music,\"Linha um\nLinha dois\",Coro,,,,,1,120.5,2026-12-07T10:00:00,2026-12-07T10:00:00\n");
    QStringList lines;
    for (const QByteArray &warning : result.err.trimmed().split('\n')) {
        QVERIFY2(warning.startsWith(QFile::encodeName(folder)), warning.constData());
        lines.append(QString::fromUtf8(warning.mid(folder.toUtf8().size())).section(QLatin1Char(':'), 0, 1));
    }
    QCOMPARE(lines, (QStringList{"2026-12-07.csv:6", "2026-12-07.csv:7", "2026-12-07.csv:9", "2026-12-07.csv:10",
                                 "2026-12-08.csv:3", "2026-12-08.csv:4", "2026-12-08.csv:5"}));
}

void TestReport::selection_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("leftOut");

    const QByteArray song = "music,Canção,Coro,\"Ana Lima, Rui Paz\",Lua Nova,BRABC2600001,181.2,2,360.0,";
    QTest::newRow("month") << QStringList{"2026-12"}
                           << kTotalsHeader + song + "2026-12-01T10:00:00,2026-12-02T10:00:00\n"
                                  "jingle,Vinheta,,,,,5.0,1,5.0,2026-12-01T09:00:00,2026-12-01T09:00:00\n"
                                  "# 3 execuções abaixo de 30 s deixadas de fora\n"
                           << QByteArray("3 plays under 30 s left out");
    QTest::newRow("range across a month's end")
        << QStringList{"--from", "2026-11-30", "--to", "2026-12-01"}
        << kTotalsHeader + song + "2026-11-30T10:00:00,2026-12-01T10:00:00\n"
               "jingle,Vinheta,,,,,5.0,1,5.0,2026-12-01T09:00:00,2026-12-01T09:00:00\n"
               "# 3 execuções abaixo de 30 s deixadas de fora\n"
        << QByteArray("3 plays under 30 s left out");
    QTest::newRow("one day, into the next year")
        << QStringList{"--from", "2027-01-01", "--to", "2027-01-01"}
        << kTotalsHeader + "music,Canção,Coro,,Lua Nova (ao vivo),BRABC2700002,185.0,1,180.0,2027-01-01T10:00:00,2027-01-01T10:00:00\n"
                           "music,Ondas,Mar,,,,200.0,1,240.0,2027-01-01T13:00:00,2027-01-01T13:00:52\n"
                           "jingle,Vinheta,,,,,5.0,1,5.0,2027-01-01T09:00:00,2027-01-01T09:00:00\n"
        << QByteArray();
    QTest::newRow("kinds in the report's order")
        << QStringList{"2026-12", "--kind", "cart", "--kind", "time"}
        << kTotalsHeader + "time,Hora certa,,,,,4.6,1,4.5,2026-12-01T11:00:00,2026-12-01T11:00:00\n"
                           "cart,Aplausos,,,,,3.1,1,3.0,2026-12-01T10:01:00,2026-12-01T10:01:00\n"
                           "# 3 execuções abaixo de 30 s deixadas de fora\n"
        << QByteArray("3 plays under 30 s left out");
    QTest::newRow("a month off air") << QStringList{"2026-10"} << kTotalsHeader << QByteArray();
    QTest::newRow("each tag from the latest play that has it")
        << QStringList{"--from", "2026-12-01", "--to", "2027-01-01", "--kind", "music"}
        << kTotalsHeader + "music,Canção,Coro,\"Ana Lima, Rui Paz\",Lua Nova (ao vivo),BRABC2700002,185.0,3,540.0,2026-12-01T10:00:00,2027-01-01T10:00:00\n"
                           "music,Ondas,Mar,,,,200.0,1,240.0,2027-01-01T13:00:00,2027-01-01T13:00:52\n"
                           "# 2 execuções abaixo de 30 s deixadas de fora\n"
        << QByteArray("2 plays under 30 s left out");
    QTest::newRow("every play, in English")
        << QStringList{"2026-12", "--plays", "--lang", "en", "--kind", "music", "--kind", "cart"}
        << QByteArray("date,time,kind,title,artist,composer,album,isrc,length_s,played_s,outcome\n"
                      "2026-12-01,10:00:00,music,Canção,Coro,\"Ana Lima, Rui Paz\",Lua Nova,BRABC2600001,181.2,180.0,ended\n"
                      "2026-12-01,10:01:00,cart,Aplausos,,,,,3.1,3.0,ended\n"
                      "2026-12-02,10:00:00,music,Canção,Coro,,,,,180.0,ended\n"
                      "# 4 plays under 30 s left out\n")
        << QByteArray("4 plays under 30 s left out");
    QTest::newRow("totals in English")
        << QStringList{"--from", "2027-01-01", "--to", "2027-01-01", "--lang", "en", "--kind", "time"}
        << QByteArray("kind,title,artist,composer,album,isrc,length_s,plays,played_s,first,last\n"
                      "time,Hora certa,,,,,4.6,1,4.5,2027-01-01T11:00:00,2027-01-01T11:00:00\n")
        << QByteArray();
    QTest::newRow("a lower floor")
        << QStringList{"2026-12", "--min-seconds", "15", "--kind", "music"}
        << kTotalsHeader + song + "2026-12-01T10:00:00,2026-12-02T10:00:00\n"
               "music,Maré,Trio Sul,Rui Paz,,,60.0,1,17.0,2026-12-01T10:10:00,2026-12-01T10:10:00\n"
               "# 1 execução abaixo de 15 s deixada de fora\n"
        << QByteArray("1 play under 15 s left out");
    // Without a length, 5.0 s reaches a floor of 5 s and 4.5 s does not; with
    // one, the half rule still counts 4.5 of 4.6 s.
    QTest::newRow("unknown lengths against the floor")
        << QStringList{"2026-12", "--min-seconds", "5", "--kind", "jingle", "--kind", "time"}
        << kTotalsHeader + "jingle,Vinheta,,,,,5.0,2,10.0,2026-12-01T09:00:00,2026-12-02T09:00:00\n"
                           "time,Hora certa,,,,,4.6,1,4.5,2026-12-01T11:00:00,2026-12-01T11:00:00\n"
                           "# 1 execução abaixo de 5 s deixada de fora\n"
        << QByteArray("1 play under 5 s left out");
}

// Old-form days (11-30, 12-02) and tagged days (12-01, 2027-01-01). On 12-01
// a cart fired over the song leaves the air, and is logged, before it; the
// song is cut once after 0.1 s, another after 17 of its 60 s, and the cart
// after 1 of its 3.1 s: fragments under the floor. So are the jingle, time
// and cart of the old-form days, whose lengths are unknown, though they
// ended. On 2027-01-01 an outage cuts a song after 40 s and the fresh start
// plays it again: one play.
void TestReport::selection()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, leftOut);

    const QString folder = TestSupport::privateRoot() + QStringLiteral("/selection");
    for (const QDate &day : {QDate(2026, 11, 30), QDate(2026, 12, 2)}) {
        const QString date = day.toString(Qt::ISODate) + QLatin1Char('T');
        QVERIFY(writeFile(folder + day.toString(QStringLiteral("/yyyy-MM-dd.csv")),
                          kHeader + row(date + "09:00:00", 5.0, "jingle", "Vinheta", QString())
                              + row(date + "10:00:00", 180.0, "music", "Canção", "Coro")
                              + row(date + "11:00:00", 4.5, "time", "Hora certa", QString())
                              + row(date + "12:00:00", 3.0, "cart", "Aplausos", QString())));
    }
    const QString first = QStringLiteral("2026-12-01T");
    QVERIFY(writeFile(folder + QStringLiteral("/2026-12-01.csv"),
                      kTaggedHeader + tagged(row(first + "09:00:00", 5.0, "jingle", "Vinheta", QString()), ",,,5.0")
                          + tagged(row(first + "10:01:00", 3.0, "cart", "Aplausos", QString()), ",,,3.1")
                          + tagged(row(first + "10:00:00", 180.0, "music", "Canção", "Coro"),
                                   "Lua Nova,\"Ana Lima, Rui Paz\",BRABC2600001,181.2")
                          + tagged(row(first + "10:05:00", 0.1, "music", "Canção", "Coro", "next"),
                                   "Outro disco,Outra,BRABC2600009,181.2")
                          + tagged(row(first + "10:10:00", 17.0, "music", "Maré", "Trio Sul", "next"),
                                   ",Rui Paz,,60.0")
                          + tagged(row(first + "11:00:00", 4.5, "time", "Hora certa", QString()), ",,,4.6")
                          + tagged(row(first + "12:05:00", 1.0, "cart", "Aplausos", QString(), "stopped"),
                                   ",,,3.1")));
    // The form with the planned time of fixed entries.
    const QString next = QStringLiteral("2027-01-01T");
    QVERIFY(writeFile(folder + QStringLiteral("/2027-01-01.csv"),
                      kTaggedHeader.chopped(1) + ",planned\n"
                          + tagged(row(next + "09:00:00", 5.0, "jingle", "Vinheta", QString()), ",,,5.0,09:00:00")
                          + tagged(row(next + "10:00:00", 180.0, "music", "Canção", "Coro"),
                                   "Lua Nova (ao vivo),,BRABC2700002,185.0,")
                          + tagged(row(next + "11:00:00", 4.5, "time", "Hora certa", QString()), ",,,4.6,")
                          + tagged(row(next + "12:00:00", 3.0, "cart", "Aplausos", QString()), ",,,3.1,")
                          + "2027-01-01T13:00:00,2027-01-01T13:00:40,40.0,music,Ondas,Mar,/media/Ondas.mp3,interrupted,,,,200.0,\n"
                            "2027-01-01T13:00:52,2027-01-01T13:04:12,200.0,music,Ondas,Mar,/media/Ondas.mp3,ended,,,,200.0,\n"));

    const Result result = report(arguments + QStringList{QStringLiteral("--dir"), folder});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, expected);
    const QByteArray said = result.err.contains("left out") ? result.err.trimmed().split('\n').last() : QByteArray();
    QCOMPARE(said, leftOut);
}

void TestReport::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("no period") << QStringList{} << 2 << "month";
    QTest::newRow("thirteenth month") << QStringList{"2026-13"} << 2 << "2026-13";
    QTest::newRow("month and range") << QStringList{"2026-12", "--from", "2026-12-01", "--to", "2026-12-02"} << 2 << "both";
    QTest::newRow("range without an end") << QStringList{"--from", "2026-12-01"} << 2 << "--to";
    QTest::newRow("no such day") << QStringList{"--from", "2026-02-30", "--to", "2026-03-01"} << 2 << "2026-02-30";
    QTest::newRow("range backwards") << QStringList{"--from", "2026-12-02", "--to", "2026-12-01"} << 2 << "after";
    QTest::newRow("unknown kind") << QStringList{"2026-12", "--kind", "news"} << 2 << "news";
    QTest::newRow("unknown language") << QStringList{"2026-12", "--lang", "fr"} << 2 << "fr";
    QTest::newRow("floor not in seconds") << QStringList{"2026-12", "--min-seconds", "30s"} << 2 << "30s";
    QTest::newRow("unknown option") << QStringList{"2026-12", "--format", "json"} << 2 << "format";
    QTest::newRow("missing folder") << QStringList{"2026-12", "--dir", "/nonexistent/as-run"} << 1
                                    << "/nonexistent/as-run";
}

void TestReport::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, mentions);

    const Result result = report(arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.contains(mentions.toUtf8()), result.err.constData());
}

ORVA_TEST_MAIN(TestReport)
#include "tst_report.moc"
