#ifndef ONAIRFEED_H
#define ONAIRFEED_H

#include "onairevents.h"

class MainWindow;

// The item a file makes, with the file's tags and length: its title tag, or
// without one `shownTitle` (what the running order shows, empty for folder
// entries and carts), or else the file's name.
OnAirEvents::Item onAirItem(const QString &kind, const QString &shownTitle, const QString &file);

// Feeds the window's on-air events from the time player and the carts, which
// report their starts and ends themselves.
void feedOnAirEvents(MainWindow &window);

#endif
