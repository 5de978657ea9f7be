#ifndef ANNOUNCEMENTPLAYER_H
#define ANNOUNCEMENTPLAYER_H

#include "onairevents.h"

#include <QObject>

class Loudness;
class OutputDevices;
class PlayWatch;
class QAudioOutput;
class QMediaPlayer;

// The time announcements' player, beside the two channels: it speaks one
// announcement at a time and keeps its row in the on-air events, under its
// media player's address.
class AnnouncementPlayer : public QObject
{
    Q_OBJECT

public:
    AnnouncementPlayer(OnAirEvents *events, QObject *parent = nullptr);

    QMediaPlayer *mediaPlayer() const { return player; }
    QAudioOutput *audioOutput() const { return output; }
    void setOutputs(OutputDevices *devices) { outputs = devices; }
    void setLoudness(Loudness *store) { loudness = store; }

    // Speaks `item`; one still speaking is cut, and left for the next.
    void play(const OnAirEvents::Item &item);
    // Silences it; the reason for its leaving is the caller's to give.
    void stop();

signals:
    void ended();
    void failed(const QString &reason);

private:
    OnAirEvents *events;
    QMediaPlayer *player;
    QAudioOutput *output;
    PlayWatch *watch;
    OutputDevices *outputs = nullptr;
    Loudness *loudness = nullptr;
};

#endif
