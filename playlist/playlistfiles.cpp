#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "deskfiles.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QSettings>
#include <QTextStream>

// Titles read from tags, and file names, may hold "|" themselves: the last two
// fields are taken from the right, and the rest is split between title and
// path where the path names a file that exists, else before the last part.
bool parsePlaylistLine(const QString &line, Playlist &entry)
{
    const QStringList parts = line.split(QLatin1Char('|'));
    if (parts.size() < 4)
        return false;
    const int n = int(parts.size());
    int pathStart = n - 3;
    for (int start = n - 3; start >= 1; --start) {
        if (QFileInfo::exists(parts.mid(start, n - 2 - start).join(QLatin1Char('|')).trimmed())) {
            pathStart = start;
            break;
        }
    }
    entry.title = parts.mid(0, pathStart).join(QLatin1Char('|')).trimmed();
    entry.path = parts.mid(pathStart, n - 2 - pathStart).join(QLatin1Char('|')).trimmed();
    entry.duration = parts[n - 2].trimmed();
    entry.kind = parts[n - 1].trimmed();
    return true;
}

bool isKnownKind(const QString &kind)
{
    static const QStringList kinds = {QStringLiteral("music"), QStringLiteral("jingle"),
                                      QStringLiteral("time"), QStringLiteral("folder-music"),
                                      QStringLiteral("folder-jingle")};
    return kinds.contains(kind);
}

QString playedKind(const QString &kind)
{
    return kind == QLatin1String("folder-music")    ? QStringLiteral("music")
           : kind == QLatin1String("folder-jingle") ? QStringLiteral("jingle")
                                                    : kind;
}

bool isFolder(const Playlist &entry)
{
    return entry.kind == QLatin1String("folder-music") || entry.kind == QLatin1String("folder-jingle");
}

bool playsFile(const Playlist &entry)
{
    const QString kind = playedKind(entry.kind);
    return kind == QLatin1String("music") || kind == QLatin1String("jingle");
}

QString playlistLine(const Playlist &entry)
{
    return entry.title + QLatin1Char('|') + entry.path + QLatin1Char('|') + entry.duration
           + QLatin1Char('|') + entry.kind;
}

namespace {

// Written beside the old file and moved over it only when complete, so a full
// disk never costs the running order that was there.
bool writePlaylistFile(const QString &fileName, const std::vector<Playlist> &playlist)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    for (const Playlist &entry : playlist)
        out << playlistLine(entry) << '\n';
    out.flush();
    if (out.status() == QTextStream::Ok && file.commit())
        return true;
    file.cancelWriting();
    return false;
}

std::vector<Playlist> playlistInFile(const QString &fileName)
{
    std::vector<Playlist> entries;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entries;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    Playlist entry;
    while (!in.atEnd()) {
        if (parsePlaylistLine(in.readLine(), entry))
            entries.push_back(entry);
    }
    return entries;
}

} // namespace

QString keepUnsavedPlaylist(const std::vector<Playlist> &playlist, QSettings &settings)
{
    const QString recent = settings.value(QStringLiteral("files/recent")).toString();
    if (playlist.empty() || (!recent.isEmpty() && playlistInFile(recent) == playlist))
        return {};
    const QString folder = deskDataFolder();
    const QString fileName = folder + QStringLiteral("/unsaved-")
                             + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"))
                             + QStringLiteral(".txt");
    if (!QDir().mkpath(folder) || !writePlaylistFile(fileName, playlist)) {
        qWarning() << "Running order not saved, and it could not be kept in" << fileName;
        return {};
    }
    settings.setValue(QStringLiteral("files/recent"), fileName);
    qWarning() << "Running order not saved: kept in" << fileName << "which the next start reopens";
    return fileName;
}

QString MainWindow::playlistFileFilter() const
{
    return tr("Arquivos de Texto") + QStringLiteral(" (*.txt);;") + tr("Todos os arquivos")
           + QStringLiteral(" (*.*)");
}

void MainWindow::savePlaylist()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Salvar Arquivo"), QDir::homePath() + QStringLiteral("/playlist.txt"),
        playlistFileFilter());
    if (fileName.isEmpty())
        return;

    if (!writePlaylistFile(fileName, playlist)) {
        QMessageBox::critical(this, tr("Erro"), tr("Não foi possível salvar a playlist."));
        return;
    }
    QMessageBox::information(this, tr("Sucesso"), tr("Sua playlist foi salva o com sucesso!"));
    settings->setValue(QStringLiteral("files/recent"), fileName);
}

bool MainWindow::readPlaylistFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::critical(this, tr("Erro"), tr("Não foi possível carregar a playlist."));
        return false;
    }
    playlist.clear();
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    Playlist entry;
    for (int number = 1; !in.atEnd(); ++number) {
        const QString line = in.readLine();
        if (!parsePlaylistLine(line, entry))
            continue;
        // Kept as it is, so that saving the list again loses nothing; it is
        // passed over when its turn comes.
        if (!isKnownKind(entry.kind))
            qWarning() << "Playlist" << fileName << "line" << number << "has an unknown kind:" << line;
        playlist.push_back(entry);
    }
    updateAudioList(false);
    return true;
}

void MainWindow::loadPlaylist()
{
    if (onAir) {
        QMessageBox::information(this, tr("Opss"), tr("Não é possivel carregar estando NO AR."));
        return;
    }
    const QString fileName = QFileDialog::getOpenFileName(
        this, tr("Carregar Playlist"), QDir::homePath(), playlistFileFilter());
    if (fileName.isEmpty() || !readPlaylistFile(fileName))
        return;
    on_btn_stop_clicked();
    ui->audio_list->clearSelection();
    ui->audio_list->clearFocus();
    ui->audio_list->setCurrentIndex(QModelIndex());
    settings->setValue(QStringLiteral("files/recent"), fileName);
}

void MainWindow::loadRecentPlaylist()
{
    const QString fileName = settings->value(QStringLiteral("files/recent")).toString();
    if (fileName.isEmpty())
        return;
    readPlaylistFile(fileName);
}
