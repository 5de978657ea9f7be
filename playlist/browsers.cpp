#include "browsers.h"
#include "tags.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "sequencer.h"

#include <QDir>
#include <QFileSystemModel>
#include <QTreeView>

QIcon CustomIconProvider::icon(const QFileInfo &info) const
{
    if (info.isDir())
        return QIcon(QStringLiteral(":/images/icons/folder.png"));
    static const QStringList audioSuffixes = {QStringLiteral("mp3"), QStringLiteral("wav"),
                                              QStringLiteral("flac"), QStringLiteral("ogg"),
                                              QStringLiteral("aac")};
    if (audioSuffixes.contains(info.suffix().toLower()))
        return QIcon(QStringLiteral(":/images/icons/audio-x-generic.png"));
    return QFileIconProvider::icon(info);
}

BrowserModel::BrowserModel(QObject *parent)
    : QFileSystemModel(parent)
{
    // QFileSystemModel keeps only the folders beneath its root path sorted, and
    // the music and jingle folders may lie outside the home folder: sort from
    // the top of the file system, whatever root path the window asks for.
    connect(this, &QFileSystemModel::rootPathChanged, this,
            [this] { setRootPath(QDir::rootPath()); });
    setRootPath(QDir::homePath());
    setIconProvider(new CustomIconProvider);
}

void BrowserModel::showIn(QTreeView *view, const QString &folder)
{
    view->setModel(this);
    view->setRootIndex(index(folder));
}

std::optional<Playlist> BrowserModel::fileEntry(const QModelIndex &index, const QString &kind) const
{
    if (!index.isValid() || index.model() != this || isDir(index))
        return std::nullopt;
    return entryAt(index, kind);
}

bool BrowserModel::setHeaderData(int section, Qt::Orientation orientation,
                                 const QVariant &value, int role)
{
    if (section != 0 || orientation != Qt::Horizontal
        || (role != Qt::EditRole && role != Qt::DisplayRole))
        return QFileSystemModel::setHeaderData(section, orientation, value, role);
    nameTitle = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

QVariant BrowserModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole
        && !nameTitle.isEmpty())
        return nameTitle;
    return QFileSystemModel::headerData(section, orientation, role);
}

Playlist BrowserModel::entryAt(const QModelIndex &index, const QString &kind, const QString &folderKind,
                              const QString &emptyDuration) const
{
    Playlist entry;
    entry.path = filePath(index);
    entry.kind = isDir(index) && !folderKind.isEmpty() ? folderKind : kind;
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

std::optional<Playlist> BrowserModel::chosenEntry(const QModelIndex &music, const QModelIndex &jingle) const
{
    const auto named = [](const QModelIndex &index) {
        return index.row() >= 0 && index.column() >= 0 && index.model();
    };
    QModelIndex chosen;
    QString kind;
    if (named(jingle)) {
        chosen = jingle;
        kind = QStringLiteral("jingle");
    } else if (named(music)) {
        chosen = music;
        kind = QStringLiteral("music");
    }
    if (!chosen.isValid() || chosen.data(Qt::DisplayRole).toString().isEmpty())
        return std::nullopt;
    return entryAt(chosen, kind, QStringLiteral("folder-") + kind, QStringLiteral("--:--"));
}

void MainWindow::directoryViewer()
{
    fileModel->setHeaderData(0, Qt::Horizontal, tr("Nome"));
    for (QTreeView *view : {ui->files, ui->jingle_files}) {
        for (int column = 1; column <= 3; ++column)
            view->hideColumn(column);
    }
}

void MainWindow::unSelectedJingle()
{
    ui->jingle_files->clearSelection();
    ui->jingle_files->setCurrentIndex(QModelIndex());
}

void MainWindow::unSelectedFiles()
{
    ui->files->clearSelection();
    ui->files->setCurrentIndex(QModelIndex());
}

void MainWindow::onFilesItemDoubleClicked(const QModelIndex &index)
{
    if (const std::optional<Playlist> entry = fileModel->fileEntry(index, QStringLiteral("music")))
        sequencer->insert(int(playlist.size()), *entry);
}

void MainWindow::onJingleFilesItemDoubleClicked(const QModelIndex &index)
{
    if (const std::optional<Playlist> entry = fileModel->fileEntry(index, QStringLiteral("jingle")))
        sequencer->insert(int(playlist.size()), *entry);
}
