#include "asrunfeed.h"
#include "buttonhole.h"
#include "mainwindow.h"
#include "tags.h"

#include <QFileInfo>

namespace {

// A cart that stops this close to its end has ended.
constexpr qint64 kEndToleranceMs = 500;

} // namespace

AsRunLog::Item asRunItem(const QString &kind, const QString &shownTitle, const QString &file)
{
    const FileTags tags = readFileTags(file);
    AsRunLog::Item item;
    item.kind = kind;
    item.title = !shownTitle.isEmpty() ? shownTitle
                 : !tags.title.isEmpty() ? tags.title
                                         : cleanTitle(QFileInfo(file).fileName());
    item.artist = tags.artist;
    item.file = file;
    return item;
}

void feedAsRunLog(MainWindow &window)
{
    AsRunLog *log = window.asRun;
    QMediaPlayer *time = window.timePlayer;
    QObject::connect(time, &QMediaPlayer::positionChanged, log, [log, time](qint64 position) {
        if (position > 0)
            log->sounding(time);
    });
    QObject::connect(time, &QMediaPlayer::playbackStateChanged, log,
                     [log, time](QMediaPlayer::PlaybackState state) {
                         if (state == QMediaPlayer::StoppedState)
                             log->finish(time);
                     });

    for (ButtonHole *cart : std::as_const(window.carts)) {
        QMediaPlayer *player = cart->mediaPlayer();
        // The end of the file is known from the last positions or the media
        // status, whichever comes before the player reports that it stopped.
        QObject::connect(player, &QMediaPlayer::positionChanged, log, [log, player](qint64 position) {
            if (position > 0)
                log->sounding(player);
            if (player->duration() > 0 && position >= player->duration() - kEndToleranceMs)
                log->leaving(player, AsRunLog::Outcome::Ended);
        });
        QObject::connect(player, &QMediaPlayer::mediaStatusChanged, log,
                         [log, player](QMediaPlayer::MediaStatus status) {
                             if (status == QMediaPlayer::EndOfMedia)
                                 log->leaving(player, AsRunLog::Outcome::Ended);
                         });
        QObject::connect(player, &QMediaPlayer::playbackStateChanged, log,
                         [log, player](QMediaPlayer::PlaybackState state) {
                             if (state == QMediaPlayer::PlayingState && !log->isOpen(player)) {
                                 log->begin(player, asRunItem(QStringLiteral("cart"), QString(),
                                                              player->source().toLocalFile()));
                             } else if (state == QMediaPlayer::StoppedState) {
                                 // A cart that did not run to its end was stopped by its key.
                                 log->leaving(player, AsRunLog::Outcome::Stopped);
                                 log->finish(player);
                             }
                         });
    }
}
