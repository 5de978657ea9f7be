#ifndef PREVIEW_H
#define PREVIEW_H

#include <QObject>
#include <QString>

class OutputDevices;
class PlayWatch;
class QAudioOutput;
class QMediaPlayer;

// Plays a file to the preview output for the operator's ears only: apart
// from the on-air channels, the as-run log, the watchdog and the meters.
class Preview : public QObject
{
    Q_OBJECT

public:
    // How much of an item's end "the last seconds" plays.
    static constexpr qint64 kLastMs = 15000;

    explicit Preview(OutputDevices *outputs, QObject *parent = nullptr);
    ~Preview() override;

    // Plays `file` from its start, or its last seconds; a preview already
    // playing stops. False when there is no preview output to play it on.
    bool start(const QString &file, bool lastSeconds);
    void stop();
    bool isPlaying() const;
    QString file() const { return playing; }

private:
    void seekToTheEnd();
    // Stops a preview whose output went away or now carries the air.
    void checkOutput();

    OutputDevices *outputs;
    QMediaPlayer *player;
    QAudioOutput *output;
    PlayWatch *watch;
    QString playing;
    // Set until the end is sought: the start of the file is not heard.
    bool seekToEnd = false;
};

#endif
