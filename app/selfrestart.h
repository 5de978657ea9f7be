#ifndef SELFRESTART_H
#define SELFRESTART_H

#include "playlist.h"

#include <QString>

#include <vector>

class MainWindow;

// The way back for a sound path that the media framework cannot mend inside
// the process: the desk notes where it stands, starts its own program afresh,
// and the new process goes back on air with the entry that was playing.
namespace SelfRestart {

// The exit code of the event loop that asks main for a fresh start.
constexpr int kExitCode = 75;
// Names the resume file handed to the fresh start.
constexpr const char *kResumeVariable = "ORVARADIO_RESUME";
// Set when the fresh start follows a crash.
constexpr const char *kAfterCrashVariable = "ORVARADIO_RESUME_AFTER_CRASH";

struct ResumePoint
{
    std::vector<Playlist> order;
    int current = 0;
    int next = 0;
    bool onAir = false;
    // The desk had reached a sound server: one that does not answer now is
    // gone for a while, not absent from this machine.
    bool soundServerSeen = false;
};

// The resume file: a header line, then the running order as playlist lines.
bool writeResumeFile(const QString &path, const ResumePoint &point);
bool readResumeFile(const QString &path, ResumePoint &point);

// Keeps the resume file up to date while the desk is on air (and removes it
// once it is off air), so that a crash on air can start the desk afresh
// where it was. Called after every change of the running order or its marks.
void keep(const MainWindow &window);

// Removes the resume file: the desk ends by the operator's will.
void forget();

// Writes the resume file, names it in the environment and leaves the event
// loop with kExitCode.
void request(MainWindow &window);

// Whether this start continues a desk that restarted itself.
bool resuming();

// Takes over the resume file (it is removed): the running order comes back
// and, when the desk was on air, it goes on air with the entry it was
// playing and keeps the entry marked as next. After a crash it goes on with
// the next entry instead: the item on air may be what crashed the desk.
void resume(MainWindow &window);

// Replaces the process with a fresh start of the same program and
// arguments. Returns only when that failed.
void exec(char **argv);

// Remembers the program's arguments for a fresh start after a crash.
void rememberArguments(char **argv);

// From the fatal-signal handler: when the desk was on air and had run for a
// while (so that a desk failing as it starts does not start again and again),
// replaces the process with a fresh start that resumes the air. Uses only
// what is safe inside a signal handler; returns when it does not restart.
void execAfterCrash();

} // namespace SelfRestart

#endif
