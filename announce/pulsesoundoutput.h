// The sound output on the sound server's default sink, straight through the
// server's client library. Each playback opens a connection of its own on a
// thread of its own, so a server that restarted is simply found again by the
// next sound.
#pragma once

#include "announce/soundoutput.h"

#include <QElapsedTimer>
#include <QMutex>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

namespace lapvane {

class PulseSoundOutput : public SoundOutput
{
    Q_OBJECT
public:
    explicit PulseSoundOutput(QObject *parent = nullptr);
    ~PulseSoundOutput() override;

    quint64 play(const PcmClip &clip) override;
    void stop(quint64 id) override;
    // False from a failed connection until one succeeds again.
    bool hasDevice() const override { return m_hasDevice.load(); }

    // Playbacks running now.
    int playing() const;

    // After "no device", the next sound tries the server again at most this
    // often; the sounds in between are skipped at once.
    static constexpr int kRecheckMs = 3000;
    // How much a playback hands the server ahead of what it plays: the
    // longest a stop waits for, and what the end of a sound drains.
    static constexpr int kAheadMs = 60;

private:
    struct Playback
    {
        std::thread worker;
        std::atomic_bool stop{false};
        std::atomic_bool done{false};
    };

    void run(quint64 id, Playback *p, const PcmClip &clip);
    void connected(bool ok);
    void reapDone();

    std::atomic_bool m_hasDevice{true};
    // The "no device" line is logged once until a connection succeeds.
    std::atomic_bool m_toldNoDevice{false};
    std::atomic<quint64> m_nextId{0};
    mutable QMutex m_lock; // the playbacks and the time of the last failure
    std::map<quint64, std::unique_ptr<Playback>> m_playbacks;
    QElapsedTimer m_lastFailure;
};

} // namespace lapvane
