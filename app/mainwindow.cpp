#include "mainwindow.h"
#include "airfeeds.h"
#include "viewhold.h"
#include "loudness.h"
#include "nowplaying.h"
#include "orderview.h"
#include "outputdevices.h"
#include "preview.h"
#include "ui_mainwindow.h"

#include "aboutdialog.h"
#include "announcementplayer.h"
#include "airguard.h"
#include "asrunformat.h"
#include "asrunlog.h"
#include "browsers.h"
#include "buttonhole.h"
#include "cartkeys.h"
#include "configdialog.h"
#include "preparation.h"
#include "displaypacer.h"
#include "playoutretry.h"
#include "fixedstarts.h"
#include "selfrestart.h"
#include "sequencer.h"
#include "startvalues.h"
#include "timerclock.h"
#include "translators.h"
#include "vumeter.h"
#include "widgetupdates.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QTimer>

const char *const MainWindow::kSiteUrl = "https://orvaradio.org";
const char *const MainWindow::kVersion = "1.0.4";

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , audioTimeDir(QDir::homePath())
{
    ui->setupUi(this);

    setMinimumSize(size());
    setMaximumSize(size());

    // Strong focus so that the digit keys of the cart wall reach keyPressEvent.
    setFocusPolicy(Qt::StrongFocus);
    setFocus();

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        centreIn(this, screen->availableGeometry(), frameGeometry().size());

    settings = new QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"), this);
    initConfig();
    init();
    new CartKeys(this, carts);
}

MainWindow::~MainWindow()
{
    player1.Stop();
    player2.Stop();
    delete translators;
    delete ui;
}

