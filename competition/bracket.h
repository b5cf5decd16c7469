// Brackets: the next stage's heats made from a stage's standing (mains with
// bump-up, single and double elimination), who sits in each heat as results
// come in, and which heat flies next. Pure: pilots are ids, results are
// finishing orders; nothing here reads or writes the store.
#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace lapvane {

enum class BracketKind { Mains, SingleElimination, DoubleElimination };

// Where one seat of a heat is filled from: a place of the seeding standing,
// or a place in an earlier heat's result.
struct SeatSource
{
    int seed = 0;      // 1-based place in the standing; 0 when fromHeat is used
    int fromHeat = -1; // index of the heat whose result fills the seat
    int fromPlace = 0; // 1-based place in that heat
};

struct BracketHeat
{
    QString name;    // "A main", "Round 1, heat 2", "Losers final", ...
    QString group;   // group label in the next stage; text order is flying order
    int advance = 0; // how many of its places go on to another heat (0: none)
    QList<SeatSource> seats;
};

struct Bracket
{
    BracketKind kind = BracketKind::Mains;
    int pilots = 0;           // size of the seeded field
    QList<BracketHeat> heats; // in flying order: every heat after the heats that feed it
    QString error;            // why no bracket was made (heats then empty)
};

// Mains (a ladder): the standing split into A, B, C ... mains of up to
// mainSize pilots. With bumpUp K > 0 the top K of each lower main move up
// into the main above, which keeps K seats for them; the mains fly from the
// lowest up, the A main last. The lowest main takes the rest of the field
// (always more than K pilots, so nobody moves up without racing).
Bracket makeMains(int pilots, int mainSize, int bumpUp = 0);

// Elimination for a field of up to 8, 16 or 32 pilots (the smallest that
// holds it), heats of 4, the top 2 of a heat go on. Seeding deals the
// standing into the first round's heats in a snake, the heats taken in
// standard bracket order, so the first seed meets the lowest seed and the
// top seeds meet as late as possible (16: 1-8-9-16, 4-5-12-13, 2-7-10-15,
// 3-6-11-14). Seats of missing seeds stay empty (byes): a heat left with 2
// pilots or fewer is not flown, its pilots go on in seat order.
// Double elimination: the 3rd and 4th of a winners' heat drop into the
// losers' bracket; the top 2 of the winners' final and of the losers' final
// meet in the grand final.
Bracket makeSingleElimination(int pilots);
Bracket makeDoubleElimination(int pilots);

// A heat as the known results leave it.
struct HeatState
{
    QList<int> pilots;     // pilot ids seated now, in seat order
    int unknownSeats = 0;  // seats waiting for an earlier heat
    bool complete = false; // every seat known
    bool bye = false;      // complete, and no race needed (no more pilots than go on)
    bool flown = false;    // a result is recorded and fits the seats
    bool stale = false;    // a result is recorded that does not fit the seats now (to be flown again)
    QList<int> order;      // finishing order that feeds later heats (empty until decided)
    bool decided() const { return bye || flown; }
};

// Seats every heat from the standing (pilot ids, best first) and the results
// recorded so far (heat index -> pilot ids in finishing order, e.g. the
// ranking of the heat's exported race). Everything is recomputed from these,
// so a corrected or re-exported result moves the pilots after it again.
// A result naming a pilot who is not seated in its heat is stale: the heat
// feeds nobody until it is flown again. Seated pilots missing from a result
// (did not start) follow the pilots in it, in seat order.
QList<HeatState> resolveBracket(const Bracket &bracket, const QList<int> &standing,
                                const QHash<int, QList<int>> &results);

// The first heat in flying order that is complete and not decided (a stale
// heat counts: it is to be flown again); -1 when none is ready.
int nextHeat(const QList<HeatState> &states);

// Each pilot's group now: the label of the last heat (in flying order) he is
// seated in. Pilots of the standing not seated anywhere yet get no entry.
QHash<int, QString> pilotGroups(const Bracket &bracket, const QList<HeatState> &states);

QString bracketKindKey(BracketKind kind); // "mains", "single", "double"

} // namespace lapvane
