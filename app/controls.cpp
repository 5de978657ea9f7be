#include "mainwindow.h"
#include "sequencer.h"

// The operator's playout actions and the channels' reports, handed to the
// sequence.

void MainWindow::next()
{
    sequencer->next();
}

void MainWindow::on_btn_play_clicked()
{
    sequencer->play();
}

void MainWindow::on_btn_stop_clicked()
{
    sequencer->stop();
}

void MainWindow::on_btn_next_clicked()
{
    sequencer->skipNext();
}

void MainWindow::onPlaylistItemDoubleClicked(const QModelIndex &index)
{
    sequencer->playRow(index.row());
}

void MainWindow::skipToNext()
{
    sequencer->skipToNext();
}

void MainWindow::checkAdvanceTrack()
{
    sequencer->checkAdvanceTrack();
}

void MainWindow::restoreVolumeAudio(QMediaPlayer::MediaStatus state)
{
    if (state == QMediaPlayer::EndOfMedia)
        sequencer->announcementEnded();
}
