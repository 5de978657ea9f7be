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
    for (AudioPlayer *player : {&player1, &player2})
        player->talk(talkActive, volumeToTalk, switches.talkFade);
}

void MainWindow::setVolumeSpeak(float volume)
{
    volumeToTalk = volume / 100.0f;
    settings->setValue(QStringLiteral("volume/volumeToTalk"),
                       QString::number(double(volumeToTalk), 'g', 6));
}
