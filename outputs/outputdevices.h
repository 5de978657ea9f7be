#ifndef OUTPUTDEVICES_H
#define OUTPUTDEVICES_H

#include <QAudioDevice>
#include <QByteArray>
#include <QHash>
#include <QObject>

#include <functional>

class QMediaPlayer;
class QProcess;
class QTimer;

// The sound outputs the desk plays to, by the ids stored in the settings
// ("audio/outputDevice", "audio/previewDevice"; with PulseAudio, sink names).
// The air goes to the chosen output while it is there and to the system's
// default while it is not, so that a choice never leaves the station silent;
// the preview output never carries the air.
class OutputDevices : public QObject
{
    Q_OBJECT

public:
    OutputDevices(const QByteArray &airId, const QByteArray &previewId, QObject *parent = nullptr);
    ~OutputDevices() override;

    // Whether an output was chosen for the air; without one, the channels
    // keep the system's default as they always did.
    bool airChosen() const { return !airId.isEmpty(); }
    // The output for something that starts on air now.
    QAudioDevice air();
    // Points the player's output there; without a choice it is left as it
    // is. A change empties the player's source first: on Qt 6.4 (GStreamer)
    // the device is swapped once the pipeline's data flow pauses, which a
    // stopped pipeline holding its first buffer never does, and the caller
    // would wait for good. So call it before the player gets its new source.
    void routeAir(QMediaPlayer *player);
    // The preview output, or a null device when it cannot be used: not set,
    // not there, or the same as the air's.
    QAudioDevice preview();
    enum class PreviewState { Ready, NotSet, SameAsAir, Missing };
    PreviewState previewState();
    // Whether a preview plays now: its stream is the one of the desk's that
    // belongs on the preview output.
    void notePreview(bool playing) { previewPlaying = playing; }

signals:
    // An output came or went, or the air was found on the preview output:
    // whatever plays to the preview output checks that it still may.
    void changed();
    // The air is now heard on output `id`: the fallback as soon as its own
    // output went away, its own output again once an item is routed there.
    void airMoved(const QByteArray &id);

private:
    static QAudioDevice listed(const QByteArray &id);
    bool present(const QByteArray &id) const;
    // The system's default output, as the sound server names it: the media
    // framework's may lag behind a change (Qt 6.4).
    QAudioDevice standard() const;
    // The system's default output, unless that is the preview output.
    QAudioDevice fallback();
    // Starts pactl in the C locale.
    QProcess *startPactl(const QStringList &arguments);
    // Runs pactl in `slot`, with a time limit unless `limitMs` is 0; `slot`
    // is free again when `done` gets whether it answered and what it said.
    // A pactl that cannot start is taken as missing.
    void runPactl(QProcess *&slot, const QStringList &arguments, int limitMs,
                  const std::function<void(bool answered, const QByteArray &output)> &done);
    // Asks the sound server which outputs it has, then which is its default.
    void askServer();
    void askDefault();
    // Follows the sound server's events, so that an output that goes away
    // is known at once, not at the next question.
    void followServer();
    void readEvents();
    // Names a chosen output that went away, and one that came back.
    void noteAirState();
    // The sound server moves what played on an output that went away to its
    // default output; when that is the preview output, the air's streams
    // are moved on to the air's fallback.
    void rescueAir();
    // Moves the desk's streams that `listing` (the server's, as JSON) shows
    // on the preview output, unless that is only the preview's own.
    void moveOurStreams(const QByteArray &listing);

    QByteArray airId;
    QByteArray previewId;
    bool airMissing = false;
    // Counts the chosen output's departures and returns: an output routed
    // before one of them is routed afresh, since the sound server moved its
    // stream to the default output meanwhile.
    int changes = 0;
    // The media framework's list keeps an output that went away on some
    // versions; the sound server's own list (index to name) is asked once a
    // second and after each of its events about outputs.
    QHash<QByteArray, QByteArray> serverOutputs;
    bool serverAnswered = false;
    int serverEvents = 0;
    QByteArray serverDefault;
    // The preview output has been compared with the air's once the server answered.
    bool checkedAtStart = false;
    // Without the sound server's tool, the media framework's list is all there is.
    bool pactlMissing = false;
    // Set from the moment the air was moved onto the preview output until
    // it is moved off again.
    bool airOnPreview = false;
    bool previewPlaying = false;
    QProcess *lister = nullptr;
    QProcess *events = nullptr;
    QProcess *rescuer = nullptr;
    QTimer *watcher;
};

#endif
