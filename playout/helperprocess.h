#ifndef HELPERPROCESS_H
#define HELPERPROCESS_H

#include <QString>

class QProcess;

// The outside programs the desk starts (pactl, ffprobe, ffmpeg) may hang: a
// sound server that takes the connection and never answers, a stalled
// network folder. Every run has a time limit, and none is waited for when
// the desk ends.
namespace HelperProcess {

// Kills `process` if it has not finished `limitMs` after this call; the run
// then ends as a crash, which its owner takes as a failure.
void limit(QProcess *process, int limitMs);

// Logs the first run of `program` that reached its limit in this run of the
// desk; later ones are not logged again.
void noteOverrun(const QString &program, int limitMs);

// Kills a run and lets it go without waiting for its end: a process stuck on
// a stalled disk outlives even SIGKILL until the disk answers.
void abandon(QProcess *process);

} // namespace HelperProcess

#endif
