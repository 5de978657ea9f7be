#ifndef PLAYWATCH_H
#define PLAYWATCH_H

#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class OutputDevices;
class QTimer;

// What a play through the media framework needs to be safe, for every player
// of the desk: a file that cannot be audio is refused before the framework
// sees it (which would stall the event loop for up to a second); the source
// is set afresh, since the same one again after its end can stay silent
// (GStreamer, Qt 6.4); a play whose position stands still for 3 s has
// stalled, unless its owner says it is on its way out; a play that ends
// before it ever sounded (about one in a hundred on Qt 6.4) is played once
// more; and however often the framework repeats a failure, a play reports
// one.
class PlayWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kStallMs = 3000;

    // Watches `player`, which stays its owner's; `what` names it in the
    // reason of a stall.
    PlayWatch(QMediaPlayer *player, const QString &what, QObject *parent = nullptr);

    // A new play of `file`, on the air's output when `outputs` are given:
    // the play before ends without a report, and the file goes to the
    // framework unless the quick look refuses it.
    void load(const QString &file, OutputDevices *outputs = nullptr);
    // Starts the play loaded; a refused one fails from the event loop. With
    // `from` above 0 (ms) it is heard from there.
    void play(qint64 from = 0);
    // Ends the play without a report; the source stays, and play() starts
    // it again.
    void stop();
    // Ends the play and empties the source.
    void clear();
    // While this holds, a play that stands still is left alone.
    void exemptWhile(std::function<bool()> condition) { exempt = std::move(condition); }

    // Between play() and the framework's switch to playing, which some
    // backends make later.
    bool isStarting() const { return starting; }
    bool hasFailed() const { return failedPlay; }

signals:
    // The play's position moved past its start; once per play.
    void sounding();
    void ended();
    // Once per play.
    void failed(const QString &reason);

private slots:
    void onPlayerError(QMediaPlayer::Error error, const QString &errorString);
    void onMediaStatusChanged(QMediaPlayer::MediaStatus status);

private:
    void setSourceAfresh(const QUrl &source);
    void check(qint64 position);
    void fail(const QString &reason);
    void settle();
    void seekOnceMoving();

    // How often a play's position is looked at besides its own reports,
    // which stop when it stalls.
    static constexpr int kCheckMs = 250;
    static constexpr int kSeekLookMs = 5;
    QMediaPlayer *player;
    QString what;
    QTimer *ticks;
    // A seek before the pipeline plays is dropped (GStreamer, Qt 6.4): the
    // start seek waits, looking often, for the position to move.
    QTimer *seekLook;
    qint64 seekTo = 0;
    std::function<bool()> exempt;
    QString refusal;
    quint64 playId = 0;
    // A file loaded (and not cleared since); its play started and not yet
    // stopped, failed or ended; its play ended.
    bool loaded = false;
    bool started = false;
    bool over = false;
    bool starting = false;
    bool failedPlay = false;
    bool sounded = false;
    bool replayed = false;
    // The position last seen and since when it has stood there.
    qint64 watchedPosition = -1;
    QElapsedTimer stillSince;
};

#endif
