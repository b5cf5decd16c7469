// Making the next stage a bracket from a stage's standing.
#include "competition/bracketmaking.h"

#include "competition/bracketview.h"
#include "competition/stagedeciding.h"
#include "store/database.h"
#include "store/transaction.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace lapvane {

namespace {

bool fail(const QString &text, QString *error)
{
    if (error)
        *error = text;
    return false;
}

struct ResultRow
{
    int pilotId = 0;
    QString name;
    int wins = 0;
    qint64 qualMs = kNoTimeMs;
    qint64 bestMs = kNoTimeMs;
    QString qualText;
};

qint64 timeOrNone(const QVariant &v)
{
    bool ok = false;
    const qint64 ms = v.toLongLong(&ok);
    return ok && ms > 0 ? ms : qint64(kNoTimeMs);
}

bool readRows(QSqlDatabase db, int stageId, QList<ResultRow> *out, QString *error)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT pilotid, pilotname, wins, qualtime, besttime, qualtimetxt FROM results "
                             "WHERE stage=? ORDER BY id ASC"));
    q.addBindValue(stageId);
    if (!q.exec())
        return fail(q.lastError().text(), error);
    QSet<int> seen;
    while (q.next()) {
        ResultRow r;
        r.pilotId = q.value(0).toInt();
        if (r.pilotId <= 0 || seen.contains(r.pilotId))
            continue;
        seen.insert(r.pilotId);
        r.name = q.value(1).toString();
        r.wins = q.value(2).toInt();
        r.qualMs = timeOrNone(q.value(3));
        r.bestMs = timeOrNone(q.value(4));
        r.qualText = r.qualMs < kNoTimeMs ? q.value(5).toString() : QString();
        *out << r;
    }
    return true;
}

} // namespace

bool stageSeeding(QSqlDatabase db, int stageId, QList<SeedRow> *out, QString *error)
{
    out->clear();
    QList<ResultRow> rows;
    if (!readRows(db, stageId, &rows, error))
        return false;
    QHash<int, QString> names;
    for (const ResultRow &r : std::as_const(rows))
        names.insert(r.pilotId, r.name);

    if (hasChosenFormat(db, stageId)) {
        QList<StageStandingRow> standing;
        if (!readStageStanding(db, stageId, &standing, error))
            return false;
        const bool anyRace = std::any_of(standing.cbegin(), standing.cend(),
                                         [](const StageStandingRow &r) { return r.hasRace; });
        if (anyRace) {
            for (const StageStandingRow &r : std::as_const(standing)) {
                if (r.pilotId > 0 && names.contains(r.pilotId))
                    *out << SeedRow{r.pilotId, names.value(r.pilotId), r.deciding};
            }
            return true;
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const ResultRow &a, const ResultRow &b) {
        if (a.wins != b.wins)
            return a.wins > b.wins;
        if (a.qualMs != b.qualMs)
            return a.qualMs < b.qualMs;
        return a.bestMs < b.bestMs;
    });
    for (const ResultRow &r : std::as_const(rows)) {
        QStringList parts;
        if (r.wins > 0)
            parts << (r.wins == 1 ? QStringLiteral("1 win") : QStringLiteral("%1 wins").arg(r.wins));
        if (!r.qualText.isEmpty())
            parts << QStringLiteral("qual %1").arg(r.qualText);
        *out << SeedRow{r.pilotId, r.name, parts.join(QStringLiteral(", "))};
    }
    return true;
}

