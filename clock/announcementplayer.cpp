#include "announcementplayer.h"
#include "loudness.h"
#include "playwatch.h"

#include <QAudioOutput>
#include <QDebug>
#include <QMediaPlayer>

AnnouncementPlayer::AnnouncementPlayer(OnAirEvents *events, OutputDevices *outputs, Loudness *loudness,
                                       QObject *parent)
    : QObject(parent)
    , events(events)
    , player(new QMediaPlayer(this))
    , output(new QAudioOutput(this))
    , watch(new PlayWatch(player, QStringLiteral("Time announcement"), this))
    , outputs(outputs)
    , loudness(loudness)
{
    player->setAudioOutput(output);
    output->setVolume(1.0f);
    connect(watch, &PlayWatch::sounding, this, [this] {
        if (this->events)
            this->events->sounding(player);
    });
    connect(watch, &PlayWatch::ended, this, [this] {
        if (this->events)
            this->events->finish(player);
        emit ended();
    });
    connect(watch, &PlayWatch::failed, this, [this](const QString &reason) {
        qWarning() << "Timeplayer error:" << reason;
        if (this->events) {
            this->events->leaving(player, OnAirEvents::Outcome::Error);
            this->events->finish(player);
        }
        watch->stop();
        emit failed(reason);
    });
}

void AnnouncementPlayer::play(const OnAirEvents::Item &item)
{
    events->leaving(player, OnAirEvents::Outcome::Next);
    output->setVolume(loudness->startGain(item.file));
    events->begin(player, item);
    watch->load(item.file, outputs);
    watch->play();
}

void AnnouncementPlayer::stop()
{
    watch->stop();
    events->finish(player);
}
