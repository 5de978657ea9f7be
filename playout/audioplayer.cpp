#include "audioplayer.h"
#include "conversionqueue.h"
#include "loudness.h"
#include "mediacheck.h"
#include "outputdevices.h"

#include <QDebug>
#include <QAudioOutput>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace {

// A playing item whose position stands still this long has stalled: its
// source stopped delivering, or the framework lost its data flow.
constexpr qint64 kStallMs = 3000;

} // namespace

AudioPlayer::AudioPlayer(QObject *parent)
    : QObject(parent)
    , mediaPlayer(new QMediaPlayer)
    , audioOutput(new QAudioOutput)
    , fadeTimer(new QTimer(this))
{
    mediaPlayer->setAudioOutput(audioOutput);
    audioOutput->setVolume(1.0f);

    connect(mediaPlayer, &QMediaPlayer::positionChanged, this, &AudioPlayer::positionChanged);
    connect(mediaPlayer, &QMediaPlayer::errorOccurred, this, &AudioPlayer::onPlayerError);
    connect(mediaPlayer, &QMediaPlayer::mediaStatusChanged, this,
            &AudioPlayer::onMediaStatusChanged);
    connect(mediaPlayer, &QMediaPlayer::playbackStateChanged, this,
            [this](QMediaPlayer::PlaybackState state) {
                if (state != QMediaPlayer::StoppedState)
                    starting = false;
            });
    connect(fadeTimer, &QTimer::timeout, this, &AudioPlayer::fade);
    connect(fadeTimer, &QTimer::timeout, this, [this] { watchProgress(mediaPlayer->position()); });
    fadeTimer->start(500);
}

AudioPlayer::~AudioPlayer()
{
    delete mediaPlayer;
    delete audioOutput;
}

void AudioPlayer::addMedia(QString path)
{
    // A failed item's pipeline stops before the channel takes another, so
    // that none of its reports is taken for the new item's.
    if (failed)
        mediaPlayer->stop();
    // Never waits for the converter: a copy that is not ready is not used.
    currentFile = conversions ? conversions->playable(path) : path;
    source = path;
    if (outputs)
        outputs->routeAir(mediaPlayer);
    gain = loudness ? loudness->startGain(path) : 1.0f;
    setVolume(volume);
    failed = false;
    ++item;
    rejection = MediaCheck::logText(MediaCheck::quickProblem(currentFile));
    // A fade-out still armed from the item this channel was fading would fade
    // the new one away and stop it without an end.
    fadingOut = false;
    sounded = false;
    replayed = false;
    setSourceAfresh(rejection.isEmpty() ? QUrl::fromLocalFile(currentFile) : QUrl());
}

void AudioPlayer::setSourceAfresh(const QUrl &source)
{
    // The same source played again after its end is sometimes silent
    // (GStreamer, Qt 6.4), and setting the same one again changes nothing.
    if (!source.isEmpty() && mediaPlayer->source() == source)
        mediaPlayer->setSource(QUrl());
    mediaPlayer->setSource(source);
}

void AudioPlayer::Play()
{
    if (currentFile.isEmpty())
        return;
    if (!rejection.isEmpty() && !failed) {
        failed = true;
        qWarning() << "AudioPlayer error:" << rejection << currentFile;
        // Reported from the event loop, as the media framework reports: the
        // caller is still busy starting this item.
        QTimer::singleShot(0, this, [this, failedItem = item] {
            // Copies: a receiver may start the next item on this channel
            // before the later receivers run.
            const QString file = currentFile;
            const QString reason = rejection;
            if (failedItem == item && failed)
                emit mediaError(file, reason);
        });
        return;
    }
    stillSince.invalidate();
    // Play on an empty source (after Reset) never starts: nothing to wait for.
    starting = mediaPlayer->playbackState() != QMediaPlayer::PlayingState
               && !mediaPlayer->source().isEmpty();
    mediaPlayer->play();
}

void AudioPlayer::Stop()
{
    starting = false;
    mediaPlayer->stop();
}

void AudioPlayer::Reset()
{
    starting = false;
    mediaPlayer->stop();
    mediaPlayer->setSource(QUrl());
    failed = false;
    rejection.clear();
    fadingOut = false;
    fadingIn = false;
    fading = false;
    fadeStep = configuredFadeStep;
    targetVolume = 1.0f;
}

void AudioPlayer::Seek(int position)
{
    mediaPlayer->setPosition(position);
}

qint64 AudioPlayer::getPosition() const
{
    return mediaPlayer->position();
}

qint64 AudioPlayer::getDuration() const
{
    return mediaPlayer->duration();
}

qint64 AudioPlayer::remainingTime() const
{
    return getDuration() - getPosition();
}

