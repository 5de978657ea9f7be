#ifndef FIXEDSTARTS_H
#define FIXEDSTARTS_H

#include "playlist.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <vector>

// Watches the wall clock for the running order's fixed starts and says when
// one is due. The times are local times of day, every day.
class FixedStarts : public QObject
{
    Q_OBJECT

public:
    explicit FixedStarts(QObject *parent = nullptr);

    // Follows the running order; called after every change of it.
    void plan(const std::vector<Playlist> &playlist);

    struct Point
    {
        int row = -1;
        QDateTime at;
    };
    // The first fixed start after `from`; row -1 when the order has none.
    Point nextAfter(const QDateTime &from) const;

signals:
    void due(int row);

private:
    void arm(const QDateTime &from);
    void fire();

    std::vector<FixedStart> starts;
    QTimer timer;
    QDateTime armedFor;
};

#endif
