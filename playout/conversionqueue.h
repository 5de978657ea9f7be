#ifndef CONVERSIONQUEUE_H
#define CONVERSIONQUEUE_H

#include "playlist.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

class QProcess;
class QTemporaryFile;
class QTimer;

// Converts MP3 entries to WAV copies in the background, one at a time, at
// low priority, ahead of the moment they go on air. Nothing here waits for
// the converter: a copy that is not ready is simply not used yet.
class ConversionQueue : public QObject
{
    Q_OBJECT

public:
    explicit ConversionQueue(QObject *parent = nullptr);
    ~ConversionQueue() override;

    // What to hand to the media player for `source` now: its WAV copy when
    // that is ready and ours, otherwise `source` itself, whose conversion is
    // then queued for the next time it plays.
    QString playable(const QString &source);

    // Follows the running order: the entry to start next comes first (the
    // current one while off air, else the one marked next), then the entries
    // after the current one. Work for entries no longer there is dropped.
    void plan(const std::vector<Playlist> &order, int currentIndex, int nextIndex, bool onAir);

    // The MP3 being converted, or empty.
    QString converting() const { return currentSource; }

signals:
    void finished(const QString &source, bool ok);

private:
    void schedule();
    void startNext();
    void conversionEnded(bool ok);
    void trim(const QString &fresh);

    QStringList planned;   // in the order they will be needed
    QStringList requested; // played before their copy was ready
    QSet<QString> failedCopies;
    QStringList keptSources; // current and next entries: their copies stay
    QStringList lastPlayed;  // copies handed to the channels: on air
    QStringList readyAhead;  // ready copies needed before the one converting
    QProcess *process = nullptr;
    QTemporaryFile *partial = nullptr;
    QTimer *deadline = nullptr;
    QTimer *kick = nullptr;
    QString currentSource;
    QString currentOutput;
};

#endif
