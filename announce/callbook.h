// What the lap announcer knows beyond the announcement ring: each recorded
// lap's time and the moment it was recorded (to drop calls that come too
// late), the laps that finished a pilot, and the calls waiting besides the
// laps (finish places, the winner, the time left). Written on the main thread
// as the race goes, read by the announcer thread; every method is guarded.
#pragma once

#include <QHash>
#include <QList>
#include <QMutex>

#include <functional>
#include <optional>

namespace lapvane {

class CallBook
{
public:
    using NowMs = std::function<qint64()>;

    struct Lap
    {
        qint64 lapMs = 0;
        qint64 atMs = 0;        // when it was recorded
        bool finishing = false; // it finished the pilot's race
    };

    struct Call
    {
        enum Kind { TimeLeft, Finish, Winner };
        Kind kind = Finish;
        int pilotId = 0; // Finish
        int place = 0;   // Finish
        int seconds = 0; // TimeLeft
        qint64 atMs = 0;
        qint64 expiresAtMs = 0; // 0: never dropped
    };

    // now gives the time in milliseconds on a steady clock (the default).
    explicit CallBook(NowMs now = {});

    qint64 nowMs() const { return m_now(); }
    // Tests move time by hand; set before the announcer starts.
    void setClock(NowMs now) { m_now = std::move(now); }

    // A lap was recorded; called before it reaches the ring.
    void noteLap(int pilotId, int lap, qint64 lapMs);
    // The lap finished the pilot's race at this place: its finish call waits.
    void noteFinish(int pilotId, int lap, int place);
    // A call besides the laps (the winner, the time left).
    void addCall(const Call &call);

    std::optional<Lap> lap(int pilotId, int lap) const;
    // Calls waiting to be spoken.
    int waiting() const;

    // The next call to speak: the time left first (one past its time is
    // dropped), then the finish and winner calls in the order they came.
    // A finish or winner call waits while holdFinish says so (its cue is
    // heard), but no longer than maxHoldMs after it came; *hold tells the
    // caller that one waits, so nothing else is spoken over the cue.
    std::optional<Call> takeCall(const std::function<bool()> &holdFinish, qint64 maxHoldMs, bool *hold);

    // Forgets everything (a new race).
    void clear();

private:
    static quint64 key(int pilotId, int lap) { return (quint64(quint32(pilotId)) << 32) | quint32(lap); }
    void pruneLocked(qint64 now);

    NowMs m_now;
    mutable QMutex m_lock;
    QHash<quint64, Lap> m_laps;
    QList<Call> m_calls;
};

} // namespace lapvane
