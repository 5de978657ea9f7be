#ifndef ONAIRFEED_H
#define ONAIRFEED_H

#include <QVector>

class ButtonHole;
class OnAirEvents;

// Feeds the on-air events from the carts, which report their plays
// themselves.
void feedCartEvents(OnAirEvents *events, const QVector<ButtonHole *> &carts);

#endif
