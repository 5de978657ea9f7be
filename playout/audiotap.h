#ifndef AUDIOTAP_H
#define AUDIOTAP_H

#include <QtGlobal>

// The seam through which a playback channel hands its decoded audio to the
// level meters. Qt 6.8 brings QAudioBufferOutput, which the media player feeds
// itself; older Qt has no such tap, so AudioTap follows the player instead and
// delivers blocks through the same signal.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)

#include <QAudioBufferOutput>
using AudioTap = QAudioBufferOutput;

#else

#include <QAudioBuffer>
#include <QObject>
#include <QPointer>

class QMediaPlayer;

class AudioTap : public QObject
{
    Q_OBJECT

public:
    explicit AudioTap(QObject *parent = nullptr);

    // The player whose audio this tap delivers.
    void follow(QMediaPlayer *player);
    QMediaPlayer *player() const { return followed; }

signals:
    void audioBufferReceived(const QAudioBuffer &buffer);

private:
    QPointer<QMediaPlayer> followed;
};

#endif

#endif
