#ifndef DISPLAYPACER_H
#define DISPLAYPACER_H

#include <QObject>

#include <functional>

class QTimer;

// Paces the display tick that hands the levels to the meters and counts
// silence for the watchdog. At 10 ms the tick alone costs a playing desk as
// much CPU as the sound it plays, yet most ticks change nothing: off air with
// nothing sounding, or on air with sound whose level the meters already show.
// After such a tick the pacer lets the tick rest; an audio block or a channel
// event runs it at once, and a resting tick still comes four times a second
// in case something changed unannounced. While the watchdog may count, or a
// time announcement runs, the tick keeps its 10 ms.
class DisplayPacer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kTickMs = 10;
    static constexpr int kRestingMs = 250;

    // `runTick` is what the tick does; `canRest` tells, after a tick, whether
    // the next one may wait. The pacer belongs to the tick's timer.
    DisplayPacer(QTimer *tick, std::function<void()> runTick, std::function<bool()> canRest);

    // Runs after every tick.
    void settle();
    // Something the tick shows has changed: a resting tick runs now.
    void wake();

private:
    QTimer *tick;
    std::function<void()> runTick;
    std::function<bool()> canRest;
};

#endif
