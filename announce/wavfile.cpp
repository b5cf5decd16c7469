// Reading WAV files into memory and writing 16-bit PCM WAV files.
#include "announce/wavfile.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace lapvane {

namespace {

quint16 u16(const char *p) { return qFromLittleEndian<quint16>(p); }
quint32 u32(const char *p) { return qFromLittleEndian<quint32>(p); }

bool fail(QString *error, const QString &reason)
{
    if (error)
        *error = reason;
    return false;
}

} // namespace

bool parseWav(const QByteArray &bytes, PcmClip *clip, QString *error)
{
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return fail(error, QStringLiteral("not a WAV file"));
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype pos = 12;
    bool haveFormat = false;
    quint16 formatTag = 0, channels = 0, bits = 0;
    quint32 rate = 0;
    while (pos + 8 <= size) {
        const QByteArray id = bytes.mid(pos, 4);
        const quint32 chunk = u32(data + pos + 4);
        const qsizetype body = pos + 8;
        // A data chunk that claims more than the file holds (a recorder that
        // never wrote the length) is taken as far as it goes.
        const qsizetype avail = qMin<qsizetype>(qsizetype(chunk), size - body);
        if (id == "fmt ") {
            if (avail < 16)
                return fail(error, QStringLiteral("damaged format chunk"));
            formatTag = u16(data + body);
            channels = u16(data + body + 2);
            rate = u32(data + body + 4);
            bits = u16(data + body + 14);
            // WAVE_FORMAT_EXTENSIBLE keeps the real format in its sub-format GUID.
            if (formatTag == 0xFFFE && avail >= 26)
                formatTag = u16(data + body + 24);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return fail(error, QStringLiteral("no format chunk before the samples"));
            if (channels < 1 || channels > 8 || rate < 1000 || rate > 384000)
                return fail(error, QStringLiteral("%1 channels at %2 Hz cannot be played").arg(channels).arg(rate));
            // Every clip leaves as 16-bit samples, the format every output takes.
            int width = 0;
            if (formatTag == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32))
                width = bits / 8;
            else if (formatTag == 3 && bits == 32)
                width = 4;
            else
                return fail(error, QStringLiteral("unsupported sample format (format %1, %2 bit)")
                                       .arg(formatTag)
                                       .arg(bits));
            const qsizetype frameBytes = qsizetype(width) * channels;
            const qsizetype count = (avail / frameBytes) * channels;
            QByteArray samples(count * 2, Qt::Uninitialized);
            qint16 *out = reinterpret_cast<qint16 *>(samples.data());
            const char *in = data + body;
            for (qsizetype i = 0; i < count; ++i, in += width) {
                qint32 v = 0;
                switch (width) {
                case 1: v = (qint32(quint8(in[0])) - 128) << 8; break;
                case 2: v = qFromLittleEndian<qint16>(in); break;
                case 3: v = qint16(quint16(quint8(in[1]) | (quint8(in[2]) << 8))); break;
                case 4:
                    if (formatTag == 3) {
                        float fv;
                        const quint32 raw = u32(in);
                        std::memcpy(&fv, &raw, 4);
                        v = std::isfinite(fv) ? qint32(qBound(-1.0f, fv, 1.0f) * 32767.0f) : 0;
                    } else {
                        v = qint32(u32(in)) >> 16;
                    }
                    break;
                }
                out[i] = qint16(v);
            }
            if (samples.isEmpty())
                return fail(error, QStringLiteral("no samples"));
            QAudioFormat f;
            f.setChannelCount(channels);
            f.setSampleRate(int(rate));
            f.setSampleFormat(QAudioFormat::Int16);
            clip->format = f;
            clip->samples = samples;
            return true;
        }
        pos = body + qsizetype(chunk) + (chunk & 1);
    }
    return fail(error, QStringLiteral("no samples"));
}

bool readWav(const QString &path, PcmClip *clip, QString *error)
{
    if (path.isEmpty())
        return fail(error, QStringLiteral("no file chosen"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, file.errorString());
    // A cue is a few seconds; a file far larger is not meant as one.
    constexpr qint64 kMaxBytes = 64LL * 1024 * 1024;
    if (file.size() > kMaxBytes)
        return fail(error, QStringLiteral("the file is larger than 64 MB"));
    if (!parseWav(file.readAll(), clip, error))
        return false;
    clip->name = path;
    return true;
}

QByteArray wavBytes(const QByteArray &int16Samples, int sampleRate, int channels)
{
    QByteArray out;
    const quint32 dataSize = quint32(int16Samples.size());
    auto put16 = [&out](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    auto put32 = [&out](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    out.append("RIFF");
    put32(36 + dataSize);
    out.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(quint16(channels));
    put32(quint32(sampleRate));
    put32(quint32(sampleRate * channels * 2));
    put16(quint16(channels * 2));
    put16(16);
    out.append("data");
    put32(dataSize);
    out.append(int16Samples);
    return out;
}

} // namespace lapvane
