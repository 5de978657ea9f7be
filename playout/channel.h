#ifndef CHANNEL_H
#define CHANNEL_H

#include <QObject>
#include <QString>

// One of the two playout channels as the sequence drives it. The fade state
// is the channel's own; the sequence reads it to tell a hand-over under way.
class Channel : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    bool fadingOut = false;
    bool fadingIn = false;
    bool fading = false;
    float fadeStep = 0.2f;
    float targetVolume = 1.0f;

    // Starts `path`: music comes in with a fade from where the channel's
    // volume stands, anything else at full volume at once. With its audible
    // start known (`from` ms, -1 when not), the item is heard from there,
    // and its fade comes in with a first step at once.
    virtual void start(const QString &path, bool fadeIn, qint64 from) = 0;
    virtual void fadeOut() = 0;
    virtual void Reset() = 0;
    virtual void setVolume(float volume) = 0;
    virtual bool isPlaying() const = 0;
    virtual bool isStopped() const = 0;
    // The item failed; the channel has not been given another since.
    virtual bool hasFailed() const = 0;
    virtual qint64 getPosition() const = 0;
    virtual qint64 getDuration() const = 0;
    // How long after start() an item is heard; a start seek takes longer.
    virtual qint64 startDelay(bool seeking) const
    {
        Q_UNUSED(seeking);
        return 0;
    }
    qint64 remainingTime() const { return getDuration() - getPosition(); }
    // The operator talks over the air (or stops): a playing channel goes to
    // `level` (or back to full), by its fade or, without `fades`, at once; a
    // channel fading in or out of the air keeps its fade.
    void talk(bool talking, float level, bool fades)
    {
        if (!isPlaying())
            return;
        targetVolume = talking ? level : 1.0f;
        if (!fades && !fadingIn && !fadingOut)
            setVolume(targetVolume);
    }

signals:
    void update_position(qint64 position);
    void playbackFinished();
    void mediaError(const QString &file, const QString &errorMsg);
};

#endif
