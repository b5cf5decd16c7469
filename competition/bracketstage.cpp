// A stage flown as a bracket, in the race database.
#include "competition/bracketstage.h"

#include "competition/raceformat.h"
#include "competition/stagedeciding.h"
#include "competition/stageformat.h"
#include "store/transaction.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <optional>

namespace lapvane {

namespace {

bool fail(const QString &text, QString *error)
{
    if (error)
        *error = text;
    return false;
}

bool failQ(const QSqlQuery &q, QString *error)
{
    return fail(q.lastError().text(), error);
}

QString idsText(const QList<int> &ids)
{
    QStringList parts;
    for (int id : ids)
        parts << QString::number(id);
    return parts.join(QLatin1Char(','));
}

bool parseIds(const QString &text, QList<int> *out)
{
    out->clear();
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int id = part.trimmed().toInt(&ok);
        if (!ok)
            return false;
        *out << id;
    }
    return true;
}

bool hasTables(QSqlDatabase db)
{
    return db.tables().contains(QStringLiteral("stagebracket"), Qt::CaseInsensitive);
}

bool makeTables(QSqlDatabase db, QString *error)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS stagebracket (stage INTEGER PRIMARY KEY, kind TEXT NOT NULL, "
            "mainsize INTEGER NOT NULL, bumpup INTEGER NOT NULL, standing TEXT NOT NULL)")))
        return failQ(q, error);
    if (!q.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS bracketheat (stage INTEGER NOT NULL, heat INTEGER NOT NULL, "
            "pilots TEXT NOT NULL, PRIMARY KEY (stage, heat))")))
        return failQ(q, error);
    return true;
}

std::optional<BracketKind> kindFromKey(const QString &key)
{
    for (BracketKind k :
         {BracketKind::Mains, BracketKind::SingleElimination, BracketKind::DoubleElimination}) {
        if (bracketKindKey(k) == key)
            return k;
    }
    return std::nullopt;
}

// Re-seats the bracket from what is stored and writes every seated pilot's
// group into the stage's results rows.
bool placePilots(QSqlDatabase db, int stageId, BracketStage *stage, QString *error)
{
    if (!seatBracketStage(db, stageId, stage, error))
        return false;
    const QHash<int, QString> groups = pilotGroups(stage->bracket, stage->states);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE results SET \"group\"=? WHERE stage=? AND pilotid=?"));
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        q.bindValue(0, it.value());
        q.bindValue(1, stageId);
        q.bindValue(2, it.key());
        if (!q.exec())
            return failQ(q, error);
    }
    return true;
}

} // namespace

Bracket makeBracket(const BracketSetup &setup, int pilots)
{
    switch (setup.kind) {
    case BracketKind::Mains:
        return makeMains(pilots, setup.mainSize, setup.bumpUp);
    case BracketKind::SingleElimination:
        return makeSingleElimination(pilots);
    case BracketKind::DoubleElimination:
        return makeDoubleElimination(pilots);
    }
    return {};
}

bool readBracketStage(QSqlDatabase db, int stageId, BracketStage *out, QString *error)
{
    *out = BracketStage{};
    if (!hasTables(db))
        return true;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT kind, mainsize, bumpup, standing FROM stagebracket WHERE stage=?"));
    q.addBindValue(stageId);
    if (!q.exec())
        return failQ(q, error);
    if (!q.next())
        return true;
    const auto kind = kindFromKey(q.value(0).toString());
    BracketStage stage;
    if (!kind || !parseIds(q.value(3).toString(), &stage.standing))
        return fail(QStringLiteral("The bracket of stage %1 cannot be read (kind \"%2\").")
                        .arg(stageId)
                        .arg(q.value(0).toString()),
                    error);
    stage.exists = true;
    stage.setup.kind = *kind;
    stage.setup.mainSize = q.value(1).toInt();
    stage.setup.bumpUp = q.value(2).toInt();
    stage.bracket = makeBracket(stage.setup, int(stage.standing.size()));
    if (!stage.bracket.error.isEmpty())
        return fail(stage.bracket.error, error);
    *out = stage;
    return true;
}

bool seatBracketStage(QSqlDatabase db, int stageId, BracketStage *stage, QString *error)
{
    QHash<int, QList<int>> results;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT heat, pilots FROM bracketheat WHERE stage=? ORDER BY heat ASC"));
    q.addBindValue(stageId);
    if (!q.exec())
        return failQ(q, error);
    while (q.next()) {
        QList<int> order;
        if (!parseIds(q.value(1).toString(), &order))
            return fail(QStringLiteral("The stored result of heat %1 of stage %2 cannot be read.")
                            .arg(q.value(0).toInt() + 1)
                            .arg(stageId),
                        error);
        results.insert(q.value(0).toInt(), order);
    }
    q.finish();
    stage->states = resolveBracket(stage->bracket, stage->standing, results);
    const int next = nextHeat(stage->states);
    stage->nextGroup = next < 0 ? QString() : stage->bracket.heats.at(next).group;
    stage->notes.clear();
    for (qsizetype i = 0; i < stage->states.size(); ++i) {
        if (stage->states.at(i).stale)
            stage->notes
                << QStringLiteral(
                       "%1 (group %2): its result no longer fits the pilots seated in it; fly it again.")
                       .arg(stage->bracket.heats.at(i).name, stage->bracket.heats.at(i).group);
    }
    return true;
}

