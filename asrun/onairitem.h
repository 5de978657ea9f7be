#ifndef ONAIRITEM_H
#define ONAIRITEM_H

#include "onairevents.h"

// The item a file makes, with the file's tags and length: its title tag, or
// without one `shownTitle` (what the running order shows, empty for folder
// entries and carts), or else the file's name.
OnAirEvents::Item onAirItem(const QString &kind, const QString &shownTitle, const QString &file);

#endif
