#ifndef DESKFILES_H
#define DESKFILES_H

#include <QString>

// The desk's data folder: "OrvaRadio" in $XDG_DATA_HOME, or in
// ~/.local/share when that is unset or empty.
QString deskDataFolder();

// What tells one state of a file from the next: its size and its
// modification time (-1 for a path that is not there). What the desk learns
// of a file by decoding it holds while its stamp stays the same.
struct FileStamp
{
    qint64 size = -1;
    qint64 modified = -1;

    static FileStamp of(const QString &path);
    bool operator!=(const FileStamp &other) const
    {
        return size != other.size || modified != other.modified;
    }
};

#endif
