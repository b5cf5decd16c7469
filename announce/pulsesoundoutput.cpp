// The sound output on the sound server's default sink.
#include "announce/pulsesoundoutput.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <QElapsedTimer>

#include <chrono>
#include <vector>

namespace lapvane {

namespace {

// The sound server's description of raw samples: format, rate and channels.
using PulseFormat = pa_sample_spec;

bool toPulseFormat(const QAudioFormat &format, PulseFormat *pcm)
{
    switch (format.sampleFormat()) {
    case QAudioFormat::UInt8:
        pcm->format = PA_SAMPLE_U8;
        break;
    case QAudioFormat::Int16:
        pcm->format = PA_SAMPLE_S16LE;
        break;
    case QAudioFormat::Int32:
        pcm->format = PA_SAMPLE_S32LE;
        break;
    case QAudioFormat::Float:
        pcm->format = PA_SAMPLE_FLOAT32LE;
        break;
    default:
        return false;
    }
    pcm->rate = uint32_t(format.sampleRate());
    pcm->channels = uint8_t(format.channelCount());
    return pa_sample_spec_valid(pcm) != 0;
}

} // namespace

PulseSoundOutput::PulseSoundOutput(QObject *parent) : SoundOutput(parent) {}

PulseSoundOutput::~PulseSoundOutput()
{
    std::map<quint64, std::unique_ptr<Playback>> all;
    {
        QMutexLocker lock(&m_lock);
        for (auto &[id, p] : m_playbacks)
            p->stop = true;
        all.swap(m_playbacks);
    }
    for (auto &[id, p] : all)
        if (p->worker.joinable())
            p->worker.join();
}

quint64 PulseSoundOutput::play(const PcmClip &clip)
{
    if (clip.isEmpty())
        return 0;
    reapDone();
    if (!m_hasDevice) {
        // While the server is away the sounds are skipped at once; now and
        // then one tries it again.
        QMutexLocker lock(&m_lock);
        if (m_lastFailure.isValid() && m_lastFailure.elapsed() < kRecheckMs)
            return 0;
        m_lastFailure.start();
    }
    const quint64 id = ++m_nextId;
    QMutexLocker lock(&m_lock);
    auto &p = m_playbacks[id];
    p = std::make_unique<Playback>();
    Playback *raw = p.get();
    p->worker = std::thread([this, id, raw, clip] { run(id, raw, clip); });
    return id;
}

void PulseSoundOutput::stop(quint64 id)
{
    QMutexLocker lock(&m_lock);
    auto it = m_playbacks.find(id);
    if (it != m_playbacks.end())
        it->second->stop = true;
}

int PulseSoundOutput::playing() const
{
    QMutexLocker lock(&m_lock);
    int n = 0;
    for (const auto &[id, p] : m_playbacks)
        n += p->done ? 0 : 1;
    return n;
}

void PulseSoundOutput::reapDone()
{
    std::vector<std::unique_ptr<Playback>> ended;
    {
        QMutexLocker lock(&m_lock);
        for (auto it = m_playbacks.begin(); it != m_playbacks.end();) {
            if (it->second->done) {
                ended.push_back(std::move(it->second));
                it = m_playbacks.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto &p : ended)
        p->worker.join();
}

void PulseSoundOutput::connected(bool ok)
{
    if (ok) {
        m_hasDevice = true;
        // Once per outage: the line when it began, this one when it ended.
        if (m_toldNoDevice.exchange(false))
            emit logLine(QStringLiteral("Sound output device is back: sound cues and speech play again."));
        return;
    }
    {
        QMutexLocker lock(&m_lock);
        m_lastFailure.start();
    }
    m_hasDevice = false;
    if (!m_toldNoDevice.exchange(true))
        emit logLine(QStringLiteral("No sound output device: sound cues and speech are skipped."));
}

// One playback, on its own thread: connect, hand the samples over a little
// ahead of the speakers, and end when the last one has been played.
void PulseSoundOutput::run(quint64 id, Playback *p, const PcmClip &clip)
{
    PulseFormat pcm{};
    pa_simple *stream = nullptr;
    int error = 0;
    if (toPulseFormat(clip.format, &pcm)) {
        // A short buffer: a stop is heard at once, and the end of the sound
        // has little left to drain.
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa_usec_to_bytes(pa_usec_t(kAheadMs) * 1000, &pcm));
        // It starts playing once a write or two are in (the server's own
        // choice may exceed what it lets the stream hold, and a stream
        // never started waits for ever).
        attr.prebuf = uint32_t(pa_usec_to_bytes(20000, &pcm));
        attr.minreq = uint32_t(pa_usec_to_bytes(10000, &pcm));
        attr.fragsize = uint32_t(-1);
        const QByteArray name = clip.name.isEmpty() ? QByteArrayLiteral("sound") : clip.name.toUtf8();
        stream = pa_simple_new(nullptr, "Lapvane Admin", PA_STREAM_PLAYBACK, nullptr, name.constData(), &pcm,
                               nullptr, &attr, &error);
        connected(stream != nullptr);
    } else {
        emit logLine(
            QStringLiteral("The sound %1 has a sample format the sound output cannot play; it is skipped.")
                .arg(clip.name));
    }

    if (stream) {
        const qsizetype frame = qsizetype(pa_frame_size(&pcm));
        // 10 ms a write: between writes a stop is noticed.
        const qsizetype chunk =
            qMax<qsizetype>(frame, qsizetype(pa_usec_to_bytes(10000, &pcm)) / frame * frame);
        const char *data = clip.samples.constData();
        const qsizetype size = clip.samples.size() / frame * frame;
        bool ok = true;
        bool told = false;
        for (qsizetype at = 0; at < size && ok && !p->stop; at += chunk) {
            ok = pa_simple_write(stream, data + at, size_t(qMin(chunk, size - at)), &error) == 0;
            if (ok && !told) {
                told = true;
                emit started(id);
            }
        }
        if (ok && p->stop)
            pa_simple_flush(stream, &error);
        else if (ok)
            // Every sample played, not only handed over: the end of the
            // sound is heard.
            ok = pa_simple_drain(stream, &error) == 0;
        if (ok && !p->stop) {
            // The server counts a stream drained once its samples are in
            // the sink's own buffer; closing it then would take them back
            // out. Wait for the sink to play them.
            const pa_usec_t left = pa_simple_get_latency(stream, &error);
            QElapsedTimer waited;
            waited.start();
            while (!p->stop && waited.elapsed() < qMin<qint64>(qint64(left / 1000), 500))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!ok)
            connected(false); // the server went away while playing
        pa_simple_free(stream);
    }
    p->done = true;
    emit finished(id);
}

} // namespace lapvane
