// Finds the Lapvane gate's 6-byte pass records in the byte stream again after
// line noise. The records carry no framing, so one stray byte would shift
// every later record; during a race the framer knows what a real pass looks
// like (a pilot of the race list, stamped between his last pass and the race
// clock) and searches the buffered bytes for the alignment that gives one.
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

    void append(const QByteArray &bytes) { m_buf += bytes; }
    // The line's input was discarded: alignment starts afresh.
    void clear();
    // A new race: the pilots' last passes are forgotten.
    void newRace() { m_lastPassMs.clear(); }
    qsizetype buffered() const { return m_buf.size(); }

    // The next record to hand to the pass loop, if a whole one waits. Outside
    // a race every record is taken as it comes. In a race a record of a
    // listed pilot with a plausible time is taken; one of an unlisted id with
    // a plausible time is handed on for the pass loop to report; a listed
    // pilot's record stamped outside the race (also at or before its start,
    // as from a gate whose clock was reset) is reported here and dropped; a
    // record with neither starts the search for the alignment, which drops
    // the bytes before the next plausible record and reports how many.
    std::optional<Record> next(quint32 startMs, const RaceViewSource &race, const Log &log);

private:
    bool plausible(const gateproto::GatePass &p, quint32 startMs, const RaceView &race) const;
    void drop(qsizetype n);
    void logRealigned(const Log &log) const;

    QByteArray m_buf;
    QHash<qint32, qint32> m_lastPassMs;
    bool m_searching = false;
    qsizetype m_searchFrom = 0; // first offset not yet tried
    qint64 m_dropped = 0;
    bool m_warned = false;
};

} // namespace lapvane
