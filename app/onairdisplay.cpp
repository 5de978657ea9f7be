#include "onairdisplay.h"
#include "channel.h"
#include "sequencer.h"
#include "widgetupdates.h"

#include <QSlider>

QString remainingTimeText(qint64 minutes, qint64 seconds)
{
    return QStringLiteral("<p align='center'>%1:%2</p>")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

OnAirDisplay::OnAirDisplay(const Boxes &boxes, const Sequencer *sequencer, QObject *parent)
    : QObject(parent)
    , boxes(boxes)
    , sequencer(sequencer)
{
}

void OnAirDisplay::showPosition()
{
    // An announcement in the running order shows its own time.
    if (sequencer->air() != Sequencer::Air::On)
        return;
    if (const Channel *reference = sequencer->reference()) {
        boxes.seeker->setMaximum(int(reference->getDuration()));
        boxes.seeker->setValue(int(reference->getPosition()));
    }
    // To where the item leaves the air, which may come before its file ends.
    const qint64 remaining = sequencer->remainingTime();
    setTextIfChanged(boxes.remaining, remainingTimeText(remaining / 60000, (remaining / 1000) % 60));
}

void OnAirDisplay::showAnnouncement()
{
    if (!sequencer->announcing())
        return;
    const qint64 remaining = sequencer->remainingTime();
    setTextIfChanged(boxes.remaining, remainingTimeText(remaining / 60000, remaining / 1000 % 60));
    showEnd(QTime::currentTime());
}

void OnAirDisplay::showEnd(const QTime &now)
{
    if (!sequencer->onAir())
        return;
    const QTime end = now.addSecs(int(sequencer->remainingTime() / 1000));
    setTextIfChanged(boxes.end,
                     QStringLiteral("<p align='center'>%1</p>").arg(end.toString(QStringLiteral("HH:mm:ss"))));
}

void OnAirDisplay::blank()
{
    setTextIfChanged(boxes.remaining, QString());
    setTextIfChanged(boxes.end, QString());
}
