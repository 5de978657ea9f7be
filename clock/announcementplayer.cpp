#include "announcementplayer.h"
#include "cuewatch.h"
#include "loudness.h"
#include "playwatch.h"

#include <QAudioOutput>
#include <QDebug>
#include <QMediaPlayer>
#include <QTimer>

namespace {

// The channels' fade tick.
constexpr int kFadeTickMs = 500;

} // namespace

AnnouncementPlayer::AnnouncementPlayer(OnAirEvents *events, OutputDevices *outputs, Loudness *loudness,
                                       QObject *parent)
    : Announcer(parent)
    , events(events)
    , player(new QMediaPlayer(this))
    , output(new QAudioOutput(this))
    , watch(new PlayWatch(player, QStringLiteral("Time announcement"), this))
    , audibleEnd(new CueWatch(this))
    , fade(new QTimer(this))
    , outputs(outputs)
    , loudness(loudness)
{
    player->setAudioOutput(output);
    output->setVolume(1.0f);
    fade->setInterval(kFadeTickMs);
    connect(fade, &QTimer::timeout, this, [this] {
        const float volume = output->volume() - fadeStep;
        if (volume > 0.0f)
            output->setVolume(volume);
        else
            stop();
    });
    connect(watch, &PlayWatch::sounding, this, [this] {
        if (this->events)
            this->events->sounding(player);
    });
    const auto end = [this] {
        audibleEnd->disarm();
        if (this->events)
            this->events->finish(player);
        emit ended();
    };
    connect(watch, &PlayWatch::ended, this, end);
    // What follows its audible end is silence: the announcement ends there.
    connect(player, &QMediaPlayer::positionChanged, audibleEnd, &CueWatch::position);
    connect(audibleEnd, &CueWatch::reached, this, [this, end] {
        watch->stop();
        end();
    });
    connect(watch, &PlayWatch::failed, this, [this](const QString &reason) {
        qWarning() << "Timeplayer error:" << reason;
        audibleEnd->disarm();
        if (this->events) {
            this->events->leaving(player, OnAirEvents::Outcome::Error);
            this->events->finish(player);
        }
        watch->stop();
        emit failed(reason);
    });
}

void AnnouncementPlayer::play(const OnAirEvents::Item &item, const CuePoints &cues)
{
    events->leaving(player, OnAirEvents::Outcome::Next);
    fade->stop();
    output->setVolume(loudness->startGain(item.file));
    events->begin(player, item);
    watch->load(item.file, outputs);
    audibleEnd->arm(cues.known() ? cues.end : -1);
    watch->play(cues.known() ? cues.start : 0);
}

void AnnouncementPlayer::fadeOut(float step)
{
    fadeStep = step;
    if (step > 0.0f)
        fade->start();
    else
        stop();
}

qint64 AnnouncementPlayer::remainingTime() const
{
    if (player->playbackState() != QMediaPlayer::PlayingState || player->duration() <= 0)
        return 0;
    const qint64 end = audibleEnd->point() >= 0 ? audibleEnd->point() : player->duration();
    return qMax(qint64(0), end - player->position());
}

void AnnouncementPlayer::stop()
{
    fade->stop();
    audibleEnd->disarm();
    watch->stop();
    events->finish(player);
}
