#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "vumeter.h"
#include "playoutretry.h"
#include "orderview.h"
#include "selfrestart.h"
#include "sequencer.h"
#include "widgetupdates.h"
#include "displaypacer.h"
#include "onairdisplay.h"


void MainWindow::currentTimePosition(qint64, int)
{
    onAirDisplay->showPosition();
}

void MainWindow::updateAudioList(bool jump)
{
    orderView->show(jump);
    SelfRestart::keep(*this);
}

void MainWindow::blankTimes()
{
    onAirDisplay->blank();
    airLevels.item = {};
    vuLeft->setLevel(0);
    vuRight->setLevel(0);
}

void MainWindow::seek(int mseconds)
{
    for (AudioPlayer *player : {&player1, &player2}) {
        if (player->isPlaying())
            player->Seek(mseconds);
    }
}

void MainWindow::updateDisplay()
{
    if (!uiReady || !vuLeft || !vuRight)
        return;
    airLevels.settle(player1.isPlaying() || player2.isPlaying());
    const auto volume = [](const AudioPlayer &player) {
        return player.isPlaying() ? player.outputVolume() : 0.0f;
    };
    const AirLevels::Segments air = airLevels.air({volume(player1), volume(player2)});
    vuLeft->setLevel(air.left);
    vuRight->setLevel(air.right);
    // A channel's item has left the air once the channel is silent.
    for (AudioPlayer *player : {&player1, &player2}) {
        if (!player->isPlaying())
            airEvents->finish(player);
    }

    sequencer->heard(!airLevels.silent(), DisplayPacer::kTickMs);
}

void MainWindow::flash()
{
    setTalkTargets();
    if (talkActive) {
        ui->btn_talk->setStyleSheet(ui->btn_talk->styleSheet().isEmpty()
                                        ? QStringLiteral("background-color: red;")
                                        : QString());
    }

    // Next blinks through a hand-over.
    const bool blink = (player1.fading || player2.fading) && ui->btn_next->styleSheet().isEmpty();
    setStyleSheetIfChanged(ui->btn_next, blink ? QStringLiteral("background-color: black;") : QString());
    setStyleSheetIfChanged(ui->groupBox,
             sequencer->onAir() ? QStringLiteral("QGroupBox:title {background-color: red;}") : QString());
}
