#include "announcementplayer.h"
#include "loudness.h"
#include "outputdevices.h"
#include "playwatch.h"

#include <QAudioOutput>
#include <QDebug>
#include <QMediaPlayer>

AnnouncementPlayer::AnnouncementPlayer(OnAirEvents *events, QObject *parent)
    : QObject(parent)
    , events(events)
    , player(new QMediaPlayer(this))
    , output(new QAudioOutput(this))
    , watch(new PlayWatch(player, QStringLiteral("Time announcement"), this))
{
    player->setAudioOutput(output);
    output->setVolume(1.0f);
    connect(watch, &PlayWatch::sounding, this, [this] { this->events->sounding(player); });
    connect(watch, &PlayWatch::ended, this, [this] {
        this->events->finish(player);
        emit ended();
    });
    connect(watch, &PlayWatch::failed, this, [this](const QString &reason) {
        qWarning() << "Timeplayer error:" << reason;
        this->events->leaving(player, OnAirEvents::Outcome::Error);
        this->events->finish(player);
        watch->stop();
        emit failed(reason);
    });
}

void AnnouncementPlayer::play(const OnAirEvents::Item &item)
{
    events->leaving(player, OnAirEvents::Outcome::Next);
    watch->stop();
    if (outputs)
        outputs->routeAir(player);
    output->setVolume(loudness ? loudness->startGain(item.file) : 1.0f);
    events->begin(player, item);
    watch->load(item.file);
    watch->play();
}

void AnnouncementPlayer::stop()
{
    watch->stop();
    events->finish(player);
}
