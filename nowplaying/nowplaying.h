#ifndef NOWPLAYING_H
#define NOWPLAYING_H

#include "onairevents.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QSettings;
class StreamTitle;

// What is on air, for the programs around the desk: "now-playing.json" (the
// item on air and the next entry) and "now-playing.txt" (one line, "Artist -
// Title", for RDS encoders and stream tools), rewritten whole on every change.
// By default only music is announced: a jingle, an announcement or a cart
// leaves the song's line in place. Off air, the JSON says "onAir": false and
// the text file holds an empty line.
class NowPlaying : public QObject
{
    Q_OBJECT

public:
    NowPlaying(const QString &folder, bool allKinds, QObject *parent = nullptr);

    // Made from the settings store ("nowplaying/..."), listening to
    // `events`, with the stream server's title following when a server is
    // set.
    static NowPlaying *start(const QSettings &settings, OnAirEvents *events, QObject *parent);

    // "nowplaying/folder", or when empty $XDG_RUNTIME_DIR/orvaradio, or the
    // desk's data folder when that is unset.
    static QString folderFrom(const QString &stored);

    // Writes what waits for the event loop now, and gives the stream server
    // up to `withinMs` to take the title: the end of a session leaves the
    // event loop at once.
    void settle(int withinMs);

    void listenTo(OnAirEvents *events);

    // The desk's stream is connected to the server, or no longer: the
    // title for its mount is held meanwhile.
    void streamConnected(bool connected);

    const QString &folder() const { return where; }
    // The text file's line: empty off air.
    QString line() const;
    QByteArray json() const;

signals:
    void lineChanged(const QString &line);

private:
    using Record = OnAirEvents::Record;

    bool announced(const QString &kind) const;
    void started(const Record &record);
    void left(const Record &record);
    void airChanged(bool onAir);
    void nextChanged(const QList<OnAirEvents::Next> &coming);
    void show(const std::optional<Record> &record);
    // Changes made in one turn of the event loop go out as one: an item that
    // fails as it starts never reaches the files or the stream.
    void write();
    void flush();
    bool writeFile(const QString &name, const QByteArray &content);

    QString where;
    bool allKinds;
    QPointer<OnAirEvents> events;
    bool air = false;
    std::optional<Record> shown;
    std::optional<Record> shownBefore; // what the line said before `shown`
    bool flushPending = false;
    QString nextTitle;
    QString nextArtist;
    QByteArray writtenJson;
    QString writtenLine;
    bool failing = false;
    StreamTitle *streamed = nullptr; // the title of the mount the desk streams to
};

#endif
