#ifndef AIRLEVELS_H
#define AIRLEVELS_H

#include <QElapsedTimer>

#include <array>
#include <optional>

class QAudioBuffer;

// What the level meters show: the air as it goes to the output, that is each
// channel's decoded audio times its output volume (so fades, the talk-over's
// dip and the loudness gain show), two channels in a hand-over summed as
// power. The silence watchdog does not look here: it judges the items
// themselves, which neither a fade nor the talk-over makes silent.
class AirLevels
{
public:
    static constexpr int kChannels = 2;
    // Blocks come every 40 to 100 ms while a channel delivers audio; none for
    // this long, and the channel adds nothing.
    static constexpr qint64 kNoAudioMs = 200;

    struct Segments
    {
        int left = 0;
        int right = 0;
    };

    struct Rms
    {
        double left = 0.0;
        double right = 0.0;
    };
    // A block's RMS per side (0..1); a mono block gives both sides the same.
    // Nothing for a layout or sample format the meters do not read.
    static std::optional<Rms> rmsOf(const QAudioBuffer &buffer);

    // Meter segments 0..33 for -60..0 dBFS of RMS.
    static int segmentsFor(double rms);

    // A block that `channel` decoded, at these RMS values (0..1).
    void block(int channel, double rmsLeft, double rmsRight);
    // A block as `channel` delivered it: the item's level, and the
    // channel's part of the air.
    void take(int channel, const QAudioBuffer &buffer);
    // Once no channel plays, or the one that plays delivers nothing (a
    // stalled source), the last block no longer says that something sounds.
    void settle(bool playing);
    // The item's own level in segments, as the last block gave it: what the
    // watchdog judges.
    Segments item;
    bool silent() const { return item.left <= 0 && item.right <= 0; }
    // The air, the channels playing at these output volumes (0 for one that
    // does not play).
    Segments air(const std::array<float, kChannels> &volumes) const;

private:
    struct Last
    {
        double left = 0.0;
        double right = 0.0;
        QElapsedTimer at;
    };
    std::array<Last, kChannels> last;
    QElapsedTimer lastBlockAt;
};

#endif
