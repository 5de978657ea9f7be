#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "vumeter.h"
#include "playoutretry.h"
#include "preparation.h"
#include "announcementplayer.h"

#include <QDebug>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

// How long a failed channel is left alone before it is reset.
constexpr int kFailedChannelRestMs = 1500;

} // namespace

AudioPlayer *MainWindow::referencePlayer()
{
    const auto audible = [](const AudioPlayer &player) {
        return player.isPlaying() && player.targetVolume > 0.0f;
    };
    // During a hand-over the incoming item is the one on air.
    for (AudioPlayer *player : {&player2, &player1}) {
        if (audible(*player) && !player->fadingOut)
            return player;
    }
    for (AudioPlayer *player : {&player2, &player1}) {
        if (audible(*player))
            return player;
    }
    return nullptr;
}

void MainWindow::advance()
{
    if (playlist.empty())
        return;
    // However the item on air leaves, a marked entry is the one that follows.
    if (nextMarked && nextIndex >= 0 && nextIndex < int(playlist.size())) {
        currentIndex = nextIndex;
        nextMarked = false;
        return;
    }
    currentIndex = followingEntry(playlist, currentIndex);
}

void MainWindow::next()
{
    if (playlist.empty()) {
        std::fputs("nothing\n", stdout);
        std::fflush(stdout);
        updateAudioList(false);
        return;
    }
    if (currentIndex < 0 || currentIndex >= int(playlist.size()))
        currentIndex = 0;
    if (timeAnnouncing) {
        updateAudioList(false);
        return;
    }

    if (!passOverBadEntries()) {
        // No file can play: a run of failures, paced like one, from the event
        // loop like an entry that starts nothing.
        onAir = true;
        QTimer::singleShot(0, this, [this, index = currentIndex] { skipEmptyEntry(index); });
        updateAudioList(false);
        return;
    }

    onAir = true;
    // A new start: a removed on-air entry is leaving, and a marked entry that
    // starts now is no longer to come.
    if (currentIndex == nextIndex)
        nextMarked = false;
    removedOnAir.reset();
    if (player1.isPlaying())
        player1.fadeOut();
    if (player2.isPlaying())
        player2.fadeOut();

    const Playlist &entry = playlist[currentIndex];
    QString kind = entry.kind;
    QString path = entry.path;
    const bool folderEntry = kind.startsWith(QLatin1String("folder-"));

    if (folderEntry) {
        path = preparation->takePick(currentIndex, entry);
        if (path.isEmpty())
            qWarning() << "No audio in folder:" << entry.path << "- skipping";
        kind = path.isEmpty() ? QString() : playedKind(kind);
    }
    // A folder without audio, or a kind that the running order named but the
    // desk cannot play, is passed over like an entry that fails, not left to
    // the watchdog's ten seconds of silence. From the event loop, so that
    // this start completes.
    if (!isKnownKind(kind))
        QTimer::singleShot(0, this, [this, index = currentIndex] { skipEmptyEntry(index); });

    AudioPlayer *chosen = nullptr;
    if (player2.isPlaying())
        chosen = &player1;
    else if (player1.isPlaying())
        chosen = &player2;
    else if (player1.isStopped() && player2.isStopped())
        chosen = player2.hasFailed() ? &player1 : &player2;

    OnAirEvents::Item item = onAirItem(kind, folderEntry ? QString() : entry.title, path);
    item.planned = entry.fixed.at;
    if (chosen && kind == QLatin1String("music")) {
        airEvents->begin(chosen, item);
        chosen->addMedia(path);
        chosen->Play();
        chosen->fadeIn();
    } else if (chosen && kind == QLatin1String("jingle")) {
        airEvents->begin(chosen, item);
        chosen->addMedia(path);
        chosen->targetVolume = 1.0f;
        chosen->setVolume(1.0f);
        chosen->Play();
    }

    if (entry.kind == QLatin1String("time") && !timeAnnouncing)
        startTimeAnnouncement();

    updateAudioList(false);
    showOnAirRow();
}

