#include "airlevels.h"

#include <QAudioBuffer>
#include <QtGlobal>

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

std::optional<AirLevels::Rms> AirLevels::rmsOf(const QAudioBuffer &buffer)
{
    const QAudioFormat format = buffer.format();
    const int channels = format.channelCount();
    if (channels != 1 && channels != 2)
        return std::nullopt;
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
        return std::nullopt;
    }
    const qsizetype frames = channels == 1 ? samples : samples / 2;
    if (frames <= 0)
        return Rms{};
    return Rms{std::sqrt(left / double(frames)), std::sqrt(right / double(frames))};
}

int AirLevels::segmentsFor(double rms)
{
    if (!(rms > 0.0))
        return 0;
    const int level = int((20.0 * std::log10(rms) + 60.0) * 33.0 / 60.0);
    return qBound(0, level, 33);
}

void AirLevels::block(int channel, double rmsLeft, double rmsRight)
{
    if (channel < 0 || channel >= kChannels)
        return;
    last[size_t(channel)] = {rmsLeft, rmsRight, {}};
    last[size_t(channel)].at.start();
}

void AirLevels::take(int channel, const QAudioBuffer &buffer)
{
    const std::optional<Rms> rms = rmsOf(buffer);
    if (!rms)
        return;
    item = {segmentsFor(rms->left), segmentsFor(rms->right)};
    lastBlockAt.start();
    block(channel, rms->left, rms->right);
}

void AirLevels::settle(bool playing)
{
    if (!playing || !lastBlockAt.isValid() || lastBlockAt.elapsed() > kNoAudioMs)
        item = {};
}

AirLevels::Segments AirLevels::air(const std::array<float, kChannels> &volumes) const
{
    double left = 0.0;
    double right = 0.0;
    for (size_t channel = 0; channel < last.size(); ++channel) {
        const Last &block = last[channel];
        if (!block.at.isValid() || block.at.elapsed() > kNoAudioMs)
            continue;
        const double volume = volumes[channel];
        left += block.left * block.left * volume * volume;
        right += block.right * block.right * volume * volume;
    }
    return {segmentsFor(std::sqrt(left)), segmentsFor(std::sqrt(right))};
}
