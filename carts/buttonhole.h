#ifndef BUTTONHOLE_H
#define BUTTONHOLE_H

#include "onairevents.h"

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

class Loudness;
class OutputDevices;
class PlayWatch;
class QAudioOutput;
class QMediaPlayer;
class QPushButton;
class QSettings;
class QTimer;

// One instant-play cart: a button that plays the file stored under its
// settings key through a player of its own, lit while it holds a file and
// blinking while it plays. A play that fails gives up.
class ButtonHole : public QWidget
{
    Q_OBJECT

public:
    explicit ButtonHole(QWidget *parent = nullptr);
    ~ButtonHole() override;

    void setBtnText(const QString &text);
    QPushButton *face() const { return button; }
    QMediaPlayer *mediaPlayer() const { return player; }
    QAudioOutput *audioOutput() const { return output; }
    // Each play's gain; without it, every play at full volume.
    void setLoudness(Loudness *store) { loudness = store; }
    // Where each play goes; without it, the output the cart was made with.
    void setOutputs(OutputDevices *devices) { outputs = devices; }
    // Where each play is recorded, under the cart's address.
    void setEvents(OnAirEvents *record) { events = record; }

    static const char *const kLitStyle;

public slots:
    void bntContextMenu(const QPoint &pos);
    void buttonHoleClick();
    void buttonHoleStop();
    void buttonHoleKeyPress();
    void flash();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString settingsKey() const;
    void fail(const QString &reason);
    void endPlay(OnAirEvents::Outcome outcome);
    void loadAudio();
    void clearAudio();

    QPushButton *button;
    QString audioPath;
    QString btnText;
    QSettings *settings;
    QMediaPlayer *player;
    QAudioOutput *output;
    PlayWatch *watch;
    Loudness *loudness = nullptr;
    OutputDevices *outputs = nullptr;
    QPointer<OnAirEvents> events;
    QTimer *blinkTimer;
    bool onAir = false;
};

#endif