bool MainWindow::passOverBadEntries()
{
    const int size = int(playlist.size());
    bool anyPlayable = false;
    for (int index = 0; index < size && !anyPlayable; ++index) {
        const Playlist &entry = playlist[size_t(index)];
        anyPlayable = playsFile(entry) && !preparation->entryVerdict(index, entry).bad();
    }
    // Each known-bad entry is passed over at once, without the media framework
    // ever seeing it: no gap beyond the hand-over, no stall. With every file
    // known bad (time entries alone would only go round and round), the
    // entry's turn still leaves its row, and the retry paces the run and
    // moves on.
    for (int tries = 0; tries <= size; ++tries) {
        const Playlist &entry = playlist[size_t(currentIndex)];
        const MediaCheck::Verdict verdict = preparation->entryVerdict(currentIndex, entry);
        if (!verdict.bad())
            return anyPlayable;
        // A bad pick is used up: the entry's next turn picks afresh.
        const QString pick = entry.kind.startsWith(QLatin1String("folder-"))
                                 ? preparation->takePick(currentIndex, entry)
                                 : QString();
        const QString file = pick.isEmpty() ? entry.path : pick;
        // Once a run of failures is paced, the retry's line tells each turn.
        if (anyPlayable || playoutRetry->pauseMs() == 0)
            qWarning() << "Passing over" << file << ":" << MediaCheck::logText(verdict.problem)
                       << verdict.detail;
        airEvents->begin(preparation,
                         onAirItem(playedKind(entry.kind), pick.isEmpty() ? entry.title : QString(), file));
        airEvents->leaving(preparation, OnAirEvents::Outcome::Error);
        airEvents->finish(preparation);
        if (!anyPlayable)
            return false;
        // A marked entry passed over has had its turn.
        if (currentIndex == nextIndex)
            nextMarked = false;
        advance();
    }
    return false;
}

void MainWindow::startTimeAnnouncement()
{
    const QString file = audioTimeDir + QLatin1Char('/') + timeAudioName + QStringLiteral(".mp3");
    OnAirEvents::Item item = onAirItem(QStringLiteral("time"), QString(), file);
    item.title = playlist[currentIndex].title;
    if (!QFileInfo::exists(file)) {
        qWarning() << "Time audio not found:" << file << "- skipping time item";
        airEvents->leaving(timePlayer, OnAirEvents::Outcome::Next);
        airEvents->begin(timePlayer, item);
        airEvents->leaving(timePlayer, OnAirEvents::Outcome::Error);
        airEvents->finish(timePlayer);
        // A failure like any other: the music was already told to fade out,
        // and what follows comes from the retry.
        afterFailure(file, false);
        return;
    }
    announcer->play(item);
    timeAnnouncing = true;
}

void MainWindow::stopTimeAnnouncement()
{
    timeAnnouncing = false;
    announcer->stop();
}

void MainWindow::on_btn_play_clicked()
{
    if (!playlist.empty()) {
        playoutRetry->cancel();
        // On air the entry starts again on the other channel: the play it cuts
        // was not played through. An announcement holds the running order.
        if (!timeAnnouncing)
            airEvents->leaving({&player1, &player2}, OnAirEvents::Outcome::Next);
        next();
    }
}

void MainWindow::on_btn_stop_clicked()
{
    if (playlist.empty() && !player1.isPlaying() && !player2.isPlaying())
        return;
    // A second Stop while the air fades out cuts it at once.
    const bool fadingAway = !onAir && (player1.fadingOut || player2.fadingOut);
    airEvents->leaving({&player1, &player2, timePlayer}, OnAirEvents::Outcome::Stopped);
    for (AudioPlayer *player : {&player1, &player2}) {
        if (switches.stopFade && !fadingAway && player->isPlaying())
            player->fadeOut();
        else
            player->Reset();
    }
    stopTimeAnnouncement();
    playoutRetry->cancel();
    // Off air the panels tell what Play will start, the first row, and what
    // follows it.
    onAir = false;
    currentIndex = 0;
    nextMarked = false;
    removedOnAir.reset();
    updateAudioList(false);
    blankTimes();
    levelLeft = 0;
    levelRight = 0;
    vuLeft->setLevel(0);
    vuRight->setLevel(0);
}

void MainWindow::on_btn_next_clicked()
{
    // A channel told to fade out counts as a running hand-over before its first
    // fade step sets `fading`.
    if (playlist.empty() || !(player1.isPlaying() || player2.isPlaying()) || player1.fading
        || player2.fading || player1.fadingOut || player2.fadingOut)
        return;
    currentIndex = nextIndex >= 0 && nextIndex < int(playlist.size()) ? nextIndex : 0;
    playoutRetry->cancel();
    airEvents->leaving({&player1, &player2}, OnAirEvents::Outcome::Next);
    next();
}

void MainWindow::onPlaylistItemDoubleClicked(const QModelIndex &index)
{
    onAir = true;
    currentIndex = index.row();
    playoutRetry->cancel();
    airEvents->leaving({&player1, &player2}, OnAirEvents::Outcome::Next);
    // The row clicked replaces an announcement that is speaking, rather than
    // waiting for it and then giving way to the entry after it.
    if (timeAnnouncing) {
        airEvents->leaving(timePlayer, OnAirEvents::Outcome::Next);
        stopTimeAnnouncement();
    }
    next();
}

