#ifndef TIMERCLOCK_H
#define TIMERCLOCK_H

#include <QObject>
#include <QTime>

// Publishes the wall-clock time once a second, as text and as a time value.
class TimerClock : public QObject
{
    Q_OBJECT

public:
    TimerClock();

public slots:
    void getTime();
    void getSeparateTime();

signals:
    void updateTime(QString newValue);
    void updateSeparateTime(QTime time);
};

// The four-digit base name of the time-announcement file for a clock text
// "hh:mm:ss": the hour folded onto a 12-hour dial, then the minute.
QString timeAudioNameFor(const QString &clockText);

// What plays outside the running order and is worth measuring ahead: the
// announcements of the minute `name` and the next, in `folder`, and `carts`;
// only the files that exist.
QStringList filesOutsideTheOrder(const QString &folder, const QString &name, const QStringList &carts);

#endif
