#ifndef LOUDNESS_H
#define LOUDNESS_H

#include "cuepoints.h"
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

    static constexpr double kDefaultCueSilenceDb = -50.0;
    static constexpr double kDefaultCueFadeLu = 12.0;
    // Whether the decoder finds each file's cue points while it measures, and
    // with what: the level (dBFS, sample peak) below which a file's start and
    // end are silence, and how far (LU) below its own integrated loudness its
    // sound falls for good where it fades out. For the whole process; a value
    // out of range (-90..-20 dBFS, 1..40 LU) gives way to the default.
    static void setCuesWanted(bool wanted);
    static bool cuesWanted();
    static void setCueThresholds(double silenceDb, double fadeLu);

    // What is known of the file as it is on disk now.
    std::optional<LoudnessMeasure> measure(const QString &path) const;
    // Its cue points: unknown ones when they were looked for and not found,
    // nullopt when it was measured without looking for them (or not at all).
    std::optional<CuePoints> cues(const QString &path) const;
    // Nothing more to find in the file: measured, and its cue points looked
    // for when they are wanted.
    bool measuredFully(const QString &path) const;
    void record(const QString &path, const LoudnessMeasure &measure,
                const std::optional<CuePoints> &cues = std::nullopt);

    // The gain in dB an item of `path` plays at: from its measure, else the
    // median of the library measured so far; 0 with normalisation off.
    double gainDb(const QString &path) const;
    // The gain as a factor of a channel's volume, for an item starting now.
    // An item quieter than the target is named in the log.
    float startGain(const QString &path);
    static float factor(double gainDb);

    // The decoder arguments that make ffmpeg measure while it decodes: the
    // log level that lets its summary through, and the filter for a file
    // of that length (the decoder's own output stays its first).
    static QStringList logArguments();
    static QStringList filterArguments(double lengthSeconds = -1.0, bool frameLog = true);
    // From such a decoder's log: the measure, and the error lines alone.
    static std::optional<LoudnessMeasure> fromLog(const QByteArray &log);
    // The cue points in such a log of a decode `lengthMs` long, when it
    // looked for them; nullopt when it did not. Unless `fadeLogged`, the
    // meter did not log its every 100 ms, and the fade is left to
    // fadeFromSamples().
    static std::optional<CuePoints> cuesFromLog(const QByteArray &log, qint64 lengthMs, bool fadeLogged = true);
    // The fade-out start of the sound between `cues`, read from a WAV of it.
    static qint64 fadeFromSamples(const QString &wav, const CuePoints &cues, double integratedLufs);
    static QByteArray errorLines(const QByteArray &log);

signals:
    void measured(const QString &path);

private:
    struct Known
    {
        FileStamp stamp;
        LoudnessMeasure measure;
        std::optional<CuePoints> cues;
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
