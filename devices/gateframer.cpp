// Takes the Lapvane gate's pass records from the byte stream and finds their
// alignment again after noise.
#include "devices/gateframer.h"

namespace lapvane {

using namespace gateproto;

namespace {
// What is kept of the bytes held while the gate sends without a pause.
constexpr qsizetype kKeptOnOverflow = 4096;
} // namespace

void GateFramer::append(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_buf += bytes;
    m_fresh = true;
}

void GateFramer::clear()
{
    m_buf.clear();
    m_fresh = false;
    m_timed = false;
    m_dropped = 0;
    m_warned = false;
}

void GateFramer::newRace()
{
    m_lastPassMs.clear();
    m_timed = false;
}

void GateFramer::drop(qsizetype n)
{
    m_buf.remove(0, n);
    m_dropped += n;
}

bool GateFramer::countable(const GatePass &p, quint32 startMs, const RaceView &race) const
{
    if (!race.ids.contains(p.id))
        return false;
    const qint32 raceMs = raceTimeMs(p.gateMs, startMs);
    return raceMs > 0 && raceMs >= m_lastPassMs.value(p.id, 0) &&
           qint64(raceMs) <= race.raceClockMs + kClockMarginMs;
}

void GateFramer::realign(quint32 startMs, const RaceView &race, const Log &log)
{
    // The last record ends where the bytes end: the records lie at the
    // offsets that leave whole records up to there. The first of them that
    // counts follows the noise; with none, the last one is taken as it stands.
    const qsizetype first = m_buf.size() % kPassRecordBytes;
    qsizetype at = m_buf.size() - kPassRecordBytes;
    for (qsizetype o = first; o + kPassRecordBytes <= m_buf.size(); o += kPassRecordBytes) {
        if (countable(decodePassRecord(m_buf.mid(o, kPassRecordBytes)), startMs, race)) {
            at = o;
            break;
        }
    }
    drop(at);
    log(QStringLiteral("Lapvane gate stream lost alignment: %1 bytes dropped before the next pass record")
            .arg(m_dropped));
    m_dropped = 0;
    m_warned = false;
}

std::optional<GateFramer::Record> GateFramer::next(quint32 startMs, const RaceViewSource &raceSource,
                                                   const Log &log)
{
    const std::optional<RaceView> race = raceSource ? raceSource() : std::nullopt;
    if (!race) {
        // No race: records are taken as they come (registration).
        m_fresh = false;
        m_timed = false;
        if (m_buf.size() < kPassRecordBytes)
            return std::nullopt;
        const GatePass p = decodePassRecord(m_buf);
        m_buf.remove(0, kPassRecordBytes);
        return Record{p.id, raceTimeMs(p.gateMs, startMs)};
    }

    // Bytes seen for the first time in this race count as just arrived.
    const bool arrived = m_fresh || !m_timed;
    m_fresh = false;
    if (arrived) {
        m_lastArrivalMs = race->raceClockMs;
        m_timed = true;
    }
    const bool quiet = !arrived && race->raceClockMs - m_lastArrivalMs >= kQuietMs;

    while (m_buf.size() >= kPassRecordBytes) {
        const GatePass p = decodePassRecord(m_buf);
        const qint32 raceMs = raceTimeMs(p.gateMs, startMs);
        const bool listed = race->ids.contains(p.id);
        const qint32 lastMs = m_lastPassMs.value(p.id, 0);
        const bool inRace = raceMs > 0 && qint64(raceMs) <= race->raceClockMs + kClockMarginMs;
        if (listed && inRace && raceMs >= lastMs) {
            m_buf.remove(0, kPassRecordBytes);
            m_lastPassMs.insert(p.id, raceMs);
            return Record{p.id, raceMs};
        }
        if (m_buf.size() % kPassRecordBytes != 0) {
            // A record that cannot count, and the bytes after it end inside
            // a record: the rest is on its way, or the alignment was lost.
            if (quiet) {
                realign(startMs, *race, log);
                continue;
            }
            if (m_buf.size() > kMaxHeldBytes) {
                drop(m_buf.size() - kKeptOnOverflow);
                if (!m_warned) {
                    m_warned = true;
                    log(QStringLiteral(
                            "Lapvane gate stream lost alignment: %1 bytes dropped so far, no plausible "
                            "pass record found yet")
                            .arg(m_dropped));
                }
            }
            return std::nullopt;
        }
        m_buf.remove(0, kPassRecordBytes);
        if (!listed && inRace) {
            // A transponder that is not in the race list; the pass loop logs it.
            return Record{p.id, raceMs};
        }
        const QString reset = raceMs <= 0
                                  ? QStringLiteral(" If this repeats, the gate's clock was reset: start the "
                                                   "race anew.")
                                  : QString();
        if (listed)
            log(QStringLiteral(
                    "Lapvane gate: ID:%1 stamped at race time %2 ms, outside this race (its last pass %3 "
                    "ms, race clock %4 ms): not counted.%5")
                    .arg(p.id)
                    .arg(raceMs)
                    .arg(lastMs)
                    .arg(race->raceClockMs)
                    .arg(reset));
        else
            log(QStringLiteral(
                    "Lapvane gate: ID:%1 stamped at race time %2 ms, not in the race list and outside "
                    "this race (race clock %3 ms): not counted.%4")
                    .arg(p.id)
                    .arg(raceMs)
                    .arg(race->raceClockMs)
                    .arg(reset));
    }
    return std::nullopt;
}

} // namespace lapvane
