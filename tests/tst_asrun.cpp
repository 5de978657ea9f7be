#include "asrunlog.h"
#include "asrunreport.h"
#include "buttonhole.h"
#include "mainwindow.h"
#include "mediacheck.h"
#include "preparation.h"
#include "selfrestart.h"
#include "startup.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QSettings>
#include <QSharedMemory>
#include <QTimer>

#include <csignal>

namespace {

constexpr int kTransitionSeconds = 2;
// How far the logged seconds may be from what the recording heard.
constexpr double kPlayedToleranceS = 1.0;
constexpr int kStartToleranceMs = 5000;
// A desk started as a process of its own, on a loaded machine.
constexpr int kProcessStartMs = 20000;
// An item lasts at most this long in the recorded run.
constexpr int kItemToleranceMs = 15000;
// The journal is refreshed at least this often.
constexpr double kJournalStaleS = 5.0;
constexpr int kWindowMs = 50;
constexpr double kPresentAmplitude = 0.02;
constexpr int kAlmostSilentTooLongMs = 9990;
// A failure's row is held this long at most, for an outage to show.
constexpr int kFailedRowMs = 3000;
// The longest pause between tries in a run of failures, with a margin.
constexpr int kRetryPauseMs = 12000;
constexpr int kMinuteMs = 60000;

// Seconds in which `frequency` sounds in the recording.
double secondsHeard(const QVector<qint16> &samples, double frequency)
{
    return TestSupport::Recorder::toneWindows(samples, frequency, kWindowMs, kPresentAmplitude).count(true)
           * kWindowMs / 1000.0;
}

} // namespace

class TestAsRun : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestSupport::clearSettings();
        QFile::remove(TestSupport::todaysAsRunLog());
    }
    void recordedRun();
    void killedMidItem();
    void journalRowsGoToTheirDay();
    void everyFileMissing();
};

