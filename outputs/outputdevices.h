#ifndef OUTPUTDEVICES_H
#define OUTPUTDEVICES_H

#include <QAudioDevice>
#include <QByteArray>
#include <QObject>
#include <QSet>

class QAudioOutput;
class QProcess;
class QTimer;

// The sound outputs the desk plays to, by the ids stored in the settings
// ("audio/outputDevice", "audio/previewDevice"; with PulseAudio, sink names).
// The air goes to the chosen output while it is there and to the system's
// default while it is not, so that a choice never leaves the station silent.
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
    // Points `output` there; without a choice it is left as it is.
    void routeAir(QAudioOutput *output);
    // The preview output, or a null device when it cannot be used: not set,
    // not there, or the same as the air's.
    QAudioDevice preview();
    enum class PreviewState { Ready, NotSet, SameAsAir, Missing };
    PreviewState previewState();

private:
    static QAudioDevice listed(const QByteArray &id);
    bool present(const QByteArray &id) const;
    // Asks the sound server which outputs it has.
    void askServer();
    // Names a chosen output that went away, and one that came back.
    void noteAirState();

    QByteArray airId;
    QByteArray previewId;
    bool airMissing = false;
    // Counts the chosen output's departures and returns: an output routed
    // before one of them is routed afresh, since the sound server moved its
    // stream to the default output meanwhile.
    int changes = 0;
    // The media framework's list keeps an output that went away on some
    // versions; the sound server's own list is asked once a second.
    QSet<QByteArray> serverOutputs;
    bool serverAnswered = false;
    QProcess *lister = nullptr;
    QTimer *watcher;
};

#endif