void MainWindow::init()
{
    uiReady = false;

    translators = new Translators(this);
    if (translators->install(settings->value(QStringLiteral("interface/language")).toString()))
        ui->retranslateUi(this);

    volumeToTalk = StartValues::talkLevel(settings->value(QStringLiteral("volume/volumeToTalk")));
    transitionAudioTime = settings->value(QStringLiteral("volume/TransitionAudioTime")).toInt();
    switches = StartValues::switches(*settings);
    const float fadeStep =
        StartValues::fadeStep(settings->value(QStringLiteral("volume/speedFade")), volumeToTalk);
    player1.configureFadeStep(fadeStep);
    player2.configureFadeStep(fadeStep);
    const StartValues::AutoCue autoCue = StartValues::autoCue(*settings);
    Loudness::setCuesWanted(autoCue.on);
    Loudness::setCueThresholds(autoCue.silenceDb, autoCue.fadeLu);
    loudness = new Loudness(Loudness::defaultStoreFile(), this);
    loudness->configure(settings->value(QStringLiteral("audio/loudnessNormalize"), false).toBool(),
                        Loudness::targetFrom(settings->value(QStringLiteral("audio/loudnessTarget"))));
    outputs = new OutputDevices(settings->value(QStringLiteral("audio/outputDevice")).toString().toUtf8(),
                                settings->value(QStringLiteral("audio/previewDevice")).toString().toUtf8(), this);
    preview = new Preview(outputs, this);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), ui->audio_list, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, preview, &Preview::stop);
    preparation = new Preparation(this);
    preparation->setLoudness(loudness);
    for (AudioPlayer *player : {&player1, &player2}) {
        player->setPreparation(preparation);
        player->setLoudness(loudness);
        player->setOutputs(outputs);
    }
    playoutRetry = new PlayoutRetry(this);
    fixedStarts = new FixedStarts(this);
    airEvents = new OnAirEvents(this);
    asRun = new AsRunLog(asRunFolder(), this);
    asRun->recoverJournal();
    asRun->listenTo(airEvents);
    auto *feeds = new AirFeeds(*settings, outputs, NowPlaying::start(*settings, airEvents, this), this);
    connect(feeds, &AirFeeds::changed, this, [this, feeds] { ui->feeds_state->setText(feeds->text()); });
    ui->feeds_state->setText(feeds->text());
    announcer = new AnnouncementPlayer(airEvents, outputs, loudness, this);
    timePlayer = announcer->mediaPlayer();
    timeOutput = announcer->audioOutput();
    connect(playoutRetry, &PlayoutRetry::soundServerBack, this,
            [this] { SelfRestart::request(*this); });
    audioTimeDir = settings->value(QStringLiteral("files/audioTimeDir")).toString();

    fileModel = new BrowserModel(this);
    fileModel->showIn(ui->files, settings->value(QStringLiteral("files/defaultDir"), QDir::homePath()).toString());
    fileModel->showIn(ui->jingle_files, settings->value(QStringLiteral("files/jingleDir"), QDir::homePath()).toString());

    viewHold = new ViewHold(ui->audio_list);
    ui->audio_list->setColumnWidth(0, 30);
    // The name leaves room for the duration and the expected start.
    ui->audio_list->setColumnWidth(1, 270);
    ui->audio_list->setColumnWidth(2, 55);
    fitLongTexts();

    bufferOutput = new AudioTap(this);
    bufferOutput2 = new AudioTap(this);
    player1.setBuffer(bufferOutput);
    player2.setBuffer(bufferOutput2);
    // Blocks arrive on the media framework's thread; the window's context makes
    // the delivery queued onto the GUI thread.
    connect(bufferOutput, &AudioTap::audioBufferReceived, this, &MainWindow::calculateRMS);
    connect(bufferOutput2, &AudioTap::audioBufferReceived, this, &MainWindow::calculateRMS);

    connect(ui->audio_list, &QTreeWidget::doubleClicked, this,
            &MainWindow::onPlaylistItemDoubleClicked);

    displayTimer = new QTimer(this);
    connect(displayTimer, &QTimer::timeout, this, &MainWindow::updateDisplay);
    auto *pacer = new DisplayPacer(displayTimer, [this] { updateDisplay(); }, [this] {
        return !sequencer->announcing() && !(sequencer->onAir() && airLevels.silent());
    });
    connect(displayTimer, &QTimer::timeout, pacer, &DisplayPacer::settle);
    for (AudioTap *tap : {bufferOutput, bufferOutput2})
        connect(tap, &AudioTap::audioBufferReceived, pacer, &DisplayPacer::wake);
    for (AudioPlayer *player : {&player1, &player2}) {
        connect(player, &AudioPlayer::playbackFinished, pacer, &DisplayPacer::wake);
        connect(player, &AudioPlayer::mediaError, pacer, &DisplayPacer::wake);
    }

    auto *flashTimer = new QTimer(this);
    connect(flashTimer, &QTimer::timeout, this, &MainWindow::flash);
    flashTimer->start(500);

    clock = new TimerClock;
    connect(clock, SIGNAL(updateTime(QString)), this, SLOT(updateClockLabel(QString)));
    connect(clock, &TimerClock::updateSeparateTime, this, &MainWindow::currentTimePositionClock);

    connect(ui->seeker, &QSlider::sliderMoved, this, &MainWindow::seek);
    connect(ui->volume_speak, &QSlider::sliderMoved, this,
            [this](int value) { setVolumeSpeak(float(value)); });
    connect(&player1, &AudioPlayer::update_position, this,
            [this](qint64 position) { currentTimePosition(position, 1); });
    connect(&player2, &AudioPlayer::update_position, this,
            [this](qint64 position) { currentTimePosition(position, 2); });
    // After the display's connections: a channel's position shows before the
    // hand-over it may bring.
    sequencer = new Sequencer(playlist, player1, player2, {preparation, playoutRetry, airEvents, announcer, fixedStarts},
                              this);
    sequencer->setHandOverSeconds(transitionAudioTime);
    sequencer->setStopFades(switches.stopFade);
    sequencer->setTimeFile([this] { return audioTimeDir + QLatin1Char('/') + timeAudioName + QStringLiteral(".mp3"); });
    connect(sequencer, &Sequencer::changed, this, &MainWindow::updateAudioList);
    orderView = new OrderView({ui->audio_list, ui->current_audio, ui->next_audio, ui->next_fixed},
                              {&playlist, sequencer, preparation, loudness, fixedStarts, airEvents, viewHold}, this);
    connect(preparation, &Preparation::checked, orderView, &OrderView::showVerdicts);
    connect(loudness, &Loudness::measured, orderView, &OrderView::showVerdicts);
    connect(viewHold, &ViewHold::released, orderView, &OrderView::showOnAirRow);
    connect(sequencer, &Sequencer::started, orderView, &OrderView::showOnAirRow);
    onAirDisplay = new OnAirDisplay({ui->remain_time, ui->over_at_time, ui->seeker}, sequencer, this);
    connect(timePlayer, &QMediaPlayer::positionChanged, onAirDisplay, &OnAirDisplay::showAnnouncement);
    connect(clock, &TimerClock::updateSeparateTime, orderView, &OrderView::showStartTimes);
    connect(sequencer, &Sequencer::wentOffAir, this, &MainWindow::blankTimes);
    // Off, nothing knows where the sound is: every item plays its whole file.
    if (autoCue.on) {
        const auto cues = [this](const QString &path) { return loudness->cues(path).value_or(CuePoints()); };
        sequencer->setCues(cues);
        orderView->setCues(cues);
        airEvents->setCues(cues, transitionAudioTime);
    }

    showVersion();
    ui->volume_speak->setValue(int(100 * volumeToTalk));

    ui->audio_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->files, &QTreeView::clicked, this, &MainWindow::unSelectedJingle);
    connect(ui->jingle_files, &QTreeView::clicked, this, &MainWindow::unSelectedFiles);
    // A double click on a file adds it at the end of the running order.
    connect(ui->files, &QTreeView::doubleClicked, this, &MainWindow::onFilesItemDoubleClicked);
    connect(ui->jingle_files, &QTreeView::doubleClicked, this,
            &MainWindow::onJingleFilesItemDoubleClicked);
    connect(ui->audio_list, &QTreeWidget::customContextMenuRequested, this,
            &MainWindow::audioOptionsMenu);

    directoryViewer();

    connect(ui->menu_about_orva, &QAction::triggered, this, &MainWindow::showAboutDialog);
    const struct {
        QAction *action;
        const char *path;
    } helpPages[] = {
        {ui->actionReleases, "/category/releases"},
        {ui->actionLibs, "/technologies"},
        {ui->actionTutorial, "/configuration-guide"},
        {ui->actionContribute, "/contribute"},
    };
    for (const auto &page : helpPages) {
        const QUrl url = helpPageUrl(QString::fromLatin1(page.path));
        connect(page.action, &QAction::triggered, this, [url] { QDesktopServices::openUrl(url); });
    }
    connect(ui->actionConfig, &QAction::triggered, this, &MainWindow::showConfigDialog);
    connect(ui->actionSair, &QAction::triggered, this, &MainWindow::exit);
    connect(ui->actionSavePlaylist, &QAction::triggered, this, &MainWindow::savePlaylist);
    connect(ui->actionLoadPlaylist, &QAction::triggered, this, &MainWindow::loadPlaylist);
    connect(ui->actionClearAudioList, &QAction::triggered, this, &MainWindow::clearPlaylist);
    connect(ui->actionLanguagePTBR, &QAction::triggered, this,
            [this] { changeLanguage(QStringLiteral("pt_BR")); });
    connect(ui->actionLanguageENUS, &QAction::triggered, this,
            [this] { changeLanguage(QStringLiteral("en_US")); });

    vuLeft = new VuMeter(this);
    vuLeft->setGeometry(143, 146, 200, 10);
    vuLeft->show();
    vuRight = new VuMeter(this);
    vuRight->setGeometry(143, 170, 200, 10);
    vuRight->show();

    createCarts();

    uiReady = true;
    displayTimer->start(DisplayPacer::kTickMs);
}

