#include "outputdevices.h"
#include "helperprocess.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QVariant>

namespace {

constexpr int kWatchMs = 1000;
// A question to the sound server takes milliseconds; one that has not
// been answered by then will not be.
constexpr int kPactlLimitMs = 3000;

} // namespace

OutputDevices::OutputDevices(const QByteArray &airId, const QByteArray &previewId, QObject *parent)
    : QObject(parent)
    , airId(airId)
    , previewId(previewId)
    , watcher(new QTimer(this))
{
    if (!airChosen() && previewId.isEmpty())
        return;
    connect(watcher, &QTimer::timeout, this, &OutputDevices::askServer);
    connect(watcher, &QTimer::timeout, this, &OutputDevices::followServer);
    watcher->start(kWatchMs);
    followServer();
    askServer();
    noteAirState();
}

OutputDevices::~OutputDevices()
{
    const QList<QProcess *> running = findChildren<QProcess *>(Qt::FindDirectChildrenOnly);
    for (QProcess *process : running)
        HelperProcess::abandon(process);
}

QAudioDevice OutputDevices::listed(const QByteArray &id)
{
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    for (const QAudioDevice &device : outputs) {
        if (device.id() == id)
            return device;
    }
    return {};
}

bool OutputDevices::present(const QByteArray &id) const
{
    if (id.isEmpty() || listed(id).isNull())
        return false;
    if (!serverAnswered)
        return true;
    for (const QByteArray &name : serverOutputs) {
        if (name == id)
            return true;
    }
    return false;
}

QProcess *OutputDevices::startPactl(const QStringList &arguments)
{
    auto *process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Its event lines are read, so they must not be translated.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process->setProcessEnvironment(environment);
    process->start(QStringLiteral("pactl"), arguments);
    return process;
}

void OutputDevices::runPactl(QProcess *&slot, const QStringList &arguments, int limitMs,
                             const std::function<void(bool, const QByteArray &)> &done)
{
    QProcess *process = startPactl(arguments);
    slot = process;
    if (limitMs > 0)
        HelperProcess::limit(process, limitMs);
    connect(process, &QProcess::finished, this, [&slot, process, done](int code, QProcess::ExitStatus status) {
        const QByteArray output = process->readAllStandardOutput();
        process->deleteLater();
        slot = nullptr;
        done(status == QProcess::NormalExit && code == 0, output);
    });
    connect(process, &QProcess::errorOccurred, this, [this, &slot, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        pactlMissing = true;
        serverAnswered = false;
        process->deleteLater();
        slot = nullptr;
    });
}

