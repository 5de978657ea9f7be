#include "airlevels.h"

#include <QtGlobal>

#include <cmath>

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
