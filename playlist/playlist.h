#ifndef PLAYLIST_H
#define PLAYLIST_H

#include <QString>
#include <QTime>

#include <vector>

class QSettings;
class QTextStream;

// A start at a fixed time of day, every day. A hard start cuts in at that
// time; a soft one makes the entry the next one then.
struct FixedStart
{
    QTime at;
    bool hard = false;

    bool isSet() const { return at.isValid(); }
    bool operator==(const FixedStart &other) const
    {
        return at == other.at && (!isSet() || hard == other.hard);
    }
};

// One entry of the running order. `kind` is "music", "jingle", "time",
// "folder-music" or "folder-jingle"; `duration` is display text only.
struct Playlist
{
    QString title;
    QString path;
    QString duration;
    QString kind;
    FixedStart fixed {};

    bool operator==(const Playlist &other) const
    {
        return title == other.title && path == other.path && duration == other.duration
               && kind == other.kind && fixed == other.fixed;
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
// A whole running order as a playlist file: each entry's line, after a
// "#time|HH:MM:SS|hard" (or "soft") line when it has a fixed start. The
// time line has three fields, so a reader of entries alone drops only it.
void writePlaylist(QTextStream &out, const std::vector<Playlist> &playlist);
// Reads such a file. With a name, a line of an unknown kind and a time line
// that is malformed or not followed by an entry are named in the log.
std::vector<Playlist> readPlaylist(QTextStream &in, const QString &nameForLog = QString());

// The entry the plain order plays after `index`, wrapping: one without a
// fixed start, unless the order has only such entries.
int followingEntry(const std::vector<Playlist> &playlist, int index);

// For a desk that ends with nobody to ask: a running order that differs from
// the file last saved or loaded ("files/recent") is written into the data
// folder and becomes the file the next start reopens. Returns that file, or
// an empty text when there was nothing to keep.
QString keepUnsavedPlaylist(const std::vector<Playlist> &playlist, QSettings &settings);

#endif
