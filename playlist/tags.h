#ifndef TAGS_H
#define TAGS_H

#include <QString>

// What the tags of an audio file say about it, as shown in the running order.
struct TagInfo
{
    bool readable = false; // the tag library recognised the file and its audio
    QString duration;      // "mm:ss", minutes may run past 99
    QString title;         // "title - artist" when both tags are set, else empty
};

TagInfo readTags(const QString &path);

// What the as-run log records of a file: its tags, empty where unset, and
// its length in seconds (negative when unknown).
struct FileTags
{
    QString title;
    QString artist;
    QString album;
    QString composer;
    QString isrc;
    double lengthSeconds = -1.0;
};
FileTags readFileTags(const QString &path);

// A file or folder name without the audio extensions .mp3, .wav, .flac and .ogg.
QString cleanTitle(QString name);

// "mm:ss" with at least two digits each.
QString formatDuration(qint64 seconds);

#endif
