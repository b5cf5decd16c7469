// Brackets: mains, single and double elimination, and their resolution.
#include "competition/bracket.h"

#include <QSet>

namespace lapvane {

namespace {

constexpr int kHeatSize = 4;
constexpr int kGoesOn = 2;

// Labels "1".."9", or "01".."30" when there are ten heats or more, so that
// the groups sorted as text come in flying order.
void labelGroups(Bracket *b)
{
    const int width = int(QString::number(b->heats.size()).size());
    for (qsizetype i = 0; i < b->heats.size(); ++i)
        b->heats[i].group = QStringLiteral("%1").arg(i + 1, width, 10, QLatin1Char('0'));
}

Bracket failed(BracketKind kind, int pilots, const QString &why)
{
    Bracket b;
    b.kind = kind;
    b.pilots = pilots;
    b.error = why;
    return b;
}

SeatSource fromSeed(int seed)
{
    SeatSource s;
    s.seed = seed;
    return s;
}

SeatSource fromHeat(int heat, int place)
{
    SeatSource s;
    s.fromHeat = heat;
    s.fromPlace = place;
    return s;
}

// Standard bracket order of n (a power of 2) positions: [1], [1,2],
// [1,4,2,3], [1,8,4,5,2,7,3,6] ...
QList<int> bracketOrder(int n)
{
    QList<int> order{1};
    while (order.size() < n) {
        const int size = int(order.size()) * 2;
        QList<int> next;
        for (int s : order)
            next << s << size + 1 - s;
        order = next;
    }
    return order;
}

// The first round: seeds dealt in a snake over the heats in bracket order.
// Seats of seeds beyond the field are left out (byes).
QList<BracketHeat> firstRound(int pilots, int heats)
{
    const QList<int> order = bracketOrder(heats);
    QList<int> heatOfTopSeed(heats); // top seed t (0-based) -> heat index
    for (int i = 0; i < heats; ++i)
        heatOfTopSeed[order.at(i) - 1] = i;
    QList<BracketHeat> out(heats);
    for (int row = 0; row < kHeatSize; ++row) {
        for (int j = 0; j < heats; ++j) {
            const int seed = row * heats + j + 1;
            const int heat = heatOfTopSeed.at(row % 2 == 0 ? j : heats - 1 - j);
            if (seed <= pilots)
                out[heat].seats << fromSeed(seed);
        }
    }
    return out;
}

int eliminationHeats(int pilots)
{
    for (int size : {8, 16, 32}) {
        if (pilots <= size)
            return size / kHeatSize;
    }
    return 0;
}

// Top two of heats a and b: their winners first, then their seconds.
QList<SeatSource> topTwoOf(int a, int b)
{
    return {fromHeat(a, 1), fromHeat(b, 1), fromHeat(a, 2), fromHeat(b, 2)};
}

int addHeat(Bracket *b, const QString &name, int advance, const QList<SeatSource> &seats)
{
    BracketHeat h;
    h.name = name;
    h.advance = advance;
    h.seats = seats;
    b->heats << h;
    return int(b->heats.size() - 1);
}

QString heatName(const QString &round, int number, int count)
{
    return count == 1 ? round : QStringLiteral("%1, heat %2").arg(round).arg(number);
}

} // namespace

QString bracketKindKey(BracketKind kind)
{
    switch (kind) {
    case BracketKind::Mains:
        return QStringLiteral("mains");
    case BracketKind::SingleElimination:
        return QStringLiteral("single");
    case BracketKind::DoubleElimination:
        return QStringLiteral("double");
    }
    return {};
}

Bracket makeMains(int pilots, int mainSize, int bumpUp)
{
    if (pilots < 1)
        return failed(BracketKind::Mains, pilots, QStringLiteral("Mains need at least one pilot."));
    if (mainSize < 2)
        return failed(BracketKind::Mains, pilots, QStringLiteral("A main holds at least 2 pilots."));
    if (bumpUp < 0 || bumpUp >= mainSize)
        return failed(BracketKind::Mains, pilots,
                      QStringLiteral("Bump-up must be smaller than the main size (%1).").arg(mainSize));
    const int direct = mainSize - bumpUp; // seats of a main that the standing fills
    int mains = 1;
    if (pilots > mainSize)
        mains = 1 + (pilots - mainSize + direct - 1) / direct;
    // The lowest main then holds more than bumpUp pilots: nobody moves up
    // without racing.

    Bracket b;
    b.kind = BracketKind::Mains;
    b.pilots = pilots;
    // Flying order: the lowest main first; main m (0 = A) is heat mains-1-m.
    for (int f = 0; f < mains; ++f) {
        const int m = mains - 1 - f;
        const bool lowest = m == mains - 1;
        QList<SeatSource> seats;
        const int first = m * direct + 1;
        const int last = lowest ? pilots : (m + 1) * direct;
        for (int seed = first; seed <= last; ++seed)
            seats << fromSeed(seed);
        if (!lowest) {
            for (int place = 1; place <= bumpUp; ++place)
                seats << fromHeat(f - 1, place);
        }
        const QString name =
            m < 26 ? QStringLiteral("%1 main").arg(QChar(u'A' + m)) : QStringLiteral("Main %1").arg(m + 1);
        addHeat(&b, name, m == 0 ? 0 : bumpUp, seats);
    }
    labelGroups(&b);
    return b;
}

Bracket makeSingleElimination(int pilots)
{
    const int heats = eliminationHeats(pilots);
    if (pilots < 2 || heats == 0)
        return failed(BracketKind::SingleElimination, pilots,
                      QStringLiteral("Elimination brackets take 2 to 32 pilots."));
    Bracket b;
    b.kind = BracketKind::SingleElimination;
    b.pilots = pilots;
    QList<int> round;
    int number = 1;
    for (BracketHeat &h : firstRound(pilots, heats)) {
        h.name = heatName(QStringLiteral("Round 1"), number++, heats);
        h.advance = kGoesOn;
        b.heats << h;
        round << int(b.heats.size() - 1);
    }
    for (int r = 2; round.size() > 1; ++r) {
        QList<int> next;
        const int count = int(round.size() / 2);
        for (int i = 0; i < count; ++i) {
            const bool final = count == 1;
            next << addHeat(&b,
                            final ? QStringLiteral("Final")
                                  : heatName(QStringLiteral("Round %1").arg(r), i + 1, count),
                            final ? 0 : kGoesOn, topTwoOf(round.at(2 * i), round.at(2 * i + 1)));
        }
        round = next;
    }
    labelGroups(&b);
    return b;
}

Bracket makeDoubleElimination(int pilots)
{
    const int heats = eliminationHeats(pilots);
    if (pilots < 2 || heats == 0)
        return failed(BracketKind::DoubleElimination, pilots,
                      QStringLiteral("Elimination brackets take 2 to 32 pilots."));
    Bracket b;
    b.kind = BracketKind::DoubleElimination;
    b.pilots = pilots;
    QList<int> winners;
    int number = 1;
    for (BracketHeat &h : firstRound(pilots, heats)) {
        h.name = heatName(QStringLiteral("Winners round 1"), number++, heats);
        h.advance = kGoesOn;
        b.heats << h;
        winners << int(b.heats.size() - 1);
    }
    int losersRound = 1;
    const auto losersName = [&](int i, int count, bool last) {
        return last ? QStringLiteral("Losers final")
                    : heatName(QStringLiteral("Losers round %1").arg(losersRound), i + 1, count);
    };
    // Losers' round 1: the 3rd and 4th of two first-round heats.
    QList<int> losers;
    for (int i = 0; i < heats / 2; ++i) {
        const int a = winners.at(2 * i), c = winners.at(2 * i + 1);
        losers << addHeat(&b, losersName(i, heats / 2, false), kGoesOn,
                          {fromHeat(a, 3), fromHeat(c, 3), fromHeat(a, 4), fromHeat(c, 4)});
    }
    for (int r = 2; winners.size() > 1; ++r) {
        const int count = int(winners.size() / 2);
        if (losers.size() > count) {
            // More pilots left in the losers' bracket than drop in next:
            // a round among them halves it first.
            ++losersRound;
            QList<int> minor;
            const int m = int(losers.size() / 2);
            for (int i = 0; i < m; ++i)
                minor << addHeat(&b, losersName(i, m, false), kGoesOn,
                                 topTwoOf(losers.at(2 * i), losers.at(2 * i + 1)));
            losers = minor;
        }
        QList<int> next;
        for (int i = 0; i < count; ++i) {
            const QString name = count == 1
                                     ? QStringLiteral("Winners final")
                                     : heatName(QStringLiteral("Winners round %1").arg(r), i + 1, count);
            next << addHeat(&b, name, kGoesOn, topTwoOf(winners.at(2 * i), winners.at(2 * i + 1)));
        }
        winners = next;
        // The pilots dropping from this winners' round meet the losers'
        // survivors, crossed (the first losers' heat takes the drops of the
        // last winners' heat) so that they do not meet again at once.
        ++losersRound;
        QList<int> major;
        for (int i = 0; i < count; ++i) {
            const int survivors = losers.at(i), dropped = winners.at(count - 1 - i);
            major << addHeat(
                &b, losersName(i, count, count == 1), kGoesOn,
                {fromHeat(survivors, 1), fromHeat(survivors, 2), fromHeat(dropped, 3), fromHeat(dropped, 4)});
        }
        losers = major;
    }
    addHeat(&b, QStringLiteral("Grand final"), 0, topTwoOf(winners.at(0), losers.at(0)));
    labelGroups(&b);
    return b;
}

QList<HeatState> resolveBracket(const Bracket &bracket, const QList<int> &standing,
                                const QHash<int, QList<int>> &results)
{
    QList<HeatState> states(bracket.heats.size());
    for (qsizetype h = 0; h < bracket.heats.size(); ++h) {
        const BracketHeat &heat = bracket.heats.at(h);
        HeatState &s = states[h];
        for (const SeatSource &seat : heat.seats) {
            if (seat.seed > 0) {
                if (seat.seed <= standing.size())
                    s.pilots << standing.at(seat.seed - 1);
                continue;
            }
            if (seat.fromHeat < 0 || seat.fromHeat >= h) {
                ++s.unknownSeats; // a seat from a later heat cannot be known
                continue;
            }
            const HeatState &from = states.at(seat.fromHeat);
            if (!from.decided())
                ++s.unknownSeats;
            else if (seat.fromPlace >= 1 && seat.fromPlace <= from.order.size())
                s.pilots << from.order.at(seat.fromPlace - 1);
            // else: the earlier heat had fewer pilots; the seat stays empty
        }
        s.complete = s.unknownSeats == 0;
        const auto result = results.constFind(int(h));
        if (result != results.constEnd()) {
            const QSet<int> seated(s.pilots.cbegin(), s.pilots.cend());
            QSet<int> seen;
            bool fits = s.complete;
            for (int pilot : *result) {
                if (!seated.contains(pilot) || seen.contains(pilot)) {
                    fits = false;
                    break;
                }
                seen.insert(pilot);
            }
            if (fits) {
                s.flown = true;
                s.order = *result;
                for (int pilot : std::as_const(s.pilots)) {
                    if (!seen.contains(pilot))
                        s.order << pilot; // seated but not in the result
                }
            } else {
                s.stale = true;
            }
        }
        if (!s.flown && s.complete && s.pilots.size() <= heat.advance) {
            s.bye = true;
            s.order = s.pilots;
        }
    }
    return states;
}

int nextHeat(const QList<HeatState> &states)
{
    for (qsizetype i = 0; i < states.size(); ++i) {
        if (states.at(i).complete && !states.at(i).decided())
            return int(i);
    }
    return -1;
}

QHash<int, QString> pilotGroups(const Bracket &bracket, const QList<HeatState> &states)
{
    QHash<int, QString> groups;
    for (qsizetype i = 0; i < states.size() && i < bracket.heats.size(); ++i) {
        for (int pilot : states.at(i).pilots)
            groups.insert(pilot, bracket.heats.at(i).group);
    }
    return groups;
}

} // namespace lapvane