// Three items handed over, three broken files between them, one skipped by
// the watchdog, one missing file, a time announcement, a cart, and Stop: the
// day's log holds their rows, with the seconds the recording heard.
void TestAsRun::recordedRun()
{
    if (!TestSupport::soundServerAvailable())
        QSKIP("needs the test sound server");
    const QString media = TestSupport::privateRoot() + QStringLiteral("/run");
    const QString timeFolder = media + QStringLiteral("/time");
    QVERIFY(QDir().mkpath(timeFolder));
    struct Tone
    {
        QString name;
        double seconds;
        int frequency;
    };
    // Whole cycles in a measuring window: no tone leaks into another's reading.
    const QList<Tone> tones = {{QStringLiteral("a.wav"), 7, 440},    {QStringLiteral("b.wav"), 6, 660},
                               {QStringLiteral("c.wav"), 6, 880},    {QStringLiteral("d.wav"), 20, 1000},
                               {QStringLiteral("cart.wav"), 1.5, 1760}, {QStringLiteral("time.mp3"), 1.5, 1200}};
    for (const Tone &tone : tones)
        QVERIFY(TestSupport::makeTone(media + QLatin1Char('/') + tone.name, tone.seconds, tone.frequency));
    QVERIFY(TestSupport::makeTone(media + QStringLiteral("/silent.wav"), 20, 440, 0.0));
    // Random bytes named .wav, text named .mp3, and a minute of MP3 cut off
    // after 3 kB: each fails, at once or after a blip.
    const auto writeFile = [&](const QString &name, const QByteArray &content) {
        QFile file(media + QLatin1Char('/') + name);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    QByteArray noise(64 * 1024, '\0');
    for (char &byte : noise)
        byte = char(QRandomGenerator::global()->generate());
    QVERIFY(writeFile(QStringLiteral("random.wav"), noise));
    QVERIFY(writeFile(QStringLiteral("text.mp3"), "not audio at all\n"));
    QVERIFY(TestSupport::makeTone(media + QStringLiteral("/minute.mp3"), 60, 440));
    {
        QFile minute(media + QStringLiteral("/minute.mp3"));
        QVERIFY(minute.open(QIODevice::ReadOnly));
        QVERIFY(writeFile(QStringLiteral("cut.mp3"), minute.read(3000)));
    }
    // Whatever minute it is, the announcement finds its file.
    for (int hour = 0; hour < 13; ++hour) {
        for (int minute = 0; minute < 60; ++minute) {
            QFile::link(media + QStringLiteral("/time.mp3"),
                        timeFolder + QStringLiteral("/%1%2.mp3").arg(hour, 2, 10, QLatin1Char('0')).arg(minute, 2, 10, QLatin1Char('0')));
        }
    }
    {
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        settings.setValue(QStringLiteral("volume/TransitionAudioTime"), kTransitionSeconds);
        settings.setValue(QStringLiteral("files/audioTimeDir"), timeFolder);
        settings.setValue(QStringLiteral("buttonhole/btn_1"), media + QStringLiteral("/cart.wav"));
    }

    MainWindow desk;
    const auto music = [&](const QString &title, const QString &file) {
        return Playlist{title, media + QLatin1Char('/') + file, QStringLiteral("00:07"),
                        QStringLiteral("music")};
    };
    desk.playlist = {music(QStringLiteral("A"), QStringLiteral("a.wav")),
                     music(QStringLiteral("Random"), QStringLiteral("random.wav")),
                     music(QStringLiteral("B"), QStringLiteral("b.wav")),
                     music(QStringLiteral("Text"), QStringLiteral("text.mp3")),
                     music(QStringLiteral("C"), QStringLiteral("c.wav")),
                     music(QStringLiteral("Cut"), QStringLiteral("cut.mp3")),
                     music(QStringLiteral("Silent"), QStringLiteral("silent.wav")),
                     music(QStringLiteral("Missing"), QStringLiteral("missing.wav")),
                     {QStringLiteral("Hora Certa"), QString(), QString(), QStringLiteral("time")},
                     {QStringLiteral("D"), media + QStringLiteral("/d.wav"), QStringLiteral("00:20"),
                      QStringLiteral("jingle")}};
    desk.updateAudioList(false);

    TestSupport::Recorder recorder;
    QVERIFY(recorder.start());
    desk.on_btn_play_clicked();
    QTRY_VERIFY_WITH_TIMEOUT(desk.player2.getPosition() > 1000, kStartToleranceMs);
    desk.carts[0]->buttonHoleClick();

    // The silent item alone on air: the watchdog's ten seconds, shortened.
    QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 6 && desk.player1.isPlaying() != desk.player2.isPlaying()
                                 && (desk.player1.getPosition() > 500 || desk.player2.getPosition() > 500),
                             3 * kItemToleranceMs);
    desk.sequencer->heard(false, kAlmostSilentTooLongMs);
    QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 9 && desk.player1.isPlaying() != desk.player2.isPlaying(),
                             kItemToleranceMs);
    QTest::qWait(2000);
    desk.on_btn_stop_clicked();
    QTRY_VERIFY_WITH_TIMEOUT(TestSupport::todaysAsRunRows().size() >= 11, kStartToleranceMs);
    const QVector<qint16> heard = recorder.stop();

    // A failure can leave the air before the item that fades out ahead of it.
    QMap<QString, TestSupport::AsRunRow> rows;
    for (const TestSupport::AsRunRow &row : TestSupport::todaysAsRunRows())
        rows.insert(row.title, row);
    QStringList seen;
    for (const TestSupport::AsRunRow &row : std::as_const(rows))
        seen << row.kind + QLatin1Char(' ') + row.title + QLatin1Char(' ') + row.outcome;
    QCOMPARE(seen, QStringList({QStringLiteral("music A handed-over"), QStringLiteral("music B handed-over"),
                                QStringLiteral("music C handed-over"), QStringLiteral("music Cut error"),
                                QStringLiteral("jingle D stopped"), QStringLiteral("time Hora Certa ended"),
                                QStringLiteral("music Missing error"), QStringLiteral("music Random error"),
                                QStringLiteral("music Silent skipped-silence"),
                                QStringLiteral("music Text error"), QStringLiteral("cart cart ended")}));
    QCOMPARE(rows[QStringLiteral("Missing")].played, 0.0);
    const struct
    {
        const char *title;
        int frequency;
    } measured[] = {{"cart", 1760}, {"A", 440}, {"B", 660}, {"C", 880}, {"Hora Certa", 1200}, {"D", 1000}};
    for (const auto &item : measured) {
        const double reality = secondsHeard(heard, item.frequency);
        const double logged = rows[QLatin1String(item.title)].played;
        QVERIFY2(qAbs(logged - reality) <= kPlayedToleranceS,
                 qPrintable(QStringLiteral("%1: logged %2 s, heard %3 s").arg(item.title).arg(logged).arg(reality)));
    }
}

