#ifndef AUDIOTAP_H
#define AUDIOTAP_H

#include <QtGlobal>

// The seam through which a playback channel hands its decoded audio to the
// level meters. Qt 6.8 brings QAudioBufferOutput, which the media player feeds
// itself. Older Qt has no such tap: AudioTap then reads the block the player has
// reached straight from the file when the source is a WAV (nearly everything on
// air is, once converted), and otherwise decodes the source a second time, a
// little ahead of the playback position. Either way each block goes out through
// the same signal when the player reaches it.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)

#include <QAudioBufferOutput>
using AudioTap = QAudioBufferOutput;

#else

#include "wavreader.h"

#include <QAudioBuffer>
#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QObject>
#include <QPointer>

#include <deque>

class QAudioDecoder;
class QTimer;

class AudioTap : public QObject
{
    Q_OBJECT

public:
    explicit AudioTap(QObject *parent = nullptr);

    // The player whose audio this tap delivers.
    void follow(QMediaPlayer *player);

    // Blocks decoded and waiting for the playback position; a handful at most.
    int pendingBlocks() const { return int(pending.size()); }
    // Whether the blocks come straight from a WAV file.
    bool readsFile() const { return wav.isOpen(); }

signals:
    void audioBufferReceived(const QAudioBuffer &buffer);

private:
    void restart();
    void halt();
    void pull();
    void deliver();
    void deliverFromFile();
    void onStateChanged(QMediaPlayer::PlaybackState state);
    qint64 positionUs() const;

    QPointer<QMediaPlayer> followed;
    QAudioDecoder *decoder;
    QTimer *ticker;
    std::deque<QAudioBuffer> pending;
    qint64 lastDeliveredUs = -1;
    WavReader wav;
    qint64 lastBlock = -1;
    // The player's last position report and the time since: asking the
    // media framework for the position on every tick costs more than
    // reading the block.
    qint64 reportedUs = 0;
    QElapsedTimer sinceReport;
};

#endif

#endif