void OutputDevices::askServer()
{
    if (lister || pactlMissing)
        return;
    runPactl(lister, {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")}, kPactlLimitMs,
             [this, asked = serverEvents](bool answered, const QByteArray &output) {
                 // An answer to a question asked before the server's last
                 // event may still name an output that has gone since.
                 if (asked != serverEvents) {
                     askServer();
                     return;
                 }
                 serverAnswered = answered;
                 serverOutputs.clear();
                 // "<index>\t<name>\t<driver>\t<format>\t<state>" per output.
                 const QList<QByteArray> lines = output.split('\n');
                 for (const QByteArray &line : lines) {
                     const QList<QByteArray> fields = line.split('\t');
                     if (fields.size() > 1)
                         serverOutputs.insert(fields[0], fields[1]);
                 }
                 askDefault();
             });
}

void OutputDevices::askDefault()
{
    runPactl(lister, {QStringLiteral("get-default-sink")}, kPactlLimitMs,
             [this](bool answered, const QByteArray &output) {
                 serverDefault = answered ? output.trimmed() : QByteArray();
                 noteAirState();
                 if (!checkedAtStart && !previewId.isEmpty() && air().id() == previewId)
                     qWarning() << "Preview output" << previewId << "is the air's output: Pré Escuta stays off";
                 checkedAtStart = true;
                 emit changed();
             });
}

void OutputDevices::followServer()
{
    if (events || pactlMissing)
        return;
    // Started again at the next tick when it ends: the server may have restarted.
    runPactl(events, {QStringLiteral("subscribe")}, 0, [](bool, const QByteArray &) {});
    connect(events, &QProcess::readyReadStandardOutput, this, &OutputDevices::readEvents);
}

void OutputDevices::readEvents()
{
    static const QRegularExpression event(QStringLiteral("^Event '(\\w+)' on (sink|server) #(\\d+)"));
    bool outputsChanged = false;
    while (events->canReadLine()) {
        const QRegularExpressionMatch match = event.match(QString::fromUtf8(events->readLine()));
        if (!match.hasMatch())
            continue;
        outputsChanged = true;
        ++serverEvents;
        // An output that went away is gone now, before the list is asked again.
        if (match.captured(1) == QLatin1String("remove"))
            serverOutputs.remove(match.captured(3).toUtf8());
    }
    if (!outputsChanged)
        return;
    noteAirState();
    emit changed();
    askServer();
}

void OutputDevices::noteAirState()
{
    if (!airChosen())
        return;
    const bool missing = !present(airId);
    if (missing == airMissing)
        return;
    airMissing = missing;
    ++changes;
    // The sound server has moved the air to its default output.
    airOnPreview = false;
    if (missing)
        qWarning() << "Output device" << airId << "not found: the air plays to" << fallback().id().constData();
    else
        qInfo() << "Output device" << airId << "is back: the next item plays to it";
    emit changed();
    if (missing)
        emit airMoved(fallback().id());
    if (missing && !previewId.isEmpty())
        rescueAir();
}

void OutputDevices::rescueAir()
{
    if (rescuer || pactlMissing)
        return;
    runPactl(rescuer,
             {QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("list"), QStringLiteral("sink-inputs")},
             kPactlLimitMs, [this](bool, const QByteArray &output) { moveOurStreams(output); });
}

void OutputDevices::moveOurStreams(const QByteArray &listing)
{
    const QByteArray previewIndex = serverOutputs.key(previewId);
    const QString ourPid = QString::number(QCoreApplication::applicationPid());
    QStringList onPreview;
    const QJsonArray streams = QJsonDocument::fromJson(listing).array();
    for (const QJsonValue &value : streams) {
        const QJsonObject stream = value.toObject();
        const QJsonObject properties = stream.value(QStringLiteral("properties")).toObject();
        if (properties.value(QStringLiteral("application.process.id")).toString() == ourPid
            && QByteArray::number(stream.value(QStringLiteral("sink")).toInt()) == previewIndex)
            onPreview.append(QString::number(stream.value(QStringLiteral("index")).toInt()));
    }
    if (previewIndex.isEmpty() || onPreview.size() <= (previewPlaying ? 1 : 0))
        return;
    qWarning() << "The sound server moved the air to the preview output" << previewId
               << ": the preview stops and the air moves on to" << fallback().id().constData();
    // The preview stops first: all that is left of ours there is the air.
    airOnPreview = true;
    emit changed();
    const QByteArray target = fallback().id();
    if (target == previewId)
        return;
    for (const QString &index : std::as_const(onPreview)) {
        QProcess *mover = startPactl({QStringLiteral("move-sink-input"), index, QString::fromUtf8(target)});
        HelperProcess::limit(mover, kPactlLimitMs);
        connect(mover, &QProcess::finished, mover, &QObject::deleteLater);
        connect(mover, &QProcess::errorOccurred, mover, &QObject::deleteLater);
    }
    airOnPreview = false;
    emit changed();
}

QAudioDevice OutputDevices::standard() const
{
    const QAudioDevice named = serverDefault.isEmpty() ? QAudioDevice() : listed(serverDefault);
    return named.isNull() ? QMediaDevices::defaultAudioOutput() : named;
}

QAudioDevice OutputDevices::fallback()
{
    const QAudioDevice standard = this->standard();
    if (previewId.isEmpty() || standard.id() != previewId)
        return standard;
    // The preview output is the operator's ears, not the air.
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    for (const QAudioDevice &device : outputs) {
        if (device.id() != previewId && device.id() != airId && present(device.id()))
            return device;
    }
    return standard;
}

QAudioDevice OutputDevices::air()
{
    if (!airChosen())
        return standard();
    noteAirState();
    return airMissing ? fallback() : listed(airId);
}

void OutputDevices::routeAir(QMediaPlayer *player)
{
    QAudioOutput *output = player->audioOutput();
    if (!airChosen() || !output)
        return;
    const QAudioDevice device = air();
    const char *const routedAt = "orvaradioRoutedAt";
    if (output->device() == device && output->property(routedAt).toInt() == changes)
        return;
    if (!player->source().isEmpty())
        player->setSource(QUrl());
    // Setting the device it already has changes nothing: it goes by no
    // device first.
    if (output->device() == device)
        output->setDevice(QAudioDevice());
    output->setDevice(device);
    output->setProperty(routedAt, changes);
    emit airMoved(device.id());
}

OutputDevices::PreviewState OutputDevices::previewState()
{
    if (previewId.isEmpty())
        return PreviewState::NotSet;
    if (!present(previewId))
        return PreviewState::Missing;
    return airOnPreview || air().id() == previewId ? PreviewState::SameAsAir : PreviewState::Ready;
}

QAudioDevice OutputDevices::preview()
{
    return previewState() == PreviewState::Ready ? listed(previewId) : QAudioDevice();
}
