// The linked event, stage and results views and their commands.
#include "events/eventsviews.h"

#include "competition/stagedeciding.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/settings.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>

namespace lapvane {

namespace {

QString inMarks(int count)
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

void applyHeadings(SqlRowsModel &model, const QList<GridColumn> &columns)
{
    for (const GridColumn &c : columns)
        model.setHeading(c.field, c.heading);
}

} // namespace

EventsViews::EventsViews(QSqlDatabase db, Settings &settings, OperatorLog &log, OperatorPrompt &prompt,
                         QObject *parent)
    : QObject(parent), m_db(db), m_settings(settings), m_log(log), m_prompt(prompt),
      m_events(db, QStringLiteral("events")), m_stages(db, QStringLiteral("stages")),
      m_results(db, QStringLiteral("results")), m_eventsSel(&m_events), m_stagesSel(&m_stages),
      m_resultsSel(&m_results)
{
    applyHeadings(m_events, eventListColumns());
    applyHeadings(m_stages, stageListColumns());
    applyHeadings(m_results, eventsResultsColumns());
    connect(&m_events, &SqlRowsModel::storeError, this, &EventsViews::storeFailed);
    connect(&m_stages, &SqlRowsModel::storeError, this, &EventsViews::storeFailed);
    connect(&m_results, &SqlRowsModel::storeError, this, &EventsViews::storeFailed);
}

QList<GridColumn> EventsViews::eventListColumns()
{
    return {{"eventname", "Name"},   {"date", "Date"},         {"city", "City"},
            {"organizer", "Organizer"}, {"aerolist", "aerolist"}, {"fpvsport", "fpvsport"}};
}

QList<GridColumn> EventsViews::stageListColumns()
{
    return {{"stagename", "Stage name"}, {"laplimit", "Laps"},        {"timelimit", "Time limit"},
            {"tracklen", "TrackLength"}, {"starttime", "Start time"}, {"id", "id"}};
}

QList<GridColumn> EventsViews::eventsResultsColumns()
{
    return {{"pilotname", "Pilot's name"}, {"nickname", "Nick/OSD"},       {"pilotteam", "Team"},
            {"group", "Group"},            {"vtx", "VTX (CH)"},            {"coptercolor", "Copter Color"},
            {"pilottrans", "Transponder"}, {"place", "Place"},             {"wins", "Wins"},
            {"lapno", "Laps"},             {"besttimetxt", "Best Lap"},    {"totaltimetxt", "Total Time"},
            {"qualtimetxt", "Qual Time"},  {"pilotid", "pid"},             {"besttime", "besttime"},
            {"totaltime", "totaltime"},    {"qualtime", "qualtime"}};
}

QList<GridColumn> EventsViews::raceResultsColumns()
{
    return {{"group", "Group"},         {"vtx", "VTX"},          {"pilotname", "Name"},
            {"pilottrans", "Transponder"}, {"nickname", "Nick/OSD"}, {"pilotteam", "Team"},
            {"coptercolor", "Copter Color"}, {"place", "Place"},      {"wins", "Wins"},
            {"lapno", "Laps"},          {"besttimetxt", "Best Lap"}, {"totaltimetxt", "Total Time"},
            {"qualtimetxt", "Qual Time"}};
}

bool EventsViews::storeFailed(const QString &text)
{
    m_prompt.notice(text);
    return false;
}

bool EventsViews::refusedWhileLocked()
{
    if (!m_locked)
        return false;
    m_prompt.notice(QStringLiteral("The stage is locked. Untick \"lock stage\" first."));
    return true;
}

void EventsViews::moveCurrent(QItemSelectionModel &sel, int row, bool select)
{
    const QAbstractItemModel *model = sel.model();
    if (row < 0 || row >= model->rowCount()) {
        sel.clearCurrentIndex();
        return;
    }
    const auto flags = select ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                              : QItemSelectionModel::NoUpdate;
    sel.setCurrentIndex(model->index(row, 0), flags);
}

bool EventsViews::open()
{
    if (!m_events.select())
        return false;
    moveCurrent(m_eventsSel, 0, true);
    m_shownStages.clear();
    if (!m_results.select(QStringLiteral("stage=?"), {0}))
        return false;
    return refreshstages();
}

int EventsViews::currentEventRow() const
{
    const QModelIndex i = m_eventsSel.currentIndex();
    return i.isValid() ? i.row() : -1;
}

int EventsViews::currentStageRow() const
{
    const QModelIndex i = m_stagesSel.currentIndex();
    return i.isValid() ? i.row() : -1;
}

bool EventsViews::setCurrentEvent(int row)
{
    if (refusedWhileLocked())
        return false;
    moveCurrent(m_eventsSel, row, true);
    return refreshstages();
}

bool EventsViews::refreshstages()
{
    const int num = currentEventNum();
    if (!m_stages.select(QStringLiteral("events=?"), {num}))
        return false;
    moveCurrent(m_stagesSel, 0, false);
    emit currentChanged();
    return rereadResults();
}

bool EventsViews::rereadStages()
{
    const int key = currentStageId();
    if (!m_stages.reselect())
        return false;
    const int row = m_stages.rowOfKey(key);
    moveCurrent(m_stagesSel, row >= 0 ? row : 0, false);
    emit currentChanged();
    return true;
}

bool EventsViews::setCurrentStageById(int stageId)
{
    const int row = m_stages.rowOfKey(stageId);
    if (row < 0)
        return false;
    moveCurrent(m_stagesSel, row, false);
    emit currentChanged();
    return true;
}

bool EventsViews::selectStages()
{
    if (refusedWhileLocked())
        return false;
    const QList<int> rows = selectedRowsInOrder(m_stagesSel);
    if (rows.isEmpty())
        return true;
    QList<int> ids;
    for (int r : rows)
        ids << m_stages.keyAt(r);
    // The cursor stays on the last stage visited, which is current from now on.
    m_stagesSel.setCurrentIndex(m_stages.index(rows.last(), 0), QItemSelectionModel::NoUpdate);
    emit currentChanged();
    return showStages(ids);
}

bool EventsViews::selectStageRows(const QList<int> &rows)
{
    if (refusedWhileLocked())
        return false;
    m_stagesSel.clearSelection();
    for (int r : rows) {
        if (r >= 0 && r < m_stages.rowCountValue())
            m_stagesSel.select(m_stages.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    return selectStages();
}

bool EventsViews::refreshresults()
{
    const int id = currentStageId();
    return showStages({id});
}

bool EventsViews::showStages(const QList<int> &stageIds)
{
    QVariantList binds;
    for (int id : stageIds)
        binds << id;
    m_resultsSel.clear();
    m_results.clearSort();
    readResultColumn(stageIds);
    if (!m_results.select(QStringLiteral("stage IN (%1)").arg(inMarks(int(binds.size()))), binds))
        return false;
    m_shownStages = stageIds;
    emit resultsStagesChanged(stageIds);
    return true;
}

void EventsViews::readResultColumn(const QList<int> &stageIds)
{
    m_deciding.clear();
    bool chosen = false;
    for (int id : stageIds) {
        if (!showsDecidingValue(m_db, id))
            continue;
        chosen = true;
        QHash<int, StageDeciding> kept;
        QString error;
        if (!readStageDeciding(m_db, id, &kept, &error)) {
            const QString text =
                QStringLiteral("The stage's results by its race format could not be read: %1");
            storeFailed(text.arg(error));
            continue;
        }
        QHash<int, QString> &texts = m_deciding[id];
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            texts.insert(it.key(), it->text);
    }
    if (!chosen) {
        m_results.clearExtraColumn();
        return;
    }
    m_results.setExtraColumn(QStringLiteral("Result"), [this](int row) -> QVariant {
        const int stage = m_results.value(row, QStringLiteral("stage")).toInt();
        const int pilot = m_results.value(row, QStringLiteral("pilotid")).toInt();
        return m_deciding.value(stage).value(pilot);
    });
}

bool EventsViews::rereadResults()
{
    QList<int> selectedKeys;
    for (int r : selectedResultRows())
        selectedKeys << m_results.keyAt(r);
    const int currentKey = m_results.keyAt(currentResultRow());
    readResultColumn(m_shownStages);
    if (!m_results.reselect())
        return false;
    QList<int> rows;
    for (int key : selectedKeys) {
        const int r = m_results.rowOfKey(key);
        if (r >= 0)
            rows << r;
    }
    m_resultsSel.clear();
    for (int r : rows)
        m_resultsSel.select(m_results.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const int currentRow = m_results.rowOfKey(currentKey);
    if (currentRow >= 0)
        m_resultsSel.setCurrentIndex(m_results.index(currentRow, 0), QItemSelectionModel::NoUpdate);
    return true;
}

bool EventsViews::eventnewExecute()
{
    if (refusedWhileLocked())
        return false;
    const int num = m_events.insertRecord({{QStringLiteral("date"), QDate::currentDate()}});
    if (num == 0)
        return false;
    if (!m_events.reselect())
        return false;
    moveCurrent(m_eventsSel, m_events.rowCountValue() - 1, true);
    if (!refreshstages())
        return false;
    if (!eventnewstageExecute())
        return false;
    moveCurrent(m_stagesSel, 0, false);
    emit currentChanged();
    return rereadResults();
}

bool EventsViews::eventnewstageExecute()
{
    if (refusedWhileLocked())
        return false;
    if (currentEventRow() < 0) {
        m_prompt.notice(QStringLiteral("Create or choose an event first."));
        return false;
    }
    // The limits come from the race settings as typed; a text that is not a
    // whole number stops the command before anything is stored.
    int limits[2] = {0, 0};
    const QString controls[2] = {QStringLiteral("edtlaps"), QStringLiteral("edttimelimit")};
    for (int i = 0; i < 2; ++i) {
        bool ok = false;
        const QString text = m_settings.text(controls[i]);
        limits[i] = text.trimmed().toInt(&ok);
        if (!ok) {
            m_prompt.notice(QStringLiteral("'%1' is not a valid integer value").arg(text));
            return false;
        }
    }
    const int id = m_stages.insertRecord({
        {QStringLiteral("stagename"), QStringLiteral("New stage")},
        {QStringLiteral("starttime"), QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat)},
        {QStringLiteral("events"), currentEventNum()},
        {QStringLiteral("laplimit"), limits[0]},
        {QStringLiteral("timelimit"), limits[1]},
        {QStringLiteral("tracklen"), QStringLiteral("0")},
    });
    if (id == 0)
        return false;
    if (!m_stages.reselect())
        return false;
    m_stagesSel.clearSelection();
    setCurrentStageById(id);
    return refreshresults();
}

bool EventsViews::eventdelExecute()
{
    if (refusedWhileLocked())
        return false;
    const int row = currentEventRow();
    if (row < 0)
        return false;
    const QString name = m_events.value(row, QStringLiteral("eventname")).toString();
    if (!m_prompt.askAs(QuestionKind::Deleting, QStringLiteral("Are you sure to delete event \"%1\"?\n\rTHIS IS NOT REVERSABLE!").arg(name)))
        return false;
    // Only the event row goes; its stages and their results stay in the store.
    if (!m_events.removeKeys({m_events.keyAt(row)}))
        return false;
    moveCurrent(m_eventsSel, std::min(row, m_events.rowCountValue() - 1), true);
    return refreshstages();
}

bool EventsViews::eventdelstageExecute()
{
    if (refusedWhileLocked())
        return false;
    const int row = currentStageRow();
    if (row < 0)
        return false;
    const QString name = m_stages.value(row, QStringLiteral("stagename")).toString();
    if (!m_prompt.askAs(QuestionKind::Deleting, QStringLiteral("Are you sure to delete stage \"%1\"?\n\rTHIS IS NOT REVERSABLE!").arg(name)))
        return false;
    // The stage's result rows stay in the store.
    if (!m_stages.removeKeys({m_stages.keyAt(row)}))
        return false;
    moveCurrent(m_stagesSel, std::min(row, m_stages.rowCountValue() - 1), false);
    emit currentChanged();
    return true;
}

void EventsViews::resultsTitleClick(const QString &field)
{
    m_results.toggleSort(field);
}

void EventsViews::setLocked(bool locked)
{
    if (m_locked == locked)
        return;
    m_locked = locked;
    emit lockChanged(locked);
}

QString EventsViews::nameQualText() const
{
    QString text;
    for (int r = 0; r < m_results.rowCountValue(); ++r)
        text += m_results.value(r, QStringLiteral("pilotname")).toString() + QLatin1Char(' ')
                + m_results.value(r, QStringLiteral("qualtimetxt")).toString() + QStringLiteral(" *** ");
    return text;
}

QString EventsViews::clipboardNotice()
{
    return QStringLiteral("Name+Qual time has been copied to clipboard.");
}

QList<int> EventsViews::selectedResultRows() const
{
    return selectedRowsInOrder(m_resultsSel);
}

void EventsViews::setResultSelection(const QList<int> &rows)
{
    m_resultsSel.clearSelection();
    for (int r : rows) {
        if (r >= 0 && r < m_results.rowCountValue())
            m_resultsSel.select(m_results.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (!rows.isEmpty())
        setCurrentResultRow(rows.last());
}

void EventsViews::clearResultSelection()
{
    m_resultsSel.clearSelection();
}

int EventsViews::currentResultRow() const
{
    const QModelIndex i = m_resultsSel.currentIndex();
    return i.isValid() ? i.row() : -1;
}

void EventsViews::setCurrentResultRow(int row)
{
    if (row >= 0 && row < m_results.rowCountValue())
        m_resultsSel.setCurrentIndex(m_results.index(row, 0), QItemSelectionModel::NoUpdate);
}

int EventsViews::currentEventNum() const
{
    return m_events.keyAt(currentEventRow());
}

QString EventsViews::currentEventName() const
{
    return m_events.value(currentEventRow(), QStringLiteral("eventname")).toString();
}

int EventsViews::currentStageId() const
{
    return m_stages.keyAt(currentStageRow());
}

QString EventsViews::currentStageName() const
{
    return m_stages.value(currentStageRow(), QStringLiteral("stagename")).toString();
}

QList<int> EventsViews::selectedStageIds() const
{
    return m_shownStages;
}

} // namespace lapvane
