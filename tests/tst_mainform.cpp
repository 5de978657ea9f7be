#include "testsupport.h"
#include "ui_mainwindow.h"

#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTranslator>

namespace {

struct WidgetRow
{
    const char *name;
    const char *className;
    const char *parent;
    QRect geometry;
    int pointSize; // 0: the font is inherited, not set on the widget
    bool bold;
    const char *text; // label text, button caption, group title
    const char *icon; // push buttons only; empty: no icon
};

// Every widget of the form, in creation order.
const WidgetRow kWidgets[] = {
    {"files", "QTreeView", "centralwidget", {10, 360, 461, 181}, 0, false, "", ""},
    {"audio_list", "QTreeWidget", "centralwidget", {530, 180, 501, 339}, 0, false, "", ""},
    {"groupBox", "QGroupBox", "centralwidget", {10, 20, 461, 151}, 0, false, "NO AR - Reproduzindo agora", ""},
    {"current_audio", "QTextBrowser", "groupBox", {10, 30, 441, 51}, 13, true, "", ""},
    {"remain_time", "QTextBrowser", "groupBox", {10, 100, 101, 41}, 18, true, "", ""},
    {"over_at_time", "QTextBrowser", "groupBox", {340, 100, 111, 41}, 18, true, "", ""},
    {"l_label", "QLabel", "groupBox", {120, 99, 16, 20}, 8, false, "L", ""},
    {"r_label", "QLabel", "groupBox", {119, 122, 16, 20}, 8, false, "R", ""},
    {"remain_time_label", "QLabel", "groupBox", {10, 80, 101, 20}, 8, false, "Tempo Restante", ""},
    {"over_at_time_label", "QLabel", "groupBox", {340, 80, 101, 20}, 8, false, "Acaba às", ""},
    {"label_4", "QLabel", "groupBox", {257, 111, 10, 18}, 7, false, "0", ""},
    {"label_5", "QLabel", "groupBox", {310, 111, 10, 18}, 7, false, "+8", ""},
    {"label_6", "QLabel", "groupBox", {130, 111, 16, 18}, 7, false, "-30", ""},
    {"label_7", "QLabel", "groupBox", {190, 111, 16, 18}, 7, false, "-15", ""},
    {"groupBox_2", "QGroupBox", "centralwidget", {530, 20, 501, 91}, 0, false, "Próxima", ""},
    {"next_audio", "QTextBrowser", "groupBox_2", {15, 30, 461, 51}, 13, true, "", ""},
    {"btn_play", "QPushButton", "centralwidget", {710, 124, 41, 26}, 0, false, "", ":/images/icons/media-playback-start.svg"},
    {"btn_stop", "QPushButton", "centralwidget", {810, 124, 41, 26}, 0, false, "", ":/images/icons/media-playback-stop.svg"},
    {"btn_next", "QPushButton", "centralwidget", {760, 124, 41, 26}, 0, false, "", ":/images/icons/media-skip-forward.svg"},
    {"audio_clock", "QPushButton", "centralwidget", {870, 115, 161, 41}, 19, true, "00:00:00", ""},
    {"next_fixed", "QLabel", "centralwidget", {530, 522, 501, 20}, 0, false, "", ""},
    {"feeds_state", "QLabel", "centralwidget", {10, 548, 321, 20}, 0, false, "", ""},
    {"version", "QLabel", "centralwidget", {10, 580, 81, 16}, 7, false, "Versão", ""},
    {"seeker", "QSlider", "centralwidget", {530, 158, 501, 20}, 0, false, "", ""},
    {"volume_speak", "QSlider", "centralwidget", {480, 20, 41, 81}, 0, false, "", ""},
    {"btn_talk", "QPushButton", "centralwidget", {475, 115, 51, 41}, 0, false, "", ":/images/icons/audio-input-microphone.svg"},
    {"btn_add_item", "QPushButton", "centralwidget", {485, 330, 31, 26}, 0, false, "", ":/images/icons/list-add.svg"},
    {"btn_remove_item", "QPushButton", "centralwidget", {485, 410, 31, 26}, 0, false, "", ":/images/icons/list-remove.svg"},
    {"btn_add_time_item", "QPushButton", "centralwidget", {485, 370, 31, 26}, 0, false, "", ":/images/icons/appointment-new.svg"},
    {"jingle_files", "QTreeView", "centralwidget", {10, 200, 461, 131}, 0, false, "", ""},
    {"label", "QLabel", "centralwidget", {10, 340, 66, 18}, 9, false, "Músicas", ""},
    {"label_2", "QLabel", "centralwidget", {10, 180, 151, 18}, 9, false, "Vinhetas e Publicidades", ""},
    {"label_3", "QLabel", "centralwidget", {250, 570, 81, 20}, 9, false, "Botoeira", ""},
};

struct ActionRow
{
    const char *name;
    const char *text;
    const char *icon; // resource path (":/..."), desktop theme icon name, or empty
    const char *shortcut;
    const char *menu; // the one menu holding it; empty: none
};

// Every action, in the order of the form.
const ActionRow kActions[] = {
    {"menu_about_orva", "Sobre o OrvaRadio", ":/images/icons/help-hint.svg", "", "menuAjuda"},
    {"actionConfig", "Configurações", ":/images/icons/document-properties.svg", "", "menuEditar"},
    {"actionLoadPlaylist", "Ler", ":/images/icons/document-revert.png", "", "menuLista"},
    {"actionSavePlaylist", "Salvar", ":/images/icons/document-save.png", "", "menuLista"},
    {"actionAddMedia", "Adicionar", "applications-multimedia", "", "menuMedia"},
    {"actionSair", "Sair", ":/images/icons/process-stop.svg", "", "menuArquivo"},
    {"actionClearAudioList", "Apagar Tudo", ":/images/icons/edit-clear.svg", "", "menuLista"},
    {"actionLanguagePTBR", "Português do Brasil", ":/images/icons/go-next.svg", "", "menuLanguage"},
    {"actionLanguageENUS", "English", ":/images/icons/go-next.svg", "", "menuLanguage"},
    {"actionLanguage", "Language", "", "", ""},
    {"actionPortugues_do_Brasil", "Portugues do Brasil", "", "", ""},
    {"actionReleases", "Notas de Atualização", "", "", "menuAjuda"},
    {"actionLibs", "Bibliotecas", "", "", "menuAjuda"},
    {"actionTutorial", "Tutorial", ":/images/icons/help-contents.svg", "F1", "menuAjuda"},
    {"actionContribute", "Contribua", "", "", "menuAjuda"},
};

struct MenuRow
{
    const char *name;
    const char *parent;
    const char *title;
    QStringList entries; // object names; a separator is an empty entry
    const char *icon;
};

const MenuRow kMenus[] = {
    {"menubar", "MainWindow", "",
     {"menuArquivo", "menuEditar", "menuLista", "menuMedia", "menuAjuda"}, ""},
    {"menuArquivo", "menubar", "Arquivo", {"actionSair"}, ""},
    {"menuEditar", "menubar", "Editar", {"menuLanguage", "", "actionConfig"}, ""},
    {"menuLanguage", "menuEditar", "Language", {"actionLanguageENUS", "actionLanguagePTBR"},
     ":/images/icons/language.png"},
    {"menuLista", "menubar", "Playlist",
     {"actionLoadPlaylist", "actionSavePlaylist", "", "actionClearAudioList"}, ""},
    {"menuMedia", "menubar", "Media", {"actionAddMedia"}, ""},
    {"menuAjuda", "menubar", "Ajuda",
     {"actionReleases", "actionLibs", "actionTutorial", "actionContribute", "", "menu_about_orva"}, ""},
};

QString shownText(const QWidget *widget)
{
    if (auto label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    if (auto browser = qobject_cast<const QTextEdit *>(widget))
        return browser->toPlainText();
    return QString();
}

QString entryName(const QAction *action)
{
    if (action->isSeparator())
        return QString();
    if (QMenu *menu = QMenu::menuInAction(action))
        return menu->objectName();
    return action->objectName();
}

// The icon as drawn, so that two icons compare by their picture.
QImage picture(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16)).toImage();
}

