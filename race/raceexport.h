// The export of a race into the stage results: the last-race copy, best lap,
// total time, laps, place, the win count and the qualification time.
#pragma once

#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>

#include <functional>

namespace lapvane {

class CurrentSelection;
class FinishedRace;
class OperatorLog;
class OperatorPrompt;
class RaceStage;
class Settings;

class RaceExport : public QObject
{
    Q_OBJECT
public:
    RaceExport(QSqlDatabase db, const Settings &settings, OperatorLog &log, OperatorPrompt &prompt,
               const CurrentSelection &selection, QObject *parent = nullptr);

    // The "to Telegram" command run after an export when "auto Telegram" is on.
    void setTelegramSender(std::function<void()> send) { m_sendTelegram = std::move(send); }

    // Asks before exporting a race again and notes each export.
    void setFinishedRace(FinishedRace *finished) { m_finished = finished; }

    // The stage the race belongs to: when the Events page shows other stages,
    // the export asks which to export into (the race's own is the default).
    void setRaceStage(RaceStage *raceStage) { m_raceStage = raceStage; }

    // The export command ("Export to Event Results"). Works on the results
    // rows of the stages the results view shows (the current stage when it
    // shows none yet). A race exported already is exported again only after
    // a Yes (its wins count again). False when there is no stage, the
    // operator said No or the store failed; then the stage results are as before.
    // A stage with a chosen race format keeps each pilot's best deciding
    // value (see competition/stagedeciding.h). When the current stage is a
    // bracket, the race is recorded as the heat of its group: the advancing
    // pilots are placed into their next heats (a re-export moves them again),
    // and the log names heats to fly again and the group to fly next.
    bool raceexporttoeventExecute();

    // Name of the stage of the last exported race (lblaststagename).
    QString lastStageName() const { return m_lastStageName; }

signals:
    void lastStageNameChanged(const QString &stageName);
    // lastrace was refilled.
    void lastraceChanged();
    // Stage results rows changed: the results view is to be re-read (its sort kept).
    void resultsChanged();

private:
    bool copyLastRace();
    bool storeFailed(const QString &text);
    void recordDecidingValues(const QHash<int, int> &stageOfPilot);
    QStringList advanceBracket(int stageId);

    QSqlDatabase m_db;
    const Settings &m_settings;
    OperatorLog &m_log;
    OperatorPrompt &m_prompt;
    const CurrentSelection &m_selection;
    std::function<void()> m_sendTelegram;
    FinishedRace *m_finished = nullptr;
    RaceStage *m_raceStage = nullptr;
    QString m_lastStageName;
};

} // namespace lapvane
