#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QSettings>

void MainWindow::on_btn_talk_clicked()
{
    talkActive = !talkActive;
    ui->btn_talk->setStyleSheet(talkActive ? QStringLiteral("background-color: red;") : QString());
    if (!switches.talkFade)
        setTalkTargets();
}

void MainWindow::setTalkTargets()
{
    for (AudioPlayer *player : {&player1, &player2}) {
        if (!player->isPlaying())
            continue;
        player->targetVolume = talkActive ? volumeToTalk : 1.0f;
        // A channel fading in or out of the air keeps its fade.
        if (!switches.talkFade && !player->fadingIn && !player->fadingOut)
            player->setVolume(player->targetVolume);
    }
}

void MainWindow::setVolumeSpeak(float volume)
{
    volumeToTalk = volume / 100.0f;
    settings->setValue(QStringLiteral("volume/volumeToTalk"),
                       QString::number(double(volumeToTalk), 'g', 6));
}
