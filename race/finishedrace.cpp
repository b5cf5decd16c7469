// Whether the finished race has gone to the stage results.
#include "race/finishedrace.h"

#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "race/racestatefile.h"

#include <QJsonArray>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace lapvane {

namespace {

// Keys of the race state file.
const QLatin1String kRows("resultsRows");
const QLatin1String kFinished("resultsFinished");
const QLatin1String kExportedSinceFinish("resultsExportedSinceFinish");
const QLatin1String kExports("resultsExports");

} // namespace

QString FinishedRace::notExportedQuestion()
{
    return QStringLiteral("The finished race was not exported to the event results. Export it now?");
}

QString FinishedRace::exportAgainQuestion()
{
    return QStringLiteral("This race was already exported: its wins will be counted again. Export again?");
}

FinishedRace::FinishedRace(QSqlDatabase db, OperatorLog &log, OperatorPrompt &prompt, QString stateFile)
    : m_db(db), m_log(log), m_prompt(prompt), m_stateFile(std::move(stateFile))
{
    const QJsonObject state = readRaceState(m_stateFile);
    for (const QJsonValue &v : state.value(kRows).toArray())
        m_state.rows << v.toInt();
    m_state.finished = state.value(kFinished).toBool();
    m_state.exportedSinceFinish = state.value(kExportedSinceFinish).toBool();
    m_state.exports = state.value(kExports).toInt();
}

QList<int> FinishedRace::listRows() const
{
    QList<int> rows;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT id FROM onerace ORDER BY id ASC"))) {
        m_log.savelog(QStringLiteral("Cannot read the race list: ") + q.lastError().text());
        return rows;
    }
    while (q.next())
        rows << q.value(0).toInt();
    return rows;
}

FinishedRace::State FinishedRace::current() const
{
    const QList<int> rows = listRows();
    if (rows.isEmpty() || m_state.rows.isEmpty())
        return {};
    for (int id : rows) {
        if (!m_state.rows.contains(id))
            return {};
    }
    return m_state;
}

void FinishedRace::store(const State &state)
{
    m_state = state;
    if (m_stateFile.isEmpty())
        return;
    QJsonArray rows;
    for (int id : state.rows)
        rows.append(id);
    QString error;
    const QJsonObject changes{{kRows, rows},
                              {kFinished, state.finished},
                              {kExportedSinceFinish, state.exportedSinceFinish},
                              {kExports, state.exports}};
    if (!writeRaceState(m_stateFile, changes, &error))
        m_log.savelog(
            QStringLiteral("Could not keep in %1 whether the race was exported (%2): after a restart "
                           "the program will not know it.")
                .arg(m_stateFile, error));
}

void FinishedRace::raceStarted(bool continued)
{
    State s = continued ? current() : State{};
    s.rows = listRows();
    s.finished = false;
    s.exportedSinceFinish = false;
    store(s);
}

void FinishedRace::raceFinished()
{
    State s = current();
    s.rows = listRows();
    s.finished = true;
    s.exportedSinceFinish = false;
    store(s);
}

void FinishedRace::raceExported()
{
    State s = current();
    if (s.rows.isEmpty())
        s.rows = listRows();
    s.exportedSinceFinish = true;
    ++s.exports;
    store(s);
}

bool FinishedRace::isFinished() const
{
    return current().finished;
}

bool FinishedRace::isExportPending() const
{
    const State s = current();
    return s.finished && !s.exportedSinceFinish;
}

bool FinishedRace::wasExported() const
{
    return current().exports > 0;
}

bool FinishedRace::confirmReplace()
{
    if (!isExportPending())
        return true;
    switch (m_prompt.askYesNoCancel(notExportedQuestion())) {
    case Choice::Cancel:
        return false;
    case Choice::No:
        m_log.savelog(QStringLiteral("The finished race was not exported to the event results."));
        return true;
    case Choice::Yes:
        break;
    }
    if (m_export && m_export() && !isExportPending())
        return !m_prompt.stopRequested();
    m_log.savelog(QStringLiteral("The finished race was not exported: the race list stays as it is."));
    return false;
}

bool FinishedRace::confirmExport()
{
    return !wasExported() || m_prompt.ask(exportAgainQuestion());
}

} // namespace lapvane
