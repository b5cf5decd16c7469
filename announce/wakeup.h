// A sleep that another thread can cut short: the announcer threads sleep on it
// until a lap is written, speech ends or they are asked to stop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace lapvane {

class WakeUp
{
public:
    void notify()
    {
        {
            std::lock_guard lock(m_mutex);
            m_pending = true;
        }
        m_cv.notify_all();
    }

    // Sleeps until notify() or timeoutMs; a notify() that came before the
    // call ends it at once. True when notified.
    bool wait(int timeoutMs)
    {
        std::unique_lock lock(m_mutex);
        const bool woken = m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_pending; });
        m_pending = false;
        return woken;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_pending = false;
};

} // namespace lapvane
