#ifndef PLAYLIST_H
#define PLAYLIST_H

#include <QString>

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

// One line of a playlist file: title|path|duration|kind, without the newline.
QString playlistLine(const Playlist &entry);
// Reads one such line; false for a line with fewer than four fields.
bool parsePlaylistLine(const QString &line, Playlist &entry);

#endif
