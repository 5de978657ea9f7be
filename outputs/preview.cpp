#include "preview.h"
#include "outputdevices.h"
#include "playwatch.h"

#include <QAudioOutput>
#include <QDebug>
#include <QMediaPlayer>

#include <algorithm>

Preview::Preview(OutputDevices *outputs, QObject *parent)
    : QObject(parent)
    , outputs(outputs)
    , player(new QMediaPlayer)
    , output(new QAudioOutput)
    , watch(new PlayWatch(player, QStringLiteral("Preview"), this))
{
    player->setAudioOutput(output);
    // The end of an item is sought once it plays and its length is known;
    // the output is silent until then.
    connect(player, &QMediaPlayer::durationChanged, this, &Preview::seekToTheEnd);
    connect(player, &QMediaPlayer::seekableChanged, this, &Preview::seekToTheEnd);
    connect(player, &QMediaPlayer::positionChanged, this, &Preview::seekToTheEnd);
    connect(watch, &PlayWatch::ended, this, [this] {
        playing.clear();
        this->outputs->notePreview(false);
    });
    connect(watch, &PlayWatch::failed, this, [this](const QString &reason) {
        qWarning() << "Preview error on" << playing << ":" << reason;
        stop();
    });
    connect(outputs, &OutputDevices::changed, this, &Preview::checkOutput);
}

Preview::~Preview()
{
    delete player;
    delete output;
}

bool Preview::start(const QString &file, bool lastSeconds)
{
    stop();
    const QAudioDevice device = outputs->preview();
    if (device.isNull() || file.isEmpty())
        return false;
    output->setDevice(device);
    seekToEnd = lastSeconds;
    output->setVolume(lastSeconds ? 0.0f : 1.0f);
    playing = file;
    outputs->notePreview(true);
    watch->load(file);
    watch->play();
    seekToTheEnd();
    return true;
}

void Preview::checkOutput()
{
    if (playing.isEmpty())
        return;
    const OutputDevices::PreviewState state = outputs->previewState();
    if (state == OutputDevices::PreviewState::Ready)
        return;
    // The sound server moves the stream of an output that goes away to its
    // default output, which may be the air.
    qWarning() << "Preview stopped:" << playing
               << (state == OutputDevices::PreviewState::Missing ? "its output went away"
                                                                 : "its output now carries the air");
    stop();
}

void Preview::seekToTheEnd()
{
    // A position set before the media can seek is lost on some backends.
    if (!seekToEnd || player->duration() <= 0 || !player->isSeekable()
        || player->playbackState() != QMediaPlayer::PlayingState)
        return;
    seekToEnd = false;
    player->setPosition(std::max<qint64>(0, player->duration() - kLastMs));
    output->setVolume(1.0f);
}

void Preview::stop()
{
    playing.clear();
    outputs->notePreview(false);
    seekToEnd = false;
    watch->clear();
}

bool Preview::isPlaying() const
{
    return !playing.isEmpty() && player->playbackState() == QMediaPlayer::PlayingState;
}
