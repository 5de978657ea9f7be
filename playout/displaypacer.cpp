#include "displaypacer.h"

#include <QTimer>

DisplayPacer::DisplayPacer(QTimer *tick, std::function<bool()> canRest)
    : QObject(tick)
    , tick(tick)
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
    if (tick->isActive() && tick->interval() == kRestingMs)
        tick->start(0);
}
