// The export of a race into the stage results.
#include "race/raceexport.h"

#include "competition/bracketstage.h"
#include "competition/stagedeciding.h"
#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/settings.h"
#include "race/finishedrace.h"
#include "race/racestage.h"
#include "store/database.h"
#include "store/transaction.h"

#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <vector>

namespace lapvane {

namespace {

struct RaceRow
{
    int pilotId = 0;
    QVariantMap values;
};

struct ResultRow
{
    int id = 0; // 0: to be inserted
    QVariantMap values;
};

int timeOf(const QVariantMap &row, const char *field)
{
    const QVariant v = row.value(QLatin1String(field));
    return v.isNull() ? kNoTimeMs : v.toInt();
}

QVariantMap readRow(const QSqlQuery &q)
{
    QVariantMap map;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        map.insert(rec.fieldName(i).toLower(), q.value(i));
    return map;
}

} // namespace

RaceExport::RaceExport(QSqlDatabase db, const Settings &settings, OperatorLog &log, OperatorPrompt &prompt,
                       const CurrentSelection &selection, QObject *parent)
    : QObject(parent), m_db(db), m_settings(settings), m_log(log), m_prompt(prompt), m_selection(selection)
{
}

bool RaceExport::storeFailed(const QString &text)
{
    m_prompt.notice(text);
    return false;
}

bool RaceExport::copyLastRace()
{
    // Column by column by position, the row key aside; inside the export's
    // transaction, so the copy and the results change together.
    const QSqlRecord from = m_db.record(QStringLiteral("onerace"));
    const QSqlRecord to = m_db.record(QStringLiteral("lastrace"));
    QStringList src, dst;
    for (int i = 1; i < from.count() && i < to.count(); ++i) {
        src << QLatin1Char('"') + from.fieldName(i) + QLatin1Char('"');
        dst << QLatin1Char('"') + to.fieldName(i) + QLatin1Char('"');
    }
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("DELETE FROM lastrace")))
        return storeFailed(q.lastError().text());
    if (!src.isEmpty() &&
        !q.exec(QStringLiteral("INSERT INTO lastrace (%1) SELECT %2 FROM onerace ORDER BY id ASC")
                    .arg(dst.join(QLatin1Char(',')), src.join(QLatin1Char(',')))))
        return storeFailed(q.lastError().text());
    return true;
}

void RaceExport::recordDecidingValues(const QHash<int, int> &stageOfPilot)
{
    QList<int> stages;
    for (int stage : stageOfPilot) {
        if (!stages.contains(stage))
            stages << stage;
    }
    for (int stage : std::as_const(stages)) {
        // Only a stage whose format was chosen: an existing file stays as it was.
        if (!hasChosenFormat(m_db, stage))
            continue;
        const StageRules rules = raceRules(m_db, stage, nullptr);
        QList<RaceListRank> ranked;
        QString error;
        if (rankRaceList(m_db, rules, &ranked, &error)) {
            QList<RaceListRank> ofStage;
            for (const RaceListRank &r : std::as_const(ranked)) {
                if (stageOfPilot.value(r.pilotId) == stage)
                    ofStage << r;
            }
            if (recordStageDeciding(m_db, stage, ofStage, &error))
                continue;
        }
        m_log.savelog(
            QStringLiteral("The deciding values of this race were not kept in the stage results: ") + error);
    }
}

QStringList RaceExport::advanceBracket(int stageId)
{
    BracketStage bracket;
    QString error;
    if (!recordRaceListAsHeat(m_db, stageId, &bracket, &error))
        return {QStringLiteral("Bracket: the pilots of this race were not moved on: ") + error};
    if (!bracket.exists)
        return {};
    QStringList lines;
    for (const QString &note : std::as_const(bracket.notes))
        lines << QStringLiteral("Bracket: ") + note;
    if (!bracket.nextGroup.isEmpty()) {
        QString name;
        for (const BracketHeat &h : std::as_const(bracket.bracket.heats)) {
            if (h.group == bracket.nextGroup)
                name = h.name;
        }
        lines << QStringLiteral("Bracket: next to fly is group %1 (%2).").arg(bracket.nextGroup, name);
    } else {
        bool allDecided = true;
        for (const HeatState &h : std::as_const(bracket.states))
            allDecided = allDecided && h.decided();
        lines << (allDecided ? QStringLiteral("Bracket: every heat has been flown; the bracket is complete.")
                             : QStringLiteral("Bracket: no heat is ready to fly yet."));
    }
    return lines;
}

