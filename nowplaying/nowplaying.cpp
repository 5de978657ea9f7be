#include "nowplaying.h"
#include "streamtitle.h"
#include "deskfiles.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

// How long one look at the stream server's answer may keep the events going.
constexpr int kSettleSliceMs = 50;

// ISO 8601 with the local offset spelled out ("+01:00", also "+00:00"), which
// every reader takes.
QJsonValue isoTime(const QDateTime &time)
{
    if (!time.isValid())
        return QJsonValue::Null;
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
           + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
           + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

NowPlaying::NowPlaying(const QString &folder, bool allKinds, QObject *parent)
    : QObject(parent)
    , where(folder)
    , allKinds(allKinds)
{
    flush();
}

NowPlaying *NowPlaying::start(const QSettings &settings, OnAirEvents *events, QObject *parent)
{
    auto *nowPlaying =
        new NowPlaying(folderFrom(settings.value(QStringLiteral("nowplaying/folder")).toString()),
                       settings.value(QStringLiteral("nowplaying/allKinds"), false).toBool(), parent);
    nowPlaying->listenTo(events);
    // Without a server of its own, the title goes to the mount the desk
    // streams to, with the source's login, which the server takes for it.
    const bool ownServer = !settings.value(QStringLiteral("nowplaying/serverUrl")).toString().trimmed().isEmpty();
    const bool streamed = settings.value(QStringLiteral("stream/enabled"), false).toBool();
    const QString group = ownServer || !streamed ? QStringLiteral("nowplaying/") : QStringLiteral("stream/");
    const QString server = settings.value(group + QStringLiteral("serverUrl")).toString().trimmed();
    // An Ogg mount turns the title away: the stream carries it itself.
    const bool inStream = !ownServer && streamed
                          && settings.value(QStringLiteral("stream/format")).toString() == QLatin1String("opus");
    if (!server.isEmpty() && !inStream) {
        const QString mount = settings.value(group + QStringLiteral("mount")).toString().trimmed();
        const QString user = settings.value(group + QStringLiteral("user")).toString().trimmed();
        auto *stream = new StreamTitle(QUrl::fromUserInput(server),
                                       mount.isEmpty() && !ownServer ? QStringLiteral("/live") : mount,
                                       user.isEmpty() && !ownServer ? QStringLiteral("source") : user,
                                       settings.value(group + QStringLiteral("password")).toString(),
                                       nowPlaying);
        connect(nowPlaying, &NowPlaying::lineChanged, stream, &StreamTitle::setTitle);
        if (!ownServer) {
            nowPlaying->streamed = stream;
            stream->setReady(false);
        }
        // The mount may still carry a title of the session before.
        stream->setTitle(nowPlaying->line());
    }
    return nowPlaying;
}

void NowPlaying::settle(int withinMs)
{
    if (flushPending)
        flush();
    const QList<StreamTitle *> streams = findChildren<StreamTitle *>();
    const auto sending = [&streams] {
        return std::any_of(streams.cbegin(), streams.cend(), [](const StreamTitle *stream) { return stream->busy(); });
    };
    QElapsedTimer waited;
    waited.start();
    while (sending() && waited.elapsed() < withinMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, kSettleSliceMs);
}

void NowPlaying::streamConnected(bool connected)
{
    if (streamed)
        streamed->setReady(connected);
}

QString NowPlaying::folderFrom(const QString &stored)
{
    if (!stored.trimmed().isEmpty())
        return stored;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/orvaradio");
    return deskDataFolder();
}

void NowPlaying::listenTo(OnAirEvents *source)
{
    events = source;
    connect(events, &OnAirEvents::itemStarted, this, &NowPlaying::started);
    connect(events, &OnAirEvents::itemLeft, this, &NowPlaying::left);
    connect(events, &OnAirEvents::airChanged, this, &NowPlaying::airChanged);
    connect(events, &OnAirEvents::nextChanged, this, &NowPlaying::nextChanged);
}

bool NowPlaying::announced(const QString &kind) const
{
    return allKinds || kind == QLatin1String("music");
}

void NowPlaying::started(const Record &record)
{
    if (announced(record.item.kind)) {
        shownBefore = shown;
        show(record);
    }
}

void NowPlaying::show(const std::optional<Record> &record)
{
    shown = record;
    write();
}

void NowPlaying::left(const Record &record)
{
    if (!shown || shown->source != record.source)
        return;
    // A cart over a song gives the line back to the song; with nothing else
    // announced on air, the line stays until the next item that is. An
    // item that failed (and gave no other reason first) gives the line back
    // to what it said before, and a cart fired off air leaves it empty again.
    const QList<Record> &onAir = events->onAir();
    for (auto each = onAir.crbegin(); each != onAir.crend(); ++each) {
        if (announced(each->item.kind)) {
            show(*each);
            return;
        }
    }
    if (record.reason == OnAirEvents::Outcome::Error)
        show(air ? shownBefore : std::nullopt);
    else if (!air)
        show(std::nullopt);
}

void NowPlaying::airChanged(bool onAir)
{
    air = onAir;
    if (!air) {
        shown.reset();
        shownBefore.reset();
    }
    write();
}

void NowPlaying::nextChanged(const QList<OnAirEvents::Next> &coming)
{
    nextTitle.clear();
    nextArtist.clear();
    for (const OnAirEvents::Next &next : coming) {
        if (!announced(next.kind))
            continue;
        // Named as its row in the as-run log would name it.
        const OnAirEvents::Item item = onAirItem(QString(), next.shownTitle, next.file);
        nextTitle = item.title;
        nextArtist = item.artist;
        break;
    }
    write();
}

QString NowPlaying::line() const
{
    if (!shown)
        return QString();
    const OnAirEvents::Item &item = shown->item;
    return item.artist.isEmpty() ? item.title : item.artist + QStringLiteral(" - ") + item.title;
}

QByteArray NowPlaying::json() const
{
    QJsonObject root;
    root[QStringLiteral("onAir")] = air || shown.has_value();
    if (shown) {
        const OnAirEvents::Item &item = shown->item;
        root[QStringLiteral("item")] = QJsonObject{
            {QStringLiteral("kind"), item.kind},
            {QStringLiteral("title"), item.title},
            {QStringLiteral("artist"), item.artist},
            {QStringLiteral("file"), item.file},
            {QStringLiteral("start"), isoTime(shown->start)},
            {QStringLiteral("expectedEnd"), isoTime(OnAirEvents::expectedEnd(item, shown->start))},
        };
    } else {
        root[QStringLiteral("item")] = QJsonValue::Null;
    }
    if (nextTitle.isEmpty())
        root[QStringLiteral("next")] = QJsonValue::Null;
    else
        root[QStringLiteral("next")] = QJsonObject{{QStringLiteral("title"), nextTitle},
                                                  {QStringLiteral("artist"), nextArtist}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void NowPlaying::write()
{
    if (flushPending)
        return;
    flushPending = true;
    QTimer::singleShot(0, this, &NowPlaying::flush);
}

void NowPlaying::flush()
{
    flushPending = false;
    const QString text = line();
    const QByteArray document = json();
    if (text != writtenLine)
        emit lineChanged(text);
    if (text == writtenLine && document == writtenJson && !failing)
        return;
    writtenLine = text;
    writtenJson = document;
    // The text file first: the line is what listeners see soonest.
    const bool written = QDir().mkpath(where)
                         && writeFile(QStringLiteral("now-playing.txt"), text.toUtf8() + '\n')
                         && writeFile(QStringLiteral("now-playing.json"), document);
    if (written && failing)
        qInfo().noquote() << "Now playing: writing to" << where << "again";
    else if (!written && !failing)
        qWarning().noquote() << "Now playing: cannot write to" << where
                             << "- the files stay as they are until it can";
    failing = !written;
}

bool NowPlaying::writeFile(const QString &name, const QByteArray &content)
{
    // Written beside and renamed over the old file: a reader sees one or the
    // other whole.
    QSaveFile file(where + QLatin1Char('/') + name);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit();
}
