#include "mainwindow.h"
#include "tags.h"
#include "ui_mainwindow.h"
#include "playoutretry.h"
#include "asrunlog.h"
#include "airguard.h"
#include "preparation.h"
#include "outputdevices.h"
#include "preview.h"
#include "fixedtimedialog.h"
#include "orderview.h"
#include "sequencer.h"

#include <QFileSystemModel>
#include <QMenu>
#include <QTimer>

Playlist MainWindow::entryFromBrowser(const QModelIndex &index, const QString &kind,
                                      const QString &folderKind, const QString &emptyDuration)
{
    Playlist entry;
    entry.path = fileModel->filePath(index);
    entry.kind = fileModel->isDir(index) && !folderKind.isEmpty() ? folderKind : kind;
    entry.title = cleanTitle(index.data(Qt::DisplayRole).toString());
    entry.duration = emptyDuration;
    const TagInfo tags = readTags(entry.path);
    if (tags.readable) {
        entry.duration = tags.duration;
        if (!tags.title.isEmpty())
            entry.title = tags.title;
    }
    return entry;
}

void MainWindow::on_btn_add_item_clicked()
{
    const int row = ui->audio_list->currentIndex().row();
    const QModelIndex music = ui->files->currentIndex();
    const QModelIndex jingle = ui->jingle_files->currentIndex();
    if (music.row() < 0 && jingle.row() < 0)
        return;

    // A jingle selection wins; normally only one browser has one.
    QModelIndex chosen;
    QString kind;
    QString folderKind;
    if (jingle.row() >= 0 && jingle.column() >= 0 && jingle.model()) {
        chosen = jingle;
        kind = QStringLiteral("jingle");
        folderKind = QStringLiteral("folder-jingle");
    } else if (music.row() >= 0 && music.column() >= 0 && music.model()) {
        chosen = music;
        kind = QStringLiteral("music");
        folderKind = QStringLiteral("folder-music");
    }
    if (!chosen.isValid() || chosen.data(Qt::DisplayRole).toString().isEmpty())
        return;

    const Playlist entry = entryFromBrowser(chosen, kind, folderKind, QStringLiteral("--:--"));
    sequencer->insert(row == -1 ? int(playlist.size()) : qMin(row + 1, int(playlist.size())), entry);
}

void MainWindow::on_btn_add_time_item_clicked()
{
    playlist.push_back({tr("Hora Certa"), QString(), QStringLiteral("--:--"), QStringLiteral("time")});
    updateAudioList();
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

namespace {

// Why the row menu cannot preview, in the operator's words; empty when it can.
QString previewUnavailable(OutputDevices::PreviewState state)
{
    switch (state) {
    case OutputDevices::PreviewState::Ready:
        break;
    case OutputDevices::PreviewState::NotSet:
        return MainWindow::tr("Escolha uma saída de pré-escuta na configuração.");
    case OutputDevices::PreviewState::SameAsAir:
        return MainWindow::tr("A saída de pré-escuta é a mesma do ar: escolha outra na configuração.");
    case OutputDevices::PreviewState::Missing:
        return MainWindow::tr("A saída de pré-escuta não está conectada.");
    }
    return QString();
}

} // namespace

void MainWindow::audioOptionsMenu(const QPoint &point)
{
    const QTreeWidgetItem *item = ui->audio_list->itemAt(point);
    if (!item)
        return;
    const QModelIndex index = ui->audio_list->indexFromItem(item, 0);

    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The row menu is the same in every interface language.
    connect(menu->addAction(QIcon(QStringLiteral(":/images/icons/media-playback-start.svg")),
                            QStringLiteral("Tocar Este")),
            &QAction::triggered, this, [this, index] {
                onPlaylistItemDoubleClicked(index);
                ui->audio_list->clearSelection();
            });
    connect(menu->addAction(QIcon(QStringLiteral(":/images/icons/go-last.svg")),
                            QStringLiteral("Marcar como Próximo")),
            &QAction::triggered, this, [this, row = index.row()] {
                sequencer->markNext(row);
                ui->audio_list->clearSelection();
            });
    // The dialog opens from the event loop, once the menu and its action are
    // done with: a menu closed while its action runs may be deleted under it.
    connect(menu->addAction(QIcon(QStringLiteral(":/images/icons/clock.svg")), tr("Hora Fixa…")),
            &QAction::triggered, this, [this, row = index.row()] {
                QTimer::singleShot(0, this, [this, row] { editFixedTime(row); });
            });
    QMenu *listen = menu->addMenu(QIcon(QStringLiteral(":/images/icons/preferences-desktop-sound.svg")),
                                  QStringLiteral("Pré Escuta"));
    const OutputDevices::PreviewState state = outputs->previewState();
    const QString why = previewUnavailable(state);
    QString file;
    if (why.isEmpty()) {
        const Playlist &entry = playlist[size_t(index.row())];
        file = preparation->entryFile(index.row(), entry);
        if (file.isEmpty() && entry.kind.startsWith(QLatin1String("folder-")))
            file = preparation->pickIn(entry.path);
    }
    connect(listen->addAction(QStringLiteral("Do início")), &QAction::triggered, preview,
            [this, file] { preview->start(file, false); });
    connect(listen->addAction(QStringLiteral("Últimos 15 segundos")), &QAction::triggered, preview,
            [this, file] { preview->start(file, true); });
    for (QAction *action : listen->actions()) {
        action->setEnabled(!file.isEmpty());
        action->setToolTip(why);
    }
    listen->setToolTipsVisible(true);
    // Stopping is always at hand, whatever became of the outputs meanwhile.
    connect(listen->addAction(QStringLiteral("Parar a pré-escuta")), &QAction::triggered, preview,
            &Preview::stop);
    if (state == OutputDevices::PreviewState::NotSet) {
        listen->menuAction()->setEnabled(false);
        listen->menuAction()->setToolTip(why);
        menu->setToolTipsVisible(true);
    }
    menu->addSeparator();
    connect(menu->addAction(QIcon(QStringLiteral(":/images/icons/edit-delete.svg")),
                            QStringLiteral("Apagar")),
            &QAction::triggered, this, &MainWindow::on_btn_remove_item_clicked);
    menu->popup(ui->audio_list->viewport()->mapToGlobal(point));
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
