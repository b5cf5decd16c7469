// Stand-ins for the announcer's tests.
#include "tests/announce/fakesound.h"

namespace lapvane::test {

quint64 FakeSoundOutput::play(const PcmClip &clip)
{
    if (!device || clip.isEmpty())
        return 0;
    quint64 id = 0;
    {
        QMutexLocker lock(&m_lock);
        m_clips << clip;
        id = ++m_next;
        m_running << id;
    }
    if (autoFinish)
        QMetaObject::invokeMethod(this, [this, id] { end(id); }, Qt::QueuedConnection);
    return id;
}

void FakeSoundOutput::stop(quint64 id)
{
    QMetaObject::invokeMethod(this, [this, id] { end(id); }, Qt::QueuedConnection);
}

void FakeSoundOutput::end(quint64 id)
{
    {
        QMutexLocker lock(&m_lock);
        if (!m_running.removeOne(id))
            return;
    }
    emit finished(id);
}

QStringList FakeSoundOutput::names() const
{
    QMutexLocker lock(&m_lock);
    QStringList n;
    for (const PcmClip &c : m_clips)
        n << c.name;
    return n;
}

QList<PcmClip> FakeSoundOutput::clips() const
{
    QMutexLocker lock(&m_lock);
    return m_clips;
}

int FakeSoundOutput::playingCount() const
{
    QMutexLocker lock(&m_lock);
    return int(m_running.size());
}

bool FakeSoundOutput::finishOldest()
{
    quint64 id = 0;
    {
        QMutexLocker lock(&m_lock);
        if (m_running.isEmpty())
            return false;
        id = m_running.first();
    }
    end(id);
    return true;
}

bool RecordingSpeech::setVoiceIndex(int index)
{
    if (index < 0 || index >= voiceList.size())
        return false;
    m_voice = index;
    return true;
}

bool RecordingSpeech::speak(const QString &text)
{
    QMutexLocker lock(&m_lock);
    m_spoken << text;
    m_spokenVoices << m_voice;
    return true;
}

QList<int> RecordingSpeech::spokenVoices() const
{
    QMutexLocker lock(&m_lock);
    return m_spokenVoices;
}

QStringList RecordingSpeech::spoken() const
{
    QMutexLocker lock(&m_lock);
    return m_spoken;
}

qint64 FakeCountdownClock::nowMs()
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

void FakeCountdownClock::sleepUntil(qint64 untilMs)
{
    std::unique_lock lock(m_mutex);
    if (m_holdAfter >= 0 && untilMs - m_start > m_holdAfter)
        m_cv.wait(lock, [this] { return m_interrupted; });
    if (!m_interrupted)
        m_now = qMax(m_now, untilMs);
}

void FakeCountdownClock::interrupt()
{
    {
        std::lock_guard lock(m_mutex);
        m_interrupted = true;
    }
    m_cv.notify_all();
}

} // namespace lapvane::test
