#include "wavreader.h"

#include <QFileInfo>
#include <QtEndian>

#include <cstring>

namespace {

constexpr quint16 kFormatPcm = 1;
constexpr quint16 kFormatFloat = 3;
constexpr quint16 kFormatExtensible = 0xFFFE;
// The tail of the sub-format GUID that the extensible header shares with
// the plain format tags; the tag itself is in its first two bytes.
constexpr char kSubFormatTail[] = "\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
constexpr int kSubFormatTailSize = 14;
constexpr int kFmtSize = 16;
constexpr int kExtensibleFmtSize = 40;

quint16 le16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}

quint32 le32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

qint32 sample24(const uchar *p)
{
    return qint32(quint32(p[0]) << 8 | quint32(p[1]) << 16 | quint32(p[2]) << 24) >> 8;
}

} // namespace

bool WavReader::open(const QString &path)
{
    close();
    // A pipe would block the caller until it has a writer, and lose its data.
    if (!QFileInfo(path).isFile())
        return false;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    if (parse())
        return true;
    close();
    return false;
}

void WavReader::close()
{
    file.close();
    blockFormat = QAudioFormat();
    frames = 0;
}

bool WavReader::readChunks(QFile &file, Chunks &chunks)
{
    char header[12];
    if (!file.seek(0) || file.read(header, sizeof header) != sizeof header
        || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return false;

    const qint64 size = file.size();
    qint64 position = sizeof header;
    while (position + 8 <= size && (chunks.tag == 0 || chunks.dataBytes < 0)) {
        char chunk[8];
        if (!file.seek(position) || file.read(chunk, 8) != 8)
            return false;
        const qint64 body = position + 8;
        const qint64 declared = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            char fmt[kExtensibleFmtSize] = {};
            if (declared < kFmtSize || file.read(fmt, qMin<qint64>(declared, sizeof fmt)) < kFmtSize)
                return false;
            chunks.tag = le16(fmt);
            chunks.channels = le16(fmt + 2);
            chunks.rate = int(le32(fmt + 4));
            chunks.blockAlign = le16(fmt + 12);
            chunks.bits = le16(fmt + 14);
            if (chunks.tag == kFormatExtensible) {
                if (declared < kExtensibleFmtSize
                    || std::memcmp(fmt + 26, kSubFormatTail, kSubFormatTailSize) != 0)
                    return false;
                chunks.tag = le16(fmt + 24);
            }
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            chunks.dataStart = body;
            // A cut-off copy, or a writer that could not go back to fill in
            // the size, claims more than there is.
            const qint64 available = qMax<qint64>(0, size - body);
            chunks.dataBytes = declared == 0 || declared > available ? available : declared;
            // 0 and the largest size are what writers put in when they cannot say.
            if (declared > 0 && declared < 0xffffffffLL)
                chunks.declaredBytes = declared;
        }
        position = body + declared + (declared & 1);
    }
    return true;
}

bool WavReader::parse()
{
    Chunks chunks;
    if (!readChunks(file, chunks))
        return false;
    const int channels = chunks.channels;
    const int bits = chunks.bits;
    if (chunks.dataBytes < 0 || (channels != 1 && channels != 2) || chunks.rate <= 0)
        return false;

    if (chunks.tag == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32))
        encoding = bits == 8 ? Encoding::UnsignedInt : Encoding::SignedInt;
    else if (chunks.tag == kFormatFloat && (bits == 32 || bits == 64))
        encoding = Encoding::Float;
    else
        return false;
    bytesPerSample = bits / 8;
    frameBytes = bytesPerSample * channels;
    if (chunks.blockAlign != frameBytes)
        return false;

    dataStart = chunks.dataStart;
    frames = chunks.dataBytes / frameBytes;
    blockFormat.setSampleRate(chunks.rate);
    blockFormat.setChannelCount(channels);
    blockFormat.setSampleFormat(encoding == Encoding::SignedInt && bits == 16 ? QAudioFormat::Int16
                                                                             : QAudioFormat::Float);
    return true;
}

QAudioBuffer WavReader::read(qint64 first, qint64 count)
{
    if (!file.isOpen() || first < 0 || first >= frames || count <= 0)
        return {};
    count = qMin(count, frames - first);
    if (!file.seek(dataStart + first * frameBytes))
        return {};
    QByteArray raw = file.read(count * frameBytes);
    count = raw.size() / frameBytes;
    if (count == 0)
        return {};
    raw.truncate(count * frameBytes);
    const qint64 startUs = first * 1000000 / blockFormat.sampleRate();
    if (blockFormat.sampleFormat() == QAudioFormat::Int16)
        return QAudioBuffer(raw, blockFormat, startUs);

    const qsizetype samples = count * blockFormat.channelCount();
    QByteArray converted(samples * qsizetype(sizeof(float)), Qt::Uninitialized);
    auto *out = reinterpret_cast<float *>(converted.data());
    const auto *in = reinterpret_cast<const uchar *>(raw.constData());
    for (qsizetype i = 0; i < samples; ++i, in += bytesPerSample) {
        switch (encoding) {
        case Encoding::UnsignedInt:
            out[i] = float((int(*in) - 128) / 128.0);
            break;
        case Encoding::SignedInt:
            out[i] = bytesPerSample == 3
                         ? float(sample24(in) / 8388608.0)
                         : float(qFromLittleEndian<qint32>(in) / 2147483648.0);
            break;
        case Encoding::Float:
            out[i] = bytesPerSample == 4 ? qFromLittleEndian<float>(in)
                                         : float(qFromLittleEndian<double>(in));
            break;
        }
    }
    return QAudioBuffer(converted, blockFormat, startUs);
}
