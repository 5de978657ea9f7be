// The configuration dialog against the settings store, and what both dialogs
// show in each interface language.
#include "aboutdialog.h"
#include "configdialog.h"
#include "mainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QTranslator>
#include <QTreeView>

#include <functional>

namespace {

using Values = QMap<QString, QString>;

const char *const kCheckKeys[] = {"volume/sayClock", "volume/sayClockFade", "volume/stopFade",
                                  "volume/talkFade"};

Values storedValues()
{
    QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
    Values values;
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key).toString());
    return values;
}

void store(const Values &values)
{
    QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}

// The nine keys of the dialog: the two numbers, the three folders, the four boxes.
Values nineKeys(const QString &transition, const QString &speed, const QString &folder,
                const QString &checked)
{
    Values values{{QStringLiteral("volume/TransitionAudioTime"), transition},
                  {QStringLiteral("volume/speedFade"), speed},
                  {QStringLiteral("files/defaultDir"), folder},
                  {QStringLiteral("files/jingleDir"), folder},
                  {QStringLiteral("files/audioTimeDir"), folder}};
    for (const char *key : kCheckKeys)
        values.insert(QLatin1String(key), checked);
    return values;
}

void clickSave(ConfigDialog &dialog)
{
    dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
}

// What a dialog or one of its widgets reads, without the markup of links.
QString shownText(const QObject *object)
{
    QString text;
    if (const auto *label = qobject_cast<const QLabel *>(object))
        text = label->text();
    else if (const auto *group = qobject_cast<const QGroupBox *>(object))
        text = group->title();
    else if (const auto *button = qobject_cast<const QAbstractButton *>(object))
        text = button->text();
    else if (const auto *widget = qobject_cast<const QWidget *>(object))
        text = widget->windowTitle();
    return Qt::mightBeRichText(text) ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
}

bool isInput(const QWidget *widget)
{
    return qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QLineEdit *>(widget)
        || qobject_cast<const QAbstractSpinBox *>(widget) || qobject_cast<const QComboBox *>(widget)
        || qobject_cast<const QAbstractSlider *>(widget);
}

// The controls of a dialog an operator works, without their own parts and
// the tab bar's scroll arrows.
QList<QWidget *> inputsOf(QWidget *dialog)
{
    QList<QWidget *> inputs;
    for (QWidget *widget : dialog->findChildren<QWidget *>()) {
        bool part = false;
        for (QWidget *up = widget->parentWidget(); up != dialog; up = up->parentWidget())
            part = part || isInput(up) || qobject_cast<QTabBar *>(up);
        if (isInput(widget) && !part)
            inputs.append(widget);
    }
    return inputs;
}

// Whether `widget` has the room its text needs and nothing cuts any of it off.
bool wholeIn(const QWidget *widget)
{
    return widget->size() == widget->size().expandedTo(widget->minimumSizeHint())
           && widget->visibleRegion() == QRegion(widget->rect());
}

// Triggers an action that runs a modal dialog, closes the dialog and hands it
// to `inspect`. False when no dialog came up.
bool inspectModal(QAction *action, const std::function<void(QDialog *)> &inspect)
{
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        seen = true;
        // Closed first, so that a failed check cannot leave it open; it lives
        // on until the action's handler deletes it.
        dialog->reject();
        inspect(dialog);
    });
    poll.start(20);
    action->trigger();
    return seen;
}

// The desk's state that the stored preferences decide at start.
QStringList deskState(const MainWindow &window)
{
    const auto *files = window.findChild<QTreeView *>(QStringLiteral("files"));
    const auto *jingles = window.findChild<QTreeView *>(QStringLiteral("jingle_files"));
    return {QString::number(double(window.volumeToTalk)), QString::number(window.transitionAudioTime),
            QString::number(double(window.player1.fadeStep)), QString::number(double(window.player2.fadeStep)),
            window.audioTimeDir,
            QString::number(window.findChild<QSlider *>(QStringLiteral("volume_speak"))->value()),
            files->rootIndex().data(QFileSystemModel::FilePathRole).toString(),
            jingles->rootIndex().data(QFileSystemModel::FilePathRole).toString(),
            QStringLiteral("%1%2%3%4")
                .arg(window.switches.sayClock)
                .arg(window.switches.sayClockFade)
                .arg(window.switches.stopFade)
                .arg(window.switches.talkFade)};
}

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE void openUrl(const QUrl &url) { openedUrls.append(url); }

