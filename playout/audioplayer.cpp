#include "audioplayer.h"
#include "preparation.h"
#include "loudness.h"
#include "playwatch.h"

#include <QAudioOutput>
#include <QTimer>
#include <algorithm>

AudioPlayer::AudioPlayer(QObject *parent)
    : Channel(parent)
    , mediaPlayer(new QMediaPlayer)
    , audioOutput(new QAudioOutput)
    , fadeTimer(new QTimer(this))
{
    mediaPlayer->setAudioOutput(audioOutput);
    audioOutput->setVolume(1.0f);
    watch = new PlayWatch(mediaPlayer, QStringLiteral("Playback"), this);
    // An item on its way out is stopped by its fade whether it moves or not.
    watch->exemptWhile([this] { return fadingOut; });
    connect(mediaPlayer, &QMediaPlayer::positionChanged, this, &AudioPlayer::update_position);
    // An item that ends or fails during its fade-out must not leave the
    // request armed: it would stop the next item on this channel at its
    // first tick.
    const auto settle = [this] { fadingOut = fading = false; };
    connect(watch, &PlayWatch::failed, this, [this, settle](const QString &reason) {
        settle();
        emit mediaError(currentFile, reason);
    });
    connect(watch, &PlayWatch::ended, this, [this, settle] {
        settle();
        emit playbackFinished();
    });
    connect(fadeTimer, &QTimer::timeout, this, &AudioPlayer::fade);
    fadeTimer->start(500);
}

AudioPlayer::~AudioPlayer()
{
    delete mediaPlayer;
    delete audioOutput;
}

void AudioPlayer::addMedia(QString path)
{
    // Never waits for the converter: a copy that is not ready is not used.
    currentFile = preparation ? preparation->playable(path) : path;
    source = path;
    gain = loudness ? loudness->startGain(path) : 1.0f;
    setVolume(volume);
    // A fade-out still armed from the item this channel was fading would fade
    // the new one away and stop it without an end.
    fadingOut = false;
    watch->load(currentFile, outputs);
}

void AudioPlayer::start(const QString &path, bool fadeIn, qint64 from)
{
    addMedia(path);
    if (!fadeIn) {
        targetVolume = 1.0f;
        setVolume(1.0f);
    } else if (from >= 0) {
        // Started on its sound, it must be heard now, not at the next tick.
        setVolume(qMax(volume, fadeStep));
    }
    Play(from);
    if (fadeIn)
        this->fadeIn();
}

void AudioPlayer::Play(qint64 from)
{
    if (!currentFile.isEmpty())
        watch->play(from);
}

void AudioPlayer::Stop()
{
    watch->stop();
}

void AudioPlayer::Reset()
{
    watch->clear();
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

qint64 AudioPlayer::startDelay(bool seeking) const
{
    // Measured against the position the item on air reports, in recorded
    // running orders: GStreamer (Qt 6.4) is heard about 120 ms after play(),
    // 200 ms with a start seek; FFmpeg (Qt 6.8) about 50 ms, 100 ms with one.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    return seeking ? 100 : 50;
#else
    return seeking ? 200 : 120;
#endif
}

// The channel counts as playing while it starts, so that the idle rule does
// not silence it and the sequencer does not take it for free; a failed one
// counts as stopped, whatever the framework claims.
bool AudioPlayer::isPlaying() const
{
    return !hasFailed()
           && (watch->isStarting() || mediaPlayer->playbackState() == QMediaPlayer::PlayingState);
}

bool AudioPlayer::isPaused() const
{
    return !hasFailed() && mediaPlayer->playbackState() == QMediaPlayer::PausedState;
}

bool AudioPlayer::isStopped() const
{
    return hasFailed()
           || (!watch->isStarting() && mediaPlayer->playbackState() == QMediaPlayer::StoppedState);
}

bool AudioPlayer::hasFailed() const
{
    return watch->hasFailed();
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
