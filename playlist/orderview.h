#ifndef ORDERVIEW_H
#define ORDERVIEW_H

#include "cuepoints.h"
#include "playlist.h"
#include "starttimes.h"

#include <QObject>

#include <functional>
#include <vector>

class Channel;
class FixedStarts;
class Loudness;
class OnAirEvents;
class Preparation;
class QLabel;
class QTextEdit;
class QTreeWidget;
class Sequencer;
class ViewHold;

// The running order as the form shows it: its rows with their kinds, marks,
// verdicts and expected starts, the on-air and next boxes, and the next
// fixed point. It also tells the preparation, the fixed starts and the
// on-air events what the order now is.
class OrderView : public QObject
{
public:
    struct Boxes
    {
        QTreeWidget *list = nullptr;
        QTextEdit *current = nullptr;
        QTextEdit *next = nullptr;
        QLabel *nextFixed = nullptr;
    };
    struct Sources
    {
        const std::vector<Playlist> *order = nullptr;
        Sequencer *sequencer = nullptr;
        Preparation *preparation = nullptr;
        Loudness *loudness = nullptr;
        FixedStarts *fixedStarts = nullptr;
        OnAirEvents *events = nullptr;
        ViewHold *hold = nullptr;
    };
    OrderView(const Boxes &boxes, const Sources &sources, QObject *parent = nullptr);

    // Shows the order afresh; `jump` keeps a next entry chosen by hand.
    void show(bool jump);
    // Marks the rows whose entries are known bad, with the reason.
    void showVerdicts();
    // Each row's expected start, and the next fixed point.
    void showStartTimes();
    // Brings the on-air row into view, unless the operator is dragging the list.
    void showOnAirRow();
    // When each row is expected to start.
    std::vector<StartTimes::Row> expectedStarts() const;
    // Where the sound of a file is. Without it (or with it telling unknown
    // cue points) every item holds the air for its file's length, music
    // less the hand-over.
    void setCues(std::function<CuePoints(const QString &path)> source);

private:
    // The title the next box shows for entry `index`: a folder's pick's.
    QString shownTitle(int index) const;
    // Tells the on-air events what comes next.
    void tellWhatComes();
    // The cue points of each row's file, looked up again after every change
    // of the order and every new measure: the start times, shown every
    // second, never wait on the disk.
    void learnCues();
    // The cue points of what `channel` plays.
    CuePoints onAirCues(const Channel *channel) const;

    Boxes boxes;
    const std::vector<Playlist> &playlist;
    Sequencer *sequencer;
    Preparation *preparation;
    Loudness *loudness;
    FixedStarts *fixedStarts;
    OnAirEvents *events;
    ViewHold *hold;
    std::function<CuePoints(const QString &path)> cuesOf;
    std::vector<CuePoints> rowCues;
    mutable QString onAirFile;
    mutable CuePoints onAirFileCues;
};

#endif
