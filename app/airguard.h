#ifndef AIRGUARD_H
#define AIRGUARD_H

#include <QString>

class MainWindow;
class QWidget;

// Asks before an operator action that would leave the station silent. Staying
// on air is the default answer, and what Escape or closing the box gives.
// True when the operator chose to go ahead.
bool confirmOffAir(QWidget *window, const QString &title, const QString &question,
                   const QString &goAhead);

// The session ends (a logout, a shutdown): the desk goes off air and closes
// without asking, as if the operator had closed it, and keeps a running order
// that was not saved.
void endSession(MainWindow &window, int signal);

#endif
