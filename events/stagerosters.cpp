// Stage rosters: adding, copying and deleting results rows.
#include "events/stagerosters.h"

#include "core/operatorprompt.h"
#include "core/settings.h"
#include "events/eventsviews.h"
#include "store/database.h"

#include <QDateTime>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace lapvane {

namespace {

const QString kNoTime = QLatin1String(kNoTimeText);

} // namespace

StageRosters::StageRosters(EventsViews &views) : m_views(views) {}

QVariantMap StageRosters::copiedRow(const QVariantMap &src, int stageId, bool duplicate,
                                    const Settings &settings)
{
    auto pick = [&](const char *control, const char *field, const QVariant &otherwise) {
        return settings.flag(QLatin1String(control)) ? src.value(QLatin1String(field)) : otherwise;
    };
    QVariantMap row;
    row[QStringLiteral("stage")] = stageId;
    for (const char *f : {"pilotid", "pilotname", "nickname", "pilotteam", "coptercolor", "pilottrans"})
        row[QLatin1String(f)] = src.value(QLatin1String(f));
    row[QStringLiteral("group")] = pick("chdupgroup", "group", QString());
    row[QStringLiteral("vtx")] = pick("chdupvtx", "vtx", QString());
    row[QStringLiteral("wins")] = pick("chkdupwins", "wins", 0);
    row[QStringLiteral("place")] = pick("chkdupplace", "place", duplicate ? kNoPlace : 0);
    row[QStringLiteral("lapno")] = pick("chkduplaps", "lapno", 0);
    const struct
    {
        const char *control, *ms, *text;
    } times[] = {{"chkdupbestlap", "besttime", "besttimetxt"},
                 {"chkduptotaltime", "totaltime", "totaltimetxt"},
                 {"chkdupqualtime", "qualtime", "qualtimetxt"}};
    for (const auto &t : times) {
        row[QLatin1String(t.ms)] = pick(t.control, t.ms, kNoTimeMs);
        row[QLatin1String(t.text)] = pick(t.control, t.text, kNoTime);
    }
    return row;
}

bool StageRosters::eventAdd2CurStageExecute(const PilotRecord &pilot)
{
    OperatorPrompt &prompt = m_views.prompt();
    const int stageId = m_views.currentStageId();
    if (stageId == 0) {
        prompt.notice(QStringLiteral("Choose a stage first."));
        return false;
    }
    if (m_views.settings().flag(QStringLiteral("chkconfirmAdd"))
        && !prompt.askAs(QuestionKind::Adding, QStringLiteral("Adding pilot \"%1\"\n\rto \"%2 - %3\"\n\rConfirm?")
                           .arg(pilot.name, m_views.currentEventName(), m_views.currentStageName())))
        return false;
    SqlRowsModel &results = *m_views.resultsModel();
    for (int r = 0; r < results.rowCountValue(); ++r) {
        if (results.value(r, QStringLiteral("pilotid")).toInt() == pilot.id) {
            prompt.notice(QStringLiteral("This pilot is already in list. Click OK to locate him."));
            m_views.setResultSelection({r});
            emit m_views.locateResultsRow(r);
            return false;
        }
    }
    const int id = results.insertRecord({
        {QStringLiteral("stage"), stageId},
        {QStringLiteral("pilotid"), pilot.id},
        {QStringLiteral("pilotname"), pilot.name},
        {QStringLiteral("nickname"), pilot.nickname},
        {QStringLiteral("pilotteam"), pilot.team},
        {QStringLiteral("coptercolor"), pilot.coptercolor},
        {QStringLiteral("pilottrans"), pilot.trans},
        {QStringLiteral("besttime"), kNoTimeMs},
        {QStringLiteral("besttimetxt"), kNoTime},
        {QStringLiteral("totaltime"), kNoTimeMs},
        {QStringLiteral("totaltimetxt"), kNoTime},
        {QStringLiteral("qualtime"), kNoTimeMs},
        {QStringLiteral("qualtimetxt"), kNoTime},
    });
    if (id == 0)
        return false;
    return m_views.rereadResults();
}