// A desk killed on air leaves a journal; the next start makes it one row,
// "interrupted", that ends no earlier than the journal's last refresh.
void TestAsRun::killedMidItem()
{
    const QString tone = TestSupport::privateRoot() + QStringLiteral("/killed.wav");
    QVERIFY(TestSupport::makeTone(tone, 60));
    SelfRestart::ResumePoint point;
    point.order = {{QStringLiteral("Killed"), tone, QStringLiteral("01:00"), QStringLiteral("music")}};
    point.onAir = true;
    const QString resumeFile = TestSupport::privateRoot() + QStringLiteral("/resume.txt");
    QVERIFY(SelfRestart::writeResumeFile(resumeFile, point));
    const QString journal = asRunFolder() + QLatin1Char('/') + QLatin1String(AsRunLog::kJournalName);

    QProcess desk;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(SelfRestart::kResumeVariable), resumeFile);
    desk.setProcessEnvironment(environment);
    desk.start(QStringLiteral(ORVARADIO_BIN), {});
    QVERIFY(desk.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(journal), kProcessStartMs);
    QElapsedTimer onAir;
    onAir.start();
    QTest::qWait(7000);
    ::kill(pid_t(desk.processId()), SIGKILL);
    const double killedAfter = onAir.elapsed() / 1000.0;
    QVERIFY(desk.waitForFinished());
    QVERIFY(QFileInfo::exists(journal));
    QVERIFY(TestSupport::todaysAsRunRows().isEmpty());

    QProcess again;
    again.setProcessChannelMode(QProcess::MergedChannels);
    again.start(QStringLiteral(ORVARADIO_BIN), {});
    QVERIFY(again.waitForStarted());
    QTRY_VERIFY2_WITH_TIMEOUT(TestSupport::todaysAsRunRows().size() == 1, again.readAll().constData(),
                              kProcessStartMs);
    again.kill();
    again.waitForFinished();
    // The killed desk's marker, which nobody holds now, goes too.
    QSharedMemory marker;
    setInstanceKey(marker);
    if (marker.attach(QSharedMemory::ReadOnly))
        marker.detach();
    const TestSupport::AsRunRow row = TestSupport::todaysAsRunRows().constFirst();
    QCOMPARE(row.outcome, QStringLiteral("interrupted"));
    QCOMPARE(row.title, QStringLiteral("Killed"));
    QVERIFY2(row.played >= killedAfter - kJournalStaleS - kPlayedToleranceS
                 && row.played <= killedAfter + kPlayedToleranceS,
             qPrintable(QString::number(row.played)));
    QVERIFY(!QFileInfo::exists(journal));
}