void MainWindow::skipToNext()
{
    if (playlist.empty())
        return;
    // A media pipeline that failed takes a second to stop (GStreamer, Qt 6.4),
    // and the following item cannot start meanwhile: it starts first, on the
    // other channel, and the failed one is reset once that one plays.
    for (AudioPlayer *player : {&player1, &player2}) {
        if (!player->hasFailed())
            player->Reset();
    }
    advance();
    next();
    for (AudioPlayer *player : {&player1, &player2}) {
        if (player->hasFailed()) {
            QTimer::singleShot(kFailedChannelRestMs, player, [player] {
                if (player->hasFailed())
                    player->Reset();
            });
        }
    }
}

void MainWindow::checkAdvanceTrack()
{
    // A channel that fades out has already handed over the air, and a fade that
    // ends in Stop reports nothing: waiting for it would leave dead air.
    const auto offAir = [](const AudioPlayer &player) {
        return player.isStopped() || player.fadingOut;
    };
    if (!onAir || playlist.empty() || !offAir(player1) || !offAir(player2) || timeAnnouncing)
        return;
    advance();
    next();
}

void MainWindow::restoreVolumeAudio(QMediaPlayer::MediaStatus state)
{
    if (state != QMediaPlayer::EndOfMedia || !onAir)
        return;
    if (!player1.fading && !player2.fading) {
        for (AudioPlayer *player : {&player1, &player2})
            player->setVolume(player->isPlaying() ? player->targetVolume : 0.0f);
    }
    if (timeAnnouncing) {
        timeAnnouncing = false;
        advance();
        next();
    }
}

void MainWindow::onPlayerError(const AudioPlayer &player, const char *name, const QString &file,
                               const QString &errorMsg)
{
    // An item can fail after it has handed the air over, when its fade-out
    // reaches a cut-off end: what is on air now plays on.
    const AudioPlayer &other = &player == &player1 ? player2 : player1;
    const bool handedOver = timeAnnouncing || (other.isPlaying() && !other.fadingOut);
    qWarning() << name << file << ":" << errorMsg;
    if (!onAir || handedOver)
        return;
    // The file as the running order names it, not its converted copy.
    afterFailure(currentIndex >= 0 && currentIndex < int(playlist.size()) ? playlist[size_t(currentIndex)].path
                                                                          : file,
                 true);
}

void MainWindow::skipEmptyEntry(int index)
{
    // The outgoing item, if any, goes on fading out.
    if (!onAir || index != currentIndex || playlist.empty())
        return;
    // The retry watches a file for its return: the entry's own, or the next
    // one's that has a file (a time entry has none).
    const int size = int(playlist.size());
    int watched = index;
    for (int tries = 0; tries < size && !playsFile(playlist[size_t(watched)]); ++tries)
        watched = (watched + 1) % size;
    afterFailure(playlist[size_t(watched)].path, false);
}

void MainWindow::afterFailure(const QString &file, bool channelFailed)
{
    const PlayoutRetry::Action action = playoutRetry->failed(int(playlist.size()), file);
    if (action == PlayoutRetry::Action::Skip) {
        if (channelFailed) {
            skipToNext();
        } else {
            advance();
            playoutRetry->skipSoon();
            updateAudioList(false);
        }
        return;
    }
    // A channel's failed pipeline rests with the running order.
    if (channelFailed) {
        player1.Reset();
        player2.Reset();
    }
    if (action == PlayoutRetry::Action::AdvanceAndWait)
        advance();
    updateAudioList(false);
}

void MainWindow::retryAfterFailures()
{
    if (onAir)
        next();
}

void MainWindow::onTimePlayerError()
{
    if (!timeAnnouncing)
        return;
    timeAnnouncing = false;
    advance();
    next();
}

void MainWindow::fixedTimeReached(int row)
{
    if (row < 0 || row >= int(playlist.size()) || !playlist[size_t(row)].fixed.isSet())
        return;
    const Playlist &entry = playlist[size_t(row)];
    const QString at = entry.fixed.at.toString(QStringLiteral("HH:mm:ss"));
    if (!onAir) {
        qInfo().noquote() << "Fixed time" << at << "of" << entry.title << "missed: the desk is off air";
        return;
    }
    // The operator started it already.
    if (row == currentIndex && !removedOnAir)
        return;
    if (!entry.fixed.hard) {
        qInfo().noquote() << "Fixed time" << at << ":" << entry.title << "is next";
        nextIndex = row;
        nextMarked = true;
        updateAudioList(true);
        return;
    }
    qInfo().noquote() << "Fixed time" << at << ":" << entry.title << "starts now";
    // An announcement fades out like a channel, rather than being cut.
    if (timeAnnouncing) {
        airEvents->leaving(timePlayer, OnAirEvents::Outcome::Next);
        timeAnnouncing = false;
        announcer->fadeOut(player1.fadeStep);
    }
    onPlaylistItemDoubleClicked(ui->audio_list->model()->index(row, 0));
}
