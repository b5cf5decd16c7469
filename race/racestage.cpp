// The stage and group the race in the race list belongs to.
#include "race/racestage.h"

#include "core/operatorlog.h"
#include "race/racestatefile.h"

#include <QJsonArray>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

namespace {

// Keys of the race state file.
const QLatin1String kStage("raceStageId");
const QLatin1String kGroup("raceGroup");
const QLatin1String kRows("raceStageRows");

} // namespace

RaceStage::RaceStage(QSqlDatabase db, const CurrentSelection &browsing, OperatorLog &log, QString stateFile,
                     QObject *parent)
    : QObject(parent), m_db(db), m_browsing(browsing), m_log(log), m_stateFile(std::move(stateFile))
{
    const QJsonObject state = readRaceState(m_stateFile);
    m_stageId = state.value(kStage).toInt();
    m_group = state.value(kGroup).toString();
    for (const QJsonValue &v : state.value(kRows).toArray())
        m_rows << v.toInt();
}

QList<int> RaceStage::listRows() const
{
    QList<int> rows;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT id FROM onerace ORDER BY id ASC")))
        return rows;
    while (q.next())
        rows << q.value(0).toInt();
    return rows;
}

void RaceStage::store()
{
    if (m_stateFile.isEmpty())
        return;
    QJsonArray rows;
    for (int id : std::as_const(m_rows))
        rows.append(id);
    QString error;
    if (!writeRaceState(m_stateFile, {{kStage, m_stageId}, {kGroup, m_group}, {kRows, rows}}, &error))
        m_log.savelog(
            QStringLiteral("Could not keep in %1 which stage the race belongs to (%2): after a restart "
                           "the race follows the stage shown on the Events page.")
                .arg(m_stateFile, error));
}

void RaceStage::sent(int stageId, const QString &group)
{
    m_stageId = stageId;
    m_group = group;
    m_rows = listRows();
    store();
    emit changed();
}

void RaceStage::moveTo(int stageId)
{
    if (stageId == m_stageId)
        return;
    m_stageId = stageId;
    m_rows = listRows();
    store();
    emit changed();
}

RaceStage::Names RaceStage::namesOf(int stageId) const
{
    Names n;
    if (stageId <= 0)
        return n;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT stages.stagename, events.num, events.eventname FROM stages "
                             "LEFT JOIN events ON events.num = stages.events WHERE stages.id=?"));
    q.addBindValue(stageId);
    if (q.exec() && q.next()) {
        n.exists = true;
        n.stageName = q.value(0).toString();
        n.eventNum = q.value(1).toInt();
        n.eventName = q.value(2).toString();
    }
    return n;
}

bool RaceStage::isKnown() const
{
    if (m_stageId <= 0 || m_rows.isEmpty())
        return false;
    const QList<int> rows = listRows();
    if (rows.isEmpty())
        return false;
    for (int id : rows) {
        if (!m_rows.contains(id))
            return false;
    }
    return namesOf(m_stageId).exists;
}

int RaceStage::stageId() const
{
    return isKnown() ? m_stageId : 0;
}

QString RaceStage::group() const
{
    return isKnown() ? m_group : QString();
}

QString RaceStage::stageTitle(int stageId) const
{
    const Names n = namesOf(stageId);
    return n.eventName + QStringLiteral(" - ") + n.stageName;
}

QString RaceStage::describe() const
{
    if (!isKnown())
        return {};
    const QString title = stageTitle(m_stageId);
    return m_group.isEmpty() ? title : QStringLiteral("%1, group %2").arg(title, m_group);
}

int RaceStage::browsingElsewhere() const
{
    const int shown = m_browsing.currentStageId();
    return isKnown() && shown > 0 && shown != m_stageId ? shown : 0;
}

bool RaceStage::exportElsewhere() const
{
    if (!isKnown())
        return false;
    QList<int> shown = m_browsing.selectedStageIds();
    if (shown.isEmpty() && m_browsing.currentStageId() > 0)
        shown << m_browsing.currentStageId();
    return !shown.isEmpty() && !shown.contains(m_stageId);
}

int RaceStage::currentEventNum() const
{
    return isKnown() ? namesOf(m_stageId).eventNum : m_browsing.currentEventNum();
}

QString RaceStage::currentEventName() const
{
    return isKnown() ? namesOf(m_stageId).eventName : m_browsing.currentEventName();
}

int RaceStage::currentStageId() const
{
    return isKnown() ? m_stageId : m_browsing.currentStageId();
}

QString RaceStage::currentStageName() const
{
    return isKnown() ? namesOf(m_stageId).stageName : m_browsing.currentStageName();
}

QList<int> RaceStage::selectedStageIds() const
{
    return isKnown() ? QList<int>{m_stageId} : m_browsing.selectedStageIds();
}

} // namespace lapvane
