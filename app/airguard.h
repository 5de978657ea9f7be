#ifndef AIRGUARD_H
#define AIRGUARD_H

#include <QString>

class QWidget;

// Asks before an operator action that would leave the station silent. Staying
// on air is the default answer, and what Escape or closing the box gives.
// True when the operator chose to go ahead.
bool confirmOffAir(QWidget *window, const QString &title, const QString &question,
                   const QString &goAhead);

#endif
