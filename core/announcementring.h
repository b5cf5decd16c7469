// The announcement ring: the pass loop writes the pilot and lap number of each
// counted lap, the lap announcer (a worker thread) speaks and empties them.
#pragma once

#include <QtGlobal>

#include <array>
#include <atomic>

namespace lapvane {

// Twenty slots (`nameraw`/`lapraw`) with the writer's index `writeraw`; the
// reader keeps its own index (`currraw`). One writer and one reader, no lock:
// each slot holds pilot id and lap number in one atomic word, so the reader
// never sees the pilot of one lap with the number of another.
class AnnouncementRing
{
public:
    static constexpr int kSlots = 20;

    struct Entry
    {
        qint32 pilotId = 0; // `nameraw`
        qint32 lap = 0;     // `lapraw`
        // A slot is pending when both values are greater than 0.
        bool pending() const { return pilotId > 0 && lap > 0; }
        bool operator==(const Entry &) const = default;
    };

    // Writer: puts the entry at `writeraw` (overwriting a pending one) and
    // advances `writeraw`, after slot 19 to slot 0.
    void write(qint32 pilotId, qint32 lap)
    {
        const int slot = m_writeraw.load(std::memory_order_relaxed);
        m_slots[slot].store(pack({pilotId, lap}), std::memory_order_release);
        m_writeraw.store((slot + 1) % kSlots, std::memory_order_release);
    }

    // The next slot the writer uses.
    int writeraw() const { return m_writeraw.load(std::memory_order_acquire); }

    // Reader: the entry in a slot (0 to 19); all zero when free.
    Entry at(int slot) const { return unpack(m_slots[slot % kSlots].load(std::memory_order_acquire)); }

    // Reader: empties the slot if it still holds entry; an entry the writer
    // put there meanwhile stays pending. True when the slot was emptied.
    bool release(int slot, Entry entry)
    {
        quint64 expected = pack(entry);
        return m_slots[slot % kSlots].compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
    }

    // Empties every slot (the announcer does so when it is switched on).
    void clear()
    {
        for (auto &s : m_slots)
            s.store(0, std::memory_order_release);
    }

private:
    static quint64 pack(Entry e) { return (quint64(quint32(e.pilotId)) << 32) | quint32(e.lap); }
    static Entry unpack(quint64 v) { return {qint32(quint32(v >> 32)), qint32(quint32(v))}; }

    std::array<std::atomic<quint64>, kSlots> m_slots{};
    std::atomic<int> m_writeraw{0};
};

} // namespace lapvane
