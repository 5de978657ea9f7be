// Running orders on disk: saving, loading through the dialog, reopening the
// last file, and what the operator is told when it goes wrong.
#include "mainwindow.h"
#include "airguard.h"
#include "deskfiles.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace {

using Entries = std::vector<Playlist>;

// One line per entry, fields in brackets, so that bars in a field stay visible.
QStringList describe(const Entries &entries)
{
    QStringList lines;
    for (const Playlist &e : entries)
        lines << QString("[%1][%2][%3][%4]").arg(e.title, e.path, e.duration, e.kind)
                     + (e.fixed.isSet() ? e.fixed.at.toString(" HH:mm:ss ") + (e.fixed.hard ? "hard" : "soft") : "");
    return lines;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

Playlist music(const QString &title, const QString &path = "/m/a.mp3")
{
    return {title, path, "01:00", "music"};
}

QString boxText(const TestSupport::ModalDriver::Box &box)
{
    return QString("%1 %2: %3").arg(box.icon).arg(box.title, box.text);
}

const QString kSaved = QString("%1 Sucesso: Sua playlist foi salva o com sucesso!").arg(QMessageBox::Information);
const QString kSaveError = QString("%1 Erro: Não foi possível salvar a playlist.").arg(QMessageBox::Critical);
const QString kPrevious = "/shows/previous.txt";

// Lowers the largest file this process may write, as a full disk would stop it.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }

private:
    rlimit saved{};
};

} // namespace

Q_DECLARE_METATYPE(Entries)

class TestPlaylistFiles : public QObject
{
    Q_OBJECT

    MainWindow *window = nullptr;
    QTreeWidget *list = nullptr;
    const QString folder = QDir::homePath() + "/shows";

    QString recent() const { return window->settings->value("files/recent").toString(); }
    QString shows(const QString &name) const { return folder + '/' + name; }

    void setEntries(const Entries &entries)
    {
        window->playlist = entries;
        window->updateAudioList(false);
    }

private slots:
    void initTestCase()
    {
        TestSupport::clearSettings();
        QSettings("OrvaRadio", "OrvaRadio").setValue("interface/language", "pt_BR");
        window = new MainWindow;
        list = window->findChild<QTreeWidget *>("audio_list");
        QVERIFY(list);
    }

    void cleanupTestCase() { delete window; }

    void init()
    {
        QDir(folder).removeRecursively();
        QVERIFY(QDir().mkpath(folder));
        window->sequencer->place({});
        setEntries({});
        window->settings->setValue("files/recent", kPrevious);
    }