bool StageRosters::eventAdd2NewStageExecute()
{
    QList<int> selected = m_views.selectedResultRows();
    if (selected.isEmpty())
        return false;
    // The new stage becomes current, which the lock forbids.
    if (m_views.isLocked()) {
        m_views.prompt().notice(QStringLiteral("The stage is locked. Untick \"lock stage\" first."));
        return false;
    }
    if (m_views.currentEventRow() < 0) {
        m_views.prompt().notice(QStringLiteral("Create or choose an event first."));
        return false;
    }
    SqlRowsModel &stages = *m_views.stagesModel();
    const int stageId = stages.insertRecord({{QStringLiteral("stagename"), QStringLiteral("New stage")},
                                             {QStringLiteral("events"), m_views.currentEventNum()}});
    if (stageId == 0)
        return false;
    if (!m_views.rereadStages())
        return false;
    m_views.setCurrentStageById(stageId);

    // Rows go in view order, from the first selected row to the last.
    std::sort(selected.begin(), selected.end());
    SqlRowsModel &results = *m_views.resultsModel();
    for (int r : selected) {
        if (results.insertRecord(copiedRow(results.record(r), stageId, false, m_views.settings())) == 0)
            break;
    }
    return m_views.rereadResults();
}

bool StageRosters::eventduplicatestageExecute()
{
    if (m_views.isLocked()) {
        m_views.prompt().notice(QStringLiteral("The stage is locked. Untick \"lock stage\" first."));
        return false;
    }
    const int row = m_views.currentStageRow();
    if (row < 0)
        return false;
    SqlRowsModel &stages = *m_views.stagesModel();
    const QVariantMap stage = stages.record(row);
    const int oldId = stage.value(QStringLiteral("id")).toInt();

    QSqlQuery q(m_views.db());
    q.prepare(QStringLiteral("SELECT * FROM results WHERE stage=? ORDER BY id ASC"));
    q.addBindValue(oldId);
    if (!q.exec())
        return m_views.storeFailed(q.lastError().text());
    QList<QVariantMap> rows;
    while (q.next()) {
        const QSqlRecord rec = q.record();
        QVariantMap map;
        for (int i = 0; i < rec.count(); ++i)
            map.insert(rec.fieldName(i), rec.value(i));
        rows << map;
    }

    const int newId = stages.insertRecord({
        {QStringLiteral("stagename"), stage.value(QStringLiteral("stagename")).toString() + QLatin1Char('2')},
        {QStringLiteral("events"), m_views.currentEventNum()},
        {QStringLiteral("laplimit"), stage.value(QStringLiteral("laplimit"))},
        {QStringLiteral("timelimit"), stage.value(QStringLiteral("timelimit"))},
        {QStringLiteral("tracklen"), stage.value(QStringLiteral("tracklen"))},
        {QStringLiteral("starttime"), QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat)},
    });
    if (newId == 0)
        return false;
    if (!m_views.rereadStages())
        return false;
    m_views.setCurrentStageById(newId);

    SqlRowsModel &results = *m_views.resultsModel();
    for (const QVariantMap &r : rows) {
        if (results.insertRecord(copiedRow(r, newId, true, m_views.settings())) == 0)
            break;
    }
    m_views.stagesSelection()->clearSelection();
    return m_views.refreshresults();
}

bool StageRosters::eventdelpilotExecute()
{
    SqlRowsModel &results = *m_views.resultsModel();
    if (results.rowCountValue() == 0)
        return false;
    const QList<int> selected = m_views.selectedResultRows();
    QString question;
    if (selected.size() == 1)
        question = QStringLiteral("Are you sure to delete pilot \"%1\"?\n\rTHIS IS NOT REVERSABLE!")
                       .arg(results.value(selected.first(), QStringLiteral("pilotname")).toString());
    else
        question = QStringLiteral("Are you sure to delete %1 records?\n\rTHIS IS NOT REVERSABLE!")
                       .arg(selected.size());
    if (!m_views.prompt().askAs(QuestionKind::Deleting, question) || selected.isEmpty())
        return false;
    QList<int> keys;
    for (int r : selected)
        keys << results.keyAt(r);
    return results.removeKeys(keys);
}

bool StageRosters::eventclearpilotsExecute()
{
    if (!m_views.prompt().askAs(QuestionKind::Deleting, QStringLiteral("Are you sure to delete ALL RECORDS?\n\rTHIS IS NOT REVERSABLE!")))
        return false;
    SqlRowsModel &results = *m_views.resultsModel();
    QList<int> keys;
    for (int r = 0; r < results.rowCountValue(); ++r)
        keys << results.keyAt(r);
    return results.removeKeys(keys);
}

} // namespace lapvane
