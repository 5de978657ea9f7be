#ifndef ONAIRDISPLAY_H
#define ONAIRDISPLAY_H

#include <QObject>
#include <QTime>

class QSlider;
class QTextEdit;
class Sequencer;

// The remaining-time display: "<p align='center'>mm:ss</p>", two digits at
// least, the sign kept when the position has passed the end.
QString remainingTimeText(qint64 minutes, qint64 seconds);

// The on-air times as the form shows them: what remains of the item on air
// (or of the announcement speaking), when it ends, and where it stands.
class OnAirDisplay : public QObject
{
public:
    struct Boxes
    {
        QTextEdit *remaining = nullptr;
        QTextEdit *end = nullptr;
        QSlider *seeker = nullptr;
    };
    OnAirDisplay(const Boxes &boxes, const Sequencer *sequencer, QObject *parent = nullptr);

    // A channel moved.
    void showPosition();
    // The announcement speaking moved.
    void showAnnouncement();
    // The end time, as of `now`.
    void showEnd(const QTime &now);
    // Off air nothing is timed.
    void blank();

private:
    Boxes boxes;
    const Sequencer *sequencer;
};

#endif