bool RaceExport::raceexporttoeventExecute()
{
    // The rows the results view shows; before any stage was picked it shows
    // none, and the current stage stands in for it.
    const CurrentSelection *into = &m_selection;
    if (m_raceStage && m_raceStage->exportElsewhere()) {
        const CurrentSelection &shown = m_raceStage->browsing();
        const QString own = m_raceStage->describe();
        const QString other = shown.currentEventName() + QStringLiteral(" - ") + shown.currentStageName();
        const Choice choice = m_prompt.askYesNoCancel(
            QStringLiteral("This race belongs to \"%1\", but the Events page shows \"%2\".\n\n"
                           "Yes: export it to \"%1\" (its own stage).\nNo: export it to \"%2\".\n"
                           "Cancel: do not export.")
                .arg(own, other));
        if (m_prompt.stopRequested() || choice == Choice::Cancel)
            return false;
        if (choice == Choice::No)
            into = &shown;
    }
    QList<int> stages = into->selectedStageIds();
    const int currentStage = into->currentStageId();
    const QString eventName = into->currentEventName();
    const QString stageName = into->currentStageName();
    if (stages.isEmpty() && currentStage != 0)
        stages << currentStage;
    if (stages.isEmpty()) {
        m_prompt.notice(
            QStringLiteral("Choose a stage on the Events page first: there is no stage to export to."));
        return false;
    }

    if (m_finished && !m_finished->confirmExport())
        return false;

    QSqlQuery q(m_db);
    std::vector<RaceRow> race;
    if (!q.exec(QStringLiteral("SELECT * FROM onerace ORDER BY id ASC")))
        return storeFailed(q.lastError().text());
    while (q.next()) {
        RaceRow r;
        r.values = readRow(q);
        r.pilotId = r.values.value(QStringLiteral("pilotid")).toInt();
        race.push_back(std::move(r));
    }

    QStringList marks;
    for (int i = 0; i < stages.size(); ++i)
        marks << QStringLiteral("?");
    q.prepare(QStringLiteral("SELECT * FROM results WHERE stage IN (%1) ORDER BY id ASC")
                  .arg(marks.join(QLatin1Char(','))));
    for (int id : stages)
        q.addBindValue(id);
    if (!q.exec())
        return storeFailed(q.lastError().text());
    std::vector<ResultRow> results;
    QHash<int, size_t> firstRowOf; // pilotid -> first results row
    while (q.next()) {
        ResultRow r;
        r.values = readRow(q);
        r.id = r.values.value(QStringLiteral("id")).toInt();
        const int pilotId = r.values.value(QStringLiteral("pilotid")).toInt();
        if (!firstRowOf.contains(pilotId))
            firstRowOf.insert(pilotId, results.size());
        results.push_back(std::move(r));
    }

    // Questions first, in race-list order, so the store changes afterwards
    // happen together or not at all.
    std::vector<long> target(race.size(), -1);
    for (size_t i = 0; i < race.size(); ++i) {
        const RaceRow &r = race[i];
        if (firstRowOf.contains(r.pilotId)) {
            target[i] = long(firstRowOf.value(r.pilotId));
            continue;
        }
        const QString question =
            QStringLiteral("Pilot \"%1\" is not found in\n\r\n\r\"%2 - %3\"\n\r\n\rAdd him?")
                .arg(r.values.value(QStringLiteral("pilotname")).toString(), eventName, stageName);
        const bool add = m_prompt.askAs(QuestionKind::Adding, question);
        if (m_prompt.stopRequested()) {
            m_log.savelog(
                QStringLiteral("The export was cancelled: the program is ending. Nothing was written "
                               "to the stage results."));
            return false;
        }
        if (!add)
            continue;
        ResultRow added;
        for (const char *f : {"pilotid", "pilottrans", "pilotname", "nickname", "pilotteam", "coptercolor"})
            added.values.insert(QLatin1String(f), r.values.value(QLatin1String(f)));
        for (const char *f : {"besttime", "totaltime", "qualtime"})
            added.values.insert(QLatin1String(f), kNoTimeMs);
        for (const char *f : {"besttimetxt", "totaltimetxt", "qualtimetxt"})
            added.values.insert(QLatin1String(f), QLatin1String(kNoTimeText));
        added.values.insert(QStringLiteral("wins"), 0);
        added.values.insert(QStringLiteral("place"), kNoPlace);
        added.values.insert(QStringLiteral("stage"), currentStage);
        firstRowOf.insert(r.pilotId, results.size());
        target[i] = long(results.size());
        results.push_back(std::move(added));
    }

    const bool updBest = m_settings.flag(QStringLiteral("chupdbestlap"));
    const bool best2qual = m_settings.flag(QStringLiteral("chkbest2qual"));
    const bool updTotal = m_settings.flag(QStringLiteral("chupdtotaltime"));
    const bool total2qual = m_settings.flag(QStringLiteral("chktotal2qual"));
    const bool updLaps = m_settings.flag(QStringLiteral("chkupdlaps"));
    const bool updWins = m_settings.flag(QStringLiteral("chkupdwins"));
    const int winPlaces = m_settings.integer(QStringLiteral("cbwinplaces"));

    Transaction tx(m_db);
    if (!copyLastRace())
        return false;
    for (size_t i = 0; i < race.size(); ++i) {
        if (target[i] < 0)
            continue;
        const QVariantMap &from = race[i].values;
        ResultRow &row = results[size_t(target[i])];
        QVariantMap &v = row.values;
        if (updBest) {
            v[QStringLiteral("besttime")] = from.value(QStringLiteral("besttime"));
            v[QStringLiteral("besttimetxt")] = from.value(QStringLiteral("besttimetxt"));
        }
        if (best2qual && timeOf(v, "besttime") < timeOf(v, "qualtime")) {
            v[QStringLiteral("qualtime")] = v.value(QStringLiteral("besttime"));
            v[QStringLiteral("qualtimetxt")] = v.value(QStringLiteral("besttimetxt"));
        }
        if (updTotal) {
            v[QStringLiteral("totaltime")] = from.value(QStringLiteral("totaltime"));
            v[QStringLiteral("totaltimetxt")] = from.value(QStringLiteral("totaltimetxt"));
        }
        if (total2qual && timeOf(v, "totaltime") < timeOf(v, "qualtime")) {
            v[QStringLiteral("qualtime")] = v.value(QStringLiteral("totaltime"));
            v[QStringLiteral("qualtimetxt")] = v.value(QStringLiteral("totaltimetxt"));
        }
        if (updLaps)
            v[QStringLiteral("lapno")] = from.value(QStringLiteral("lapno"));
        if (updWins)
            v[QStringLiteral("place")] = from.value(QStringLiteral("place"));
        // Only a real place counts: a row with no place yet (empty or 0) has
        // not been placed in any race.
        const QVariant place = v.value(QStringLiteral("place"));
        if (!place.isNull() && place.toInt() >= 1 && place.toInt() <= winPlaces)
            v[QStringLiteral("wins")] = v.value(QStringLiteral("wins")).toInt() + 1;
        v[QStringLiteral("lapno")] = from.value(QStringLiteral("lapno"));

        static const char *const written[] = {"besttime",     "besttimetxt", "totaltime",
                                              "totaltimetxt", "qualtime",    "qualtimetxt",
                                              "lapno",        "place",       "wins"};
        QSqlQuery w(m_db);
        if (row.id == 0) {
            QStringList names, qmarks;
            for (auto it = v.cbegin(); it != v.cend(); ++it) {
                names << QLatin1Char('"') + it.key() + QLatin1Char('"');
                qmarks << QStringLiteral("?");
            }
            w.prepare(QStringLiteral("INSERT INTO results (%1) VALUES (%2)")
                          .arg(names.join(QLatin1Char(',')), qmarks.join(QLatin1Char(','))));
            for (auto it = v.cbegin(); it != v.cend(); ++it)
                w.addBindValue(it.value());
            if (!w.exec())
                return storeFailed(w.lastError().text());
            row.id = w.lastInsertId().toInt();
        } else {
            QStringList sets;
            for (const char *f : written)
                sets << QLatin1Char('"') + QLatin1String(f) + QStringLiteral("\"=?");
            w.prepare(QStringLiteral("UPDATE results SET %1 WHERE id=?").arg(sets.join(QLatin1Char(','))));
            for (const char *f : written)
                w.addBindValue(v.value(QLatin1String(f)));
            w.addBindValue(row.id);
            if (!w.exec())
                return storeFailed(w.lastError().text());
        }
    }
    if (!tx.commit())
        return storeFailed(m_db.lastError().text());
    emit lastraceChanged();
    m_lastStageName = stageName;
    emit lastStageNameChanged(m_lastStageName);

    QHash<int, int> stageOfPilot;
    for (size_t i = 0; i < race.size(); ++i) {
        if (target[i] >= 0)
            stageOfPilot.insert(race[i].pilotId,
                                results[size_t(target[i])].values.value(QStringLiteral("stage")).toInt());
    }
    recordDecidingValues(stageOfPilot);
    const QStringList bracketLines = advanceBracket(currentStage);

    if (m_finished)
        m_finished->raceExported();
    emit resultsChanged();
    m_log.savelog(QStringLiteral("Exported to Results"));
    for (const QString &line : bracketLines)
        m_log.savelog(line);
    if (m_settings.flag(QStringLiteral("chautotelegram")) && m_sendTelegram)
        m_sendTelegram();
    return true;
}

} // namespace lapvane
