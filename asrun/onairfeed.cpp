#include "onairfeed.h"
#include "buttonhole.h"
#include "mainwindow.h"
#include "tags.h"

#include <QFileInfo>

namespace {

OnAirEvents::Outcome cartOutcome(ButtonHole::Ending ending)
{
    switch (ending) {
    case ButtonHole::Ending::Ended:
        return OnAirEvents::Outcome::Ended;
    case ButtonHole::Ending::Stopped:
        return OnAirEvents::Outcome::Stopped;
    case ButtonHole::Ending::Failed:
        break;
    }
    return OnAirEvents::Outcome::Error;
}

} // namespace

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

void feedOnAirEvents(MainWindow &window)
{
    OnAirEvents *log = window.airEvents;
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

    // A cart's row opens when its play is heard: a play cut short before a
    // sound has none, a failed one gets an "error" row all the same.
    for (ButtonHole *cart : std::as_const(window.carts)) {
        QObject::connect(cart, &ButtonHole::sounding, log, [log, cart](const QString &file) {
            log->begin(cart, onAirItem(QStringLiteral("cart"), QString(), file));
            log->sounding(cart);
        });
        QObject::connect(cart, &ButtonHole::left, log,
                         [log, cart](const QString &file, ButtonHole::Ending ending) {
                             if (ending == ButtonHole::Ending::Failed && !log->isOpen(cart))
                                 log->begin(cart, onAirItem(QStringLiteral("cart"), QString(), file));
                             log->leaving(cart, cartOutcome(ending));
                             log->finish(cart);
                         });
    }
}
