#include "fadefinder.h"

#include "wavreader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// The loudness meter's blocks: 400 ms windows every 100 ms; a fall is placed
// at the middle of the window that crosses the floor.
constexpr qint64 kStepMs = 100;
constexpr int kStepsPerWindow = 4;
constexpr qint64 kWindowMiddleMs = kStepMs * kStepsPerWindow / 2;
// Read ahead of the part searched, for the filters to settle.
constexpr qint64 kSettleMs = 500;
constexpr qint64 kFramesPerRead = 16384;

// One biquad section, direct form II transposed.
struct Biquad
{
    double b0, b1, b2, a1, a2;
    double z1 = 0.0, z2 = 0.0;
    double run(double x)
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// The K-weighting of loudness meters at `rate`: a high shelf for the head's
// effect, then a high pass.
std::array<Biquad, 2> kWeighting(int rate)
{
    const double pi = 3.14159265358979323846;
    double k = std::tan(pi * 1681.974450955533 / rate);
    double q = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20.0);
    const double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    const Biquad shelf{(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                       2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    k = std::tan(pi * 38.13547087602444 / rate);
    q = 0.5003270373238773;
    a0 = 1.0 + k / q + k * k;
    const Biquad highPass{1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    return {shelf, highPass};
}

} // namespace

namespace FadeFinder {

qint64 find(const QString &wavPath, qint64 startMs, qint64 endMs, double floorLufs, qint64 searchMs,
            qint64 shortestMs)
{
    WavReader reader;
    if (!reader.open(wavPath) || endMs <= startMs)
        return -1;
    const QAudioFormat format = reader.format();
    const int rate = format.sampleRate();
    const int channels = format.channelCount();
    if (rate <= 0 || channels <= 0)
        return -1;
    const qint64 searchFrom = std::max(startMs, endMs - searchMs);
    const qint64 readFrom = std::max<qint64>(0, searchFrom - kStepMs * kStepsPerWindow - kSettleMs);
    const qint64 stepFrames = rate * kStepMs / 1000;
    qint64 frame = readFrom * rate / 1000;
    const qint64 lastFrame = std::min(reader.frameCount(), endMs * rate / 1000);
    std::vector<std::array<Biquad, 2>> filters(size_t(channels), kWeighting(rate));
    // The summed square of each step, the last few kept for the window.
    std::vector<double> steps;
    std::vector<std::pair<qint64, double>> momentary;
    double stepSum = 0.0;
    qint64 inStep = 0;
    while (frame < lastFrame) {
        const QAudioBuffer block = reader.read(frame, std::min(kFramesPerRead, lastFrame - frame));
        if (!block.isValid())
            return -1;
        const qint64 count = block.frameCount();
        const bool int16 = format.sampleFormat() == QAudioFormat::Int16;
        const auto *shorts = block.constData<qint16>();
        const auto *floats = block.constData<float>();
        for (qint64 i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) {
                const qint64 at = i * channels + c;
                const double x = int16 ? shorts[at] / 32768.0 : double(floats[at]);
                auto &filter = filters[size_t(c)];
                const double y = filter[1].run(filter[0].run(x));
                stepSum += y * y;
            }
            if (++inStep < stepFrames)
                continue;
            steps.push_back(stepSum);
            stepSum = 0.0;
            inStep = 0;
            const qint64 stepEnd = (frame + i + 1) * 1000 / rate;
            if (steps.size() >= size_t(kStepsPerWindow) && stepEnd - kWindowMiddleMs >= searchFrom) {
                double sum = 0.0;
                for (size_t s = steps.size() - kStepsPerWindow; s < steps.size(); ++s)
                    sum += steps[s];
                const double meanSquare = sum / double(stepFrames * kStepsPerWindow);
                momentary.emplace_back(stepEnd - kWindowMiddleMs,
                                       meanSquare > 0.0 ? -0.691 + 10.0 * std::log10(meanSquare) : -200.0);
            }
        }
        frame += count;
    }
    if (momentary.empty())
        return -1;
    // The last moment at or above the floor; a level that holds to the end
    // is no fade, and one that never reaches it here none that can be placed.
    auto above = std::find_if(momentary.crbegin(), momentary.crend(),
                              [floorLufs](const auto &m) { return m.second >= floorLufs; });
    if (above == momentary.crbegin() || above == momentary.crend())
        return -1;
    const auto after = std::prev(above);
    const double fraction = (above->second - floorLufs) / (above->second - after->second);
    const qint64 fade = above->first + qint64(double(after->first - above->first) * fraction);
    return fade > startMs && endMs - fade >= shortestMs ? fade : -1;
}

} // namespace FadeFinder
