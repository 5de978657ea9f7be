// The running order on screen: the view rebuild, the browsers that feed it,
// and the editing operations, all through one real main window.
#include "mainwindow.h"
#include "orderview.h"
#include "fixedstarts.h"
#include "starttimes.h"
#include "fixedtimedialog.h"
#include "testsupport.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QFile>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMenu>
#include <QSettings>
#include <QLabel>
#include <QTextBrowser>
#include <QTimeEdit>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <QTreeWidget>

#include <functional>

namespace {

// A file of the test folders. seconds > 0: silent audio made by ffmpeg with
// these tags; 0: a file of text; a name ending in "/": a folder.
struct Fixture
{
    const char *name;
    int seconds = 0;
    const char *title = "";
    const char *artist = "";
};

const Fixture kMusic[] = {
    {"X.mp3"}, {"Y.mp3"}, {"noise.mp3"}, {"Song.mp3.mp3"}, {"Song.MP3"}, {"Show.mp4"},
    {"Mix.flac.ogg.wav"}, {"Hits.mp3/"}, {"75s.wav", 75}, {"hour.wav", 3600},
    {"both.mp3", 2, "A", "B"}, {"title-only.mp3", 2, "A"}, {"artist-only.mp3", 2, "", "B"},
    {"both.wav", 2, "A", "B"}, {"title-only.wav", 2, "A"}, {"artist-only.wav", 2, "", "B"},
    {"Canção.wav", 3, "Ação", "Zé"}, {"pipe.wav", 1, "Left | Right", "Duo"},
};
const Fixture kJingles[] = {{"J.mp3"}, {"Promos/"}};
const Fixture kEntries[] = {{"tone.wav", 1}};
const Fixture kIcons[] = {{"song.MP3"}, {"a.wav"}, {"b.FLAC"}, {"c.ogg"}, {"d.aac"},
                          {"clip.mp4"}, {"notes.txt"}, {"Rock.mp3/"}, {"Empty/"}};

bool makeFixture(const QString &folder, const Fixture &fixture)
{
    const QString path = folder + '/' + QString::fromUtf8(fixture.name);
    if (path.endsWith('/'))
        return QDir().mkpath(path);
    if (fixture.seconds == 0) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("not audio\n") > 0;
    }
    // Low rates keep the hour-long file small and quick to make.
    const bool wav = path.endsWith(".wav");
    QStringList arguments = {"-y", "-v", "error", "-f", "lavfi", "-i",
                             wav ? "anullsrc=r=1000:cl=mono" : "anullsrc=r=8000:cl=mono",
                             "-t", QString::number(fixture.seconds)};
    if (*fixture.title)
        arguments << "-metadata" << "title=" + QString::fromUtf8(fixture.title);
    if (*fixture.artist)
        arguments << "-metadata" << "artist=" + QString::fromUtf8(fixture.artist);
    if (wav)
        arguments << "-c:a" << "pcm_u8";
    return TestSupport::run("ffmpeg", arguments << path);
}

template<size_t N>
bool makeFolder(const QString &folder, const Fixture (&fixtures)[N])
{
    return QDir().mkpath(folder)
           && std::all_of(fixtures, fixtures + N, [&](const Fixture &f) { return makeFixture(folder, f); });
}

// Installed while it lives; translates only what it is given, keyed "context|source".
class MapTranslator : public QTranslator
{
public:
    explicit MapTranslator(QHash<QString, QString> texts)
        : texts(std::move(texts))
    {
        QCoreApplication::installTranslator(this);
    }
    ~MapTranslator() override { QCoreApplication::removeTranslator(this); }
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        return texts.value(QString::fromUtf8(context) + '|' + QString::fromUtf8(source));
    }

private:
    QHash<QString, QString> texts;
};

// A row's colours by name; "mixed" when its columns disagree.
QString lookOf(const QTreeWidgetItem *item)
{
    static const QHash<QString, QString> names = {
        {"#05df72 #000000", "on-air"}, {"#ff6467 #ffffff", "next"}, {"#021c00 #ffffff", "music"},
        {"#170c00 #ffffff", "jingle"}, {"#171717 #ffffff", "time"}, {"#000000 #ffffff", "plain"},
        {"#0a1e50 #ffffff", "fixed"}};
    QString look;
    for (int column = 0; column < 3; ++column) {
        const QBrush back = item->background(column);
        const QString text = back.style() == Qt::SolidPattern && back.color().alpha() == 255
                                 ? back.color().name() + ' ' + item->foreground(column).color().name()
                                 : "not solid";
        if (column > 0 && text != look)
            return "mixed";
        look = text;
    }
    return names.value(look, look);
}

QString looks(const QTreeWidget *view)
{
    QStringList result;
    for (int row = 0; row < view->topLevelItemCount(); ++row)
        result << lookOf(view->topLevelItem(row));
    return result.join(' ');
}

QString titles(const std::vector<Playlist> &playlist)
{
    QStringList result;
    for (const Playlist &entry : playlist)
        result << entry.title;
    return result.join(' ');
}

QImage picture(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16)).toImage();
}

QImage resourcePicture(const QString &name)
{
    return name.isEmpty() ? QImage() : picture(QIcon(":/images/icons/" + name));
}

} // namespace

