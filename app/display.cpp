#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "vumeter.h"
#include "playoutretry.h"
#include "orderview.h"
#include "selfrestart.h"
#include "sequencer.h"
#include "widgetupdates.h"
#include "announcementplayer.h"

#include <QDebug>

namespace {

constexpr int kSilenceLimitMs = 10000;

} // namespace

QString remainingTimeText(qint64 minutes, qint64 seconds)
{
    return QStringLiteral("<p align='center'>%1:%2</p>")
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 2, 10, QLatin1Char('0'));
}

void MainWindow::currentTimePosition(qint64 progress, int playerid)
{
    Q_UNUSED(progress)
    Q_UNUSED(playerid)
    // An announcement in the running order shows its own time.
    if (sequencer->air() != Sequencer::Air::On)
        return;
    qint64 remaining = 0;
    if (const Channel *reference = sequencer->reference()) {
        ui->seeker->setMaximum(int(reference->getDuration()));
        ui->seeker->setValue(int(reference->getPosition()));
        remaining = reference->remainingTime();
    }
    setTextIfChanged(ui->remain_time, remainingTimeText(remaining / 60000, (remaining / 1000) % 60));
}

void MainWindow::updateAudioList(bool jump)
{
    orderView->show(jump);
    SelfRestart::keep(*this);
}

void MainWindow::showAnnouncementTime()
{
    if (!sequencer->announcing())
        return;
    const qint64 remaining = announcer->remainingTime();
    setTextIfChanged(ui->remain_time, remainingTimeText(remaining / 60000, remaining / 1000 % 60));
    currentTimePositionClock(QTime::currentTime());
}

void MainWindow::blankTimes()
{
    setTextIfChanged(ui->remain_time, QString());
    setTextIfChanged(ui->over_at_time, QString());
    levelLeft = 0;
    levelRight = 0;
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
    // Levels change only when audio blocks arrive. Once no channel plays, or
    // the one that plays delivers nothing (a stalled source), the last block
    // must not keep the meters (and the watchdog) believing that something sounds.
    if ((!player1.isPlaying() && !player2.isPlaying()) || !lastBlockAt.isValid()
        || lastBlockAt.elapsed() > AirLevels::kNoAudioMs) {
        levelLeft = 0;
        levelRight = 0;
    }
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

    // While failures are being sat out, the pause is the desk's own: no skips.
    if (sequencer->air() == Sequencer::Air::On && levelLeft <= 0 && levelRight <= 0 && !player1.fading
        && !player2.fading && !playoutRetry->waiting()) {
        silenceMs += 10;
        if (silenceMs > kSilenceLimitMs - 1) {
            qWarning() << "Silence watchdog: no audio for" << kSilenceLimitMs << "ms — skipping track";
            silenceMs = 0;
            sequencer->silence();
        }
    } else {
        silenceMs = 0;
    }
}

void MainWindow::flash()
{
    setTalkTargets();
    if (talkActive) {
        ui->btn_talk->setStyleSheet(ui->btn_talk->styleSheet().isEmpty()
                                        ? QStringLiteral("background-color: red;")
                                        : QString());
    }

    if (player1.fading || player2.fading) {
        setStyleSheetIfChanged(ui->btn_next, ui->btn_next->styleSheet().isEmpty()
                                   ? QStringLiteral("background-color: black;")
                                   : QString());
    } else {
        setStyleSheetIfChanged(ui->btn_next, QString());
    }
    setStyleSheetIfChanged(ui->groupBox,
             sequencer->onAir() ? QStringLiteral("QGroupBox:title {background-color: red;}") : QString());
}
