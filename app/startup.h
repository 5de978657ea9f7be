#ifndef STARTUP_H
#define STARTUP_H

#include <QPalette>
#include <QStringList>

#include <functional>

class MainWindow;
class QApplication;
class QSharedMemory;
class QSplashScreen;
class QWidget;

// Key of the segment that marks a running desk on this machine.
extern const char *const kSingleInstanceKey;

// Fatal-signal report: three lines on standard error (first signal only), then
// the process ends at once with 128 + signal.
// Few allocator arenas: the media framework starts threads for every item
// (Qt 6.8), and each new thread's arena otherwise adds to the resident
// memory of a desk that runs for days. Call first thing in main.
void limitAllocatorArenas();

void crashHandler(int signal);
void installCrashHandler();

// Points the shared-memory object at the single-instance key.
void setInstanceKey(QSharedMemory &marker);

// Creates the 1-byte marker segment. A segment that nobody holds any more was
// left by a desk that died without releasing it; it is removed and taken over.
// Returns false while another live desk holds the marker.
bool takeInstanceMarker(QSharedMemory &marker);

QPalette darkPalette();

// Picks "gtk3" when the platform offers it (any letter case); otherwise Fusion
// with the dark palette and the tool-tip style sheet.
void applyDeskStyle(QApplication &app, const QStringList &styleNames);

// Ends the splash: finish (waits for the window), close, then show the window.
void handOverSplash(QSplashScreen *splash, QWidget *window);

// The desk's program: the single-instance marker, the window behind a splash,
// the event loop. A desk that asks for a fresh start lets go of the marker
// and runs its own program again; that start goes back on air at once,
// without the splash. `ready`, when given, gets the window before the loop
// runs.
int runDesk(int &argc, char **argv, const std::function<void(MainWindow &)> &ready = {});

#endif