bool AudioPlayer::isPlaying() const
{
    return !failed && (starting || mediaPlayer->playbackState() == QMediaPlayer::PlayingState);
}

bool AudioPlayer::isPaused() const
{
    return !failed && mediaPlayer->playbackState() == QMediaPlayer::PausedState;
}

bool AudioPlayer::isStopped() const
{
    return failed || (!starting && mediaPlayer->playbackState() == QMediaPlayer::StoppedState);
}

double AudioPlayer::getVolume() const
{
    return double(volume);
}

void AudioPlayer::setVolume(float wanted)
{
    volume = std::clamp(wanted, 0.0f, 1.0f);
    audioOutput->setVolume(volume * gain);
}

float AudioPlayer::outputVolume() const
{
    return audioOutput->volume();
}

void AudioPlayer::setLoudness(Loudness *store)
{
    loudness = store;
    // A measure that arrives while its item plays may only lower it: a jump
    // up in the middle of an item is worse than a quiet play.
    connect(loudness, &Loudness::measured, this, [this](const QString &path) {
        if (path != source)
            return;
        const float measuredGain = Loudness::factor(loudness->gainDb(path));
        if (measuredGain < gain) {
            gain = measuredGain;
            setVolume(volume);
        }
    });
}

void AudioPlayer::fadeOut()
{
    if (isPlaying())
        fadingOut = true;
}

void AudioPlayer::fadeIn()
{
    if (isStopped())
        fadingIn = true;
}

void AudioPlayer::setBuffer(AudioTap *tap)
{
    bufferOutput = tap;
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    mediaPlayer->setAudioBufferOutput(tap);
#else
    tap->follow(mediaPlayer);
#endif
}

void AudioPlayer::configureFadeStep(float step)
{
    configuredFadeStep = step;
    fadeStep = step;
}

void AudioPlayer::fade()
{
    const double step = double(fadeStep);

    if (fadingOut || (isPlaying() && getVolume() > double(targetVolume) && !fadingIn)) {
        fadingIn = false;
        fading = true;
        setVolume(float(getVolume() - step));
    }
    if (fadingIn || (isPlaying() && getVolume() < double(targetVolume) && !fadingOut)) {
        fadingOut = false;
        fading = true;
        setVolume(float(getVolume() + step));
    }
    if (fadingOut && getVolume() <= 0.0 && isPlaying()) {
        Stop();
        fadingOut = false;
        fading = false;
    }
    if (getVolume() >= double(targetVolume) && isPlaying()) {
        fadingIn = false;
        fading = false;
    }
    if (getVolume() > 0.0 && isStopped()) {
        targetVolume = 0.0f;
        fadingIn = true;
        fading = false;
        setVolume(0.0f);
    }
}

void AudioPlayer::positionChanged(qint64 position)
{
    if (position > 0)
        sounded = true;
    watchProgress(position);
    emit update_position(position);
}

void AudioPlayer::watchProgress(qint64 position)
{
    // An item on its way out is stopped by its fade whether it moves or not.
    if (!isPlaying() || fadingOut || mediaPlayer->source().isEmpty()) {
        stillSince.invalidate();
        return;
    }
    if (!stillSince.isValid() || position != watchedPosition) {
        watchedPosition = position;
        stillSince.start();
        return;
    }
    if (stillSince.elapsed() >= kStallMs)
        fail(QStringLiteral("Playback stalled: no progress for %1 ms").arg(kStallMs));
}

void AudioPlayer::fail(const QString &reason)
{
    failed = true;
    starting = false;
    stillSince.invalidate();
    // A failed item ends its fade-out request like an item that ended.
    fadingOut = false;
    fading = false;
    emit mediaError(mediaPlayer->source().toLocalFile(), reason);
}

void AudioPlayer::onPlayerError(QMediaPlayer::Error error, const QString &errorString)
{
    // The media framework reports one failure several times; once is enough.
    // A report that arrives after Reset is about an item that is gone.
    if (failed || mediaPlayer->source().isEmpty())
        return;
    qWarning() << "AudioPlayer error:" << error << errorString;
    fail(errorString);
}

void AudioPlayer::onMediaStatusChanged(QMediaPlayer::MediaStatus status)
{
    if (status != QMediaPlayer::EndOfMedia)
        return;
    // GStreamer (Qt 6.4) now and then ends a fresh item a moment after it
    // started, before any of it sounded: it is played again, once.
    if (!sounded && !replayed && !failed && !mediaPlayer->source().isEmpty()) {
        replayed = true;
        stillSince.invalidate();
        setSourceAfresh(mediaPlayer->source());
        starting = true;
        mediaPlayer->play();
        return;
    }
    // An item that ends during its fade-out must not leave the request armed:
    // it would stop the next item on this channel at its first tick.
    starting = false;
    fadingOut = false;
    fading = false;
    emit playbackFinished();
}
