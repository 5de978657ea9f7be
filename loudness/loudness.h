#ifndef LOUDNESS_H
#define LOUDNESS_H

#include "deskfiles.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QVariant;

// Integrated loudness (LUFS, gated, ITU-R BS.1770) and true peak (dBTP) of one file.
struct LoudnessMeasure
{
    double integrated = 0.0;
    double truePeak = 0.0;
};

// The loudness of the station's files, measured once by the decoder that
// prepares them and kept across restarts, and the gain each item plays at:
// with normalisation on, the one that brings it to the target without its
// true peak passing -1 dBTP, never above its own level.
class Loudness : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultTarget = -23;
    static constexpr int kLowestTarget = -31;
    static constexpr int kHighestTarget = -14;

    // Measurements are kept in `storeFile`; a damaged one costs a warning.
    explicit Loudness(const QString &storeFile, QObject *parent = nullptr);

    // "$XDG_CACHE_HOME/OrvaRadio/loudness.txt".
    static QString defaultStoreFile();
    // "audio/loudnessTarget": a whole number of LUFS in range, else the default.
    static int targetFrom(const QVariant &stored);

    void configure(bool normalize, int target);
    bool normalizing() const { return normalize; }
    int target() const { return targetLufs; }

    // What is known of the file as it is on disk now.
    std::optional<LoudnessMeasure> measure(const QString &path) const;
    void record(const QString &path, const LoudnessMeasure &measure);

    // The gain in dB an item of `path` plays at: from its measure, else the
    // median of the library measured so far; 0 with normalisation off.
    double gainDb(const QString &path) const;
    // The gain as a factor of a channel's volume, for an item starting now.
    // An item quieter than the target is named in the log.
    float startGain(const QString &path);
    static float factor(double gainDb);

    // The decoder arguments that make ffmpeg measure while it decodes: the
    // log level that lets its summary through, and the filter.
    static QStringList logArguments();
    static QStringList filterArguments();
    // From such a decoder's log: the measure, and the error lines alone.
    static std::optional<LoudnessMeasure> fromLog(const QByteArray &log);
    static QByteArray errorLines(const QByteArray &log);

signals:
    void measured(const QString &path);

private:
    struct Known
    {
        FileStamp stamp;
        LoudnessMeasure measure;
    };
    void load();
    void rewrite();
    static QByteArray lineOf(const QString &path, const Known &known);
    double gainOf(const LoudnessMeasure &measure) const;
    double medianGain() const;

    QString storeFile;
    QHash<QString, Known> known;
    bool normalize = false;
    int targetLufs = kDefaultTarget;
    mutable std::optional<double> median;
    bool writeWarned = false;
};

#endif
