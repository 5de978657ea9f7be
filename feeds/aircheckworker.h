#ifndef AIRCHECKWORKER_H
#define AIRCHECKWORKER_H

#include "feedworker.h"

class QDateTime;

// Records the air into a folder, one file per period (an hour by default)
// named by its local date and time of day ("2026-12-08_14h.ogg"), cut by
// ffmpeg at clock time with no gap between files. Ogg Opus or MP3, mono: both
// stay playable up to the point where a crash cut them, and a recorder that
// had run is started again at once, whatever the stream does meanwhile. Files
// older than the days to keep are removed at start and every hour.
class AirCheckWorker : public FeedWorker
{
    Q_OBJECT

public:
    struct Plan
    {
        QString folder;
        int days = 31;
        int fileMinutes = 60;
        bool mp3 = false;
    };

    AirCheckWorker(const Plan &plan, const QString &source);

    void begin() override;

    // The files' names as strftime makes them; periods shorter than an hour
    // have the minute in the name.
    static QString pattern(int fileMinutes, bool mp3);
    // Removes the air-check files in `folder` last written more than `days`
    // days before `now`; other files are left alone. Returns how many went.
    static int purge(const QString &folder, int days, const QDateTime &now);

protected:
    void sourceChanged() override { begin(); }
    void end() override;

private:
    // A file of the current period from an earlier run would be written
    // over: it is kept under a numbered name.
    void keepEarlierPart();
    void purgeOld();

    Plan plan;
    QTimer *purger;
};

#endif
