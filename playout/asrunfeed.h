#ifndef ASRUNFEED_H
#define ASRUNFEED_H

#include "asrunlog.h"

class MainWindow;

// The row an item gets, with the file's tags and length: its title tag, or
// without one `shownTitle` (what the running order shows, empty for folder
// entries and carts), or else the file's name.
AsRunLog::Item asRunItem(const QString &kind, const QString &shownTitle, const QString &file);

// Feeds the as-run log from the time player and the carts, which report
// their starts and ends themselves.
void feedAsRunLog(MainWindow &window);

#endif
