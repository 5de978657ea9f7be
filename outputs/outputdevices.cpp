#include "outputdevices.h"

#include <QAudioOutput>
#include <QDebug>
#include <QMediaDevices>
#include <QTimer>
#include <QVariant>

namespace {

// The device list is looked at this often, for a log line when the chosen
// output goes away or comes back; the media framework's own change signal
// does not come on every backend.
constexpr int kWatchMs = 1000;

} // namespace

OutputDevices::OutputDevices(const QByteArray &airId, const QByteArray &previewId, QObject *parent)
    : QObject(parent)
    , airId(airId)
    , previewId(previewId)
    , watcher(new QTimer(this))
{
    if (!airChosen())
        return;
    connect(watcher, &QTimer::timeout, this, &OutputDevices::watch);
    watcher->start(kWatchMs);
    watch();
}

QAudioDevice OutputDevices::find(const QByteArray &id)
{
    if (id.isEmpty())
        return {};
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    for (const QAudioDevice &device : outputs) {
        if (device.id() == id)
            return device;
    }
    return {};
}

void OutputDevices::watch()
{
    const bool missing = find(airId).isNull();
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
    watch();
    const QAudioDevice chosen = find(airId);
    return chosen.isNull() ? QMediaDevices::defaultAudioOutput() : chosen;
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
    if (find(previewId).isNull())
        return PreviewState::Missing;
    return air().id() == previewId ? PreviewState::SameAsAir : PreviewState::Ready;
}

QAudioDevice OutputDevices::preview()
{
    return previewState() == PreviewState::Ready ? find(previewId) : QAudioDevice();
}
