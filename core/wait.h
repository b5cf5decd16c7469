// The stop flag and the one way of waiting while the program keeps working:
// timers, device reads and operator commands go on during the wait.
#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>

namespace lapvane {

// Raised by Disconnect, Done, Finish, a right-click on the race page and the
// end of the start handshake; it ends every wait that watches it.
class StopFlag
{
public:
    void raise() { m_raised = true; }
    void clear() { m_raised = false; }
    bool isRaised() const { return m_raised; }

private:
    std::atomic_bool m_raised{false};
};

enum class WaitResult { Done, Stopped, TimedOut };

// Waits until condition() holds, stop is raised, or timeoutMs passes (a
// negative timeout waits without limit), processing events meanwhile. The
// condition is checked first, so a condition that already holds returns Done.
WaitResult waitUntil(const std::function<bool()> &condition, const StopFlag *stop = nullptr,
                     int timeoutMs = -1);

// Waits for the given time while processing events.
void pause(int ms);

// How many waits of this thread are under way (nested ones counted each): a
// command is in the middle of its work, and whatever runs from the events it
// processes must not pull the ground from under it (closing the window).
int waitsInProgress();

} // namespace lapvane
