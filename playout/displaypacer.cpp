#include "displaypacer.h"

#include <QTimer>

DisplayPacer::DisplayPacer(QTimer *tick, std::function<void()> runTick,
                           std::function<bool()> canRest)
    : QObject(tick)
    , tick(tick)
    , runTick(std::move(runTick))
    , canRest(std::move(canRest))
{
}

void DisplayPacer::settle()
{
    // A stopped tick stays stopped: tests drive the display by hand.
    const int wanted = canRest() ? kRestingMs : kTickMs;
    if (tick->isActive() && tick->interval() != wanted)
        tick->start(wanted);
}

void DisplayPacer::wake()
{
    // Only a resting tick: an extra tick in between would count silence twice.
    if (!tick->isActive() || tick->interval() != kRestingMs)
        return;
    runTick();
    tick->start(canRest() ? kRestingMs : kTickMs);
}
