#ifndef AUDIOPLAYER_H
#define AUDIOPLAYER_H

#include "audiotap.h"
#include "channel.h"

#include <QMediaPlayer>
#include <QObject>
#include <QString>

class Preparation;
class Loudness;
class OutputDevices;
class PlayWatch;
class QAudioOutput;
class QTimer;

// One playback channel: a media player, its output volume, and a fade engine
// that steps the volume toward targetVolume every 500 ms.
class AudioPlayer : public Channel
{
    Q_OBJECT

public:
    explicit AudioPlayer(QObject *parent = nullptr);
    ~AudioPlayer() override;

    void addMedia(QString path);
    void Play(qint64 from = 0);
    void Stop();
    void Reset() override;
    void Seek(int position);
    qint64 getPosition() const override;
    qint64 getDuration() const override;
    qint64 startDelay(bool seeking) const override;
    bool isPlaying() const override;
    bool isPaused() const;
    bool isStopped() const override;
    double getVolume() const;
    void setVolume(float volume) override;
    void fadeOut() override;
    void fadeIn();
    void start(const QString &path, bool fadeIn, qint64 from) override;
    void setBuffer(AudioTap *tap);

    // The fade step chosen at start-up; Reset returns to it.
    void configureFadeStep(float step);

    // Where MP3 items find their WAV copies; without one they play as they are.
    void setPreparation(Preparation *queue) { preparation = queue; }
    // The loudness gain each item plays at; without it, every item at 1.
    void setLoudness(Loudness *store);
    // Where each item plays; without it, the output the channel was made with.
    void setOutputs(OutputDevices *devices) { outputs = devices; }
    // What the output plays at: the volume the fades work on times the item's gain.
    float outputVolume() const;

    QString transcodeIfNeeded(const QString &path);
    static bool isValidMediaFile(const QString &path);

    QString file() const { return currentFile; }
    // The item failed; the channel has not been given another since.
    bool hasFailed() const override;

public slots:
    void fade();

private:
    QMediaPlayer *mediaPlayer;
    QAudioOutput *audioOutput;
    PlayWatch *watch;
    Loudness *loudness = nullptr;
    OutputDevices *outputs = nullptr;
    // The volume the fades and talk-over see, and the item's loudness gain.
    float volume = 1.0f;
    float gain = 1.0f;
    QString source; // the item's own file, before any conversion
    AudioTap *bufferOutput = nullptr;
    Preparation *preparation = nullptr;
    QString currentFile;
    QTimer *fadeTimer;
    float configuredFadeStep = 0.2f;
};

#endif
