// The stream channel table `channel`: which pilot each of the eight stream
// channels shows. Written by the race list on the main thread, read by the
// live pages writer on its own thread.
#pragma once

#include <array>
#include <atomic>

namespace lapvane {

class StreamChannels
{
public:
    static constexpr int kChannels = 8;

    // Puts the pilot on channel 1 to 8, replacing the pilot there; other
    // channels are left alone (one pilot may hold several). Others are ignored.
    void assign(int channel, int pilotId)
    {
        if (channel >= 1 && channel <= kChannels)
            m_channel[channel].store(pilotId, std::memory_order_release);
    }

    // The pilot id on channel 1 to 8; 0 for none or a channel out of range.
    int pilotOn(int channel) const
    {
        if (channel < 1 || channel > kChannels)
            return 0;
        return m_channel[channel].load(std::memory_order_acquire);
    }

    // True when the pilot is on any channel (his race-list row is highlighted).
    bool isShown(int pilotId) const
    {
        if (pilotId == 0)
            return false;
        for (int ch = 1; ch <= kChannels; ++ch) {
            if (pilotOn(ch) == pilotId)
                return true;
        }
        return false;
    }

    // Slots 0 to 8 as they are now; slot 0 is never assigned.
    std::array<int, kChannels + 1> snapshot() const
    {
        std::array<int, kChannels + 1> copy{};
        for (int ch = 1; ch <= kChannels; ++ch)
            copy[ch] = pilotOn(ch);
        return copy;
    }

private:
    std::array<std::atomic<int>, kChannels + 1> m_channel{};
};

} // namespace lapvane
