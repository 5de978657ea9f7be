#ifndef PREPARATION_H
#define PREPARATION_H

#include "loudness.h"
#include "mediacheck.h"
#include "playlist.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

class QProcess;
class QTemporaryFile;
class QTimer;

// Prepares the entries of the running order before their turn, one file at a
// time, at low priority, in the order they will be needed: a folder entry
// picks its file, each file is looked at and decoded once from start to end
// (an MP3 through its conversion to a WAV copy, any other file to nothing),
// and the verdict is kept. Nothing here waits for the decoder: a copy or a
// verdict that is not ready is simply not there yet.
class Preparation : public QObject
{
    Q_OBJECT

public:
    explicit Preparation(QObject *parent = nullptr);
    ~Preparation() override;

    // What to hand to the media player for `source` now: its WAV copy when
    // that is ready and ours, otherwise `source` itself, whose conversion is
    // then queued for the next time it plays.
    QString playable(const QString &source);

    // Follows the running order: the entry to start next comes first (the
    // current one while off air, else the one marked next), then the entries
    // after the current one. Work for entries no longer there is dropped.
    void plan(const std::vector<Playlist> &order, int currentIndex, int nextIndex, bool onAir);

    // The file that entry `index` (a folder entry) plays when it starts: the
    // pick made ahead, or one made now. The entry starts: its next turn picks
    // afresh. Empty for a folder without audio.
    QString takePick(int index, const Playlist &entry);
    // The pick made ahead for entry `index`, if any, without taking it.
    QString pickOf(int index, const Playlist &entry) const;
    // A file of `folder` picked at random, one known bad only when all are.
    QString pickIn(const QString &folder) const;

    // What is known of the file (or, for an empty folder, the folder).
    MediaCheck::Verdict verdict(const QString &path) const { return checks.verdict(path); }
    // What is known of the file that entry `index` would play: its own, or
    // the pick its folder made ahead (or the folder, found empty).
    MediaCheck::Verdict entryVerdict(int index, const Playlist &entry) const;
    // The file entry `index` plays: its own, or its folder's pick made ahead.
    QString entryFile(int index, const Playlist &entry) const;

    // The file being worked on, or empty.
    QString converting() const { return currentSource; }

    // Where each decode's loudness measure goes, and where a file measured
    // in an earlier run is found sound without another decode.
    void setLoudness(Loudness *store) { loudness = store; }
    // Files played outside the running order (carts, time announcements):
    // measured, after the entries, never converted.
    void alsoMeasure(const QStringList &files);

signals:
    void finished(const QString &source, bool ok);
    // A verdict was reached for `path`.
    void checked(const QString &path);

private:
    enum class Stage { Probe, Convert, Decode };

    void schedule();
    void startNext();
    bool startJob(const QString &source, bool convert);
    void runStage(Stage stage);
    void logToFile();
    void stageEnded(bool ran);
    void jobEnded(const MediaCheck::Verdict &verdict, bool decided);
    void trim(const QString &fresh);
    void noteVerdict(const QString &path);
    void lookAgain();

    MediaCheck checks;
    struct Pick
    {
        QString folder;
        QString file;
    };
    QHash<int, Pick> picks;
    QStringList toCheck;   // the files of the next entries, in the order of need
    QStringList planned;   // MP3 files to convert, in the order they will be needed
    QStringList requested; // played before their copy was ready
    QSet<QString> failedCopies;
    QSet<QString> uncheckable; // the decoder could not be run on them
    QSet<QString> knownBad;    // looked at again now and then: a file put back plays
    QSet<QString> settling;    // changed while checked: left alone for a moment
    QStringList keptSources; // current and next entries: their copies stay
    QStringList lastPlayed;  // copies handed to the channels: on air
    QStringList readyAhead;  // ready copies needed before the one converting
    QStringList extras;      // measured only
    Loudness *loudness = nullptr;
    std::optional<LoudnessMeasure> measured;
    std::optional<CuePoints> cues;
    QProcess *process = nullptr;
    QTemporaryFile *partial = nullptr;
    QTemporaryFile *decoderLog = nullptr;
    QTimer *deadline = nullptr;
    QTimer *kick = nullptr;
    QTimer *recheck = nullptr;
    QTimer *settle = nullptr;
    QString currentSource;
    QString currentOutput;
    Stage stage = Stage::Probe;
    bool convertJob = false;
    double statedSeconds = -1.0;
    // The WAV whose samples give the fade: the source, or its copy; the
    // verdict waits while they are read.
    QString fadeSamples;
    bool fadePending = false;
    int fadeJob = 0;
    MediaCheck::Verdict fadeVerdict;
    FileStamp jobStamp;
};

#endif
