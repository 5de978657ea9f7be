#ifndef ANNOUNCEMENTPLAYER_H
#define ANNOUNCEMENTPLAYER_H

#include "announcer.h"
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
class CueWatch;

class AnnouncementPlayer : public Announcer
{
    Q_OBJECT

public:
    AnnouncementPlayer(OnAirEvents *events, OutputDevices *outputs, Loudness *loudness,
                       QObject *parent = nullptr);

    QMediaPlayer *mediaPlayer() const { return player; }
    QAudioOutput *audioOutput() const { return output; }

    void play(const OnAirEvents::Item &item, const CuePoints &cues) override;
    void stop() override;
    void fadeOut(float step) override;
    qint64 remainingTime() const override;
    const void *eventSource() const override { return player; }

private:
    QPointer<OnAirEvents> events;
    QMediaPlayer *player;
    QAudioOutput *output;
    PlayWatch *watch;
    CueWatch *audibleEnd;
    QTimer *fade;
    float fadeStep = 0.0f;
    OutputDevices *outputs;
    Loudness *loudness;
};

#endif
