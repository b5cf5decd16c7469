// The sound output on the machine's default audio device (Qt Multimedia),
// playing each clip on its own audio sink in an audio thread.
#pragma once

#include "announce/soundoutput.h"

#include <QHash>
#include <QMutex>

#include <QElapsedTimer>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class QMediaDevices;

namespace lapvane {

class SinkPlayer;

class DeviceSoundOutput : public SoundOutput
{
    Q_OBJECT
public:
    explicit DeviceSoundOutput(QObject *parent = nullptr);
    ~DeviceSoundOutput() override;

    quint64 play(const PcmClip &clip) override;
    void stop(quint64 id) override;
    bool hasDevice() const override { return m_hasDevice.load(); }

    // Playbacks running now.
    int playing() const;

    // How the output learns whether a device is there (the platform's list of
    // outputs by default); tests stand in for a device that comes and goes.
    void setDeviceProbe(std::function<bool()> probe);
    // Asks the probe now, as a change of the platform's list does.
    void updateDevices();

    // After "no device", the next sound asks again at most this often.
    static constexpr int kRecheckMs = 3000;

private:
    void ended(quint64 id);

    QMediaDevices *m_devices = nullptr;
    QThread *m_thread = nullptr;
    SinkPlayer *m_player = nullptr; // lives in m_thread
    std::atomic_bool m_hasDevice{false};
    // The "no device" line is logged once until a device comes back.
    std::atomic_bool m_toldNoDevice{false};
    std::atomic<quint64> m_nextId{0};
    std::function<bool()> m_probe;
    QMutex m_probeLock; // the probe and the time of the last look
    QElapsedTimer m_lastLook;
    mutable QMutex m_lock;
    QHash<quint64, bool> m_running;
};

} // namespace lapvane
