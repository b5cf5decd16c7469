// A bracket stage as people read it.
#include "competition/bracketview.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

QString BracketViewHeat::state() const
{
    if (next)
        return QStringLiteral("next");
    if (stale)
        return QStringLiteral("fly again");
    if (flown)
        return QStringLiteral("flown");
    if (bye)
        return QStringLiteral("bye");
    return waitingSeats == 0 ? QStringLiteral("ready") : QStringLiteral("waiting");
}

QString bracketKindName(BracketKind kind)
{
    switch (kind) {
    case BracketKind::Mains:
        return QStringLiteral("Mains");
    case BracketKind::SingleElimination:
        return QStringLiteral("Single elimination");
    case BracketKind::DoubleElimination:
        return QStringLiteral("Double elimination");
    }
    return QString();
}

QString bracketRoundName(BracketKind kind, const QString &heatName)
{
    if (kind == BracketKind::Mains)
        return QStringLiteral("Mains");
    static const QRegularExpression heatNumber(QStringLiteral(", heat \\d+$"));
    QString round = heatName;
    round.remove(heatNumber);
    return round;
}

BracketView bracketView(const BracketStage &stage, const QHash<int, QString> &names)
{
    BracketView view;
    if (!stage.exists)
        return view;
    view.exists = true;
    view.kind = bracketKindKey(stage.setup.kind);
    view.kindName = bracketKindName(stage.setup.kind);
    view.pilots = int(stage.standing.size());
    view.nextGroup = stage.nextGroup;
    view.notes = stage.notes;
    auto nameOf = [&names](int id) {
        const QString name = names.value(id);
        return name.isEmpty() ? QStringLiteral("Pilot %1").arg(id) : name;
    };
    for (qsizetype i = 0; i < stage.bracket.heats.size() && i < stage.states.size(); ++i) {
        const BracketHeat &heat = stage.bracket.heats.at(i);
        const HeatState &state = stage.states.at(i);
        BracketViewHeat h;
        h.index = int(i);
        h.name = heat.name;
        h.group = heat.group;
        h.advance = heat.advance;
        // An elimination heat has 4 seats, a first-round one of a short field
        // leaves out the seats of missing seeds.
        h.seats = stage.setup.kind == BracketKind::Mains
                      ? int(heat.seats.size())
                      : std::max(kEliminationHeatSize, int(heat.seats.size()));
        h.waitingSeats = state.unknownSeats;
        h.emptySeats = std::max(0, h.seats - int(state.pilots.size()) - state.unknownSeats);
        h.bye = state.bye;
        h.flown = state.flown;
        h.stale = state.stale;
        h.next = !view.nextGroup.isEmpty() && heat.group == view.nextGroup;
        if (h.next)
            view.nextHeatName = heat.name;
        const QList<int> &pilots = state.flown ? state.order : state.pilots;
        for (qsizetype p = 0; p < pilots.size(); ++p) {
            BracketViewPilot pilot;
            pilot.pilotId = pilots.at(p);
            pilot.name = nameOf(pilot.pilotId);
            if (state.flown) {
                pilot.place = int(p + 1);
                pilot.goesOn = p < heat.advance;
            } else if (state.bye) {
                pilot.goesOn = p < heat.advance;
            }
            h.pilots << pilot;
        }
        const QString round = bracketRoundName(stage.setup.kind, heat.name);
        auto it = std::find_if(view.rounds.begin(), view.rounds.end(),
                               [&round](const BracketViewRound &r) { return r.name == round; });
        if (it == view.rounds.end()) {
            view.rounds << BracketViewRound{round, {}};
            it = view.rounds.end() - 1;
        }
        it->heats << h;
    }
    return view;
}

namespace {

bool failed(const QString &text, QString *error)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool readBracketView(QSqlDatabase db, int stageId, BracketView *out, QString *error)
{
    *out = BracketView{};
    BracketStage stage;
    if (!readBracketStage(db, stageId, &stage, error))
        return false;
    if (!stage.exists)
        return true;
    if (!seatBracketStage(db, stageId, &stage, error))
        return false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT pilotid, pilotname FROM results WHERE stage=? ORDER BY id ASC"));
    q.addBindValue(stageId);
    if (!q.exec())
        return failed(q.lastError().text(), error);
    QHash<int, QString> names;
    while (q.next()) {
        if (!names.contains(q.value(0).toInt()))
            names.insert(q.value(0).toInt(), q.value(1).toString());
    }
    q.prepare(QStringLiteral("SELECT stagename FROM stages WHERE id=?"));
    q.addBindValue(stageId);
    const QString stageName = q.exec() && q.next() ? q.value(0).toString() : QString();
    *out = bracketView(stage, names);
    out->stageId = stageId;
    out->stageName = stageName;
    return true;
}

} // namespace lapvane