void MainWindow::fitLongTexts()
{
    // Wider than their boxes with most fonts: "hh:mm:ss" in 18 pt bold, and
    // the English caption of the jingle browser.
    condense(ui->over_at_time);
    condense(ui->label_2);
    keepOnOneLine(ui->over_at_time);
}

void MainWindow::showVersion()
{
    ui->version->setText(tr("Versão: ") + QLatin1String(kVersion));
}

QUrl MainWindow::helpPageUrl(const QString &path)
{
    return QUrl(QString::fromLatin1(kSiteUrl) + path, QUrl::TolerantMode);
}

void MainWindow::exit()
{
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // One click in the wrong menu must not end the station's air.
    if (sequencer->onAir()
        && !confirmOffAir(this, tr("Sair"),
                          tr("O OrvaRadio está no ar. Se sair agora, a emissora fica em silêncio."),
                          tr("Sair e parar o ar"))) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    // Ended by the operator: nothing for a fresh start to resume.
    SelfRestart::forget();
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    CartKeys::fire(carts, event);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (firstShown)
        return;
    firstShown = true;
    QTimer::singleShot(0, this, &MainWindow::loadRecentPlaylist);
}

namespace {

template<typename Dialog>
void runCentredDialog(QWidget *window, const QString &title)
{
    auto *dialog = new Dialog;
    dialog->setWindowTitle(title);
    centreIn(dialog, window->geometry(), dialog->size());
    dialog->exec();
    delete dialog;
}

} // namespace

void MainWindow::showAboutDialog()
{
    runCentredDialog<AboutDialog>(this, tr("Sobre o OrvaRadio"));
}

void MainWindow::showConfigDialog()
{
    runCentredDialog<ConfigDialog>(this, tr("Configurar"));
}
