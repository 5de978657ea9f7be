#include "mainwindow.h"
#include "browsers.h"
#include "ui_mainwindow.h"
#include "playoutretry.h"
#include "asrunlog.h"
#include "airguard.h"
#include "preparation.h"
#include "preview.h"
#include "rowmenu.h"
#include "fixedtimedialog.h"
#include "orderview.h"
#include "sequencer.h"

#include <QFileSystemModel>
#include <QTimer>

void MainWindow::on_btn_add_item_clicked()
{
    const int row = ui->audio_list->currentIndex().row();
    const std::optional<Playlist> entry = fileModel->chosenEntry(ui->files->currentIndex(), ui->jingle_files->currentIndex());
    if (entry)
        sequencer->insert(row == -1 ? int(playlist.size()) : qMin(row + 1, int(playlist.size())), *entry);
}

void MainWindow::on_btn_add_time_item_clicked()
{
    sequencer->insert(int(playlist.size()), {tr("Hora Certa"), QString(), QStringLiteral("--:--"), QStringLiteral("time")});
}

void MainWindow::on_btn_remove_item_clicked()
{
    sequencer->remove(ui->audio_list->currentIndex().row());
}

void MainWindow::clearPlaylist()
{
    if (sequencer->onAir()
        && !confirmOffAir(this, tr("Apagar Tudo"),
                          tr("O OrvaRadio está no ar. Apagar tudo para o que está tocando e "
                             "esvazia a lista."),
                          tr("Apagar e parar o ar")))
        return;
    sequencer->clear();
}

void MainWindow::audioOptionsMenu(const QPoint &point)
{
    const QTreeWidgetItem *item = ui->audio_list->itemAt(point);
    if (!item)
        return;
    const QModelIndex index = ui->audio_list->indexFromItem(item, 0);
    const int row = index.row();
    RowMenu::Actions actions;
    actions.play = [this, index] {
        onPlaylistItemDoubleClicked(index);
        ui->audio_list->clearSelection();
    };
    actions.markNext = [this, row] {
        sequencer->markNext(row);
        ui->audio_list->clearSelection();
    };
    // The dialog opens from the event loop, once the menu and its action are
    // done with: a menu closed while its action runs may be deleted under it.
    actions.fixedTime = [this, row] { QTimer::singleShot(0, this, [this, row] { editFixedTime(row); }); };
    actions.remove = [this] { on_btn_remove_item_clicked(); };
    RowMenu::open(this, {outputs, preview, preparation}, row, playlist[size_t(row)], actions,
                  ui->audio_list->viewport()->mapToGlobal(point));
}

void MainWindow::editFixedTime(int row)
{
    if (row >= int(playlist.size()))
        return;
    const Playlist entry = playlist[size_t(row)];
    // The time the row is expected to start, else the next full minute.
    const QDateTime expected = orderView->expectedStarts()[size_t(row)].at;
    const QTime now = QTime::currentTime();
    const QTime proposed = expected.isValid() ? expected.addMSecs(500).time()
                                              : QTime(now.hour(), now.minute()).addSecs(60);
    FixedTimeDialog dialog(entry.title, entry.fixed, proposed, this);
    // The running order may change while the dialog is open.
    if (dialog.exec() != QDialog::Accepted || row >= int(playlist.size())
        || !(playlist[size_t(row)] == entry))
        return;
    playlist[size_t(row)].fixed = dialog.fixedStart();
    updateAudioList(false);
}
