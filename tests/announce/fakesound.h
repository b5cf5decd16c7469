// Stand-ins for the announcer's tests: a sound output that records what it is
// given and plays it until told otherwise, a speech engine that records its
// phrases, and a countdown clock moved by hand.
#pragma once

#include "announce/soundoutput.h"
#include "announce/speechengine.h"
#include "announce/voiceinvitation.h"

#include <QMutex>
#include <QStringList>

#include <condition_variable>
#include <mutex>

namespace lapvane::test {

class FakeSoundOutput : public SoundOutput
{
    Q_OBJECT
public:
    bool device = true;
    // Each playback ends by itself at the next turn of the main event loop;
    // otherwise it plays until finishOldest() or stop().
    bool autoFinish = false;

    quint64 play(const PcmClip &clip) override;
    void stop(quint64 id) override;
    bool hasDevice() const override { return device; }

    // Names of every clip played, in order (a phrase's text, a file's path).
    QStringList names() const;
    QList<PcmClip> clips() const;
    int playingCount() const;
    // Ends the oldest running playback; false when none runs.
    bool finishOldest();

private:
    void end(quint64 id);

    mutable QMutex m_lock;
    QList<PcmClip> m_clips;
    QList<quint64> m_running;
    quint64 m_next = 0;
};

// Speaks instantly: every phrase is recorded and over at once, unless hold is set.
class RecordingSpeech : public SpeechEngine
{
    Q_OBJECT
public:
    QStringList voiceList = {QStringLiteral("Russian"), QStringLiteral("English")};

    QStringList voices() override { return voiceList; }
    bool setVoiceIndex(int index) override;
    void setRate(int rate) override { m_rate = rate; }
    bool speak(const QString &text) override;
    void stop() override {}
    bool isSpeaking() const override { return false; }

    QStringList spoken() const;
    // The voice index each phrase was spoken with.
    QList<int> spokenVoices() const;
    int voiceIndex() const { return m_voice; }
    int rate() const { return m_rate; }

private:
    mutable QMutex m_lock;
    QStringList m_spoken;
    QList<int> m_spokenVoices;
    std::atomic_int m_voice{0};
    std::atomic_int m_rate{0};
};

// Time moves only when the invitation sleeps; a sleep past holdAfterMs waits
// until the test stops the invitation.
class FakeCountdownClock : public CountdownClock
{
public:
    explicit FakeCountdownClock(qint64 holdAfterMs = -1) : m_holdAfter(holdAfterMs) {}
    qint64 nowMs() override;
    void sleepUntil(qint64 untilMs) override;
    void interrupt() override;

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    qint64 m_now = 1000000;
    qint64 m_start = 1000000;
    qint64 m_holdAfter;
    bool m_interrupted = false;
};

} // namespace lapvane::test
