#include "airfeeds.h"
#include "aircheckworker.h"
#include "deskfiles.h"
#include "nowplaying.h"
#include "outputdevices.h"
#include "streamworker.h"

#include <QDebug>
#include <QDeadlineTimer>
#include <QSettings>
#include <QThread>

#include <algorithm>

namespace {

constexpr int kStopMs = 900;

StreamWorker::Target streamTarget(const QSettings &settings)
{
    StreamWorker::Target target;
    target.server = QUrl::fromUserInput(settings.value(QStringLiteral("stream/serverUrl")).toString().trimmed());
    const QString mount = settings.value(QStringLiteral("stream/mount")).toString().trimmed();
    if (!mount.isEmpty())
        target.mount = mount.startsWith(QLatin1Char('/')) ? mount : QLatin1Char('/') + mount;
    const QString user = settings.value(QStringLiteral("stream/user")).toString().trimmed();
    if (!user.isEmpty())
        target.user = user;
    target.password = settings.value(QStringLiteral("stream/password")).toString();
    target.opus = settings.value(QStringLiteral("stream/format")).toString() == QLatin1String("opus");
    target.kbps = std::clamp(settings.value(QStringLiteral("stream/bitrate"), 128).toInt(), 16, 320);
    return target;
}

AirCheckWorker::Plan airCheckPlan(const QSettings &settings)
{
    AirCheckWorker::Plan plan;
    plan.folder = AirFeeds::airCheckFolder(settings.value(QStringLiteral("aircheck/folder")).toString());
    plan.days = std::max(1, settings.value(QStringLiteral("aircheck/days"), 31).toInt());
    plan.fileMinutes = std::clamp(settings.value(QStringLiteral("aircheck/fileMinutes"), 60).toInt(), 1, 24 * 60);
    plan.mp3 = settings.value(QStringLiteral("aircheck/format")).toString() == QLatin1String("mp3");
    return plan;
}

} // namespace

AirFeeds::AirFeeds(const QSettings &settings, OutputDevices *outputs, NowPlaying *nowPlaying, QObject *parent)
    : QObject(parent)
    , outputs(outputs)
    , source(airSource())
{
    if (settings.value(QStringLiteral("stream/enabled"), false).toBool()) {
        const StreamWorker::Target target = streamTarget(settings);
        if (target.server.host().isEmpty()) {
            qWarning() << "Stream: on, but no server is set (\"stream/serverUrl\"): not sent";
        } else {
            auto *worker = new StreamWorker(target, source);
            if (nowPlaying && target.opus) {
                worker->setTitle(nowPlaying->line());
                connect(nowPlaying, &NowPlaying::lineChanged, worker, &StreamWorker::setTitle);
            }
            if (nowPlaying)
                connect(this, &AirFeeds::streamConnected, nowPlaying, &NowPlaying::streamConnected);
            run(stream, worker);
        }
    }
    if (settings.value(QStringLiteral("aircheck/enabled"), false).toBool())
        run(airCheck, new AirCheckWorker(airCheckPlan(settings), source));
    if (outputs)
        connect(outputs, &OutputDevices::airMoved, this, &AirFeeds::followAir);
}

AirFeeds::~AirFeeds()
{
    // What showed the states may be gone already.
    blockSignals(true);
    stop();
}

QString AirFeeds::airCheckFolder(const QString &stored)
{
    return stored.trimmed().isEmpty() ? deskDataFolder() + QStringLiteral("/aircheck") : stored;
}

QString AirFeeds::text() const
{
    const QString streamText = stream.state == FeedWorker::State::On        ? tr("Stream: no ar")
                               : stream.state == FeedWorker::State::Waiting ? tr("Stream: reconectando")
                               : stream.state != FeedWorker::State::Refused ? tr("Stream: desligado")
                               : stream.why.isEmpty() ? tr("Stream: recusado: confira o usuário e a senha")
                                                      : tr("Stream: recusado: %1").arg(stream.why);
    const QString checkText = airCheck.state == FeedWorker::State::On        ? tr("Gravação do ar: gravando")
                              : airCheck.state == FeedWorker::State::Waiting ? tr("Gravação do ar: falhando")
                                                                             : tr("Gravação do ar: desligada");
    return streamText + QStringLiteral(" · ") + checkText;
}

void AirFeeds::run(Feed &feed, FeedWorker *worker)
{
    feed.worker = worker;
    feed.thread = new QThread(this);
    worker->moveToThread(feed.thread);
    connect(worker, &FeedWorker::stateChanged, this, [this, &feed](FeedWorker::State state, const QString &why) {
        const bool wasOn = feed.state == FeedWorker::State::On;
        feed.state = state;
        feed.why = why;
        if (&feed == &stream && wasOn != (state == FeedWorker::State::On))
            emit streamConnected(!wasOn);
        emit changed();
    });
    connect(feed.thread, &QThread::started, worker, &FeedWorker::begin);
    feed.thread->start();
}

void AirFeeds::stop()
{
    QDeadlineTimer deadline(kStopMs);
    for (Feed *feed : {&stream, &airCheck}) {
        if (feed->worker)
            QMetaObject::invokeMethod(feed->worker, &FeedWorker::finish, Qt::QueuedConnection);
    }
    for (Feed *feed : {&stream, &airCheck}) {
        if (!feed->thread)
            continue;
        if (feed->thread->wait(deadline)) {
            delete feed->worker;
            delete feed->thread;
        } else {
            // A worker held by a stalled folder or server: the process may
            // end around it, but deleting a running thread would abort it.
            qWarning() << "A feed of the air did not end in time; left to the end of the process";
            feed->thread->setParent(nullptr);
        }
        feed->worker = nullptr;
        feed->thread = nullptr;
        if (feed->state != FeedWorker::State::Off) {
            feed->state = FeedWorker::State::Off;
            emit changed();
        }
    }
}

QString AirFeeds::airSource() const
{
    return FeedWorker::monitorOf(outputs && outputs->airChosen() ? outputs->air().id() : QByteArray());
}

void AirFeeds::followAir(const QByteArray &output)
{
    const QString now = FeedWorker::monitorOf(output);
    if (now == source)
        return;
    source = now;
    for (Feed *feed : {&stream, &airCheck}) {
        if (feed->worker)
            QMetaObject::invokeMethod(feed->worker, [worker = feed->worker, now] { worker->setSource(now); });
    }
}