bool createBracketStage(QSqlDatabase db, int stageId, const BracketSetup &setup, const QList<int> &standing,
                        BracketStage *out, QString *error)
{
    BracketStage stage;
    stage.exists = true;
    stage.setup = setup;
    stage.standing = standing;
    stage.bracket = makeBracket(setup, int(standing.size()));
    if (!stage.bracket.error.isEmpty())
        return fail(stage.bracket.error, error);
    if (QSet<int>(standing.cbegin(), standing.cend()).size() != standing.size())
        return fail(QStringLiteral("A pilot stands twice in the seeding."), error);

    Transaction tx(db);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM stages WHERE id=?"));
    q.addBindValue(stageId);
    if (!q.exec() || !q.next())
        return failQ(q, error);
    if (q.value(0).toInt() == 0)
        return fail(QStringLiteral("There is no stage %1.").arg(stageId), error);
    q.finish();
    if (!makeTables(db, error))
        return false;
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO stagebracket (stage, kind, mainsize, bumpup, standing) "
                             "VALUES (?,?,?,?,?)"));
    q.addBindValue(stageId);
    q.addBindValue(bracketKindKey(setup.kind));
    q.addBindValue(setup.mainSize);
    q.addBindValue(setup.bumpUp);
    q.addBindValue(idsText(standing));
    if (!q.exec())
        return failQ(q, error);
    q.prepare(QStringLiteral("DELETE FROM bracketheat WHERE stage=?"));
    q.addBindValue(stageId);
    if (!q.exec())
        return failQ(q, error);
    if (!placePilots(db, stageId, &stage, error))
        return false;
    if (!tx.commit())
        return fail(db.lastError().text(), error);
    *out = stage;
    return true;
}

bool recordHeatResult(QSqlDatabase db, int stageId, const QString &group, const QList<int> &order,
                      BracketStage *out, QString *error)
{
    BracketStage stage;
    if (!readBracketStage(db, stageId, &stage, error))
        return false;
    if (!stage.exists) {
        *out = stage;
        return true;
    }
    int heat = -1;
    for (qsizetype i = 0; i < stage.bracket.heats.size(); ++i) {
        if (stage.bracket.heats.at(i).group == group.trimmed())
            heat = int(i);
    }
    if (heat < 0)
        return fail(QStringLiteral(
                        "Group \"%1\" is no heat of the bracket of this stage; its pilots were not moved on.")
                        .arg(group),
                    error);
    Transaction tx(db);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO bracketheat (stage, heat, pilots) VALUES (?,?,?)"));
    q.addBindValue(stageId);
    q.addBindValue(heat);
    q.addBindValue(idsText(order));
    if (!q.exec())
        return failQ(q, error);
    if (!placePilots(db, stageId, &stage, error))
        return false;
    if (!tx.commit())
        return fail(db.lastError().text(), error);
    *out = stage;
    return true;
}

bool recordRaceListAsHeat(QSqlDatabase db, int stageId, BracketStage *out, QString *error)
{
    BracketStage stage;
    if (!readBracketStage(db, stageId, &stage, error))
        return false;
    if (!stage.exists) {
        *out = stage;
        return true;
    }
    // The heat's order by the stage's format, from the laps, as the finish ranks.
    StageRules rules;
    QString formatError;
    readStageRules(db, stageId, &rules, &formatError); // an unknown format ranks as the default
    const FormatOptions options = rankingOptions(rules);

    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT \"group\", pilotid, lapno FROM onerace ORDER BY id ASC")))
        return failQ(q, error);
    QString group;
    QList<int> pilots;
    QList<RaceEntry> entries;
    while (q.next()) {
        if (pilots.isEmpty())
            group = q.value(0).toString();
        if (pilots.contains(q.value(1).toInt()))
            continue; // a pilot listed twice is one pilot of the heat
        pilots << q.value(1).toInt();
        RaceEntry e;
        e.countedPasses = q.value(2).toInt();
        entries << e;
    }
    q.finish();
    if (pilots.isEmpty()) {
        *out = stage;
        return true;
    }
    q.prepare(QStringLiteral("SELECT laptime FROM laps WHERE pilotid=? ORDER BY lapn ASC"));
    for (qsizetype i = 0; i < pilots.size(); ++i) {
        q.bindValue(0, pilots.at(i));
        if (!q.exec())
            return failQ(q, error);
        while (q.next())
            entries[i].passesMs << q.value(0).toLongLong();
        q.finish();
    }
    QList<int> order;
    for (const RankedEntry &r : rankRace(rules.format, options, entries))
        order << pilots.at(r.index);
    if (!recordHeatResult(db, stageId, group, order, out, error))
        return false;
    if (!formatError.isEmpty())
        out->notes.prepend(formatError);
    return true;
}

} // namespace lapvane
