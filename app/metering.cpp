#include "mainwindow.h"

#include <QAudioBuffer>

#include <cmath>

namespace {

template<typename Sample>
void sumSquares(const Sample *data, qsizetype count, double scale, int channels, double &left,
                double &right)
{
    if (channels == 1) {
        for (qsizetype i = 0; i < count; ++i) {
            const double x = data[i] * scale;
            left += x * x;
        }
        right = left;
        return;
    }
    for (qsizetype i = 0; i + 1 < count; i += 2) {
        const double l = data[i] * scale;
        const double r = data[i + 1] * scale;
        left += l * l;
        right += r * r;
    }
}

} // namespace

void MainWindow::calculateRMS(const QAudioBuffer &buffer)
{
    const QAudioFormat format = buffer.format();
    const int channels = format.channelCount();
    if (channels != 1 && channels != 2)
        return;

    const qsizetype samples = buffer.sampleCount();
    double left = 0.0;
    double right = 0.0;
    switch (format.sampleFormat()) {
    case QAudioFormat::Int16:
        sumSquares(buffer.constData<qint16>(), samples, 1.0 / 32768.0, channels, left, right);
        break;
    case QAudioFormat::Float:
        sumSquares(buffer.constData<float>(), samples, 1.0, channels, left, right);
        break;
    default:
        return;
    }

    const qsizetype frames = channels == 1 ? samples : samples / 2;
    const double rmsLeft = frames > 0 ? std::sqrt(left / double(frames)) : 0.0;
    const double rmsRight = frames > 0 ? std::sqrt(right / double(frames)) : 0.0;
    // The item's own level, for the watchdog; the meters show the air.
    levelLeft = AirLevels::segmentsFor(rmsLeft);
    levelRight = AirLevels::segmentsFor(rmsRight);
    lastBlockAt.start();
    airLevels.block(sender() == bufferOutput2 ? 1 : 0, rmsLeft, rmsRight);
}
