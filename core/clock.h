// The time of day as the race clock reads it, replaceable by a hand-moved
// clock in tests.
#pragma once

#include <QtGlobal>

namespace lapvane {

class Clock
{
public:
    virtual ~Clock() = default;
    // Local wall-clock time in milliseconds since the epoch.
    virtual qint64 nowMs() const = 0;
};

class SystemClock : public Clock
{
public:
    qint64 nowMs() const override;
};

// A clock that moves only when told to.
class ManualClock : public Clock
{
public:
    explicit ManualClock(qint64 startMs = 0) : m_now(startMs) {}
    qint64 nowMs() const override { return m_now; }
    void set(qint64 ms) { m_now = ms; }
    void advance(qint64 ms) { m_now += ms; }

private:
    qint64 m_now;
};

} // namespace lapvane
