// Race formats and the one ranking rule.
#include "competition/raceformat.h"

#include <algorithm>
#include <limits>
#include <tuple>

namespace lapvane {

namespace {

constexpr qint64 kNever = std::numeric_limits<qint64>::max();

struct FormatInfo
{
    RaceFormat format;
    const char *key;
    const char *name;
};

constexpr FormatInfo kFormats[] = {
    {RaceFormat::LapsAndTime, "lapsandtime", "Laps and time"},
    {RaceFormat::MostLaps, "mostlaps", "Most laps in time"},
    {RaceFormat::FirstToLaps, "firsttolaps", "First to N laps"},
    {RaceFormat::FastestLap, "fastestlap", "Fastest lap"},
    {RaceFormat::Fastest3, "fastest3", "Fastest 3 consecutive laps"},
};

const FormatInfo &infoOf(RaceFormat format)
{
    for (const FormatInfo &i : kFormats) {
        if (i.format == format)
            return i;
    }
    return kFormats[0];
}

QString lapsText(int laps, qint64 lastPassMs)
{
    if (laps <= 0)
        return QStringLiteral("no laps");
    return QStringLiteral("%1 %2, %3")
        .arg(laps)
        .arg(laps == 1 ? QStringLiteral("lap") : QStringLiteral("laps"))
        .arg(decidingTimeText(lastPassMs));
}

// Passes that need the hole-shot: one more than the laps they give.
int passesFor(int laps, const FormatOptions &o)
{
    return laps + (o.holeShot ? 1 : 0);
}

// The passes the format counts, in lap order.
QList<qint64> passesThatCount(RaceFormat format, const FormatOptions &o, const QList<qint64> &passes,
                              qint64 winnerFinishMs)
{
    QList<qint64> out;
    switch (format) {
    case RaceFormat::LapsAndTime:
        for (qint64 t : passes) {
            if (o.timeLimitMs > 0 && t >= o.timeLimitMs)
                break;
            if (o.lapLimit > 0 && out.size() >= passesFor(o.lapLimit, o))
                break;
            out << t;
        }
        break;
    case RaceFormat::MostLaps:
        for (qint64 t : passes) {
            if (o.timeLimitMs > 0 && t >= o.timeLimitMs) {
                // The first pass after the limit ends the pilot's race, when it
                // comes within the grace time.
                if (t <= o.timeLimitMs + std::max<qint64>(0, o.graceMs))
                    out << t;
                break;
            }
            out << t;
        }
        break;
    case RaceFormat::FirstToLaps:
        for (qint64 t : passes) {
            if (o.lapLimit > 0 && out.size() >= passesFor(o.lapLimit, o))
                break;
            if (winnerFinishMs >= 0 && t > winnerFinishMs) {
                // After the winner's finish each pilot completes the lap he is on.
                out << t;
                break;
            }
            out << t;
        }
        break;
    case RaceFormat::FastestLap:
    case RaceFormat::Fastest3:
        for (qint64 t : passes) {
            if (o.timeLimitMs > 0 && t >= o.timeLimitMs)
                break;
            out << t;
        }
        break;
    }
    return out;
}

} // namespace

QString formatKey(RaceFormat format)
{
    return QLatin1String(infoOf(format).key);
}

QString formatName(RaceFormat format)
{
    return QLatin1String(infoOf(format).name);
}

std::optional<RaceFormat> formatFromKey(const QString &key)
{
    const QString k = key.trimmed();
    for (const FormatInfo &i : kFormats) {
        if (k.compare(QLatin1String(i.key), Qt::CaseInsensitive) == 0)
            return i.format;
    }
    return std::nullopt;
}

QList<RaceFormat> allFormats()
{
    QList<RaceFormat> out;
    for (const FormatInfo &i : kFormats)
        out << i.format;
    return out;
}

bool RaceScore::operator<(const RaceScore &o) const
{
    return std::tie(tier, value, achievedMs) < std::tie(o.tier, o.value, o.achievedMs);
}

bool RaceScore::operator==(const RaceScore &o) const
{
    return tier == o.tier && value == o.value && achievedMs == o.achievedMs;
}

QString decidingTimeText(qint64 ms)
{
    ms = std::max<qint64>(0, ms);
    return QStringLiteral("%1:%2.%3")
        .arg(ms / 60000, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

RankedEntry scoreEntry(RaceFormat format, const FormatOptions &options, const RaceEntry &entry,
                       qint64 winnerFinishMs)
{
    RankedEntry r;
    const QList<qint64> passes = passesThatCount(format, options, entry.passesMs, winnerFinishMs);
    // Lap k runs from pass k-1 to pass k; lap 1 from the start signal, or,
    // with the hole-shot, from the pilot's first pass.
    const qsizetype firstClosing = options.holeShot ? 1 : 0;
    QList<qint64> lapEnds; // race time closing each lap
    QList<qint64> lapMs;   // each lap's duration
    for (qsizetype i = firstClosing; i < passes.size(); ++i) {
        const qint64 from = i == 0 ? 0 : passes.at(i - 1);
        lapEnds << passes.at(i);
        lapMs << passes.at(i) - from;
    }
    r.laps = int(lapEnds.size());
    if (format == RaceFormat::LapsAndTime && entry.countedPasses >= 0) {
        // The race list's own count, as the pass loop kept it; the last pass
        // on record still gives the time.
        r.laps = std::max(0, entry.countedPasses - int(firstClosing));
        if (!entry.passesMs.isEmpty() && r.laps > 0)
            lapEnds = {entry.passesMs.constLast()};
    }
    r.lastPassMs = lapEnds.isEmpty() ? -1 : lapEnds.constLast();
    for (qint64 l : lapMs)
        r.bestLapMs = r.bestLapMs < 0 ? l : std::min(r.bestLapMs, l);

    const auto byLaps = [&r]() {
        r.score = {0, -qint64(r.laps), r.laps > 0 && r.lastPassMs >= 0 ? r.lastPassMs : kNever};
        r.decidingMs = r.laps > 0 ? r.lastPassMs : -1;
        r.decidingText = lapsText(r.laps, r.lastPassMs);
    };
    switch (format) {
    case RaceFormat::LapsAndTime:
    case RaceFormat::MostLaps:
    case RaceFormat::FirstToLaps:
        byLaps();
        break;
    case RaceFormat::FastestLap: {
        if (lapMs.isEmpty()) {
            r.score = {1, 0, kNever};
            r.decidingText = QStringLiteral("no laps");
            break;
        }
        qsizetype best = 0;
        for (qsizetype i = 1; i < lapMs.size(); ++i) {
            if (lapMs.at(i) < lapMs.at(best))
                best = i;
        }
        r.score = {0, lapMs.at(best), lapEnds.at(best)};
        r.decidingMs = lapMs.at(best);
        r.decidingText = QStringLiteral("best lap: ") + decidingTimeText(r.decidingMs);
        break;
    }
    case RaceFormat::Fastest3: {
        if (lapMs.size() < 3) {
            byLaps();
            r.score.tier = 1;
            break;
        }
        qsizetype best = 0;
        qint64 bestSum = kNever;
        for (qsizetype i = 0; i + 3 <= lapMs.size(); ++i) {
            const qint64 sum = lapMs.at(i) + lapMs.at(i + 1) + lapMs.at(i + 2);
            if (sum < bestSum) {
                bestSum = sum;
                best = i;
            }
        }
        r.score = {0, bestSum, lapEnds.at(best + 2)};
        r.decidingMs = bestSum;
        r.decidingText = QStringLiteral("3 consecutive: ") + decidingTimeText(bestSum);
        break;
    }
    }
    return r;
}

qint64 winnerFinish(RaceFormat format, const FormatOptions &options, const QList<RaceEntry> &entries)
{
    // First to N laps: the race ends when the first pilot completes N laps.
    qint64 winnerFinishMs = -1;
    if (format == RaceFormat::FirstToLaps && options.lapLimit > 0) {
        const qsizetype needed = passesFor(options.lapLimit, options);
        for (const RaceEntry &e : entries) {
            if (e.passesMs.size() >= needed) {
                const qint64 t = e.passesMs.at(needed - 1);
                winnerFinishMs = winnerFinishMs < 0 ? t : std::min(winnerFinishMs, t);
            }
        }
    }
    return winnerFinishMs;
}

bool passCounts(RaceFormat format, const FormatOptions &options, const RaceEntry &entry, qint64 passMs,
                qint64 winnerFinishMs)
{
    QList<qint64> with = entry.passesMs;
    with << passMs;
    return passesThatCount(format, options, with, winnerFinishMs).size() >
           passesThatCount(format, options, entry.passesMs, winnerFinishMs).size();
}

bool raceOver(RaceFormat format, const FormatOptions &options, const QList<RaceEntry> &entries, qint64 nowMs)
{
    const qint64 grace = std::max<qint64>(0, options.graceMs);
    switch (format) {
    case RaceFormat::LapsAndTime: {
        if (options.timeLimitMs > 0 && nowMs >= options.timeLimitMs)
            return true;
        if (options.lapLimit <= 0 || entries.isEmpty())
            return false;
        for (const RaceEntry &e : entries) {
            if (scoreEntry(format, options, e).laps < options.lapLimit)
                return false;
        }
        return true;
    }
    case RaceFormat::MostLaps: {
        if (options.timeLimitMs <= 0 || nowMs < options.timeLimitMs)
            return false;
        if (nowMs >= options.timeLimitMs + grace)
            return true;
        for (const RaceEntry &e : entries) {
            const QList<qint64> counted = passesThatCount(format, options, e.passesMs, -1);
            if (counted.isEmpty() || counted.constLast() < options.timeLimitMs)
                return false;
        }
        return true;
    }
    case RaceFormat::FirstToLaps: {
        const qint64 w = winnerFinish(format, options, entries);
        if (w < 0)
            return false;
        if (nowMs >= w + grace)
            return true;
        for (const RaceEntry &e : entries) {
            const QList<qint64> counted = passesThatCount(format, options, e.passesMs, w);
            const bool done = counted.size() >= passesFor(options.lapLimit, options) ||
                              (!counted.isEmpty() && counted.constLast() > w);
            if (!done)
                return false;
        }
        return true;
    }
    case RaceFormat::FastestLap:
    case RaceFormat::Fastest3:
        return options.timeLimitMs > 0 && nowMs >= options.timeLimitMs;
    }
    return false;
}

QList<RankedEntry> rankRace(RaceFormat format, const FormatOptions &options, const QList<RaceEntry> &entries)
{
    const qint64 winnerFinishMs = winnerFinish(format, options, entries);
    QList<RankedEntry> out;
    out.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        RankedEntry r = scoreEntry(format, options, entries.at(i), winnerFinishMs);
        r.index = int(i);
        out << r;
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const RankedEntry &a, const RankedEntry &b) { return a.score < b.score; });
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i].place = int(i + 1);
    return out;
}

QList<StageRank> rankStage(RaceFormat format, const QList<QList<RankedEntry>> &races)
{
    Q_UNUSED(format); // every format's score already compares across races
    QList<StageRank> out;
    for (qsizetype i = 0; i < races.size(); ++i) {
        StageRank s;
        s.index = int(i);
        for (const RankedEntry &r : races.at(i)) {
            if (!s.hasRace || r.score < s.best) {
                s.best = r.score;
                s.decidingText = r.decidingText;
                s.hasRace = true;
            }
        }
        out << s;
    }
    std::stable_sort(out.begin(), out.end(), [](const StageRank &a, const StageRank &b) {
        if (a.hasRace != b.hasRace)
            return a.hasRace;
        return a.hasRace && a.best < b.best;
    });
    for (qsizetype i = 0; i < out.size(); ++i)
        out[i].place = int(i + 1);
    return out;
}

} // namespace lapvane
