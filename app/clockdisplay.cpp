#include "mainwindow.h"
#include "timerclock.h"
#include "preparation.h"
#include "loudness.h"
#include "announcementplayer.h"
#include "sequencer.h"
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
    // What plays outside the running order is measured ahead too: the
    // carts and the announcements of this minute and the next.
    if (!loudness->normalizing())
        return;
    const QString nextMinute = QTime::currentTime().addSecs(60).toString(QStringLiteral("HH:mm:ss"));
    QStringList files;
    for (const QString &minute : {name, timeAudioNameFor(nextMinute)})
        files.append(audioTimeDir + QLatin1Char('/') + minute + QStringLiteral(".mp3"));
    for (int n = 1; n <= 10; ++n) {
        const QString cart = settings->value(QStringLiteral("buttonhole/btn_%1").arg(n)).toString();
        if (!cart.isEmpty())
            files.append(cart);
    }
    files.removeIf([](const QString &file) { return !QFileInfo(file).isFile(); });
    preparation->alsoMeasure(files);
}

void MainWindow::currentTimePositionClock(const QTime &time)
{
    if (!sequencer->onAir())
        return;
    const QTime end = time.addSecs(int(sequencer->remainingTime() / 1000));
    setTextIfChanged(ui->over_at_time, QStringLiteral("<p align='center'>%1</p>")
                                           .arg(end.toString(QStringLiteral("HH:mm:ss"))));
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
    announcer->play(item);
}
