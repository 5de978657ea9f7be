#include "outputdevices.h"

#include <QAudioOutput>
#include <QDebug>
#include <QMediaDevices>
#include <QProcess>
#include <QTimer>
#include <QVariant>

namespace {

constexpr int kWatchMs = 1000;

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
    watcher->start(kWatchMs);
    askServer();
    noteAirState();
}

OutputDevices::~OutputDevices()
{
    if (lister) {
        lister->disconnect(this);
        lister->kill();
        lister->waitForFinished(1000);
    }
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
    return !id.isEmpty() && !listed(id).isNull() && (!serverAnswered || serverOutputs.contains(id));
}

void OutputDevices::askServer()
{
    if (lister)
        return;
    lister = new QProcess(this);
    connect(lister, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        serverAnswered = status == QProcess::NormalExit && code == 0;
        serverOutputs.clear();
        // "<index>\t<name>\t<driver>\t<format>\t<state>" per output.
        const QList<QByteArray> lines = lister->readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() > 1)
                serverOutputs.insert(fields[1]);
        }
        lister->deleteLater();
        lister = nullptr;
        noteAirState();
    });
    // Without the sound server's tool, the media framework's list is all there is.
    connect(lister, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        serverAnswered = false;
        lister->deleteLater();
        lister = nullptr;
    });
    lister->start(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")});
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
    if (missing)
        qWarning() << "Output device" << airId << "not found: the air plays to the system's default output";
    else
        qInfo() << "Output device" << airId << "is back: the next item plays to it";
}

QAudioDevice OutputDevices::air()
{
    if (!airChosen())
        return QMediaDevices::defaultAudioOutput();
    noteAirState();
    return airMissing ? QMediaDevices::defaultAudioOutput() : listed(airId);
}

void OutputDevices::routeAir(QAudioOutput *output)
{
    if (!airChosen())
        return;
    const QAudioDevice device = air();
    const char *const routedAt = "orvaradioRoutedAt";
    if (output->device() == device && output->property(routedAt).toInt() == changes)
        return;
    // Setting the device it already has changes nothing: it goes by the
    // default output first.
    if (output->device() == device)
        output->setDevice(QMediaDevices::defaultAudioOutput());
    output->setDevice(device);
    output->setProperty(routedAt, changes);
}

OutputDevices::PreviewState OutputDevices::previewState()
{
    if (previewId.isEmpty())
        return PreviewState::NotSet;
    if (!present(previewId))
        return PreviewState::Missing;
    return air().id() == previewId ? PreviewState::SameAsAir : PreviewState::Ready;
}

QAudioDevice OutputDevices::preview()
{
    return previewState() == PreviewState::Ready ? listed(previewId) : QAudioDevice();
}
