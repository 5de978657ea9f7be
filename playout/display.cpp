#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "vumeter.h"
#include "playoutretry.h"
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
    if (progress > 0) {
        playoutRetry->heard();
        airEvents->sounding(playerid == 1 ? &player1 : &player2);
    }
    // An announcement in the running order shows its own time.
    if (!onAir || timeAnnouncing)
        return;

    qint64 minutes = 0;
    qint64 seconds = 0;
    AudioPlayer *reference = referencePlayer();
    if (reference) {
        ui->seeker->setMaximum(int(reference->getDuration()));
        ui->seeker->setValue(int(reference->getPosition()));
        const qint64 remaining = reference->remainingTime();
        minutes = remaining / 60000;
        seconds = (remaining / 1000) % 60;
    }

    // The overlapping hand-over: a music item passes the air to the following
    // entry when its remaining time first reads 0:T. It needs an audible
    // reference channel; without one the reading is no remaining time at all.
    // A channel told to fade out has handed over already, though its first
    // tick may not have set `fading` yet: a channel that next() starts can
    // report its position at once and re-enter here.
    const Playlist *onAirEntry = removedOnAir ? &*removedOnAir
                                 : currentIndex >= 0 && currentIndex < int(playlist.size())
                                     ? &playlist[currentIndex]
                                     : nullptr;
    if (reference && minutes == 0 && seconds == transitionAudioTime && !player1.fading
        && !player2.fading && !player1.fadingOut && !player2.fadingOut && onAirEntry) {
        const QString &kind = onAirEntry->kind;
        if (kind == QLatin1String("music") || kind == QLatin1String("folder-music")) {
            airEvents->leaving(reference, OnAirEvents::Outcome::HandedOver);
            advance();
            next();
            for (AudioPlayer *player : {&player1, &player2}) {
                if (player->isPlaying())
                    player->fading = true;
            }
        }
    }

    setTextIfChanged(ui->remain_time, remainingTimeText(minutes, seconds));
}

void MainWindow::showAnnouncementTime()
{
    if (!onAir || !timeAnnouncing)
        return;
    const qint64 remaining = announcer->remainingTime();
    setTextIfChanged(ui->remain_time, remainingTimeText(remaining / 60000, remaining / 1000 % 60));
    currentTimePositionClock(QTime::currentTime());
}

void MainWindow::blankTimes()
{
    setTextIfChanged(ui->remain_time, QString());
    setTextIfChanged(ui->over_at_time, QString());
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
    if (onAir && levelLeft <= 0 && levelRight <= 0 && !player1.fading && !player2.fading
        && !timeAnnouncing && !playoutRetry->waiting()) {
        silenceMs += 10;
        if (silenceMs > kSilenceLimitMs - 1) {
            qWarning() << "Silence watchdog: no audio for" << kSilenceLimitMs << "ms — skipping track";
            silenceMs = 0;
            airEvents->leaving({&player1, &player2}, OnAirEvents::Outcome::SkippedSilence);
            skipToNext();
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
             onAir ? QStringLiteral("QGroupBox:title {background-color: red;}") : QString());
}
