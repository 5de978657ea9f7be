#include "playwatch.h"
#include "mediacheck.h"
#include "outputdevices.h"

#include <QTimer>

PlayWatch::PlayWatch(QMediaPlayer *player, const QString &what, QObject *parent)
    : QObject(parent)
    , player(player)
    , what(what)
    , ticks(new QTimer(this))
    , seekLook(new QTimer(this))
{
    seekLook->setInterval(kSeekLookMs);
    seekLook->setTimerType(Qt::PreciseTimer);
    connect(seekLook, &QTimer::timeout, this, &PlayWatch::seekOnceMoving);
    connect(player, &QMediaPlayer::errorOccurred, this, &PlayWatch::onPlayerError);
    connect(player, &QMediaPlayer::mediaStatusChanged, this, &PlayWatch::onMediaStatusChanged);
    connect(player, &QMediaPlayer::playbackStateChanged, this, [this](QMediaPlayer::PlaybackState state) {
        if (state != QMediaPlayer::StoppedState)
            starting = false;
    });
    connect(player, &QMediaPlayer::positionChanged, this, [this](qint64 position) {
        if (started && position > 0 && !sounded) {
            sounded = true;
            emit sounding();
        }
        check(position);
    });
    connect(ticks, &QTimer::timeout, this, [this] { check(this->player->position()); });
}

void PlayWatch::load(const QString &file, OutputDevices *outputs)
{
    // The pipeline stops before it takes another file: an ended one can
    // hang in the change (GStreamer, Qt 6.4), and none of a failed one's
    // reports may be taken for the new play's.
    if (!player->source().isEmpty())
        player->stop();
    settle();
    // Routed before the new source is set: the output is changed on a
    // player without media.
    if (outputs)
        outputs->routeAir(player);
    ++playId;
    failedPlay = over = sounded = replayed = false;
    loaded = true;
    refusal = MediaCheck::logText(MediaCheck::quickProblem(file));
    setSourceAfresh(refusal.isEmpty() ? QUrl::fromLocalFile(file) : QUrl());
}

void PlayWatch::setSourceAfresh(const QUrl &source)
{
    if (!source.isEmpty() && player->source() == source)
        player->setSource(QUrl());
    player->setSource(source);
}

void PlayWatch::play(qint64 from)
{
    seekTo = from;
    if (!loaded || failedPlay)
        return;
    over = false;
    if (!refusal.isEmpty()) {
        // Reported from the event loop, as the framework reports: the owner
        // is still busy starting this play.
        QTimer::singleShot(0, this, [this, refused = playId] {
            if (refused == playId && loaded && !failedPlay)
                fail(refusal);
        });
        return;
    }
    started = true;
    stillSince.invalidate();
    // Play on an empty source never starts: nothing to wait for.
    starting = player->playbackState() != QMediaPlayer::PlayingState && !player->source().isEmpty();
    ticks->start(kCheckMs);
    player->play();
    if (seekTo > 0)
        seekLook->start();
}

void PlayWatch::seekOnceMoving()
{
    if (player->position() <= 0)
        return;
    seekLook->stop();
    player->setPosition(seekTo);
}

void PlayWatch::stop()
{
    settle();
    player->stop();
}

void PlayWatch::clear()
{
    stop();
    player->setSource(QUrl());
    loaded = false;
    failedPlay = false;
    refusal.clear();
}

void PlayWatch::settle()
{
    started = starting = false;
    ticks->stop();
    seekLook->stop();
    stillSince.invalidate();
}

void PlayWatch::check(qint64 position)
{
    if (!started || (exempt && exempt())) {
        stillSince.invalidate();
        return;
    }
    if (!stillSince.isValid() || position != watchedPosition) {
        watchedPosition = position;
        stillSince.start();
        return;
    }
    if (stillSince.elapsed() >= kStallMs)
        fail(QStringLiteral("%1 stalled: no progress for %2 ms").arg(what).arg(kStallMs));
}

void PlayWatch::fail(const QString &reason)
{
    settle();
    failedPlay = true;
    emit failed(reason);
}

void PlayWatch::onPlayerError(QMediaPlayer::Error, const QString &errorString)
{
    // A report after the play ended is about a play that is gone.
    if (loaded && !failedPlay && !over)
        fail(errorString);
}

void PlayWatch::onMediaStatusChanged(QMediaPlayer::MediaStatus status)
{
    if (status != QMediaPlayer::EndOfMedia || !started)
        return;
    if (!sounded && !replayed) {
        replayed = true;
        stillSince.invalidate();
        setSourceAfresh(player->source());
        starting = true;
        player->play();
        if (seekTo > 0)
            seekLook->start();
        return;
    }
    settle();
    over = true;
    emit ended();
}
