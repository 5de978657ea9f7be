#ifndef WAVREADER_H
#define WAVREADER_H

#include <QAudioBuffer>
#include <QAudioFormat>
#include <QFile>

// Reads the samples of a WAV file at any position, without decoding it
// through the media framework: the level tap of a channel asks for the block
// the player has reached. It understands PCM of 8, 16, 24 or 32 bits and
// float of 32 or 64 bits, plain or in the extensible header, mono or stereo,
// with other chunks anywhere; a data size that overstates the file (a cut-off
// copy) is trimmed to what is there. Anything else is not for this reader.
class WavReader
{
public:
    // What the chunks of a RIFF/WAVE file say, whatever its encoding.
    struct Chunks
    {
        quint16 tag = 0; // the format tag, the extensible header's sub-format resolved
        int channels = 0;
        int rate = 0;
        int blockAlign = 0;
        int bits = 0;
        qint64 dataStart = 0;
        qint64 dataBytes = -1; // -1: no data chunk; trimmed to what the file holds
        qint64 declaredBytes = -1; // what the header claims; -1 when it leaves it open
    };
    // False when `file`, open for reading, is no RIFF/WAVE file or its
    // header cannot be read.
    static bool readChunks(QFile &file, Chunks &chunks);

    // False when the file is not a WAV this reader understands.
    bool open(const QString &path);
    void close();
    bool isOpen() const { return file.isOpen(); }

    // The format of the blocks read() returns: the file's rate and channels,
    // 16-bit samples as they are, every other kind as float.
    QAudioFormat format() const { return blockFormat; }
    qint64 frameCount() const { return frames; }

    // Up to `count` frames from `first`, with the block's start time set;
    // an invalid buffer past the end or when the file cannot be read.
    QAudioBuffer read(qint64 first, qint64 count);

private:
    enum class Encoding { UnsignedInt, SignedInt, Float };

    bool parse();

    QFile file;
    QAudioFormat blockFormat;
    Encoding encoding = Encoding::SignedInt;
    int bytesPerSample = 0;
    int frameBytes = 0;
    qint64 dataStart = 0;
    qint64 frames = 0;
};

#endif
