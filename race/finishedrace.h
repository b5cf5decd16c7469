// Whether the finished race in the race list has gone to the stage results,
// so that no command replaces it unexported and no export counts it twice
// unnoticed. Kept in the race state file, so it holds across a restart.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>

namespace lapvane {

class OperatorLog;
class OperatorPrompt;

// The state speaks of the race-list rows (keys `id`) the race had; it holds
// while the list still consists of those rows (some may have been deleted).
// Once other rows are in the list (a group sent, the list reset) it is gone.
class FinishedRace
{
public:
    static QString notExportedQuestion();
    static QString exportAgainQuestion();

    // stateFile: the race state file; empty keeps the state in memory only.
    FinishedRace(QSqlDatabase db, OperatorLog &log, OperatorPrompt &prompt, QString stateFile);

    // The export run by a "Yes" to the question before a replace; true when
    // it exported.
    void setExporter(std::function<bool()> exportNow) { m_export = std::move(exportNow); }

    // A race started ("continue" keeps its export count).
    void raceStarted(bool continued);
    // The finish wrote the standings.
    void raceFinished();
    // The race list went to the stage results.
    void raceExported();

    // The list holds a finished race (not running since its finish).
    bool isFinished() const;
    // The list holds a finished race not exported since it finished.
    bool isExportPending() const;
    // The race in the list was exported at least once since it started.
    bool wasExported() const;

    // Before a command replaces or resets the race list (Next Group, Send to
    // Race, Start Race without "continue"): when the finished race was not
    // exported, asks; Yes exports first. True to go on; false on Cancel or
    // when the export did not happen.
    bool confirmReplace();
    // Before an export: when the race was exported already, asks (No on
    // Enter). True to go on.
    bool confirmExport();

private:
    struct State
    {
        QList<int> rows;
        bool finished = false;
        bool exportedSinceFinish = false;
        int exports = 0;
    };
    // The state, or an empty one when the list no longer holds its race.
    State current() const;
    QList<int> listRows() const;
    void store(const State &state);

    QSqlDatabase m_db;
    OperatorLog &m_log;
    OperatorPrompt &m_prompt;
    QString m_stateFile;
    std::function<bool()> m_export;
    State m_state;
};

} // namespace lapvane