    void saveWritesOneLinePerEntry_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty list") << Entries{} << QByteArray();
        QTest::newRow("every kind") << Entries{music("Song - Artist", "/m/song.mp3"),
                                               {"Hora Certa", "", "--:--", "time"},
                                               {"Vinheta", "/j/v.wav", "00:07", "jingle"},
                                               {"Rock", "/m/Rock", "--:--", "folder-music"},
                                               {"Promos", "/j/Promos", "--:--", "folder-jingle"}}
                                    << QByteArray("Song - Artist|/m/song.mp3|01:00|music\n"
                                                  "Hora Certa||--:--|time\n"
                                                  "Vinheta|/j/v.wav|00:07|jingle\n"
                                                  "Rock|/m/Rock|--:--|folder-music\n"
                                                  "Promos|/j/Promos|--:--|folder-jingle\n");
        Playlist news = music("News", "/m/news.wav");
        news.fixed = {QTime(12, 0), true};
        Playlist show = {"Show", "/m/Show", "--:--", "folder-music", {QTime(14, 30, 5), false}};
        QTest::newRow("fixed times") << Entries{music("A"), news, show}
                                     << QByteArray("A|/m/a.mp3|01:00|music\n#time|12:00:00|hard\n"
                                                   "News|/m/news.wav|01:00|music\n#time|14:30:05|soft\n"
                                                   "Show|/m/Show|--:--|folder-music\n");
        QTest::newRow("fields as stored") << Entries{music(" Left | Right ", "rel/ação.mp3")}
                                          << QByteArray(" Left | Right |rel/ação.mp3|01:00|music\n");
    }

    void saveWritesOneLinePerEntry()
    {
        QFETCH(Entries, entries);
        setEntries(entries);
        const QString file = shows("saved.txt");
        QVERIFY(writeFile(file, "an older running order\n")); // replaced after the question
        TestSupport::ModalDriver driver;
        driver.answerFileDialog(file);

        window->savePlaylist();
        QTEST(readFile(file), "expected");
        QCOMPARE(driver.fileDialogTitles, QStringList{"Salvar Arquivo"});
        QVERIFY(!driver.boxes.isEmpty());
        QCOMPARE(boxText(driver.boxes.last()), kSaved);
        QCOMPARE(recent(), file);
        QCOMPARE(describe(window->playlist), describe(entries));
    }

    void saveThenLoadGivesTheSameList()
    {
        const Entries entries = {music("Left | Right - Duo", "/m/pipe.wav"),
                                 {"Hora Certa", "", "--:--", "time", {QTime(23, 59, 59), true}},
                                 music("A|B|C", "relative/ação.mp3"),
                                 {"Promos", "/j/Promos", "--:--", "folder-jingle"},
                                 {"Typo", "/m/typo.wav", "00:03", "musc"}};
        setEntries(entries);
        const QString file = shows("round.txt");
        TestSupport::ModalDriver driver;
        driver.answerFileDialog(file);
        window->savePlaylist();
        setEntries({music("something else")});

        // A kind the desk does not know is named once, and kept as it is.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("round.txt\" line 6 has an unknown kind: \"Typo\\|/m/typo.wav\\|00:03\\|musc\"$"));
        driver.answerFileDialog(file);
        window->loadPlaylist();
        QCOMPARE(describe(window->playlist), describe(entries));
        QCOMPARE(list->topLevelItemCount(), int(entries.size()));
        QCOMPARE(list->topLevelItem(0)->text(1), "Left | Right - Duo");
        // A reader that knows only the entries' lines keeps every entry.
        int read = 0;
        Playlist entry;
        for (const QByteArray &line : readFile(file).split('\n'))
            read += parsePlaylistLine(QString::fromUtf8(line), entry) ? 1 : 0;
        QCOMPARE(read, int(entries.size()));
    }

    // A time line belongs to the entry after it; one that is malformed or
    // that no entry follows is named with its line and ignored.
    void loadKeepsFixedTimes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("warning");
        QTest::newRow("hard and soft")
            << QByteArray("#time|06:00:00|hard\nA|/a|01:00|music\nB|/b|01:00|music\n #time | 18:30:00 | soft \nC|/c|00:10|jingle\n")
            << QStringList{"[A][/a][01:00][music] 06:00:00 hard", "[B][/b][01:00][music]",
                           "[C][/c][00:10][jingle] 18:30:00 soft"}
            << QString();
        QTest::newRow("no entry after it")
            << QByteArray("A|/a|01:00|music\n#time|06:00:00|hard\n") << QStringList{"[A][/a][01:00][music]"}
            << "line 2 has a fixed time that no entry follows";
        QTest::newRow("another time line after it")
            << QByteArray("#time|06:00:00|hard\n#time|07:00:00|soft\nA|/a|01:00|music\n")
            << QStringList{"[A][/a][01:00][music] 07:00:00 soft"} << "line 1 has a fixed time that no entry follows";
        QTest::newRow("hour out of range") << QByteArray("#time|25:00:00|hard\nA|/a|01:00|music\n")
                                           << QStringList{"[A][/a][01:00][music]"} << "line 1 is not a fixed time";
        QTest::newRow("unknown mode") << QByteArray("#time|06:00:00|firm\nA|/a|01:00|music\n")
                                      << QStringList{"[A][/a][01:00][music]"} << "line 1 is not a fixed time";
        QTest::newRow("a title that begins like one")
            << QByteArray("#time|x|01:00|music\n") << QStringList{"[#time][x][01:00][music]"} << QString();
    }

    void loadKeepsFixedTimes()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, warning);
        QVERIFY(writeFile(shows("fixed.txt"), content));
        window->settings->setValue("files/recent", shows("fixed.txt"));
        if (warning.isEmpty())
            QTest::failOnWarning(QRegularExpression("fixed"));
        else
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("fixed.txt\" " + warning));
        window->loadRecentPlaylist();
        QTEST(describe(window->playlist), "expected");
    }

    void loadParsesEachLine_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        const QString a = "[A][/a][01:00][music]";
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("blank lines only") << QByteArray("\n\n   \n") << QStringList();
        QTest::newRow("no line feed at the end") << QByteArray("A|/a|01:00|music") << QStringList{a};
        QTest::newRow("CRLF lines") << QByteArray("A|/a|01:00|music\r\nB|/b|02:00|jingle\r\n")
                                    << QStringList{a, "[B][/b][02:00][jingle]"};
        QTest::newRow("blanks trimmed") << QByteArray("  A  | /a |\t01:00 | music \n") << QStringList{a};
        QTest::newRow("malformed lines skipped")
            << QByteArray("\nonly|three|parts\nnothing at all\nA|/a|01:00|music\n|\n") << QStringList{a};
        QTest::newRow("unknown kind") << QByteArray("A|/a|01:00|radio\n") << QStringList{"[A][/a][01:00][radio]"};
        QTest::newRow("time item") << QByteArray("Hora Certa||--:--|time\n") << QStringList{"[Hora Certa][][--:--][time]"};
        QTest::newRow("relative path kept") << QByteArray("A|songs/a.mp3|01:00|music\n")
                                            << QStringList{"[A][songs/a.mp3][01:00][music]"};
        QTest::newRow("UTF-8") << QByteArray("Canção|/m/ação.mp3|01:00|music\n")
                               << QStringList{"[Canção][/m/ação.mp3][01:00][music]"};
        // Also files written before titles with bars were kept: the last three
        // fields are path, duration and kind.
        QTest::newRow("bars in the title") << QByteArray("Left | Right - Duo|/m/p.wav|00:01|music\nA|B|C|/x|02:00|jingle\n")
                                           << QStringList{"[Left | Right - Duo][/m/p.wav][00:01][music]",
                                                          "[A|B|C][/x][02:00][jingle]"};
        // A bar in a file name: the split whose path exists wins; with none,
        // the path is the last part before the duration.
        const QString barred = TestSupport::privateRoot() + "/A|B.wav";
        QFile(barred).open(QIODevice::WriteOnly);
        QTest::newRow("bar in an existing path")
            << ("A|B|" + barred + "|00:01|music\n").toUtf8()
            << QStringList{"[A|B][" + barred + "][00:01][music]"};
        QTest::newRow("bar in a path that does not exist")
            << QByteArray("A|B|/gone/A|B.wav|00:01|music\n")
            << QStringList{"[A|B|/gone/A][B.wav][00:01][music]"};
    }

    void loadParsesEachLine()
    {
        QFETCH(QByteArray, content);
        setEntries({music("replaced")});
        QVERIFY(writeFile(shows("parsed.txt"), content));
        window->settings->setValue("files/recent", shows("parsed.txt"));

        window->loadRecentPlaylist();
        QTEST(describe(window->playlist), "expected");
        QCOMPARE(list->topLevelItemCount(), int(window->playlist.size()));
    }

    void loadReplacesTheListAndStops()
    {
        setEntries({music("old 1"), music("old 2")});
        list->setCurrentItem(list->topLevelItem(1));
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Current, 5);
        const QString file = shows("monday.txt");
        QVERIFY(writeFile(file, "A|/a|01:00|music\nB|/b|01:00|music\nC|/c|01:00|music\n"));
        TestSupport::ModalDriver driver;
        driver.answerFileDialog(file);

        window->loadPlaylist();
        QCOMPARE(window->playlist.size(), size_t(3));
        QCOMPARE(driver.fileDialogTitles, QStringList{"Carregar Playlist"});
        QVERIFY(driver.boxes.isEmpty());
        QCOMPARE(window->sequencer->currentIndex(), 0);
        QCOMPARE(window->sequencer->nextIndex(), 1);
        QVERIFY(!window->sequencer->onAir());
        QVERIFY(!list->currentIndex().isValid());
        QVERIFY(list->selectedItems().isEmpty());
        QCOMPARE(recent(), file);
    }

    void cancelChangesNothing_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("save") << true;
        QTest::newRow("load") << false;
    }

    void cancelChangesNothing()
    {
        QFETCH(bool, save);
        setEntries({music("kept")});
        TestSupport::ModalDriver driver;
        driver.answerFileDialog(QString());
        save ? window->savePlaylist() : window->loadPlaylist();
        QCOMPARE(driver.fileDialogsSeen, 1);
        QVERIFY(driver.boxes.isEmpty());
        QCOMPARE(describe(window->playlist), describe({music("kept")}));
        QCOMPARE(recent(), kPrevious);
    }

    void loadRefusedOnAir()
    {
        QVERIFY(writeFile(shows("other.txt"), "A|/a|01:00|music\n"));
        setEntries({music("playing")});
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::OnAir, true);
        TestSupport::ModalDriver driver;
        driver.answerFileDialog(shows("other.txt"));

        window->loadPlaylist();
        QCOMPARE(driver.fileDialogsSeen, 0);
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(boxText(driver.boxes[0]),
                 QString("%1 Opss: Não é possivel carregar estando NO AR.").arg(QMessageBox::Information));
        QCOMPARE(describe(window->playlist), describe({music("playing")}));
        QVERIFY(window->sequencer->onAir());
        QCOMPARE(recent(), kPrevious);
    }

    void loadRecent_data()
    {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("file gone") << shows("gone.txt")
                                   << QStringList{QString("%1 Erro: Não foi possível carregar a playlist.")
                                                      .arg(QMessageBox::Critical)};
        QTest::newRow("nothing remembered") << QString() << QStringList();
    }

    void loadRecent()
    {
        QFETCH(QString, remembered);
        window->settings->setValue("files/recent", remembered);
        TestSupport::ModalDriver driver;

        window->loadRecentPlaylist();
        QVERIFY(window->playlist.empty());
        QCOMPARE(driver.fileDialogsSeen, 0);
        QStringList boxes;
        for (const auto &box : driver.boxes)
            boxes << boxText(box);
        QTEST(boxes, "boxes");
        QCOMPARE(recent(), remembered);
    }

    // The end of a session keeps an order changed since its save, and only that.
    void sessionEndKeepsWhatWasNotSaved_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<bool>("changed");
        QTest::newRow("saved") << Entries{music("A"), {"Hora Certa", "", "--:--", "time", {QTime(12, 0), true}}}
                               << false;
        // Written as they are, read back otherwise.
        QTest::newRow("saved, read back otherwise") << Entries{music(" Blanks "), music("Bar", "/gone/A|B.wav")}
                                                    << false;
        QTest::newRow("changed after the save") << Entries{music("A")} << true;
    }

    void sessionEndKeepsWhatWasNotSaved()
    {
        QFETCH(Entries, entries);
        QFETCH(bool, changed);
        setEntries(entries);
        TestSupport::ModalDriver driver;
        driver.answerFileDialog(shows("today.txt"));
        window->savePlaylist();
        if (changed)
            window->on_btn_add_time_item_clicked();
        else
            QTest::failOnWarning(QRegularExpression("not saved"));
        endSession(*window, SIGTERM);
        // The end leaves every event loop for good; a turn of the
        // application's own lets the next rows' dialogs run.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
        QDir data(deskDataFolder());
        const QStringList kept = data.entryList({"unsaved-*.txt"});
        QCOMPARE(recent(), changed ? data.filePath(kept.value(0)) : shows("today.txt"));
        QCOMPARE(kept.size(), int(changed));
        for (const QString &name : kept)
            data.remove(name);
    }

    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("folder that takes no files") << "/proc/playlist.txt" << false;
        QTest::newRow("disk full") << shows("monday.txt") << true;
    }

    void failedSaveKeepsTheOldFile()
    {
        QFETCH(QString, target);
        QFETCH(bool, diskFull);
        const QByteArray old = "OLD|/o|01:00|music\n";
        QVERIFY(writeFile(shows("monday.txt"), old));
        Entries entries;
        for (int i = 0; i < 2000; ++i)
            entries.push_back(music(QString("Song %1").arg(i), QString("/music/song-%1.mp3").arg(i)));
        setEntries(entries);
        TestSupport::ModalDriver driver;
        driver.answerFileDialog(target);
        {
            std::optional<FileSizeLimit> limit;
            if (diskFull)
                limit.emplace(16 * 1024);
            window->savePlaylist();
        }
        QVERIFY(!driver.boxes.isEmpty());
        QCOMPARE(boxText(driver.boxes.last()), kSaveError);
        QCOMPARE(readFile(shows("monday.txt")), old);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"monday.txt"});
        QCOMPARE(recent(), kPrevious);
        QCOMPARE(window->playlist.size(), entries.size());
    }
};

ORVA_TEST_MAIN(TestPlaylistFiles)
#include "tst_playlistfiles.moc"
