// Finds the Lapvane gate's pass records in the byte stream again after noise.
#include "devices/gateframer.h"

namespace lapvane {

using namespace gateproto;

namespace {
// A search that has dropped this much without a plausible record says so once.
constexpr qint64 kLongSearchBytes = 1024;
} // namespace

void GateFramer::clear()
{
    m_buf.clear();
    m_searching = false;
    m_searchFrom = 0;
    m_dropped = 0;
    m_warned = false;
}

void GateFramer::drop(qsizetype n)
{
    m_buf.remove(0, n);
    m_dropped += n;
}

bool GateFramer::plausible(const GatePass &p, quint32 startMs, const RaceView &race) const
{
    if (!race.ids.contains(p.id))
        return false;
    const qint32 raceMs = raceTimeMs(p.gateMs, startMs);
    return raceMs > 0 && raceMs >= m_lastPassMs.value(p.id, 0)
           && qint64(raceMs) <= race.raceClockMs + kClockMarginMs;
}

void GateFramer::logRealigned(const Log &log) const
{
    log(QStringLiteral("Lapvane gate stream lost alignment: %1 bytes dropped before the next pass record")
            .arg(m_dropped));
}

std::optional<GateFramer::Record> GateFramer::next(quint32 startMs, const RaceViewSource &raceSource,
                                                   const Log &log)
{
    std::optional<RaceView> race;
    bool asked = false;
    auto view = [&]() -> const std::optional<RaceView> & {
        if (!asked) {
            race = raceSource ? raceSource() : std::nullopt;
            asked = true;
        }
        return race;
    };

    while (m_buf.size() >= kPassRecordBytes) {
        if (!view()) {
            // No race: records are taken as they come (registration).
            m_searching = false;
            const GatePass p = decodePassRecord(m_buf);
            m_buf.remove(0, kPassRecordBytes);
            return Record{p.id, raceTimeMs(p.gateMs, startMs)};
        }
        if (!m_searching) {
            const GatePass p = decodePassRecord(m_buf);
            const qint32 raceMs = raceTimeMs(p.gateMs, startMs);
            const bool listed = view()->ids.contains(p.id);
            const qint32 lastMs = m_lastPassMs.value(p.id, 0);
            const bool inRace = raceMs >= lastMs && qint64(raceMs) <= view()->raceClockMs + kClockMarginMs;
            if (listed && inRace && raceMs > 0) {
                m_buf.remove(0, kPassRecordBytes);
                m_lastPassMs.insert(p.id, raceMs);
                return Record{p.id, raceMs};
            }
            // Not a pass that counts. A countable record a few bytes further
            // on means a stray byte came before it: the record wins.
            qsizetype shift = 0;
            for (qsizetype o = 1; o < kPassRecordBytes && o + kPassRecordBytes <= m_buf.size(); ++o) {
                if (plausible(decodePassRecord(m_buf.mid(o, kPassRecordBytes)), startMs, *view())) {
                    shift = o;
                    break;
                }
            }
            if (shift > 0) {
                m_dropped = 0;
                drop(shift);
                logRealigned(log);
                continue;
            }
            if (listed) {
                m_buf.remove(0, kPassRecordBytes);
                log(QStringLiteral("Lapvane gate: ID:%1 stamped at race time %2 ms, outside this race (its last "
                                   "pass %3 ms, race clock %4 ms): not counted.%5")
                        .arg(p.id)
                        .arg(raceMs)
                        .arg(lastMs)
                        .arg(view()->raceClockMs)
                        .arg(raceMs <= 0 ? QStringLiteral(" If this repeats, the gate's clock was reset: start the "
                                                          "race anew.")
                                         : QString()));
                continue;
            }
            if (inRace && raceMs > 0) {
                // A transponder that is not in the race list; the pass loop logs it.
                m_buf.remove(0, kPassRecordBytes);
                return Record{p.id, raceMs};
            }
            // Neither a known id nor a time of this race: the bytes are not
            // a record where they stand.
            m_searching = true;
            m_searchFrom = 1;
            m_dropped = 0;
            m_warned = false;
        }
        qsizetype found = -1;
        for (qsizetype o = m_searchFrom; o + kPassRecordBytes <= m_buf.size(); ++o) {
            if (plausible(decodePassRecord(m_buf.mid(o, kPassRecordBytes)), startMs, *view())) {
                found = o;
                break;
            }
        }
        if (found < 0) {
            // Every offset up to the last five bytes was tried; those wait
            // for the bytes that complete them.
            drop(m_buf.size() - (kPassRecordBytes - 1));
            m_searchFrom = 0;
            if (m_dropped >= kLongSearchBytes && !m_warned) {
                m_warned = true;
                log(QStringLiteral("Lapvane gate stream lost alignment: %1 bytes dropped so far, no plausible "
                                   "pass record found yet")
                        .arg(m_dropped));
            }
            return std::nullopt;
        }
        drop(found);
        m_searching = false;
        logRealigned(log);
    }
    return std::nullopt;
}

} // namespace lapvane
