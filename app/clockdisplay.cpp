#include "mainwindow.h"
#include "timerclock.h"
#include "preparation.h"
#include "loudness.h"
#include "announcementplayer.h"
#include "onairdisplay.h"
#include "ui_mainwindow.h"
#include "widgetupdates.h"

#include <QFileInfo>
#include <QSettings>

void MainWindow::updateClockLabel(const QString &text_time)
{
    ui->audio_clock->setText(text_time);
    const QString name = timeAudioNameFor(text_time);
    if (name == timeAudioName)
        return;
    timeAudioName = name;
    // The carts and the announcements are measured ahead too, and their
    // cue points found.
    if (!loudness->normalizing() && !Loudness::cuesWanted())
        return;
    QStringList carts;
    for (int n = 1; n <= 10; ++n)
        carts.append(settings->value(QStringLiteral("buttonhole/btn_%1").arg(n)).toString());
    preparation->alsoMeasure(filesOutsideTheOrder(audioTimeDir, name, carts));
}

void MainWindow::currentTimePositionClock(const QTime &time)
{
    onAirDisplay->showEnd(time);
}

void MainWindow::on_audio_clock_clicked()
{
    if (!switches.sayClock)
        return;
    const QString file = audioTimeDir + QLatin1Char('/') + timeAudioName + QStringLiteral(".mp3");
    if (switches.sayClockFade && !player1.fading && !player2.fading) {
        for (AudioPlayer *player : {&player1, &player2}) {
            if (player->isPlaying())
                player->setVolume(0.5f);
        }
    }
    OnAirEvents::Item item = onAirItem(QStringLiteral("time"), QString(), file);
    item.title = tr("Hora certa %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm")));
    announcer->play(item, {});
}
