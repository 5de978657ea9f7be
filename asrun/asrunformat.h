#ifndef ASRUNFORMAT_H
#define ASRUNFORMAT_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "deskfiles.h"

// The as-run logs as files: where they are and how a row is written. The desk
// writes them, the report reads them.
namespace AsRunFormat {

// The header of a day file, and those of the files written before the
// planned time, and before the album, composer, ISRC and length columns (rows
// added to such a file keep its columns).
constexpr QByteArrayView kHeader(
    "start,end,played_s,kind,title,artist,file,outcome,album,composer,isrc,length_s,planned");
constexpr QByteArrayView kTwelveColumnHeader(
    "start,end,played_s,kind,title,artist,file,outcome,album,composer,isrc,length_s");
constexpr QByteArrayView kEightColumnHeader("start,end,played_s,kind,title,artist,file,outcome");

} // namespace AsRunFormat

// The folder of the as-run logs: "as-run" in the data folder.
QString asRunFolder();

// One CSV field in UTF-8, quoted (quotes doubled) when it holds a comma, a
// quote or a line break.
QByteArray csvField(const QString &text);

#endif