// Rows recovered days later go to the day their item started, also past
// midnight; a day file of an older desk keeps its eight or twelve columns,
// and a row from an older desk's journal gets the new ones, empty.
void TestAsRun::journalRowsGoToTheirDay()
{
    const QString folder = TestSupport::privateRoot() + QStringLiteral("/journal-days");
    QVERIFY(QDir().mkpath(folder));
    const QDate started = QDate::currentDate().addDays(-2);
    const QDate before = started.addDays(-1);
    const QDate twelve = started.addDays(-2);
    const auto dayFile = [&](QDate day) {
        return folder + QLatin1Char('/') + day.toString(Qt::ISODate) + QStringLiteral(".csv");
    };
    const auto write = [](const QString &path, const QByteArray &content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    const QByteArray oldRow = "2026-01-01T10:00:00,2026-01-01T10:03:00,180.0,music,Old,,/old.wav,ended\n";
    QVERIFY(write(dayFile(started), (AsRunFormat::kEightColumnHeader.toByteArray() + '\n') + oldRow));
    QVERIFY(write(dayFile(twelve), AsRunFormat::kTwelveColumnHeader.toByteArray() + '\n'));
    AsRunLog::Item late{QStringLiteral("music"), QStringLiteral("Late"), QStringLiteral("Band"),
                        QStringLiteral("/late.wav"), QStringLiteral("LP"), QStringLiteral("Someone"),
                        QStringLiteral("BRXXX2600001"), 60.0, QTime(23, 59, 50)};
    const AsRunLog::Row row = AsRunLog::row(QDateTime(started, QTime(23, 59, 50)),
                                            QDateTime(started.addDays(1), QTime(0, 0, 20)), 30.0,
                                            late, QStringLiteral("interrupted"));
    const QByteArray both = row.eight + row.more;
    QVERIFY(write(folder + QLatin1Char('/') + QLatin1String(AsRunLog::kJournalName),
                  started.toString(Qt::ISODate).toLatin1() + ' ' + QByteArray::number(both.size()) + ' '
                      + QByteArray::number(row.eight.size()) + '\n' + both
                      + before.toString(Qt::ISODate).toLatin1() + ' '
                      + QByteArray::number(oldRow.size()) + '\n' + oldRow
                      + twelve.toString(Qt::ISODate).toLatin1() + ' ' + QByteArray::number(both.size()) + ' '
                      + QByteArray::number(row.eight.size()) + '\n' + both));

    AsRunLog log(folder);
    QCOMPARE(log.recoverJournal(), 3);
    const auto content = [&](QDate day) {
        QFile file(dayFile(day));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QCOMPARE(content(started), (AsRunFormat::kEightColumnHeader.toByteArray() + '\n') + oldRow + row.eight + '\n');
    QCOMPARE(content(before), (AsRunFormat::kHeader.toByteArray() + '\n') + oldRow.chopped(1) + ",,,,,\n");
    QVERIFY(row.more == ",LP,Someone,BRXXX2600001,60.0,23:59:50");
    QCOMPARE(content(twelve), (AsRunFormat::kTwelveColumnHeader.toByteArray() + '\n') + row.eight
                                  + ",LP,Someone,BRXXX2600001,60.0\n");
}

// An order whose files are all gone: its first failure is in the day's file
// at once, naming the file; the later ones are held a minute at most, or
// until the air goes off.
void TestAsRun::everyFileMissing()
{
    const QString gone = TestSupport::privateRoot() + QStringLiteral("/gone-%1.wav");
    MainWindow desk;
    for (const QString &name : {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")})
        desk.playlist.push_back({QStringLiteral("Gone ") + name, gone.arg(name), QStringLiteral("03:00"),
                                 QStringLiteral("music")});
    desk.updateAudioList(false);
    QTRY_VERIFY_WITH_TIMEOUT(desk.preparation->entryVerdict(2, desk.playlist[2]).bad(), kStartToleranceMs);
    auto *runRows = desk.asRun->findChild<QTimer *>(QStringLiteral("runRows"));
    const auto dayFile = [] {
        QFile file(TestSupport::todaysAsRunLog());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    desk.on_btn_play_clicked();
    QTRY_VERIFY_WITH_TIMEOUT(dayFile().contains(",music,Gone 1,," + gone.arg(1).toUtf8() + ",error,"), kFailedRowMs);
    for (const bool airOff : {false, true}) {
        QTRY_VERIFY_WITH_TIMEOUT(runRows->isActive(), kRetryPauseMs);
        QVERIFY(runRows->remainingTime() <= kMinuteMs);
        const qsizetype written = TestSupport::todaysAsRunRows().size();
        airOff ? desk.on_btn_stop_clicked() : runRows->start(0);
        QTRY_VERIFY(TestSupport::todaysAsRunRows().size() > written);
    }
    for (const TestSupport::AsRunRow &row : TestSupport::todaysAsRunRows())
        QVERIFY(row.outcome == QStringLiteral("error") && row.played == 0.0);
}

ORVA_TEST_MAIN(TestAsRun)

#include "tst_asrun.moc"
