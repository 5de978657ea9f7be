#include "audiotap.h"

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)

#include <QAudioDecoder>
#include <QFileInfo>
#include <QTimer>

namespace {

// How far decoding runs ahead of the playback position. The decoder holds a
// few blocks and waits until they are read, so this also bounds memory.
constexpr qint64 kLookaheadUs = 300000;
// A position this far behind what was already delivered means a seek back.
constexpr qint64 kSeekBackUs = 1000000;
// How often the tap looks at the playback position while the player plays:
// once a block. Each look asks the media framework for the position.
constexpr int kTickMs = 40;
// Blocks read from a file are as long as the decoder's.
constexpr qint64 kBlockUs = 40000;
// Positions are reported every 100 ms while the player plays; one this old is
// not carried forward further (the sound may have stalled with it).
constexpr qint64 kMostCarriedUs = 200000;
// A due block that ended this long before the position was decoded before a
// seek forward: its level is not the sound's.
constexpr qint64 kStaleUs = 200000;

} // namespace

AudioTap::AudioTap(QObject *parent)
    : QObject(parent)
    , decoder(new QAudioDecoder(this))
    , ticker(new QTimer(this))
{
    // Without a fixed output format the decoder fails on MP3 sources.
    QAudioFormat format;
    format.setSampleFormat(QAudioFormat::Int16);
    format.setSampleRate(44100);
    format.setChannelCount(2);
    decoder->setAudioFormat(format);

    connect(decoder, &QAudioDecoder::bufferReady, this, &AudioTap::pull);
    connect(decoder, qOverload<QAudioDecoder::Error>(&QAudioDecoder::error), this,
            [this] { pending.clear(); });
    ticker->setInterval(kTickMs);
    connect(ticker, &QTimer::timeout, this, [this] {
        if (wav.isOpen()) {
            deliverFromFile();
            return;
        }
        deliver();
        pull();
    });
}

void AudioTap::follow(QMediaPlayer *player)
{
    if (followed)
        disconnect(followed, nullptr, this, nullptr);
    followed = player;
    connect(player, &QMediaPlayer::sourceChanged, this, &AudioTap::restart);
    connect(player, &QMediaPlayer::playbackStateChanged, this, &AudioTap::onStateChanged);
    connect(player, &QMediaPlayer::positionChanged, this, [this](qint64 position) {
        reportedUs = position * 1000;
        sinceReport.start();
    });
    restart();
}

qint64 AudioTap::positionUs() const
{
    if (!followed)
        return 0;
    if (!sinceReport.isValid())
        return followed->position() * 1000;
    return reportedUs + qMin(sinceReport.nsecsElapsed() / 1000, kMostCarriedUs);
}

void AudioTap::halt()
{
    decoder->stop();
    pending.clear();
    lastDeliveredUs = -1;
    lastBlock = -1;
    sinceReport.invalidate();
}

void AudioTap::restart()
{
    halt();
    wav.close();
    if (!followed || followed->source().isEmpty())
        return;
    const QUrl source = followed->source();
    if (source.isLocalFile()) {
        if (wav.open(source.toLocalFile()))
            return;
        // A pipe's data is the player's: a second reader would take it.
        const QFileInfo info(source.toLocalFile());
        if (info.exists() && !info.isFile())
            return;
    }
    decoder->setSource(source);
    decoder->start();
}

void AudioTap::onStateChanged(QMediaPlayer::PlaybackState state)
{
    if (state == QMediaPlayer::PlayingState) {
        if (!wav.isOpen() && !decoder->isDecoding() && pending.empty())
            restart();
        ticker->start();
    } else {
        ticker->stop();
        halt();
    }
}

void AudioTap::pull()
{
    const qint64 now = positionUs();
    if (lastDeliveredUs > now + kSeekBackUs) {
        restart();
        return;
    }
    while (decoder->bufferAvailable()
           && (pending.empty() || pending.back().startTime() < now + kLookaheadUs)) {
        QAudioBuffer block = decoder->read();
        if (!block.isValid())
            break;
        // Blocks already behind the position (after a seek forward) are skipped.
        if (block.startTime() + block.duration() < now)
            continue;
        pending.push_back(std::move(block));
    }
}

void AudioTap::deliverFromFile()
{
    const qint64 framesPerBlock = wav.format().sampleRate() * kBlockUs / 1000000;
    const qint64 block = positionUs() * wav.format().sampleRate() / 1000000 / framesPerBlock;
    if (block == lastBlock)
        return;
    lastBlock = block;
    const QAudioBuffer samples = wav.read(block * framesPerBlock, framesPerBlock);
    if (samples.isValid())
        emit audioBufferReceived(samples);
}

void AudioTap::deliver()
{
    const qint64 now = positionUs();
    if (pending.empty() || pending.front().startTime() > now)
        return;
    // Only the newest due block matters: the meters show the latest level.
    while (pending.size() > 1 && pending[1].startTime() <= now)
        pending.pop_front();
    const QAudioBuffer block = std::move(pending.front());
    pending.pop_front();
    if (block.startTime() + block.duration() < now - kStaleUs)
        return;
    lastDeliveredUs = block.startTime();
    emit audioBufferReceived(block);
}

#endif