bool makeBracketStage(QSqlDatabase db, const BracketRequest &request, BracketMade *out, QString *error)
{
    *out = BracketMade{};
    if (request.toStage > 0 && request.toStage == request.fromStage)
        return fail(QStringLiteral("A stage cannot be seeded from its own standing."), error);
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("SELECT events, stagename, laplimit, timelimit, tracklen FROM stages WHERE id=?"));
    q.addBindValue(request.fromStage);
    if (!q.exec())
        return fail(q.lastError().text(), error);
    if (!q.next())
        return fail(QStringLiteral("There is no stage %1.").arg(request.fromStage), error);
    const QVariant event = q.value(0), lapLimit = q.value(2), timeLimit = q.value(3), trackLen = q.value(4);
    const QString fromName = q.value(1).toString();
    q.finish();

    QList<SeedRow> seeding;
    if (!stageSeeding(db, request.fromStage, &seeding, error))
        return false;
    if (request.seedCount > 0 && request.seedCount < seeding.size())
        seeding = seeding.mid(0, request.seedCount);
    if (seeding.isEmpty())
        return fail(QStringLiteral("Stage \"%1\" has no pilots to seed a bracket.").arg(fromName), error);
    const Bracket check = makeBracket(request.setup, int(seeding.size()));
    if (!check.error.isEmpty())
        return fail(check.error, error);

    // The stage and its rows, in one transaction; the bracket follows in its own.
    int stageId = request.toStage;
    QString stageName;
    QStringList notSeeded;
    {
        Transaction tx(db);
        if (stageId <= 0) {
            stageName = request.newStageName.trimmed().isEmpty() ? bracketKindName(request.setup.kind)
                                                                 : request.newStageName.trimmed();
            q.prepare(QStringLiteral("INSERT INTO stages (events, stagename, laplimit, timelimit, tracklen) "
                                     "VALUES (?,?,?,?,?)"));
            for (const QVariant &v : {event, QVariant(stageName), lapLimit, timeLimit, trackLen})
                q.addBindValue(v);
            if (!q.exec())
                return fail(q.lastError().text(), error);
            stageId = q.lastInsertId().toInt();
        } else {
            q.prepare(QStringLiteral("SELECT stagename FROM stages WHERE id=?"));
            q.addBindValue(stageId);
            if (!q.exec())
                return fail(q.lastError().text(), error);
            if (!q.next())
                return fail(QStringLiteral("There is no stage %1.").arg(stageId), error);
            stageName = q.value(0).toString();
        }
        q.finish();
        QSet<int> present;
        q.prepare(QStringLiteral("SELECT pilotid, pilotname FROM results WHERE stage=? ORDER BY id ASC"));
        q.addBindValue(stageId);
        if (!q.exec())
            return fail(q.lastError().text(), error);
        QSet<int> seeded;
        for (const SeedRow &s : std::as_const(seeding))
            seeded.insert(s.pilotId);
        while (q.next()) {
            present.insert(q.value(0).toInt());
            if (!seeded.contains(q.value(0).toInt()))
                notSeeded << q.value(1).toString();
        }
        q.finish();
        QSqlQuery copy(db);
        copy.prepare(QStringLiteral(
            "INSERT INTO results (stage, pilotid, pilotname, nickname, pilotteam, coptercolor, pilottrans, "
            "\"group\", vtx, place, wins, lapno, besttime, besttimetxt, totaltime, totaltimetxt, qualtime, "
            "qualtimetxt) SELECT ?, pilotid, pilotname, nickname, pilotteam, coptercolor, pilottrans, '', "
            "vtx, "
            "0, 0, 0, ?, ?, ?, ?, ?, ? FROM results WHERE stage=? AND pilotid=? ORDER BY id ASC LIMIT 1"));
        for (const SeedRow &s : std::as_const(seeding)) {
            if (present.contains(s.pilotId))
                continue;
            for (const QVariant &v :
                 {QVariant(stageId), QVariant(kNoTimeMs), QVariant(QString::fromLatin1(kNoTimeText)),
                  QVariant(kNoTimeMs), QVariant(QString::fromLatin1(kNoTimeText)), QVariant(kNoTimeMs),
                  QVariant(QString::fromLatin1(kNoTimeText)), QVariant(request.fromStage),
                  QVariant(s.pilotId)})
                copy.addBindValue(v);
            if (!copy.exec())
                return fail(copy.lastError().text(), error);
        }
        if (!tx.commit())
            return fail(db.lastError().text(), error);
    }

    QList<int> standing;
    for (const SeedRow &s : std::as_const(seeding))
        standing << s.pilotId;
    BracketStage made;
    if (!createBracketStage(db, stageId, request.setup, standing, &made, error))
        return false;

    out->stageId = stageId;
    out->stageName = stageName;
    out->pilots = int(standing.size());
    for (qsizetype i = 0; i < made.bracket.heats.size(); ++i) {
        const BracketHeat &heat = made.bracket.heats.at(i);
        // A first-round heat of an elimination leaves out the seats of seeds
        // beyond the field.
        const bool seeded = std::all_of(heat.seats.cbegin(), heat.seats.cend(),
                                        [](const SeatSource &seat) { return seat.seed > 0; });
        if (request.setup.kind != BracketKind::Mains && seeded)
            out->emptySeats += std::max(0, kEliminationHeatSize - int(heat.seats.size()));
        if (i < made.states.size() && made.states.at(i).bye)
            ++out->byeHeats;
        else
            ++out->heats;
    }
    out->firstGroup = made.nextGroup;

    QString first;
    for (const BracketHeat &heat : std::as_const(made.bracket.heats)) {
        if (heat.group == made.nextGroup)
            first = heat.name;
    }
    out->lines << QStringLiteral("Stage \"%1\" is now a %2 of %3 pilots seeded from \"%4\": %5 heats to fly, "
                                 "%6 byes (empty seats), %7 heats not flown.")
                      .arg(stageName, bracketKindName(request.setup.kind).toLower())
                      .arg(out->pilots)
                      .arg(fromName)
                      .arg(out->heats)
                      .arg(out->emptySeats)
                      .arg(out->byeHeats);
    QStringList seeds;
    for (qsizetype i = 0; i < seeding.size(); ++i)
        seeds << QStringLiteral("%1. %2").arg(i + 1).arg(seeding.at(i).name);
    out->lines << QStringLiteral("Seeding: %1.").arg(seeds.join(QStringLiteral(", ")));
    if (!made.nextGroup.isEmpty())
        out->lines << QStringLiteral("Group %1 (%2) flies first.").arg(made.nextGroup, first);
    if (!notSeeded.isEmpty())
        out->lines
            << QStringLiteral("Not in the bracket, rows kept: %1.").arg(notSeeded.join(QStringLiteral(", ")));
    return true;
}

} // namespace lapvane
