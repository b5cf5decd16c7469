// The three linked views of the Events page (events, stages of the current
// event, results of the selected stages), the event and stage commands, and
// the tools around the results view: column sort, shared selection, stage
// lock and the names-with-qualification-times text.
#pragma once

#include "core/currentselection.h"
#include "events/sqlrowsmodel.h"

#include <QHash>
#include <QItemSelectionModel>
#include <QObject>
#include <QSqlDatabase>

namespace lapvane {

class OperatorLog;
class OperatorPrompt;
class Settings;

// One grid column: the field it shows and its heading.
struct GridColumn
{
    QString field;
    QString heading;
};

class EventsViews : public QObject, public CurrentSelection
{
    Q_OBJECT
public:
    EventsViews(QSqlDatabase db, Settings &settings, OperatorLog &log, OperatorPrompt &prompt,
                QObject *parent = nullptr);

    // Reads the event list (cursor on its first row), builds its stage list
    // and leaves the results view empty ("stage=0") until stages are picked.
    bool open();

    // Models for the grids. Both results grids (tblEventsResults and
    // tableresults) show resultsModel() and share resultsSelection(), so
    // their selections are always the same rows.
    SqlRowsModel *eventsModel() { return &m_events; }
    SqlRowsModel *stagesModel() { return &m_stages; }
    SqlRowsModel *resultsModel() { return &m_results; }
    QItemSelectionModel *eventsSelection() { return &m_eventsSel; }
    QItemSelectionModel *stagesSelection() { return &m_stagesSel; }
    QItemSelectionModel *resultsSelection() { return &m_resultsSel; }

    // Grid columns, left to right.
    static QList<GridColumn> eventListColumns();    // tblEventsList
    static QList<GridColumn> stageListColumns();    // tblEventsStages
    static QList<GridColumn> eventsResultsColumns(); // tblEventsResults
    static QList<GridColumn> raceResultsColumns();   // tableresults

    // Row of the current event / stage, -1 when none.
    int currentEventRow() const;
    int currentStageRow() const;

    // tblEventsListCellClick: makes row the current event and rebuilds its
    // stage list. Refused while the stage is locked.
    bool setCurrentEvent(int row);
    // Rebuilds the stage list for the current event (cursor on its first
    // stage) and re-reads the results view with its present stages.
    bool refreshstages();
    // tblEventsStagesCellClick: shows the results of the stages selected in
    // stagesSelection(), in selection order; the last one becomes current.
    // Nothing happens when no stage is selected. Refused while locked.
    bool selectStages();
    // Selects the given stage rows (in this order) and shows their results.
    bool selectStageRows(const QList<int> &rows);
    // Shows the results of the current stage alone.
    bool refreshresults();
    // Re-reads the results view keeping its stages, sort, selection and cursor.
    bool rereadResults();
    // Re-reads the stage list keeping the current stage.
    bool rereadStages();
    // Makes the stage with this id current (it must be listed); no results change.
    bool setCurrentStageById(int stageId);

    // Commands.
    bool eventnewExecute();
    bool eventdelExecute();
    bool eventnewstageExecute();
    bool eventdelstageExecute();

    // tblEventsResultsTitleClick / tableresultsTitleClick: sorts by the field,
    // ascending first, descending on the next click of the same field.
    void resultsTitleClick(const QString &field);

    // chlockresultsClick: while locked the current event and stage cannot
    // change and the event and stage commands are refused.
    void setLocked(bool locked);
    bool isLocked() const { return m_locked; }

    // Button25Click: "name qualtime *** " for every results row in view order.
    // The window puts it on the clipboard and shows clipboardNotice().
    QString nameQualText() const;
    static QString clipboardNotice();

    // Results rows selected, in the order of the selection list.
    QList<int> selectedResultRows() const;
    // Replaces the results selection by these rows; the cursor goes to the last.
    void setResultSelection(const QList<int> &rows);
    void clearResultSelection();
    int currentResultRow() const;
    void setCurrentResultRow(int row);

    // CurrentSelection
    int currentEventNum() const override;
    QString currentEventName() const override;
    int currentStageId() const override;
    QString currentStageName() const override;
    QList<int> selectedStageIds() const override;

    // What the commands built on these views share.
    Settings &settings() { return m_settings; }
    OperatorLog &log() { return m_log; }
    OperatorPrompt &prompt() { return m_prompt; }
    QSqlDatabase db() const { return m_db; }

    // A store failure inside a command: shown to the operator with the store's text.
    bool storeFailed(const QString &text);

signals:
    // The current event or stage changed (names above the grids).
    void currentChanged();
    void lockChanged(bool locked);
    // The results view now shows other stages.
    void resultsStagesChanged(const QList<int> &stageIds);
    // Bring the Events page forward with the results grid focused on row.
    void locateResultsRow(int row);

private:
    bool refusedWhileLocked();
    bool showStages(const QList<int> &stageIds);
    static void moveCurrent(QItemSelectionModel &sel, int row, bool select);

    QSqlDatabase m_db;
    Settings &m_settings;
    OperatorLog &m_log;
    OperatorPrompt &m_prompt;
    SqlRowsModel m_events;
    SqlRowsModel m_stages;
    SqlRowsModel m_results;
    QItemSelectionModel m_eventsSel;
    QItemSelectionModel m_stagesSel;
    QItemSelectionModel m_resultsSel;
    // The results view's last column "Result" while a shown stage races by a
    // format other than the default: each pilot's kept deciding value, by
    // stage then pilot id.
    void readResultColumn(const QList<int> &stageIds);
    QHash<int, QHash<int, QString>> m_deciding;
    QList<int> m_shownStages; // empty: the initial "stage=0" view
    bool m_locked = false;
};

} // namespace lapvane
