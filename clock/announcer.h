#ifndef ANNOUNCER_H
#define ANNOUNCER_H

#include "cuepoints.h"
#include "onairevents.h"

#include <QObject>

// What speaks the running order's time entries, as the sequence drives it.
class Announcer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Speaks `item`; one still speaking is cut, and left for the next. With
    // its cue points known it speaks from its audible start and ends at its
    // audible end.
    virtual void play(const OnAirEvents::Item &item, const CuePoints &cues) = 0;
    // Silences it; the reason for its leaving is the caller's to give.
    virtual void stop() = 0;
    // Lowers it by `step` every half second, as a channel fades, and then
    // silences it.
    virtual void fadeOut(float step) = 0;
    // What is left of the announcement speaking, to its audible end when
    // known; 0 when none is or its length is not known yet.
    virtual qint64 remainingTime() const = 0;
    // The address its items are kept under in the on-air events.
    virtual const void *eventSource() const = 0;

signals:
    void ended();
    void failed(const QString &reason);
};

#endif
