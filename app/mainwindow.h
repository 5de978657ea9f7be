#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "airlevels.h"
#include "onairevents.h"
#include "audioplayer.h"
#include "browsers.h"
#include "onairdisplay.h"
#include "playlist.h"
#include "startvalues.h"

#include <QMainWindow>
#include <QMediaPlayer>
#include <QModelIndex>
#include <QTime>
#include <QVector>

#include <vector>

class QAudioOutput;
class QSettings;
class QTimer;
class AnnouncementPlayer;
class AsRunLog;
class ButtonHole;
class FixedStarts;
class Preparation;
class Loudness;
class OutputDevices;
class Preview;
class PlayoutRetry;
class TimerClock;
class Translators;
class OrderView;
class Sequencer;
class ViewHold;
class VuMeter;

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

// The desk's hub: owns the form, the two playout channels, the time player,
// the running order, the browsers' model, the meters, the clock and the carts,
// and receives every operator action.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The product's web site, for the help pages and the about box.
    static const char *const kSiteUrl;
    static const char *const kVersion;
    static QUrl helpPageUrl(const QString &path);

private:
    Ui::MainWindow *ui;

public:
    // Running state, shared by the window's subsystems.
    AudioPlayer player1;
    AudioPlayer player2;
    QMediaPlayer *timePlayer = nullptr;
    QAudioOutput *timeOutput = nullptr;
    std::vector<Playlist> playlist;
    BrowserModel *fileModel = nullptr;
    Translators *translators = nullptr;
    TimerClock *clock = nullptr;
    QString timeAudioName;
    AudioTap *bufferOutput = nullptr;
    // One tap per channel: a shared tap would only deliver both streams mixed
    // through a quirk of the media framework.
    AudioTap *bufferOutput2 = nullptr;
    QSettings *settings = nullptr;
    float volumeToTalk = 0.8f;
    int transitionAudioTime = 5;
    // Stop, talk-over and the clock button, as the configuration dialog set them.
    StartValues::Switches switches;
    bool talkActive = false;
    QString audioTimeDir;
    AirLevels airLevels;
    VuMeter *vuLeft = nullptr;
    VuMeter *vuRight = nullptr;
    QVector<ButtonHole *> carts;
    bool uiReady = false;
    bool firstShown = false;
    QTimer *displayTimer = nullptr;
    Preparation *preparation = nullptr;
    Loudness *loudness = nullptr;
    OutputDevices *outputs = nullptr;
    Preview *preview = nullptr;
    PlayoutRetry *playoutRetry = nullptr;
    OnAirEvents *airEvents = nullptr;
    AsRunLog *asRun = nullptr;
    AnnouncementPlayer *announcer = nullptr; // plays through timePlayer
    ViewHold *viewHold = nullptr;            // the operator browses the running order
    FixedStarts *fixedStarts = nullptr;      // the entries' fixed times of day
    Sequencer *sequencer = nullptr;          // what plays, and what follows
    OrderView *orderView = nullptr;          // the running order as the form shows it
    OnAirDisplay *onAirDisplay = nullptr;    // the on-air times

public slots:
    void directoryViewer();
    void initConfig();
    void init();
    void exit();
    void next();
    void restoreVolumeAudio(QMediaPlayer::MediaStatus state);
    void updateAudioList(bool jump = false);
    void currentTimePosition(qint64 progress, int playerid);
    void currentTimePositionClock(const QTime &time);
    void updateClockLabel(const QString &text_time);
    void seek(int mseconds);
    void setVolumeSpeak(float volume);
    void saveConfig(const QString &file, const QString &field, const QString &value);
    void savePlaylist();
    void loadPlaylist();
    void loadRecentPlaylist();
    void clearPlaylist();
    void skipToNext();
    void checkAdvanceTrack();
    void on_btn_play_clicked();
    void on_btn_stop_clicked();
    void on_btn_next_clicked();
    void on_audio_clock_clicked();
    void on_btn_add_time_item_clicked();
    void on_btn_remove_item_clicked();
    void on_btn_add_item_clicked();
    void on_btn_talk_clicked();
    void onFilesItemDoubleClicked(const QModelIndex &index);
    void onJingleFilesItemDoubleClicked(const QModelIndex &index);
    void onPlaylistItemDoubleClicked(const QModelIndex &index);
    void updateDisplay();
    void flash();
    void changeLanguage(const QString &lang);
    void audioOptionsMenu(const QPoint &point);
    void unSelectedJingle();
    void unSelectedFiles();
    void showAboutDialog();
    void showConfigDialog();
    void calculateRMS(const QAudioBuffer &buffer);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Off air nothing is timed: the remaining time and the end time go blank,
    // and the meters fall.
    void blankTimes();
    // Sets the playing channels' talk-over targets; without talk fades they
    // take them at once.
    void setTalkTargets();
    // The row menu's "Hora Fixa…" dialog for `row`.
    void editFixedTime(int row);
    void showVersion();
    void fitLongTexts();
    void createCarts();
    bool readPlaylistFile(const QString &fileName);
    QString playlistFileFilter() const;
};

#endif
