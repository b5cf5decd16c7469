// The announcer's notes of laps and the calls waiting besides them.
#include "announce/callbook.h"

#include <QElapsedTimer>

namespace lapvane {

namespace {

// Notes of laps older than this are of no use: their calls are long spoken or dropped.
constexpr qint64 kKeepLapsMs = 10 * 60 * 1000;
constexpr int kMaxLaps = 2000;

} // namespace

CallBook::CallBook(NowMs now) : m_now(std::move(now))
{
    if (!m_now) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_now = [timer] { return timer->elapsed(); };
    }
}

void CallBook::noteLap(int pilotId, int lap, qint64 lapMs)
{
    const qint64 now = m_now();
    QMutexLocker lock(&m_lock);
    m_laps.insert(key(pilotId, lap), Lap{lapMs, now, false});
    if (m_laps.size() > kMaxLaps)
        pruneLocked(now);
}

void CallBook::noteFinish(int pilotId, int lap, int place)
{
    const qint64 now = m_now();
    QMutexLocker lock(&m_lock);
    auto it = m_laps.find(key(pilotId, lap));
    if (it == m_laps.end())
        it = m_laps.insert(key(pilotId, lap), Lap{0, now, false});
    it->finishing = true;
    Call call;
    call.kind = Call::Finish;
    call.pilotId = pilotId;
    call.place = place;
    call.atMs = now;
    m_calls << call;
}

void CallBook::addCall(const Call &call)
{
    Call c = call;
    if (c.atMs == 0)
        c.atMs = m_now();
    QMutexLocker lock(&m_lock);
    m_calls << c;
}

std::optional<CallBook::Lap> CallBook::lap(int pilotId, int lap) const
{
    QMutexLocker lock(&m_lock);
    const auto it = m_laps.constFind(key(pilotId, lap));
    if (it == m_laps.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<CallBook::Call> CallBook::takeCall(const std::function<bool()> &holdFinish, qint64 maxHoldMs,
                                                 bool *hold)
{
    *hold = false;
    const qint64 now = m_now();
    QMutexLocker lock(&m_lock);
    m_calls.removeIf([now](const Call &c) { return c.expiresAtMs != 0 && now > c.expiresAtMs; });
    for (qsizetype i = 0; i < m_calls.size(); ++i) {
        if (m_calls.at(i).kind == Call::TimeLeft)
            return m_calls.takeAt(i);
    }
    if (m_calls.isEmpty())
        return std::nullopt;
    const Call &first = m_calls.first();
    if (holdFinish && now - first.atMs < maxHoldMs && holdFinish()) {
        *hold = true;
        return std::nullopt;
    }
    return m_calls.takeFirst();
}

int CallBook::waiting() const
{
    QMutexLocker lock(&m_lock);
    return int(m_calls.size());
}

void CallBook::clear()
{
    QMutexLocker lock(&m_lock);
    m_laps.clear();
    m_calls.clear();
}

void CallBook::pruneLocked(qint64 now)
{
    for (auto it = m_laps.begin(); it != m_laps.end();) {
        if (now - it->atMs > kKeepLapsMs)
            it = m_laps.erase(it);
        else
            ++it;
    }
}

} // namespace lapvane
