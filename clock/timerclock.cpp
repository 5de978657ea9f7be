#include "timerclock.h"

#include <QFileInfo>

#include <QTimer>

TimerClock::TimerClock()
{
    auto *timer = new QTimer(this);
    connect(timer, SIGNAL(timeout()), this, SLOT(getTime()));
    connect(timer, SIGNAL(timeout()), this, SLOT(getSeparateTime()));
    timer->start(1000);
    getTime();
    getSeparateTime();
}

void TimerClock::getTime()
{
    emit updateTime(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
}

void TimerClock::getSeparateTime()
{
    emit updateSeparateTime(QTime::currentTime());
}

QString timeAudioNameFor(const QString &clockText)
{
    QString digits = clockText;
    digits.remove(QLatin1Char(':'));
    const int hour = digits.left(2).toInt();
    const int hour12 = hour <= 12 ? hour : hour - 12;
    const QString rest = digits.right(4);
    const QString name = hour12 <= 9 ? QLatin1Char('0') + QString::number(hour12) + rest
                                     : QString::number(hour12) + rest;
    return name.left(4);
}

QStringList filesOutsideTheOrder(const QString &folder, const QString &name, const QStringList &carts)
{
    const QString nextMinute = QTime::currentTime().addSecs(60).toString(QStringLiteral("HH:mm:ss"));
    QStringList files;
    for (const QString &minute : {name, timeAudioNameFor(nextMinute)})
        files.append(folder + QLatin1Char('/') + minute + QStringLiteral(".mp3"));
    files += carts;
    files.removeIf([](const QString &file) { return !QFileInfo(file).isFile(); });
    return files;
}
