// The sound output on the default audio device.
#include "announce/devicesoundoutput.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <unordered_map>

namespace lapvane {

// Owns the audio sinks; every method runs on the audio thread.
class SinkPlayer : public QObject
{
public:
    std::function<void(quint64)> onStarted;
    std::function<void(quint64)> onEnded;
    std::function<void(const QString &)> onFailure;

    void start(quint64 id, const PcmClip &clip)
    {
        auto &p = m_playbacks[id];
        p.format = clip.format;
        p.buffer = std::make_unique<QBuffer>();
        // Silence after the sound: the server starts a stream only once it
        // holds a buffer's worth (a short cue alone would never be heard),
        // and the last real samples are played before the silence runs out.
        const qsizetype padBytes = qsizetype(clip.format.bytesForDuration(kPadMs * 1000));
        p.buffer->setData(clip.samples + QByteArray(padBytes, '\0'));
        p.buffer->open(QIODevice::ReadOnly);
        p.sink = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), clip.format);
        QAudioSink *sink = p.sink.get();
        QObject::connect(sink, &QAudioSink::stateChanged, this, [this, id, sink](QAudio::State state) {
            auto it = m_playbacks.find(id);
            if (state == QAudio::ActiveState && it != m_playbacks.end() && !it->second.started) {
                it->second.started = true;
                if (onStarted)
                    onStarted(id);
            }
            if (state == QAudio::StoppedState && sink->error() != QAudio::NoError)
                end(id);
            // Idle: every sample has been handed to the sound server, which
            // still holds up to a buffer of them; the playback ends once
            // those have been played, or its last sound would be cut off.
            else if (state == QAudio::IdleState && it != m_playbacks.end())
                drain(it->second);
        });
        sink->start(p.buffer.get());
        // A sink that failed inside start() may have ended the playback already.
        if (m_playbacks.find(id) == m_playbacks.end())
            return;
        if (sink->error() != QAudio::NoError) {
            // Said once until a sound plays again: a broken device must not
            // fill the log with a line per lap.
            if (!m_failing && onFailure)
                onFailure(QStringLiteral("The sound device did not play %1 (error %2); sounds are skipped.")
                              .arg(clip.name)
                              .arg(int(sink->error())));
            m_failing = true;
            end(id);
            return;
        }
        m_failing = false;
        // A device that never reports the end (a stalled sound server) must
        // not keep a cue or the speech "playing" for ever.
        p.watchdog = std::make_unique<QTimer>();
        p.watchdog->setSingleShot(true);
        QObject::connect(p.watchdog.get(), &QTimer::timeout, this, [this, id] { end(id); });
        p.watchdog->start(int(qMin<qint64>(clip.durationMs() + 2000, 10 * 60 * 1000)));
    }

    void stop(quint64 id) { end(id); }

    // Time the sound server may still be playing real samples after the last
    // bytes were handed over: what of the sink's buffer the silence does not
    // cover, and a margin for the server's own latency.
    static int drainMs(const QAudioSink &sink, const QAudioFormat &format)
    {
        const qint64 bytesPerSecond = qint64(format.bytesPerFrame()) * format.sampleRate();
        const qint64 buffered = bytesPerSecond > 0 ? qint64(sink.bufferSize()) * 1000 / bytesPerSecond : 0;
        return int(qBound<qint64>(0LL, buffered - kPadMs, 2000LL)) + kServerMarginMs;
    }

    void stopAll()
    {
        while (!m_playbacks.empty())
            end(m_playbacks.begin()->first);
    }

