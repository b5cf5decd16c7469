// Takes the Lapvane gate's 6-byte pass records from the byte stream and finds
// their alignment again after line noise. The records carry no framing, and
// any six bytes are a possible record, so their content alone can never show
// that the alignment was lost. The timing can: a healthy gate sends each
// record in one piece, so when it falls quiet the bytes end on a record
// boundary. Bytes that end between two boundaries of the current alignment
// while the gate is quiet are the evidence of inserted (or lost) bytes, and
// the true boundary is the end of the bytes.
#pragma once

#include "devices/lapvaneprotocol.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace lapvane {

class GateFramer
{
public:
    // A gate pass may be stamped this much after the race clock: the gate's
    // clock is read at its start ping, shortly before the race clock starts,
    // and the two crystals drift apart a little.
    static constexpr qint32 kClockMarginMs = 5000;
    // The gate has fallen quiet when no byte came for this long on the race
    // clock. A record's six bytes take half a millisecond on the line and
    // reach the host within a USB adapter's latency (16 ms at most), so a
    // quiet gate has sent only whole records.
    static constexpr qint64 kQuietMs = 200;
    // Bytes kept while the gate sends without a pause and the current
    // alignment does not fit them (a wrong baud rate, a babbling line).
    static constexpr qsizetype kMaxHeldBytes = 64 * 1024;

    // What a running race allows.
    struct RaceView
    {
        qint64 raceClockMs = 0;
        QSet<qint32> ids; // the race list's transponder ids
    };
    // Asked at most once per next(); no value when no race runs.
    using RaceViewSource = std::function<std::optional<RaceView>()>;
    using Log = std::function<void(const QString &)>;

    struct Record
    {
        quint16 id = 0;
        qint32 raceMs = 0;
    };

    void append(const QByteArray &bytes);
    // The line's input was discarded: alignment starts afresh.
    void clear();
    // A new race: the pilots' last passes are forgotten.
    void newRace();
    qsizetype buffered() const { return m_buf.size(); }

    // The next record to hand to the pass loop, if a whole one waits. Call
    // it on every poll while whole records' bytes wait, also when no byte
    // came: that is how it learns that the gate fell quiet. Outside a race every record is taken as it comes.
    // In a race each record is taken as it stands: a listed pilot's record
    // with a plausible time is handed on to count, one of an unlisted id
    // stamped inside the race is handed on for the pass loop to report, and
    // any other (a listed pilot stamped outside the race, also at or before
    // its start as from a gate whose clock was reset, or an unlisted id
    // stamped outside it) is reported here and dropped. Only a record that
    // cannot count waits while the bytes after it end between two records:
    // the rest of the next record comes within milliseconds, and if the gate
    // falls quiet first the alignment was lost. Then the bytes before the
    // first countable record that ends on a record boundary at the end of
    // the bytes are dropped and reported.
    std::optional<Record> next(quint32 startMs, const RaceViewSource &race, const Log &log);

private:
    bool countable(const gateproto::GatePass &p, quint32 startMs, const RaceView &race) const;
    void drop(qsizetype n);
    // Lost alignment: the bytes end on a record boundary, found again here.
    void realign(quint32 startMs, const RaceView &race, const Log &log);

    QByteArray m_buf;
    QHash<qint32, qint32> m_lastPassMs;
    bool m_fresh = false;       // bytes came since the last next()
    bool m_timed = false;       // m_lastArrivalMs holds for this race
    qint64 m_lastArrivalMs = 0; // race clock when bytes last came
    qint64 m_dropped = 0;       // dropped while the gate did not pause
    bool m_warned = false;
};

} // namespace lapvane
