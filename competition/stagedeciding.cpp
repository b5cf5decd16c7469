// Race rules, the race list ranked by them, and a stage's deciding values.
#include "competition/stagedeciding.h"

#include "store/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

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

bool hasTable(QSqlDatabase db, const char *name)
{
    return db.tables().contains(QLatin1String(name), Qt::CaseInsensitive);
}

} // namespace

StageRules raceRules(QSqlDatabase db, int stageId, QString *problem)
{
    if (problem)
        problem->clear();
    if (stageId <= 0)
        return {};
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM stages WHERE id=?"));
    q.addBindValue(stageId);
    if (q.exec() && !q.next())
        return {}; // no such stage: nothing was chosen for it
    q.finish();
    StageRules rules;
    QString error;
    if (!readStageRules(db, stageId, &rules, &error)) {
        if (problem)
            *problem = error;
        return {};
    }
    return rules;
}

FormatOptions rankingOptions(const StageRules &rules)
{
    if (rules.format != RaceFormat::LapsAndTime)
        return rules.options;
    FormatOptions o;
    o.holeShot = rules.options.holeShot;
    return o;
}

bool hasChosenFormat(QSqlDatabase db, int stageId)
{
    if (stageId <= 0 || !hasTable(db, kStageFormatTable))
        return false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM stageformat WHERE stage=?"));
    q.addBindValue(stageId);
    return q.exec() && q.next();
}

bool showsDecidingValue(QSqlDatabase db, int stageId)
{
    return hasChosenFormat(db, stageId) && raceRules(db, stageId, nullptr).format != RaceFormat::LapsAndTime;
}

bool raceListDeciding(QSqlDatabase db, int stageId, QHash<int, QString> *out, QString *error)
{
    out->clear();
    if (!showsDecidingValue(db, stageId))
        return true;
    QList<RaceListRank> ranked;
    if (!rankRaceList(db, raceRules(db, stageId, nullptr), &ranked, error))
        return false;
    for (const RaceListRank &r : std::as_const(ranked))
        out->insert(r.pilotId, r.ranked.decidingText);
    return true;
}

bool rankRaceList(QSqlDatabase db, const StageRules &rules, QList<RaceListRank> *out, QString *error)
{
    out->clear();
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT pilotid, lapno FROM onerace ORDER BY id ASC")))
        return failQ(q, error);
    QList<int> pilots;
    QList<RaceEntry> entries;
    while (q.next()) {
        const int pilotId = q.value(0).toInt();
        if (pilots.contains(pilotId))
            continue; // a pilot listed twice is one pilot of the race
        pilots << pilotId;
        RaceEntry e;
        e.countedPasses = q.value(1).toInt();
        entries << e;
    }
    q.finish();
    q.prepare(QStringLiteral("SELECT laptime FROM laps WHERE pilotid=? ORDER BY lapn ASC"));
    for (qsizetype i = 0; i < pilots.size(); ++i) {
        q.bindValue(0, pilots.at(i));
        if (!q.exec())
            return failQ(q, error);
        while (q.next())
            entries[i].passesMs << q.value(0).toLongLong();
        q.finish();
    }
    for (const RankedEntry &r : rankRace(rules.format, rankingOptions(rules), entries))
        out->append(RaceListRank{pilots.at(r.index), r});
    return true;
}

bool recordStageDeciding(QSqlDatabase db, int stageId, const QList<RaceListRank> &race, QString *error)
{
    QHash<int, StageDeciding> stored;
    if (!readStageDeciding(db, stageId, &stored, error))
        return false;
    Transaction tx(db);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS stagedeciding (stage INTEGER NOT NULL, "
            "pilotid INTEGER NOT NULL, tier INTEGER NOT NULL, value INTEGER NOT NULL, "
            "achievedms INTEGER NOT NULL, deciding TEXT NOT NULL, PRIMARY KEY (stage, pilotid))")))
        return failQ(q, error);
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO stagedeciding (stage, pilotid, tier, value, achievedms, deciding) "
        "VALUES (?,?,?,?,?,?)"));
    for (const RaceListRank &r : race) {
        const auto it = stored.constFind(r.pilotId);
        if (it != stored.constEnd() && !(r.ranked.score < it->score))
            continue;
        q.bindValue(0, stageId);
        q.bindValue(1, r.pilotId);
        q.bindValue(2, r.ranked.score.tier);
        q.bindValue(3, r.ranked.score.value);
        q.bindValue(4, r.ranked.score.achievedMs);
        q.bindValue(5, r.ranked.decidingText);
        if (!q.exec())
            return failQ(q, error);
    }
    if (!tx.commit())
        return fail(db.lastError().text(), error);
    return true;
}

bool readStageDeciding(QSqlDatabase db, int stageId, QHash<int, StageDeciding> *out, QString *error)
{
    out->clear();
    if (!hasTable(db, kStageDecidingTable))
        return true;
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("SELECT pilotid, tier, value, achievedms, deciding FROM stagedeciding WHERE stage=?"));
    q.addBindValue(stageId);
    if (!q.exec())
        return failQ(q, error);
    while (q.next()) {
        StageDeciding d;
        d.score.tier = q.value(1).toInt();
        d.score.value = q.value(2).toLongLong();
        d.score.achievedMs = q.value(3).toLongLong();
        d.text = q.value(4).toString();
        out->insert(q.value(0).toInt(), d);
    }
    return true;
}

bool readStageStanding(QSqlDatabase db, int stageId, QList<StageStandingRow> *out, QString *error)
{
    out->clear();
    QHash<int, StageDeciding> kept;
    if (!readStageDeciding(db, stageId, &kept, error))
        return false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT pilotid FROM results WHERE stage=? ORDER BY id ASC"));
    q.addBindValue(stageId);
    if (!q.exec())
        return failQ(q, error);
    QList<StageStandingRow> rows;
    while (q.next()) {
        StageStandingRow r;
        r.pilotId = q.value(0).toInt();
        bool seen = false;
        for (const StageStandingRow &o : std::as_const(rows))
            seen = seen || o.pilotId == r.pilotId;
        if (seen)
            continue;
        const auto it = kept.constFind(r.pilotId);
        r.hasRace = it != kept.constEnd();
        if (r.hasRace)
            r.deciding = it->text;
        rows << r;
    }
    std::stable_sort(rows.begin(), rows.end(), [&kept](const StageStandingRow &a, const StageStandingRow &b) {
        if (a.hasRace != b.hasRace)
            return a.hasRace;
        return a.hasRace && kept.value(a.pilotId).score < kept.value(b.pilotId).score;
    });
    for (qsizetype i = 0; i < rows.size(); ++i)
        rows[i].place = int(i + 1);
    *out = rows;
    return true;
}

} // namespace lapvane