private:
    static constexpr int kPadMs = 200;
    static constexpr int kServerMarginMs = 40;

    struct Playback
    {
        std::unique_ptr<QBuffer> buffer;
        std::unique_ptr<QAudioSink> sink;
        std::unique_ptr<QTimer> watchdog;
        QAudioFormat format;
        bool started = false;
        bool draining = false;
    };

    void drain(Playback &p)
    {
        if (p.draining || !p.watchdog)
            return;
        p.draining = true;
        // The watchdog becomes the end of the playback.
        p.watchdog->start(drainMs(*p.sink, p.format));
    }

    void end(quint64 id)
    {
        auto it = m_playbacks.find(id);
        if (it == m_playbacks.end())
            return;
        Playback p = std::move(it->second);
        m_playbacks.erase(it);
        if (p.sink) {
            p.sink->disconnect(this);
            p.sink->stop();
        }
        // The sink may still be inside its own signal: let it go later.
        if (p.sink)
            p.sink.release()->deleteLater();
        if (p.buffer)
            p.buffer.release()->deleteLater();
        if (p.watchdog)
            p.watchdog.release()->deleteLater();
        if (onEnded)
            onEnded(id);
    }

    std::unordered_map<quint64, Playback> m_playbacks;
    bool m_failing = false;
};

DeviceSoundOutput::DeviceSoundOutput(QObject *parent) : SoundOutput(parent)
{
    m_probe = [] { return !QMediaDevices::audioOutputs().isEmpty(); };
    m_devices = new QMediaDevices(this);
    connect(m_devices, &QMediaDevices::audioOutputsChanged, this, &DeviceSoundOutput::updateDevices);
    updateDevices();

    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("audio"));
    m_player = new SinkPlayer;
    m_player->moveToThread(m_thread);
    m_player->onStarted = [this](quint64 id) { emit started(id); };
    m_player->onEnded = [this](quint64 id) { ended(id); };
    m_player->onFailure = [this](const QString &line) { emit logLine(line); };
    m_thread->start();
}

DeviceSoundOutput::~DeviceSoundOutput()
{
    QMetaObject::invokeMethod(m_player, [p = m_player] { p->stopAll(); }, Qt::BlockingQueuedConnection);
    m_player->onEnded = nullptr;
    m_player->onStarted = nullptr;
    m_thread->quit();
    m_thread->wait();
    delete m_player;
}

void DeviceSoundOutput::setDeviceProbe(std::function<bool()> probe)
{
    QMutexLocker lock(&m_probeLock);
    m_probe = std::move(probe);
}

void DeviceSoundOutput::updateDevices()
{
    bool has = false;
    {
        QMutexLocker lock(&m_probeLock);
        has = m_probe();
        m_lastLook.start();
    }
    m_hasDevice = has;
    // Once per outage: the line when it began, this one when it ended.
    if (has && m_toldNoDevice.exchange(false))
        emit logLine(QStringLiteral("Sound output device is back: sound cues and speech play again."));
}

quint64 DeviceSoundOutput::play(const PcmClip &clip)
{
    if (clip.isEmpty())
        return 0;
    if (!m_hasDevice) {
        // The platform does not always say when a device (or the sound
        // server) comes back: the next sound looks again, now and then.
        bool due = false;
        {
            QMutexLocker lock(&m_probeLock);
            due = !m_lastLook.isValid() || m_lastLook.elapsed() >= kRecheckMs;
        }
        if (due)
            updateDevices();
    }
    if (!m_hasDevice) {
        if (!m_toldNoDevice.exchange(true))
            emit logLine(QStringLiteral("No sound output device: sound cues and speech are skipped."));
        return 0;
    }
    const quint64 id = ++m_nextId;
    {
        QMutexLocker lock(&m_lock);
        m_running.insert(id, true);
    }
    QMetaObject::invokeMethod(m_player, [p = m_player, id, clip] { p->start(id, clip); }, Qt::QueuedConnection);
    return id;
}

void DeviceSoundOutput::stop(quint64 id)
{
    QMetaObject::invokeMethod(m_player, [p = m_player, id] { p->stop(id); }, Qt::QueuedConnection);
}

int DeviceSoundOutput::playing() const
{
    QMutexLocker lock(&m_lock);
    return int(m_running.size());
}

void DeviceSoundOutput::ended(quint64 id)
{
    {
        QMutexLocker lock(&m_lock);
        m_running.remove(id);
    }
    emit finished(id);
}

} // namespace lapvane