// Direct children with form object names (not the toolkit's internal ones).
QStringList formChildren(const QObject *parent, bool widgets)
{
    QStringList names;
    for (const QObject *child : parent->children()) {
        const bool kind = widgets ? child->isWidgetType() : qobject_cast<const QAction *>(child) != nullptr;
        if (kind && !child->objectName().isEmpty() && !child->objectName().startsWith(QLatin1String("qt_")))
            names << child->objectName();
    }
    return names;
}

// Records the source texts looked up in the main window's context while it
// is installed; translates nothing.
class RecordingTranslator : public QTranslator
{
public:
    mutable QSet<QString> sources;

    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "MainWindow") == 0)
            sources << QString::fromUtf8(sourceText);
        return QString();
    }
};

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

    QTemporaryDir themeDir;
    QMainWindow window;
    Ui::MainWindow ui;

private slots:
    void initTestCase()
    {
        // A one-icon desktop theme, so that the theme icon of the form resolves.
        QVERIFY(themeDir.isValid());
        const QString theme = themeDir.path() + QStringLiteral("/formtest");
        QVERIFY(QDir().mkpath(theme + QStringLiteral("/16")));
        QFile index(theme + QStringLiteral("/index.theme"));
        QVERIFY(index.open(QIODevice::WriteOnly));
        index.write("[Icon Theme]\nName=formtest\nDirectories=16\n\n[16]\nSize=16\n");
        index.close();
        QImage square(16, 16, QImage::Format_ARGB32);
        square.fill(Qt::darkCyan);
        QVERIFY(square.save(theme + QStringLiteral("/16/applications-multimedia.png")));
        QIcon::setThemeSearchPaths({themeDir.path()});
        QIcon::setThemeName(QStringLiteral("formtest"));

        ui.setupUi(&window);
    }

    void mainWindow()
    {
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.windowTitle(), QStringLiteral("OrvaRadio"));
        QCOMPARE(window.size(), QSize(1048, 622));
        QCOMPARE(window.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window.centralWidget(), ui.centralwidget);
        QCOMPARE(ui.centralwidget->objectName(), QStringLiteral("centralwidget"));
        QVERIFY(!ui.centralwidget->layout());
        QCOMPARE(window.menuBar(), ui.menubar);
        QCOMPARE(ui.menubar->objectName(), QStringLiteral("menubar"));
        QCOMPARE(ui.menubar->geometry(), QRect(0, 0, 1048, 23));
    }

    // Stacking and tab order follow creation order; nothing else is on the form.
    void creationOrder_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<bool>("widgets");
        QTest::addColumn<QStringList>("children");
        QStringList central, group, group2, actions;
        for (const WidgetRow &row : kWidgets) {
            const QString parent = QLatin1String(row.parent);
            (parent == QLatin1String("groupBox") ? group : parent == QLatin1String("groupBox_2") ? group2 : central)
                << QLatin1String(row.name);
        }
        for (const ActionRow &row : kActions)
            actions << QLatin1String(row.name);
        QTest::newRow("centralwidget") << "centralwidget" << true << central;
        QTest::newRow("groupBox") << "groupBox" << true << group;
        QTest::newRow("groupBox_2") << "groupBox_2" << true << group2;
        QTest::newRow("actions") << "MainWindow" << false << actions;
    }

    void creationOrder()
    {
        QFETCH(QString, parent);
        QFETCH(bool, widgets);
        QFETCH(QStringList, children);
        const QObject *owner = parent == window.objectName() ? &window : window.findChild<QObject *>(parent);
        QVERIFY(owner);
        QCOMPARE(formChildren(owner, widgets), children);
    }

    void widgets_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<int>("pointSize");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("icon");
        for (const WidgetRow &row : kWidgets)
            QTest::newRow(row.name) << row.className << row.parent << row.geometry << row.pointSize << row.bold
                                    << QString::fromUtf8(row.text) << row.icon;
    }

    void widgets()
    {
        QFETCH(QString, className);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(int, pointSize);
        QFETCH(bool, bold);
        QFETCH(QString, text);
        QFETCH(QString, icon);

        const auto found = window.findChildren<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(found.size(), 1);
        QWidget *widget = found.first();
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
        QVERIFY(widget->parentWidget());
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        QCOMPARE(widget->geometry(), geometry);
        QVERIFY(!widget->layout());

        QCOMPARE(widget->testAttribute(Qt::WA_SetFont), pointSize > 0);
        if (pointSize > 0)
            QCOMPARE(widget->font().pointSize(), pointSize);
        QCOMPARE(widget->font().bold(), bold);

        QCOMPARE(shownText(widget), text);

        if (auto button = qobject_cast<QPushButton *>(widget)) {
            if (!icon.isEmpty())
                QVERIFY2(!QIcon(icon).isNull(), qPrintable(icon + QLatin1String(" is not in the resources")));
            QCOMPARE(picture(button->icon()), picture(QIcon(icon)));
        }
    }

    void properties_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        const auto row = [](const char *widget, const char *property, const QVariant &value) {
            QTest::addRow("%s %s", widget, property) << widget << QByteArray(property) << value;
        };
        row("audio_list", "columnCount", 4);
        row("audio_list", "alternatingRowColors", true);
        row("audio_list", "selectionMode", QVariant::fromValue(QAbstractItemView::SingleSelection));
        row("audio_list", "selectionBehavior", QVariant::fromValue(QAbstractItemView::SelectRows));
        row("audio_list", "indentation", 0);
        row("audio_list", "dragEnabled", false);
        row("audio_list", "dragDropMode", QVariant::fromValue(QAbstractItemView::NoDragDrop));
        row("audio_list", "showDropIndicator", false);
        row("audio_list", "defaultDropAction", QVariant::fromValue(Qt::MoveAction));
        row("current_audio", "verticalScrollBarPolicy", QVariant::fromValue(Qt::ScrollBarAlwaysOff));
        row("current_audio", "horizontalScrollBarPolicy", QVariant::fromValue(Qt::ScrollBarAlwaysOff));
        row("seeker", "orientation", QVariant::fromValue(Qt::Horizontal));
        row("seeker", "tickPosition", QVariant::fromValue(QSlider::NoTicks));
        row("seeker", "tickInterval", 5);
        row("volume_speak", "orientation", QVariant::fromValue(Qt::Vertical));
        row("volume_speak", "minimum", 0);
        row("volume_speak", "maximum", 100);
        row("volume_speak", "value", 50);
        row("btn_talk", "iconSize", QSize(24, 24));
        row("label_3", "alignment", QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter)));
    }

    void properties()
    {
        QFETCH(QString, widget);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QObject *object = window.findChild<QObject *>(widget);
        QVERIFY(object);
        QCOMPARE(object->property(property.constData()), value);
    }

    void playlistHeader()
    {
        const QTreeWidgetItem *header = ui.audio_list->headerItem();
        QCOMPARE(header->columnCount(), 4);
        const QStringList titles{header->text(0), header->text(1), header->text(2), header->text(3)};
        QCOMPARE(titles, (QStringList{QString(), QStringLiteral("Nome"), QStringLiteral("Duração"), QStringLiteral("Início")}));
    }

    // The remaining-time box starts as one empty paragraph in the large face.
    void remainTimeText()
    {
        const QTextDocument *document = ui.remain_time->document();
        QCOMPARE(document->blockCount(), 1);
        QVERIFY(document->firstBlock().text().isEmpty());
        const QTextCharFormat format = QTextCursor(document->firstBlock()).charFormat();
        QCOMPARE(format.fontFamilies().toStringList(), QStringList{QStringLiteral("Ubuntu Sans")});
        QCOMPARE(format.fontPointSize(), 18.0);
        QCOMPARE(format.fontWeight(), 700);
    }

    void talkLevelStyle_data()
    {
        QTest::addColumn<QString>("selector");
        QTest::newRow("groove") << "QSlider::groove:vertical";
        QTest::newRow("handle") << "QSlider::handle:vertical";
        QTest::newRow("add-page") << "QSlider::add-page:vertical";
    }

    void talkLevelStyle()
    {
        QFETCH(QString, selector);
        const QString css = ui.volume_speak->styleSheet();
        QVERIFY2(css.contains(selector + QLatin1String(" {")), qPrintable(css));

        // A sheet the style cannot parse is dropped at run time with a warning.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("Could not parse stylesheet")));
        QSlider probe(Qt::Vertical);
        probe.setStyleSheet(css);
        probe.resize(ui.volume_speak->size());
        probe.grab();
    }

    void actions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<QString>("menu");
        for (const ActionRow &row : kActions)
            QTest::newRow(row.name) << QString::fromUtf8(row.text) << row.icon
                                    << QKeySequence(QString::fromLatin1(row.shortcut)) << row.menu;
    }

    void actions()
    {
        QFETCH(QString, text);
        QFETCH(QString, icon);
        QFETCH(QKeySequence, shortcut);
        QFETCH(QString, menu);

        const QAction *action = window.findChild<QAction *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(action);
        QCOMPARE(action->text(), text);
        QCOMPARE(action->shortcut(), shortcut);

        if (!icon.isEmpty() && !icon.startsWith(QLatin1String(":/"))) {
            QCOMPARE(action->icon().name(), icon);
        } else {
            if (!icon.isEmpty())
                QVERIFY2(!QIcon(icon).isNull(), qPrintable(icon + QLatin1String(" is not in the resources")));
            QCOMPARE(picture(action->icon()), picture(QIcon(icon)));
        }

        QStringList menus;
        for (const QObject *holder : action->associatedObjects()) {
            if (qobject_cast<const QMenu *>(holder))
                menus << holder->objectName();
        }
        QCOMPARE(menus, menu.isEmpty() ? QStringList() : QStringList{menu});
    }

    void menus_data()
    {
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("icon");
        for (const MenuRow &row : kMenus)
            QTest::newRow(row.name) << row.parent << QString::fromUtf8(row.title) << row.entries << row.icon;
    }

    void menus()
    {
        QFETCH(QString, parent);
        QFETCH(QString, title);
        QFETCH(QStringList, entries);
        QFETCH(QString, icon);

        const QWidget *bar = window.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(bar);
        QCOMPARE(bar->parent()->objectName(), parent);

        QStringList shown;
        for (const QAction *action : bar->actions())
            shown << entryName(action);
        QCOMPARE(shown, entries);

        if (auto menu = qobject_cast<const QMenu *>(bar)) {
            QCOMPARE(menu->title(), title);
            if (!icon.isEmpty())
                QVERIFY2(!QIcon(icon).isNull(), qPrintable(icon + QLatin1String(" is not in the resources")));
            QCOMPARE(picture(menu->icon()), picture(QIcon(icon)));
        }
    }

    // Every text is looked up under "MainWindow" by its Portuguese source, so
    // the English translation reaches all of them when the form is retranslated;
    // texts that the desk rewrites at run time go back to the form's values.
    void retranslation()
    {
        ui.version->setText(QStringLiteral("Versão: 1.0.4"));
        ui.audio_clock->setText(QStringLiteral("12:34:56"));
        ui.remain_time->setHtml(QStringLiteral("<p align='center'>03:15</p>"));

        RecordingTranslator recorder;
        QVERIFY(QCoreApplication::installTranslator(&recorder));
        ui.retranslateUi(&window);
        QCoreApplication::removeTranslator(&recorder);

        QSet<QString> expected{QStringLiteral("OrvaRadio"), QStringLiteral("Nome"), QStringLiteral("Duração"),
                               QStringLiteral("Início"), QStringLiteral("F1")};
        for (const WidgetRow &row : kWidgets)
            expected << QString::fromUtf8(row.text);
        for (const ActionRow &row : kActions)
            expected << QString::fromUtf8(row.text);
        for (const MenuRow &row : kMenus)
            expected << QString::fromUtf8(row.title);
        expected.remove(QString());

        const QSet<QString> missing = expected - recorder.sources;
        QVERIFY2(missing.isEmpty(), qPrintable(QStringList(missing.cbegin(), missing.cend()).join(u'|')));
        // Besides the plain texts, only the remaining-time rich text is looked up.
        const QSet<QString> extra = recorder.sources - expected;
        QCOMPARE(extra.size(), 1);
        QVERIFY(extra.cbegin()->contains(QLatin1String("font-family:'Ubuntu Sans'")));

        QCOMPARE(ui.version->text(), QStringLiteral("Versão"));
        QCOMPARE(ui.audio_clock->text(), QStringLiteral("00:00:00"));
        QVERIFY(ui.remain_time->toPlainText().isEmpty());
    }
};

ORVA_TEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