private:
    QList<QUrl> openedUrls;

private slots:
    void init() { TestSupport::clearSettings(); }

    void saveWritesAllNineKeys_data()
    {
        QTest::addColumn<Values>("stored");
        QTest::addColumn<Values>("saved");
        const QString home = QDir::homePath();
        QTest::newRow("defaults") << nineKeys("5", "2.0", home, "true") << nineKeys("5", "2", home, "true");
        Values loudness = nineKeys("5", "2", home, "true");
        loudness.insert(QStringLiteral("audio/loudnessNormalize"), QStringLiteral("true"));
        loudness.insert(QStringLiteral("audio/loudnessTarget"), QStringLiteral("-16"));
        // An output that is not there now is kept as chosen.
        loudness.insert(QStringLiteral("audio/outputDevice"), QStringLiteral("studio_console"));
        QTest::newRow("loudness") << loudness << loudness;
        Values cueing = nineKeys("5", "2", home, "true");
        cueing.insert({{QStringLiteral("audio/autoCue"), QStringLiteral("false")},
                       {QStringLiteral("audio/autoCueSilence"), QStringLiteral("-65")},
                       {QStringLiteral("audio/autoCueFade"), QStringLiteral("20")}});
        QTest::newRow("silence not cut") << cueing << cueing;
        Values nowPlaying = nineKeys("5", "2", home, "true");
        const QStringList fields = {QStringLiteral("/srv/site/now"), QStringLiteral("http://stream.local:8000"),
                                    QStringLiteral("/radio.mp3"), QStringLiteral("source"),
                                    QStringLiteral("s3cr=t,\"pass\"")};
        const QStringList keys = {QStringLiteral("folder"), QStringLiteral("serverUrl"),
                                  QStringLiteral("mount"), QStringLiteral("user"), QStringLiteral("password")};
        for (qsizetype i = 0; i < keys.size(); ++i)
            nowPlaying.insert(QStringLiteral("nowplaying/") + keys[i], fields[i]);
        nowPlaying.insert(QStringLiteral("nowplaying/allKinds"), QStringLiteral("true"));
        QTest::newRow("now playing") << nowPlaying << nowPlaying;
        Values feeds = nineKeys("5", "2", home, "true");
        feeds.insert({{QStringLiteral("stream/enabled"), QStringLiteral("true")},
                      {QStringLiteral("stream/serverUrl"), QStringLiteral("https://ice.example.net:8443")},
                      {QStringLiteral("stream/mount"), QStringLiteral("/onair.opus")},
                      {QStringLiteral("stream/user"), QStringLiteral("dj")},
                      {QStringLiteral("stream/password"), QStringLiteral("pa ss=\"x\"")},
                      {QStringLiteral("stream/format"), QStringLiteral("opus")},
                      {QStringLiteral("stream/bitrate"), QStringLiteral("192")},
                      {QStringLiteral("aircheck/enabled"), QStringLiteral("true")},
                      {QStringLiteral("aircheck/folder"), QStringLiteral("/srv/logger")},
                      {QStringLiteral("aircheck/days"), QStringLiteral("400")},
                      {QStringLiteral("aircheck/fileMinutes"), QStringLiteral("15")},
                      {QStringLiteral("aircheck/format"), QStringLiteral("mp3")}});
        QTest::newRow("stream and air check") << feeds << feeds;
        // A format the desk does not know is saved as the default one.
        Values odd = nineKeys("5", "2", home, "true");
        odd.insert({{QStringLiteral("stream/format"), QStringLiteral("flac")},
                    {QStringLiteral("stream/bitrate"), QStringLiteral("1000")},
                    {QStringLiteral("aircheck/days"), QStringLiteral("0")},
                    {QStringLiteral("aircheck/format"), QStringLiteral("wav")}});
        Values oddSaved = odd;
        oddSaved.insert({{QStringLiteral("stream/format"), QStringLiteral("mp3")},
                         {QStringLiteral("stream/bitrate"), QStringLiteral("320")},
                         {QStringLiteral("aircheck/days"), QStringLiteral("1")},
                         {QStringLiteral("aircheck/format"), QStringLiteral("opus")}});
        QTest::newRow("stream and air check out of reach") << odd << oddSaved;
        // The fade speed saved is the one the desk uses: none too fast to duck
        // to the talk-over level, and never 0.
        QTest::newRow("above the range") << nineKeys("150", "250", " /no/such folder ", "false")
                                         << nineKeys("99", "2", " /no/such folder ", "false");
        QTest::newRow("nothing stored") << Values() << nineKeys("0", "2", QString(), "false");
    }

    void saveWritesAllNineKeys()
    {
        QFETCH(Values, stored);
        QFETCH(Values, saved);
        store(stored);
        {
            ConfigDialog dialog;
            clickSave(dialog);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        // It may hold the stream server's password.
        QCOMPARE(QFile::permissions(QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio")).fileName())
                     & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());
        // Normalisation stays off and the target at -23 unless chosen; no
        // output is chosen unless stored.
        if (!saved.contains(QStringLiteral("audio/loudnessTarget"))) {
            saved.insert(QStringLiteral("audio/loudnessNormalize"), QStringLiteral("false"));
            saved.insert(QStringLiteral("audio/loudnessTarget"), QStringLiteral("-23"));
        }
        for (const char *key : {"audio/outputDevice", "audio/previewDevice", "nowplaying/folder",
                                "nowplaying/serverUrl", "nowplaying/mount", "nowplaying/user",
                                "nowplaying/password", "stream/serverUrl", "stream/mount", "stream/user",
                                "stream/password", "aircheck/folder"})
            saved.insert(QLatin1String(key), saved.value(QLatin1String(key)));
        // The stream and the air check stay off, at the desk's defaults.
        const char *const defaults[][2] = {
            {"nowplaying/allKinds", "false"}, {"stream/enabled", "false"}, {"stream/format", "mp3"},
            {"stream/bitrate", "128"}, {"aircheck/enabled", "false"}, {"aircheck/days", "31"},
            {"aircheck/fileMinutes", "60"}, {"aircheck/format", "opus"},
            {"audio/autoCue", "true"}, {"audio/autoCueSilence", "-50"}, {"audio/autoCueFade", "12"}};
        for (const auto &[key, value] : defaults)
            if (!saved.contains(QLatin1String(key)))
                saved.insert(QLatin1String(key), QLatin1String(value));
        QCOMPARE(storedValues(), saved);
    }

    // Opened in a process named otherwise, the dialog still shows the desk's store.
    void configDialogTakesTheDesksNames()
    {
        store({{QStringLiteral("volume/TransitionAudioTime"), QStringLiteral("7")}});
        QCoreApplication::setOrganizationName(QStringLiteral("Elsewhere"));
        QCoreApplication::setApplicationName(QStringLiteral("tool"));
        ConfigDialog dialog;
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("OrvaRadio"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("OrvaRadio"));
        QCOMPARE(dialog.findChild<QSpinBox *>(QStringLiteral("fadeInOut"))->value(), 7);
    }

    void pickerFillsItsFieldAndCancelWritesNothing_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("opensInStoredFolder");
        QTest::newRow("music") << "pt_BR" << "btn_searchMusicPath" << "music_path"
                               << "Selecionar pasta de músicas" << false;
        QTest::newRow("jingles") << "pt_BR" << "btn_searchJinglePath" << "jingle_path"
                                 << "Selecionar pasta de vinhetas" << false;
        QTest::newRow("time") << "pt_BR" << "btn_searchTimePath" << "time_path"
                              << "Selecionar pasta de Locução de Hora" << true;
        QTest::newRow("air check") << "pt_BR" << "btn_searchAircheckPath" << "aircheckFolder"
                                   << "Selecionar pasta da gravação do ar" << true;
        QTest::newRow("music, English") << "en_US" << "btn_searchMusicPath" << "music_path"
                                        << "Select music folder" << false;
        QTest::newRow("jingles, English") << "en_US" << "btn_searchJinglePath" << "jingle_path"
                                          << "Select jingle folder" << false;
        QTest::newRow("time, English") << "en_US" << "btn_searchTimePath" << "time_path"
                                       << "Select Time Voiceover Folder" << true;
        QTest::newRow("air check, English") << "en_US" << "btn_searchAircheckPath" << "aircheckFolder"
                                            << "Select the air check folder" << true;
    }

    void pickerFillsItsFieldAndCancelWritesNothing()
    {
        QFETCH(QString, language);
        QFETCH(QString, button);
        QFETCH(QString, field);
        QFETCH(QString, title);
        QFETCH(bool, opensInStoredFolder);
        const QString storedFolder = QDir::homePath() + QStringLiteral("/voices");
        const QString picked = QDir::homePath() + QStringLiteral("/picked");
        QVERIFY(QDir().mkpath(storedFolder) && QDir().mkpath(picked));
        Values stored = nineKeys("5", "2.0", storedFolder, "true");
        stored.insert(QStringLiteral("aircheck/folder"), storedFolder);
        store(stored);
        const Values before = storedValues();

        QTranslator translator; // uninstalls itself at the end of the test
        QVERIFY(translator.load(QStringLiteral(":/languages/") + language + QStringLiteral(".qm")));
        QCoreApplication::installTranslator(&translator);
        ConfigDialog dialog;
        const QString typed = QStringLiteral("/typed/elsewhere");
        QList<QLineEdit *> fields;
        for (const char *name : {"music_path", "jingle_path", "time_path", "aircheckFolder"}) {
            fields.append(dialog.findChild<QLineEdit *>(QLatin1String(name)));
            fields.last()->setText(typed);
        }

        TestSupport::ModalDriver driver;
        driver.answerFileDialog(picked);
        dialog.findChild<QPushButton *>(button)->click();
        QCOMPARE(driver.fileDialogTitles, QStringList(title));
        QCOMPARE(driver.fileDialogFolders,
                 QStringList(opensInStoredFolder ? storedFolder : QDir::homePath()));
        for (const QLineEdit *edit : fields)
            QCOMPARE(edit->text(), edit->objectName() == field ? picked : typed);

        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(storedValues(), before);
    }

    // A speed too fast to duck to the talk-over level is lowered in the
    // dialog, with a word why, before anything is saved.
    void tooFastSpeedLoweredBeforeSaving()
    {
        store({{QStringLiteral("volume/volumeToTalk"), QStringLiteral("0.8")},
               {QStringLiteral("volume/speedFade"), QStringLiteral("2")}});
        TestSupport::ModalDriver driver;
        ConfigDialog dialog;
        auto *speed = dialog.findChild<QSpinBox *>(QStringLiteral("speedFade"));
        speed->setValue(5);
        clickSave(dialog);
        QTRY_COMPARE(driver.boxes.size(), 1);
        QVERIFY(driver.boxes[0].text.contains(QStringLiteral("80%")));
        QCOMPARE(speed->value(), 2);
        QVERIFY(dialog.result() != QDialog::Accepted);
        clickSave(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(storedValues().value(QStringLiteral("volume/speedFade")), QStringLiteral("2"));
        QCOMPARE(driver.boxes.size(), 1);
    }

    // A preview output that is the air's is refused before anything is saved.
    void previewOnTheAirOutputRefused()
    {
        store({{QStringLiteral("audio/outputDevice"), QStringLiteral("studio_console")},
               {QStringLiteral("audio/previewDevice"), QStringLiteral("studio_console")}});
        TestSupport::ModalDriver driver;
        ConfigDialog dialog;
        clickSave(dialog);
        QTRY_COMPARE(driver.boxes.size(), 1);
        QVERIFY(driver.boxes[0].text.contains(QStringLiteral("studio_console")));
        QVERIFY(dialog.result() != QDialog::Accepted);
        QCOMPARE(storedValues().value(QStringLiteral("audio/previewDevice")), QStringLiteral("studio_console"));
        clickSave(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(storedValues().value(QStringLiteral("audio/previewDevice")), QString());
        QCOMPARE(storedValues().value(QStringLiteral("audio/outputDevice")), QStringLiteral("studio_console"));
    }

    // The switches, like the other settings, take effect at the next start.
    void checkBoxesWaitForTheNextStart_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::newRow("cleared") << false;
        QTest::newRow("ticked") << true;
    }

    void checkBoxesWaitForTheNextStart()
    {
        QFETCH(bool, ticked);
        store(nineKeys("7", "3.0", QDir::homePath(), ticked ? "false" : "true"));
        MainWindow running;
        const QStringList before = deskState(running);
        {
            ConfigDialog dialog;
            for (QCheckBox *box : dialog.findChildren<QCheckBox *>())
                box->setChecked(ticked);
            clickSave(dialog);
        }
        for (const char *key : kCheckKeys)
            QCOMPARE(storedValues().value(QLatin1String(key)), QVariant(ticked).toString());
        QCOMPARE(deskState(running), before);
        QCOMPARE(deskState(MainWindow()).last(), QString(4, ticked ? QLatin1Char('1') : QLatin1Char('0')));
    }

    void dialogTexts_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("text");
        const struct {
            const char *object;
            const char *english;
        } config[] = {
            {"", "Configure"},
            {"groupBox", "Volumes"},
            {"label", "Overlay Audio (FadeIn and FadeOut)"},
            {"label_2", "Seconds"},
            {"label_4", "FadeIn and Out Speed"},
            {"label_3", "Seconds"},
            {"sayClock", "Speak the time when clicking on the clock"},
            {"sayClockFade", "Using FadeIn and FadeOut when telling the time"},
            {"stopFade", "Use FadeOut when stopping"},
            {"talkFade", "Use FadeOut and FadeIn when clicking to talk"},
            {"groupBox_2", "Paths"},
            {"label_5", "Music Directory"},
            {"label_6", "Jingle Directory"},
            {"label_7", "Hours Directory"},
            {"label_8", "Attention: for the changes to take effect, restart OrvaRadio."},
            {"groupBox_5", "Stream"},
            {"streamOn", "Stream the air"},
            {"aircheckOn", "Record the air"},
            {"autoCue", "Cut the silence at the start and end of items"},
            {"autoCueFadeUnit", "LU below the item's loudness"},
        };
        for (const auto &row : config)
            QTest::addRow("English config %s", row.object)
                << "en_US" << "actionConfig" << row.object << row.english;
        const struct {
            const char *object;
            const char *english;
            const char *portuguese;
        } about[] = {
            {"", "About OrvaRadio", "Sobre o OrvaRadio"},
            {"label", "OrvaRadio", "OrvaRadio"},
            {"version", "Version: 1.0.4+build.534", "Versão: 1.0.4+build.534"},
            {"creator", "By: Equipe OrvaRadio", "por: Equipe OrvaRadio"},
            {"website", "https://orvaradio.org", "https://orvaradio.org"},
            {"label_3", "Proudly Brazilian", "Orgulhosamente Brasileiro"},
        };
        for (const auto &row : about) {
            QTest::addRow("English about %s", row.object)
                << "en_US" << "menu_about_orva" << row.object << row.english;
            QTest::addRow("Portuguese about %s", row.object)
                << "pt_BR" << "menu_about_orva" << row.object << QString::fromUtf8(row.portuguese);
        }
        QTest::newRow("Portuguese config title") << "pt_BR" << "actionConfig" << "" << "Configurar";
        QTest::newRow("Portuguese config label_2") << "pt_BR" << "actionConfig" << "label_2" << "Segundos";
        QTest::newRow("Portuguese config autoCue")
            << "pt_BR" << "actionConfig" << "autoCue" << QStringLiteral("Cortar o silêncio no início e no fim dos áudios");
        QTest::newRow("Portuguese config label_8")
            << "pt_BR" << "actionConfig" << "label_8"
            << QStringLiteral("Atenção: para as alterações surtirem efeito, reinicie o OrvaRadio.");
    }

    void dialogTexts()
    {
        QFETCH(QString, language);
        QFETCH(QString, action);
        QFETCH(QString, object);
        QFETCH(QString, text);
        store({{QStringLiteral("interface/language"), language}});
        MainWindow window;
        QVERIFY(inspectModal(window.findChild<QAction *>(action), [&](QDialog *dialog) {
            const QObject *shown = object.isEmpty() ? dialog : dialog->findChild<QObject *>(object);
            QCOMPARE(shownText(shown), text);
        }));
    }

    void dialogsHaveFixedSize()
    {
        const AboutDialog about;
        QCOMPARE(about.minimumSize(), QSize(342, 240));
        QCOMPARE(about.maximumSize(), QSize(342, 240));
    }

    void configDialogFitsASmallScreen_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "en_US";
        QTest::newRow("Portuguese") << "pt_BR";
    }

    // On a 1024 x 768 screen, less a panel and a title bar, every control and
    // label shows whole on its tab and every control is reached by Tab, in
    // either language, also with an output of a long name.
    void configDialogFitsASmallScreen()
    {
        QFETCH(QString, language);
        store({{QStringLiteral("audio/outputDevice"),
                QStringLiteral("alsa_output.usb-Broadcast_Console_Mixer_Twelve_Channels_With_Talkback_"
                               "SN0123456789ABCDEF-00.multichannel-output-surround-71")}});
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/languages/") + language + QStringLiteral(".qm")));
        QCoreApplication::installTranslator(&translator);
        ConfigDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        // A combo box sizes itself to its items a moment after they change.
        QTest::qWait(100);
        const QRect frame = dialog.frameGeometry();
        QVERIFY2(frame.width() <= 1000 && frame.height() <= 700,
                 qPrintable(QStringLiteral("%1 x %2").arg(frame.width()).arg(frame.height())));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());

        const QList<QWidget *> inputs = inputsOf(&dialog);
        QSet<QWidget *> shown;
        auto *tabs = dialog.findChild<QTabWidget *>();
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->tabBar()->setFocus();
            if (tab > 0)
                QTest::keyClick(tabs->tabBar(), Qt::Key_Right);
            QCOMPARE(tabs->currentIndex(), tab);
            QSet<QWidget *> reached;
            for (int press = 0; press < 2 * inputs.size(); ++press) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QWidget *focus = QApplication::focusWidget();
                while (focus && !inputs.contains(focus))
                    focus = focus->parentWidget();
                reached.insert(focus);
            }
            for (QWidget *widget : dialog.findChildren<QWidget *>()) {
                const bool input = inputs.contains(widget);
                if ((!input && !qobject_cast<QLabel *>(widget)) || !widget->isVisibleTo(&dialog))
                    continue;
                const QString name = widget->objectName() + QLatin1Char(' ') + shownText(widget);
                QVERIFY2(wholeIn(widget), qPrintable(name));
                if (input) {
                    shown.insert(widget);
                    QVERIFY2(reached.contains(widget), qPrintable(name));
                }
            }
        }
        QCOMPARE(shown.size(), inputs.size());
    }

    void linksOpenInTheBrowser_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QUrl>("url");
        const QString site = QLatin1String(MainWindow::kSiteUrl);
        QTest::newRow("credit") << "creator" << QUrl(site + QStringLiteral("/equipe"));
        QTest::newRow("site") << "website" << QUrl(site);
    }

    void linksOpenInTheBrowser()
    {
        QFETCH(QString, label);
        openedUrls.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        AboutDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto *link = dialog.findChild<QLabel *>(label);
        // The credit is right-aligned, the site left-aligned: click just inside
        // the end where the link text lies.
        const int x = link->alignment() & Qt::AlignRight ? link->width() - 4 : 4;
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(x, link->height() / 2));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QTEST(openedUrls.value(0), "url");
        QCOMPARE(openedUrls.size(), 1);
        QVERIFY(dialog.isVisible());
    }
};

ORVA_TEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
