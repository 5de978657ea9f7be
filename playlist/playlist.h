#ifndef PLAYLIST_H
#define PLAYLIST_H

#include <QString>

#include <vector>

class QSettings;

// One entry of the running order. `kind` is "music", "jingle", "time",
// "folder-music" or "folder-jingle"; `duration` is display text only.
struct Playlist
{
    QString title;
    QString path;
    QString duration;
    QString kind;

    bool operator==(const Playlist &other) const
    {
        return title == other.title && path == other.path && duration == other.duration
               && kind == other.kind;
    }
};

// Whether the desk knows how to play entries of `kind`.
bool isKnownKind(const QString &kind);
// The kind an entry of `kind` plays as: a folder's pick as music or a jingle.
QString playedKind(const QString &kind);
// Whether the entry is a folder whose pick plays.
bool isFolder(const Playlist &entry);
// Whether the entry puts a file on air: music, a jingle or a folder's pick.
bool playsFile(const Playlist &entry);

// One line of a playlist file: title|path|duration|kind, without the newline.
QString playlistLine(const Playlist &entry);
// Reads one such line; false for a line with fewer than four fields.
bool parsePlaylistLine(const QString &line, Playlist &entry);

// For a desk that ends with nobody to ask: a running order that differs from
// the file last saved or loaded ("files/recent") is written into the data
// folder and becomes the file the next start reopens. Returns that file, or
// an empty text when there was nothing to keep.
QString keepUnsavedPlaylist(const std::vector<Playlist> &playlist, QSettings &settings);

#endif