class TestPlaylist : public QObject
{
    Q_OBJECT

    MainWindow *window = nullptr;
    QTreeWidget *list = nullptr;
    QTreeView *files = nullptr;
    QTreeView *jingles = nullptr;
    QTextBrowser *currentBox = nullptr;
    QTextBrowser *nextBox = nullptr;
    const QString musicDir = QDir::homePath() + "/music";
    const QString jingleDir = QDir::homePath() + "/jingles";
    // Entries made by setEntries play this folder or its one file, which is
    // sound: no row is marked bad.
    const QString entryDir = QDir::homePath() + "/entries";

    // Entries T0, T1, ... of one kind; the view is rebuilt.
    void setEntries(int count, const QString &kind = "music", const QString &prefix = "T")
    {
        window->playlist.clear();
        for (int i = 0; i < count; ++i)
            window->playlist.push_back({prefix + QString::number(i),
                                        kind.startsWith("folder-") ? entryDir : entryDir + "/tone.wav",
                                        QString("0%1:00").arg(i % 10), kind});
        window->updateAudioList(false);
    }

    void select(int row) { list->setCurrentItem(row < 0 ? nullptr : list->topLevelItem(row)); }
    QTreeView *browser(const QString &name) const { return name == "music" ? files : jingles; }
    QString pathIn(const QString &name, const QString &file) const
    {
        return (name == "music" ? musicDir : jingleDir) + '/' + file;
    }

    // Makes `path` the browser's current item, as keyboard navigation would.
    bool pick(QTreeView *view, const QString &path)
    {
        QModelIndex index;
        if (!QTest::qWaitFor([&] { return (index = window->fileModel->index(path)).isValid(); }))
            return false;
        view->setCurrentIndex(index);
        return true;
    }

    // Where the browser shows `path`, once it is laid out and scrolled to.
    QPoint shownAt(QTreeView *view, const QString &path)
    {
        QRect rect;
        const bool shown = QTest::qWaitFor([&] {
            const QModelIndex index = window->fileModel->index(path);
            view->scrollTo(index);
            rect = view->visualRect(index);
            return rect.isValid() && view->viewport()->rect().contains(rect.center());
        });
        return shown ? rect.center() : QPoint(-1, -1);
    }

    QMenu *openMenu() const
    {
        for (QMenu *menu : window->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (menu->isVisible())
                return menu;
        }
        return nullptr;
    }

