#ifndef ANNOUNCEMENTPLAYER_H
#define ANNOUNCEMENTPLAYER_H

#include "onairevents.h"

#include <QObject>
#include <QPointer>

class Loudness;
class OutputDevices;
class PlayWatch;
class QAudioOutput;
class QMediaPlayer;
class QTimer;

// The time announcements' player, beside the two channels: it speaks one
// announcement at a time and keeps its row in the on-air events, under its
// media player's address, for as long as they exist.
class AnnouncementPlayer : public QObject
{
    Q_OBJECT

public:
    AnnouncementPlayer(OnAirEvents *events, OutputDevices *outputs, Loudness *loudness,
                       QObject *parent = nullptr);

    QMediaPlayer *mediaPlayer() const { return player; }
    QAudioOutput *audioOutput() const { return output; }

    // Speaks `item`; one still speaking is cut, and left for the next.
    void play(const OnAirEvents::Item &item);
    // Silences it; the reason for its leaving is the caller's to give.
    void stop();
    // Lowers it by `step` every half second, as a channel fades, and then
    // silences it.
    void fadeOut(float step);
    // What is left of the announcement speaking; 0 when none is or its
    // length is not known yet.
    qint64 remainingTime() const;

signals:
    void ended();
    void failed(const QString &reason);

private:
    QPointer<OnAirEvents> events;
    QMediaPlayer *player;
    QAudioOutput *output;
    PlayWatch *watch;
    QTimer *fade;
    float fadeStep = 0.0f;
    OutputDevices *outputs;
    Loudness *loudness;
};

#endif
