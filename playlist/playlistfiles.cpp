#include "mainwindow.h"
#include "sequencer.h"
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

#include <optional>

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

constexpr QLatin1String kTimeMark("#time");

QString fixedStartLine(const FixedStart &fixed)
{
    return kTimeMark + QLatin1Char('|') + fixed.at.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('|')
           + (fixed.hard ? QLatin1String("hard") : QLatin1String("soft"));
}

// A time line read: false when it is malformed.
bool parseFixedStartLine(const QString &line, FixedStart &fixed)
{
    const QStringList parts = line.split(QLatin1Char('|'));
    if (parts.size() != 3 || parts[0].trimmed() != kTimeMark)
        return false;
    const QString mode = parts[2].trimmed();
    fixed.at = QTime::fromString(parts[1].trimmed(), QStringLiteral("HH:mm:ss"));
    fixed.hard = mode == QLatin1String("hard");
    return fixed.at.isValid() && (fixed.hard || mode == QLatin1String("soft"));
}

} // namespace

void writePlaylist(QTextStream &out, const std::vector<Playlist> &playlist)
{
    for (const Playlist &entry : playlist) {
        if (entry.fixed.isSet())
            out << fixedStartLine(entry.fixed) << '\n';
        out << playlistLine(entry) << '\n';
    }
    out.flush();
}

std::vector<Playlist> readPlaylist(QTextStream &in, const QString &nameForLog)
{
    std::vector<Playlist> entries;
    std::optional<FixedStart> pending;
    int pendingLine = 0;
    const auto unused = [&] {
        if (pending && !nameForLog.isEmpty())
            qWarning() << "Playlist" << nameForLog << "line" << pendingLine
                       << "has a fixed time that no entry follows; it is ignored";
        pending.reset();
    };
    Playlist entry;
    for (int number = 1; !in.atEnd(); ++number) {
        const QString line = in.readLine();
        // An entry has four fields or more, whatever its title says.
        if (line.trimmed().startsWith(kTimeMark) && line.count(QLatin1Char('|')) < 3) {
            unused();
            FixedStart fixed;
            if (parseFixedStartLine(line, fixed)) {
                pending = fixed;
                pendingLine = number;
            } else if (!nameForLog.isEmpty()) {
                qWarning() << "Playlist" << nameForLog << "line" << number
                           << "is not a fixed time (#time|HH:MM:SS|hard or soft); it is ignored:" << line;
            }
            continue;
        }
        if (!parsePlaylistLine(line, entry)) {
            unused();
            continue;
        }
        entry.fixed = pending.value_or(FixedStart());
        pending.reset();
        // Kept as it is, so that saving the list again loses nothing; it is
        // passed over when its turn comes.
        if (!isKnownKind(entry.kind) && !nameForLog.isEmpty())
            qWarning() << "Playlist" << nameForLog << "line" << number << "has an unknown kind:" << line;
        entries.push_back(entry);
    }
    unused();
    return entries;
}

int followingEntry(const std::vector<Playlist> &playlist, int index)
{
    const int size = int(playlist.size());
    if (size == 0)
        return 0;
    for (int step = 1; step <= size; ++step) {
        const int candidate = ((index + step) % size + size) % size;
        if (!playlist[size_t(candidate)].fixed.isSet())
            return candidate;
    }
    return ((index + 1) % size + size) % size;
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
    writePlaylist(out, playlist);
    if (out.status() == QTextStream::Ok && file.commit())
        return true;
    file.cancelWriting();
    return false;
}

// Whether the file holds `playlist`: as this desk writes it, or as it reads
// back. Either alone is not enough: a field with blanks at its ends, or a bar
// in a path that is gone, does not read back as it was written, and a file
// written by hand reads back without being written like that.
bool fileHolds(const QString &fileName, const std::vector<Playlist> &playlist)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    QString written;
    QTextStream out(&written);
    writePlaylist(out, playlist);
    if (content == written.toUtf8())
        return true;
    QTextStream in(content);
    in.setEncoding(QStringConverter::Utf8);
    return readPlaylist(in) == playlist;
}

} // namespace

QString keepUnsavedPlaylist(const std::vector<Playlist> &playlist, QSettings &settings)
{
    const QString recent = settings.value(QStringLiteral("files/recent")).toString();
    if (playlist.empty() || (!recent.isEmpty() && fileHolds(recent, playlist)))
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
    // Saved once it is on disk: a session that ends while the box is open
    // has nothing left to keep.
    settings->setValue(QStringLiteral("files/recent"), fileName);
    QMessageBox::information(this, tr("Sucesso"), tr("Sua playlist foi salva o com sucesso!"));
}

bool MainWindow::readPlaylistFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::critical(this, tr("Erro"), tr("Não foi possível carregar a playlist."));
        return false;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    playlist = readPlaylist(in, fileName);
    updateAudioList(false);
    return true;
}

void MainWindow::loadPlaylist()
{
    if (sequencer->onAir()) {
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