    // A right click on the playlist view at `point` of its viewport.
    void rightClick(const QPoint &point)
    {
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, point);
        QContextMenuEvent event(QContextMenuEvent::Mouse, point, list->viewport()->mapToGlobal(point));
        QApplication::sendEvent(list->viewport(), &event);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(makeFolder(musicDir, kMusic));
        QVERIFY(makeFolder(jingleDir, kJingles));
        QVERIFY(makeFolder(entryDir, kEntries));
        QVERIFY(makeFolder(QDir::homePath() + "/icons", kIcons));
        TestSupport::clearSettings();
        {
            QSettings settings("OrvaRadio", "OrvaRadio");
            settings.setValue("files/defaultDir", musicDir);
            settings.setValue("files/jingleDir", jingleDir);
            settings.setValue("interface/language", "pt_BR");
        }
        window = new MainWindow;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        list = window->findChild<QTreeWidget *>("audio_list");
        files = window->findChild<QTreeView *>("files");
        jingles = window->findChild<QTreeView *>("jingle_files");
        currentBox = window->findChild<QTextBrowser *>("current_audio");
        nextBox = window->findChild<QTextBrowser *>("next_audio");
        QVERIFY(list && files && jingles && currentBox && nextBox);
    }

    void cleanupTestCase() { delete window; }

    void init()
    {
        if (QMenu *menu = openMenu())
            menu->close();
        window->sequencer->place({});
        window->sequencer->heard(true, 0);
        // The rows last as long as they say, whatever the files hold.
        window->orderView->setCues({});
        setEntries(0);
        select(-1);
        for (QTreeView *view : {files, jingles}) {
            view->clearSelection();
            view->setCurrentIndex(QModelIndex());
        }
    }

    void rowsFollowTheIndices_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("next");
        QTest::addColumn<bool>("onAir");
        QTest::addColumn<bool>("jump");
        QTest::addColumn<int>("expectedNext");
        QTest::addColumn<QString>("expectedLooks");
        QTest::addColumn<QString>("currentText");
        QTest::addColumn<QString>("nextText");

        QTest::newRow("middle, on air") << 4 << 1 << 0 << true << false << 2 << "music on-air next music" << "T1" << "T2";
        QTest::newRow("last wraps to the top") << 4 << 3 << 1 << true << false << 0 << "next music music on-air" << "T3" << "T0";
        QTest::newRow("off air keeps kind colours") << 4 << 1 << 0 << false << false << 2 << "music music music music" << "T1" << "T2";
        QTest::newRow("one entry is its own next") << 1 << 0 << 3 << true << false << 0 << "on-air" << "T0" << "T0";
        QTest::newRow("current beyond the end") << 3 << 5 << 1 << true << false << 1 << "music next music" << "" << "old";
        QTest::newRow("current negative") << 3 << -1 << 2 << true << false << 2 << "music music next" << "" << "old";
        QTest::newRow("no valid current or next") << 3 << 7 << 9 << true << false << 9 << "music music music" << "" << "";
        QTest::newRow("empty list") << 0 << 0 << 0 << true << false << 0 << "" << "" << "";
        QTest::newRow("jump keeps the marked next") << 6 << 1 << 5 << true << true << 5 << "music on-air music music music next" << "T1" << "T5";
        QTest::newRow("jump off air") << 6 << 1 << 5 << false << true << 5 << "music music music music music music" << "T1" << "T5";
        QTest::newRow("jump onto the on-air row") << 4 << 2 << 2 << true << true << 2 << "music music on-air music" << "T2" << "T2";
        QTest::newRow("jump beyond the end") << 3 << 0 << 4 << true << true << 4 << "on-air music music" << "T0" << "";
    }

    void rowsFollowTheIndices()
    {
        QFETCH(int, size);
        QFETCH(int, current);
        QFETCH(bool, jump);
        setEntries(size);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Current, current);
        QFETCH(int, next);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Next, next);
        QFETCH(bool, onAir);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::OnAir, onAir);
        nextBox->setText("old");

        window->updateAudioList(jump);
        QTEST(window->sequencer->nextIndex(), "expectedNext");
        QTEST(looks(list), "expectedLooks");
        QTEST(currentBox->toPlainText(), "currentText");
        QTEST(nextBox->toPlainText(), "nextText");
        QCOMPARE(window->sequencer->currentIndex(), current);
        QCOMPARE(list->topLevelItemCount(), size);
        for (int row = 0; row < size; ++row) {
            QCOMPARE(list->topLevelItem(row)->text(1), window->playlist[row].title);
            QCOMPARE(list->topLevelItem(row)->text(2), window->playlist[row].duration);
        }
    }

    void rowShowsItsKind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("look");
        QTest::addColumn<QString>("icon");
        QTest::newRow("music") << "music" << "music" << "audio-x-generic.png";
        QTest::newRow("jingle") << "jingle" << "jingle" << "audio-x-mpegurl.png";
        QTest::newRow("time") << "time" << "time" << "clock.svg";
        QTest::newRow("folder-music") << "folder-music" << "plain" << "folder.png";
        QTest::newRow("folder-jingle") << "folder-jingle" << "plain" << "folder.png";
        QTest::newRow("kinds are case-sensitive") << "Music" << "plain" << "";
        QTest::newRow("unknown kind") << "radio" << "plain" << "";
    }

    void rowShowsItsKind()
    {
        QFETCH(QString, kind);
        QFETCH(QString, icon);
        setEntries(1, kind);
        const QTreeWidgetItem *item = list->topLevelItem(0);
        QTEST(lookOf(item), "look");
        QCOMPARE(item->icon(0).isNull(), icon.isEmpty());
        QCOMPARE(picture(item->icon(0)), resourcePicture(icon));
        QVERIFY(item->text(0).isEmpty());
    }

    // A time entry's title is shown in the interface language, in its row and
    // in the boxes alike; the stored title and other entries keep theirs.
    void timeTitleTranslatedOnScreen()
    {
        MapTranslator english({{"MainWindow|Hora Certa", "The Current Time"}});
        window->playlist = {{"Hora Certa", "", "--:--", "time"},
                            {"Hora Certa", "/m/h.mp3", "01:00", "music"},
                            {"Hora Certa", "", "--:--", "time"}};
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Current, 2);
        window->updateAudioList(false);

        QCOMPARE(list->topLevelItem(0)->text(1), "The Current Time");
        QCOMPARE(list->topLevelItem(1)->text(1), "Hora Certa");
        QCOMPARE(list->topLevelItem(2)->text(1), "The Current Time");
        QCOMPARE(currentBox->toPlainText(), "The Current Time");
        QCOMPARE(nextBox->toPlainText(), "The Current Time");
        QCOMPARE(window->playlist[0].title, "Hora Certa");

        // A new time item keeps the language it was made in.
        window->on_btn_add_time_item_clicked();
        QCOMPARE(window->playlist.back(), (Playlist{"The Current Time", "", "--:--", "time"}));
    }

    void selectionFollowsTheRowNumber_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("newSize");
        QTest::addColumn<int>("expected");
        QTest::newRow("row kept") << 2 << 5 << 2;
        QTest::newRow("row now beyond the end") << 4 << 3 << -1;
        QTest::newRow("nothing selected") << -1 << 5 << -1;
    }

    void selectionFollowsTheRowNumber()
    {
        QFETCH(int, selected);
        QFETCH(int, newSize);
        setEntries(5);
        select(selected);
        setEntries(newSize, "music", "N");
        QTEST(list->currentIndex().row(), "expected");
    }

    void titlesShowAsStored_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("a tag") << "<b>";
        QTest::newRow("comparison") << "a < b & c";
        QTest::newRow("closing paragraph") << "x</p><p align='right'>y";
        QTest::newRow("entity") << "&amp;";
        QTest::newRow("plain") << "Fish and Chips";
    }

    void titlesShowAsStored()
    {
        QFETCH(QString, title);
        window->playlist = {{title, "/m/1.mp3", "01:00", "music"}, {title, "/m/2.mp3", "01:00", "music"}};
        window->updateAudioList(false);
        QCOMPARE(currentBox->toPlainText(), title);
        QCOMPARE(nextBox->toPlainText(), title);
        QCOMPARE(list->topLevelItem(0)->text(1), title);
    }

    void clearingBlanksBothBoxes()
    {
        setEntries(3);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Current, 1);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::OnAir, true);
        window->updateAudioList(false);
        QCOMPARE(nextBox->toPlainText(), "T2");

        // On air it asks first; the default answer keeps everything.
        TestSupport::ModalDriver driver;
        window->clearPlaylist();
        QCOMPARE(driver.boxes.size(), 1);
        QCOMPARE(window->playlist.size(), size_t(3));
        QVERIFY(window->sequencer->onAir());
        driver.answerBox(QStringLiteral("Apagar e parar o ar"));
        window->clearPlaylist();
        QCOMPARE(driver.boxes.size(), 2);
        QVERIFY(window->playlist.empty());
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(currentBox->toPlainText(), "");
        QCOMPARE(nextBox->toPlainText(), "");
        QVERIFY(!window->sequencer->onAir());
        QCOMPARE(window->sequencer->currentIndex(), 0);
        QCOMPARE(window->sequencer->nextIndex(), 0);
    }

    void browsersShowTheConfiguredFolders()
    {
        QCOMPARE(jingles->model(), files->model());
        QCOMPARE(window->fileModel->filePath(files->rootIndex()), musicDir);
        QCOMPARE(window->fileModel->filePath(jingles->rootIndex()), jingleDir);
        for (QTreeView *view : {files, jingles}) {
            QCOMPARE(view->header()->model()->headerData(0, Qt::Horizontal).toString(), "Nome");
            for (int column = 0; column <= 3; ++column)
                QCOMPARE(view->isColumnHidden(column), column > 0);
        }
    }

    void browserIcons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("icon");
        for (const char *name : {"song.MP3", "a.wav", "b.FLAC", "c.ogg", "d.aac"})
            QTest::newRow(name) << name << "audio-x-generic.png";
        QTest::newRow("Rock.mp3 folder") << "Rock.mp3" << "folder.png";
        QTest::newRow("Empty folder") << "Empty" << "folder.png";
        QTest::newRow("clip.mp4") << "clip.mp4" << "";
        QTest::newRow("notes.txt") << "notes.txt" << "";
    }

    void browserIcons()
    {
        QFETCH(QString, name);
        QFETCH(QString, icon);
        const QFileInfo info(QDir::homePath() + "/icons/" + name);
        const QImage shown = picture(window->fileModel->iconProvider()->icon(info));
        if (!icon.isEmpty()) {
            QCOMPARE(shown, resourcePicture(icon));
        } else { // the platform's icon
            QVERIFY(shown != resourcePicture("audio-x-generic.png"));
            QVERIFY(shown != resourcePicture("folder.png"));
        }
    }

    void addGoesBelowTheSelectedRow_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("expected");
        QTest::newRow("row 3") << 3 << "T0 T1 T2 T3 Y X T4 T5";
        QTest::newRow("last row") << 5 << "T0 T1 T2 T3 T4 T5 Y X";
        QTest::newRow("nothing selected") << -1 << "T0 T1 T2 T3 T4 T5 X Y";
    }

    void addGoesBelowTheSelectedRow()
    {
        QFETCH(int, selected);
        setEntries(6);
        select(selected);
        for (const char *name : {"X.mp3", "Y.mp3"}) {
            QVERIFY(pick(files, pathIn("music", name)));
            window->on_btn_add_item_clicked();
        }
        QTEST(titles(window->playlist), "expected");
        QCOMPARE(list->currentIndex().row(), selected);
    }

    void addTakesTheBrowserSelection_data()
    {
        QTest::addColumn<QString>("music");
        QTest::addColumn<QString>("jingle");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("kind");
        QTest::newRow("music file") << "X.mp3" << "" << "X" << "music";
        QTest::newRow("music folder") << "Hits.mp3" << "" << "Hits" << "folder-music";
        QTest::newRow("jingle file") << "" << "J.mp3" << "J" << "jingle";
        QTest::newRow("jingle folder") << "" << "Promos" << "Promos" << "folder-jingle";
        QTest::newRow("both: the jingle wins") << "X.mp3" << "J.mp3" << "J" << "jingle";
        QTest::newRow("neither: nothing happens") << "" << "" << "" << "";
    }

    void addTakesTheBrowserSelection()
    {
        QFETCH(QString, music);
        QFETCH(QString, jingle);
        QFETCH(QString, title);
        QFETCH(QString, kind);
        setEntries(1);
        const QTreeWidgetItem *before = list->topLevelItem(0);
        QVERIFY(music.isEmpty() || pick(files, pathIn("music", music)));
        QVERIFY(jingle.isEmpty() || pick(jingles, pathIn("jingle", jingle)));

        window->on_btn_add_item_clicked();
        if (kind.isEmpty()) {
            QCOMPARE(window->playlist.size(), size_t(1));
            QCOMPARE(list->topLevelItem(0), before); // not even rebuilt
            return;
        }
        const QString path = jingle.isEmpty() ? pathIn("music", music) : pathIn("jingle", jingle);
        QCOMPARE(window->playlist.size(), size_t(2));
        QCOMPARE(window->playlist.back(), (Playlist{title, path, "--:--", kind}));
    }

    void clickClearsTheOtherBrowser_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QString>("name");
        QTest::newRow("music, then a jingle click") << "music" << "jingle" << "J.mp3";
        QTest::newRow("jingle, then a music click") << "jingle" << "music" << "X.mp3";
    }

    void clickClearsTheOtherBrowser()
    {
        QFETCH(QString, first);
        QFETCH(QString, clicked);
        QFETCH(QString, name);
        QVERIFY(pick(browser(first), pathIn(first, first == "music" ? "Y.mp3" : "Promos")));
        const QPoint point = shownAt(browser(clicked), pathIn(clicked, name));
        QVERIFY(point.x() >= 0);
        QTest::mouseClick(browser(clicked)->viewport(), Qt::LeftButton, {}, point);

        QVERIFY(!browser(first)->currentIndex().isValid());
        QVERIFY(browser(first)->selectionModel()->selectedIndexes().isEmpty());
        window->on_btn_add_item_clicked();
        QCOMPARE(window->playlist.size(), size_t(1));
        QCOMPARE(window->playlist[0].path, pathIn(clicked, name));
        QCOMPARE(window->playlist[0].kind, clicked);
    }

    void doubleClickAppendsAFile_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::newRow("music file") << "music" << "X.mp3" << "music";
        QTest::newRow("jingle file") << "jingle" << "J.mp3" << "jingle";
        QTest::newRow("folder: only opens") << "music" << "Hits.mp3" << "";
    }

    void doubleClickAppendsAFile()
    {
        QFETCH(QString, in);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        setEntries(2);
        select(0);
        const QPoint point = shownAt(browser(in), pathIn(in, name));
        QVERIFY(point.x() >= 0);
        QTest::mouseDClick(browser(in)->viewport(), Qt::LeftButton, {}, point);

        if (kind.isEmpty()) {
            QCOMPARE(titles(window->playlist), "T0 T1");
            return;
        }
        // At the end whatever row is selected; an unreadable file has no duration.
        QCOMPARE(window->playlist.size(), size_t(3));
        QCOMPARE(window->playlist.back(), (Playlist{QFileInfo(name).completeBaseName(), pathIn(in, name), "", kind}));
    }

    void addReadsTitleAndDuration_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("duration");
        QTest::newRow("Song.mp3.mp3") << "Song.mp3.mp3" << "Song" << "--:--";
        QTest::newRow("Song.MP3") << "Song.MP3" << "Song.MP3" << "--:--";
        QTest::newRow("Show.mp4") << "Show.mp4" << "Show.mp4" << "--:--";
        QTest::newRow("every audio extension") << "Mix.flac.ogg.wav" << "Mix" << "--:--";
        QTest::newRow("unreadable file") << "noise.mp3" << "noise" << "--:--";
        QTest::newRow("folder") << "Hits.mp3" << "Hits" << "--:--";
        QTest::newRow("MP3, both tags") << "both.mp3" << "A - B" << "00:02";
        QTest::newRow("MP3, title only") << "title-only.mp3" << "title-only" << "00:02";
        QTest::newRow("MP3, artist only") << "artist-only.mp3" << "artist-only" << "00:02";
        QTest::newRow("WAV, both tags") << "both.wav" << "A - B" << "00:02";
        QTest::newRow("WAV, title only") << "title-only.wav" << "title-only" << "00:02";
        QTest::newRow("WAV, artist only") << "artist-only.wav" << "artist-only" << "00:02";
        QTest::newRow("non-ASCII name and tags") << "Canção.wav" << "Ação - Zé" << "00:03";
        QTest::newRow("bar in a tag") << "pipe.wav" << "Left | Right - Duo" << "00:01";
        QTest::newRow("75 seconds") << "75s.wav" << "75s" << "01:15";
        QTest::newRow("an hour") << "hour.wav" << "hour" << "60:00";
    }

    void addReadsTitleAndDuration()
    {
        QFETCH(QString, name);
        QVERIFY(pick(files, pathIn("music", name)));
        window->on_btn_add_item_clicked();
        QCOMPARE(window->playlist.size(), size_t(1));
        QCOMPARE(window->playlist[0].path, pathIn("music", name));
        QTEST(window->playlist[0].title, "title");
        QTEST(window->playlist[0].duration, "duration");
    }

    void removeClampsTheIndices_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("next");
        QTest::addColumn<bool>("onAir");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("expectedCurrent");
        QTest::addColumn<int>("expectedNext");
        QTest::addColumn<QString>("expectedLooks");
        QTest::newRow("nothing selected") << 3 << -1 << 1 << 2 << false << "T0 T1 T2" << 1 << 2 << "music music music";
        QTest::newRow("row above the on-air row") << 4 << 0 << 2 << 3 << false << "T1 T2 T3" << 2 << 0 << "music music music";
        QTest::newRow("last row, on air there") << 4 << 3 << 3 << 0 << false << "T0 T1 T2" << 2 << 0 << "music music music";
        QTest::newRow("the only entry") << 1 << 0 << 0 << 0 << true << "" << -1 << 0 << "";
        QTest::newRow("the on-air entry") << 3 << 1 << 1 << 2 << true << "T0 T2" << 0 << 1 << "music next";
        QTest::newRow("indices far beyond the end") << 3 << 0 << 9 << 9 << false << "T1 T2" << 1 << 0 << "music music";
    }

    void removeClampsTheIndices()
    {
        QFETCH(int, size);
        QFETCH(int, selected);
        QFETCH(int, current);
        QFETCH(int, next);
        QFETCH(bool, onAir);
        setEntries(size);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Current, current);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Next, next);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::OnAir, onAir);
        select(selected);

        window->on_btn_remove_item_clicked();
        QTEST(titles(window->playlist), "left");
        QTEST(window->sequencer->currentIndex(), "expectedCurrent");
        QTEST(window->sequencer->nextIndex(), "expectedNext");
        QTEST(looks(list), "expectedLooks");
        QCOMPARE(window->sequencer->onAir(), onAir);
    }

    void rowMenu_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("left");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("next");
        QTest::addColumn<QString>("expectedLooks");
        QTest::newRow("Tocar Este") << "Tocar Este" << "T0 T1 T2 T3" << 2 << 3 << "plain plain on-air next";
        QTest::newRow("Marcar como Próximo") << "Marcar como Próximo" << "T0 T1 T2 T3" << 0 << 2 << "on-air plain next plain";
        QTest::newRow("Apagar") << "Apagar" << "T0 T1 T3" << 0 << 1 << "on-air next plain";
    }

    void rowMenu()
    {
        QFETCH(QString, action);
        // The menu is the same in every interface language.
        MapTranslator english({{"MainWindow|Tocar Este", "Play This"}, {"MainWindow|Apagar", "Delete"}});
        // Folders that do not exist: playing one puts nothing on a channel.
        setEntries(4, "folder-music");
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::OnAir, true);
        window->updateAudioList(false);

        rightClick(list->visualItemRect(list->topLevelItem(2)).center());
        QMenu *menu = openMenu();
        QVERIFY(menu);
        QStringList texts;
        for (const QAction *entry : menu->actions()) {
            texts << entry->text();
            QCOMPARE(entry->icon().isNull(), entry->isSeparator());
            QCOMPARE(entry->isEnabled(), entry->text() != "Pré Escuta");
        }
        QCOMPARE(texts, QStringList({"Tocar Este", "Marcar como Próximo", "Hora Fixa…", "Pré Escuta", "", "Apagar"}));

        menu->actions().at(int(texts.indexOf(action)))->trigger();
        QTEST(titles(window->playlist), "left");
        QTEST(window->sequencer->currentIndex(), "current");
        QTEST(window->sequencer->nextIndex(), "next");
        QTEST(looks(list), "expectedLooks");
        QVERIFY(window->sequencer->onAir());
    }

    // Picks "Hora Fixa…" on `row`, as a click does, and hands the dialog to
    // `answer` once it is up.
    void fixedTimeDialog(int row, const std::function<void(FixedTimeDialog *)> &answer)
    {
        rightClick(list->visualItemRect(list->topLevelItem(row)).center());
        QMenu *menu = openMenu();
        QVERIFY(menu);
        QAction *fixed = nullptr;
        for (QAction *action : menu->actions()) {
            if (action->text() == QStringLiteral("Hora Fixa…"))
                fixed = action;
        }
        QVERIFY(fixed);
        bool answered = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto *dialog = qobject_cast<FixedTimeDialog *>(QApplication::activeModalWidget())) {
                poll.stop();
                answered = true;
                answer(dialog);
            }
        });
        poll.start(10);
        fixed->trigger();
        menu->close();
        QTRY_VERIFY(answered);
    }

    // Off air each row starts when the one before it hands over (music 5 s
    // before its end), as if Play were pressed now; a fixed row at its own
    // time, with how far the rows before it miss it, and the rows after it
    // from there; rows of unknown length and those after them unknown up to
    // the next fixed row. The times follow the running order's edits.
    void startTimesFollowTheOrder()
    {
        const QString file = entryDir + "/tone.wav";
        window->playlist = {{"A", file, "01:00", "music"},  {"B", file, "01:00", "music"},
                            {"C", file, "00:10", "jingle"}, {"D", file, "02:00", "music"},
                            {"E", file, "00:10", "jingle"}, {"F", file, "--:--", "music"},
                            {"G", file, "01:00", "music"}};
        window->updateAudioList(false);
        const auto shown = [this](int row) { return list->topLevelItem(row)->text(3); };
        const QTime a = QTime::fromString(shown(0), "HH:mm:ss");
        QVERIFY2(a.isValid(), qPrintable(shown(0)));
        const auto at = [&a](int seconds) { return a.addSecs(seconds).toString("HH:mm:ss"); };
        QCOMPARE(shown(2), at(110));

        // The dialog proposes the row's expected start.
        fixedTimeDialog(2, [&](FixedTimeDialog *dialog) {
            QVERIFY(dialog);
            QCOMPARE(dialog->findChild<QTimeEdit *>("fixedTime")->time().toString("HH:mm:ss"), at(110));
            dialog->findChild<QTimeEdit *>("fixedTime")->setTime(a.addSecs(180));
            dialog->accept();
        });
        fixedTimeDialog(4, [&](FixedTimeDialog *dialog) {
            dialog->findChild<QTimeEdit *>("fixedTime")->setTime(a.addSecs(250));
            dialog->findChild<QComboBox *>("fixedMode")->setCurrentIndex(1);
            dialog->accept();
        });
        QCOMPARE(window->playlist[2].fixed, (FixedStart{a.addSecs(180), true}));
        QCOMPARE(window->playlist[4].fixed, (FixedStart{a.addSecs(250), false}));
        QCOMPARE(looks(list), "music music fixed music fixed music music");
        // The rows before the first fixed one count from now, which has moved
        // on by a second or so; those after it count from its time.
        const auto early = [&](int seconds) {
            const int late = a.secsTo(QTime::fromString(shown(0), "HH:mm:ss"));
            return QString(" \u2212%1:%2").arg((seconds - late) / 60).arg((seconds - late) % 60, 2, 10, QChar('0'));
        };
        const QStringList expected = {shown(0), at(a.secsTo(QTime::fromString(shown(0), "HH:mm:ss")) + 55),
                                      at(180) + early(70), at(190), at(250) + " +0:55", at(260), "--:--:--"};
        for (int row = 0; row < int(expected.size()); ++row)
            QCOMPARE(shown(row), expected[row]);
        QVERIFY(window->findChild<QLabel *>("next_fixed")->text().startsWith("Hora fixa: C às " + at(180) + ", em "));

        // B goes: C is missed by more, and what follows it keeps its time.
        select(1);
        window->on_btn_remove_item_clicked();
        QCOMPARE(shown(1), at(180) + early(125));
        QCOMPARE(shown(2), at(190));

        fixedTimeDialog(1, [](FixedTimeDialog *dialog) {
            dialog->findChild<QPushButton *>("clearFixed")->click();
        });
        QVERIFY(!window->playlist[1].fixed.isSet());
        QCOMPARE(QTime::fromString(shown(0), "HH:mm:ss").secsTo(QTime::fromString(shown(1), "HH:mm:ss")), 55);

        // The plain order passes a fixed entry over.
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Current, 2);
        window->updateAudioList(false);
        QCOMPARE(window->sequencer->nextIndex(), 4);
        // Off air, a fixed time only says it was missed.
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^Fixed time .* of E missed: the desk is off air$"));
        emit window->fixedStarts->due(3);
        QVERIFY(!window->sequencer->onAir());

        // A time passed today is tomorrow's, in the cell and the line alike.
        const QTime minuteAgo = QTime::currentTime().addSecs(-60);
        const QTime passed(minuteAgo.hour(), minuteAgo.minute(), minuteAgo.second());
        for (Playlist &entry : window->playlist)
            entry.fixed = {};
        window->playlist[3].fixed = {passed, true};
        window->updateAudioList(false);
        QCOMPARE(shown(3), "amanhã " + passed.toString("HH:mm:ss"));
        QVERIFY2(window->findChild<QLabel *>("next_fixed")->text().startsWith("Hora fixa: E amanhã às " + passed.toString("HH:mm:ss") + ", em 23:5"),
                 qPrintable(window->findChild<QLabel *>("next_fixed")->text()));
    }

    // The start column counts each file's sound once its cue points are
    // known, and the file's length again once they are not.
    void startTimesFollowTheSound()
    {
        const QString cued = musicDir + "/75s.wav";
        window->playlist = {{"A", cued, "01:00", "music"},
                            {"B", entryDir + "/tone.wav", "01:00", "music"},
                            {"C", cued, "01:00", "music"}};
        window->orderView->setCues([cued](const QString &path) {
            return path == cued ? CuePoints{2000, 52000, -1} : CuePoints();
        });
        window->updateAudioList(false);
        const auto gap = [this](int row) {
            return QTime::fromString(list->topLevelItem(row)->text(3), "HH:mm:ss")
                .secsTo(QTime::fromString(list->topLevelItem(row + 1)->text(3), "HH:mm:ss"));
        };
        QCOMPARE(gap(0), 45);
        QCOMPARE(gap(1), 55);
        window->orderView->setCues({});
        window->updateAudioList(false);
        QCOMPARE(gap(0), 55);
    }

    // Start times once fixed times have passed: a time passed today is
    // tomorrow's, with no miss, and the plain order passes its entry over; a
    // fixed entry that is next starts when the item on air leaves, and the
    // order goes on after it. Entries: title|length|kind[|HH:mm:ss]; the
    // origin: the row on air (or off air, the first), when it leaves, the
    // fixed entry next; now is 13:58:00, the hand-over 5 s.
    void startTimesAfterFixedTimes_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("onAir");
        QTest::addColumn<QString>("leaves");
        QTest::addColumn<int>("fixedNext");
        QTest::addColumn<QStringList>("expected");
        const QStringList passed = {"A|01:00|music", "F|00:10|jingle|13:45:41", "B|01:00|music"};
        QTest::newRow("passed, off air") << passed << 0 << false << "13:58:00" << -1
                                         << QStringList{"13:58:00", "amanhã 13:45:41", "13:58:55"};
        QTest::newRow("passed, on air") << passed << 0 << true << "13:58:35" << -1
                                        << QStringList{"", "amanhã 13:45:41", "13:58:35"};
        QTest::newRow("passed, next") << passed << 0 << true << "13:58:35" << 1
                                      << QStringList{"", "13:58:35", "13:58:45"};
        QTest::newRow("next goes on after it")
            << QStringList{"A|01:00|music", "B|01:00|music", "F|00:10|jingle|13:50:01", "C|01:00|music"} << 0
            << true << "13:59:00" << 2 << QStringList{"", "14:01:00", "13:59:00", "13:59:10"};
        QTest::newRow("coming today, early")
            << QStringList{"A|01:00|music", "B|01:00|music", "F|00:10|jingle|14:05:00", "C|01:00|music"} << 0
            << true << "13:58:30" << -1 << QStringList{"", "13:58:30", "14:05:00 \u22125:35", "14:05:10"};
        QTest::newRow("coming today, late")
            << QStringList{"A|01:00|music", "B|01:00|music", "F|00:10|jingle|13:59:00", "C|01:00|music"} << 0
            << true << "13:58:30" << -1 << QStringList{"", "13:58:30", "13:59:00 +0:25", "13:59:10"};
        QTest::newRow("a mark on a plain entry") << passed << 0 << true << "13:58:35" << 2
                                                 << QStringList{"", "amanhã 13:45:41", "13:58:35"};
        // With cue points (first sound, last sound, fade-out, in ms) an entry
        // holds the air from its first sound to where it leaves: music 5 s
        // before its last sound or at its fade-out, no more than 10 s early.
        QTest::newRow("cue points")
            << QStringList{"A|01:00|music||2000,52000,-1", "J|00:10|jingle||500,5500,-1", "B|01:00|music",
                           "C|01:00|music||0,58000,50000", "D|01:00|music||1000,59000,40000", "E|01:00|music"}
            << 0 << false << "13:58:00" << -1
            << QStringList{"13:58:00", "13:58:45", "13:58:50", "13:59:45", "14:00:35", "14:01:23"};
        QTest::newRow("cue points before a fixed time")
            << QStringList{"A|01:00|music", "B|01:00|music||0,30000,-1", "F|00:10|jingle|14:00:00"} << 0 << true
            << "13:58:30" << -1 << QStringList{"", "13:58:30", "14:00:00 −1:05"};
    }

    void startTimesAfterFixedTimes()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, leaves);
        QFETCH(QStringList, expected);
        const QDate today(2026, 12, 9);
        std::vector<Playlist> order;
        std::vector<CuePoints> cues;
        for (const QString &text : entries) {
            const QStringList fields = text.split('|');
            order.push_back({fields[0], "/m/" + fields[0], fields[1], fields[2]});
            if (fields.size() > 3 && !fields[3].isEmpty())
                order.back().fixed = {QTime::fromString(fields[3], "HH:mm:ss"), false};
            const QStringList points = fields.value(4).split(',');
            cues.push_back(points.size() == 3 ? CuePoints{points[0].toLongLong(), points[1].toLongLong(),
                                                          points[2].toLongLong()}
                                              : CuePoints());
        }
        QFETCH(int, row);
        QFETCH(bool, onAir);
        QFETCH(int, fixedNext);
        StartTimes::Origin origin;
        origin.row = row;
        origin.onAir = onAir;
        origin.now = QDateTime(today, QTime(13, 58));
        origin.at = QDateTime(today, QTime::fromString(leaves, "HH:mm:ss"));
        origin.fixedNext = fixedNext;
        QStringList shown;
        for (const StartTimes::Row &start : StartTimes::compute(order, origin, 5, cues))
            shown.append(StartTimes::text(start));
        QCOMPARE(shown.join(" / "), expected.join(" / "));
    }

    // On air, a "Marcar como Próximo" mark stays on its entry through edits
    // above it, and the next box names it; once that entry goes, the entry
    // after the one on air is next again.
    void markFollowsItsEntry()
    {
        setEntries(6);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::Current, 1);
        TestSupport::setOrder(*window->sequencer, TestSupport::OrderField::OnAir, true);
        window->updateAudioList(false);
        rightClick(list->visualItemRect(list->topLevelItem(4)).center());
        QMenu *menu = openMenu();
        QVERIFY(menu);
        for (QAction *action : menu->actions()) {
            if (action->text() == QStringLiteral("Marcar como Próximo"))
                action->trigger();
        }
        QCOMPARE(nextBox->toPlainText(), QStringLiteral("T4"));

        select(0);
        window->on_btn_remove_item_clicked();
        QCOMPARE(window->sequencer->currentIndex(), 0);
        QCOMPARE(window->sequencer->nextIndex(), 3);
        QCOMPARE(currentBox->toPlainText(), QStringLiteral("T1"));
        QCOMPARE(nextBox->toPlainText(), QStringLiteral("T4"));

        select(3);
        window->on_btn_remove_item_clicked();
        QCOMPARE(window->sequencer->nextIndex(), 1);
        QCOMPARE(nextBox->toPlainText(), QStringLiteral("T2"));
    }

    void noMenuBelowTheRows()
    {
        setEntries(2);
        const QRect last = list->visualItemRect(list->topLevelItem(1));
        rightClick(QPoint(last.center().x(), last.bottom() + 40));
        QCOMPARE(openMenu(), nullptr);
    }
};

ORVA_TEST_MAIN(TestPlaylist)
#include "tst_playlist.moc"
