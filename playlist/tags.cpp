#include "tags.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>
#include <taglib/tag.h>
#include <taglib/taglib.h>
#if TAGLIB_MAJOR_VERSION < 2
#include <taglib/infotag.h>
#include <taglib/wavfile.h>
#endif

namespace {

struct TitleArtist
{
    TagLib::String title;
    TagLib::String artist;
};

TitleArtist titleAndArtist(const TagLib::FileRef &file)
{
    TitleArtist tags;
    if (const TagLib::Tag *tag = file.tag()) {
        tags.title = tag->title();
        tags.artist = tag->artist();
    }
#if TAGLIB_MAJOR_VERSION < 2
    // TagLib 1 reads only ID3v2 in WAV files; ffmpeg and most editors write RIFF INFO.
    if (tags.title.isEmpty() && tags.artist.isEmpty()) {
        if (auto *wav = dynamic_cast<TagLib::RIFF::WAV::File *>(file.file())) {
            if (wav->hasInfoTag()) {
                tags.title = wav->InfoTag()->title();
                tags.artist = wav->InfoTag()->artist();
            }
        }
    }
#endif
    return tags;
}

// Tags are read from files only: a pipe would block the window until it has
// a writer, and lose to TagLib the data its player needs.
bool regularFile(const QString &path)
{
    return QFileInfo(path).isFile();
}

} // namespace

TagInfo readTags(const QString &path)
{
    TagInfo info;
    if (!regularFile(path))
        return info;
    const QByteArray name = path.toUtf8();
    const TagLib::FileRef file(name.constData(), true, TagLib::AudioProperties::Average);
    // TagLib takes anything named .mp3 or .wav, a folder or a text file too,
    // and then reports audio without a sample rate: that is no audio.
    if (file.isNull() || !file.audioProperties() || file.audioProperties()->sampleRate() <= 0)
        return info;
    info.readable = true;
    info.duration = formatDuration(file.audioProperties()->lengthInSeconds());
    const TitleArtist tags = titleAndArtist(file);
    if (!tags.artist.isEmpty() && !tags.title.isEmpty()) {
        info.title = QString::fromUtf8(tags.title.toCString(true)) + QStringLiteral(" - ")
                     + QString::fromUtf8(tags.artist.toCString(true));
    }
    return info;
}

FileTags readFileTags(const QString &path)
{
    FileTags tags;
    if (!regularFile(path))
        return tags;
    const QByteArray name = path.toUtf8();
    const TagLib::FileRef file(name.constData(), true, TagLib::AudioProperties::Average);
    if (file.isNull())
        return tags;
    const auto text = [](const TagLib::String &value) {
        return QString::fromUtf8(value.toCString(true)).trimmed();
    };
    const TitleArtist read = titleAndArtist(file);
    tags.title = text(read.title);
    tags.artist = text(read.artist);
    if (const TagLib::Tag *tag = file.tag())
        tags.album = text(tag->album());
    // The property map names ID3v2 TCOM and TSRC, Vorbis and FLAC COMPOSER
    // and ISRC, and MP4 ©wrt alike.
    const TagLib::PropertyMap properties = file.file()->properties();
    const auto property = [&](const char *key) {
        const auto found = properties.find(key);
        return found == properties.end() || found->second.isEmpty() ? QString()
                                                                   : text(found->second.front());
    };
    tags.composer = property("COMPOSER");
    tags.isrc = property("ISRC");
    const TagLib::AudioProperties *audio = file.audioProperties();
    if (audio && audio->sampleRate() > 0 && audio->lengthInMilliseconds() > 0)
        tags.lengthSeconds = audio->lengthInMilliseconds() / 1000.0;
    return tags;
}

QString cleanTitle(QString name)
{
    for (const char *extension : {".mp3", ".wav", ".flac", ".ogg"})
        name.remove(QLatin1String(extension), Qt::CaseSensitive);
    return name;
}

QString formatDuration(qint64 seconds)
{
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
