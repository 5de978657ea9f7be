#include "onairitem.h"
#include "tags.h"

#include <QFileInfo>

OnAirEvents::Item onAirItem(const QString &kind, const QString &shownTitle, const QString &file)
{
    const FileTags tags = readFileTags(file);
    OnAirEvents::Item item;
    item.kind = kind;
    // The running order shows "title - artist"; the log keeps them apart.
    item.title = !tags.title.isEmpty() ? tags.title
                 : !shownTitle.isEmpty() ? shownTitle
                                         : cleanTitle(QFileInfo(file).fileName());
    item.artist = tags.artist;
    item.file = file;
    item.album = tags.album;
    item.composer = tags.composer;
    item.isrc = tags.isrc;
    item.lengthSeconds = tags.lengthSeconds;
    return item;
}
