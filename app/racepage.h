// The "Race" page: registration and race controls, the race list and its
// laps, the race clock, the operator log pane and the compact results. Its
// handlers only call the race modules and show what they report.
#pragma once

#include <QElapsedTimer>
#include <QSet>
#include <QStringList>
#include <QWidget>

class QAction;
class QLabel;
class QSqlTableModel;
class QMenu;
class QPlainTextEdit;
class QTableView;
class QPushButton;
class QTimer;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class CommandList;
class ColumnLayout;
class RaceListModel;
class LapsModel;
class TfrmTeams;
class Tfrmnewlap;

class RacePage : public QWidget
{
    Q_OBJECT
public:
    RacePage(ProgramContext &ctx, ProgramServices &services, CommandList &commands,
             QWidget *parent = nullptr);
    ~RacePage() override;

    QTableView *raceList() const { return m_raceList; }
    QTableView *laps() const { return m_laps; }
    QTableView *lastRace() const { return m_lastRace; }
    QTableView *results() const { return m_results; }
    QPlainTextEdit *logPane() const { return m_log; }
    // Lines the log pane keeps.
    static constexpr int kLogPaneLines = 10000;
    RaceListModel *raceListModel() const { return m_raceModel; }
    LapsModel *lapsModel() const { return m_lapsModel; }
    TfrmTeams *teamsWindow() const { return m_teams; }
    Tfrmnewlap *newLapDialog() const { return m_newLap; }

    // Keys (`id`) of the selected race-list rows, top to bottom, and of the current row.
    QList<int> selectedRowIds() const;
    int currentRowId() const;

    // Adds the "Channel (for Stream)" submenu to the race list menu, before the given item.
    void attachChannelMenu(QMenu *pmonerace, QAction *before);

    // Handlers.
    void racestartraceExecute();
    void racestopraceExecute();
    void raceconfirmSelExecute();
    void raceunconfirmSelExecute();
    void racedeletepilotsExecute();
    void raceexporttoeventExecute();
    void renameGroup();
    void tableoneraceTitleClick(int column);
    void setstreamchannel(int channel);
    void btdellapClick();
    void Button26Click();
    void btlapsrecalcClick();
    void table1CtrlDel();
    void dbgridlastraceCtrlDel();
    void bt2Click();
    void bt3Click();
    void chkteamraceClick(bool on);
    void btnlogclearClick();

    // Shows under the race list what the group sent last says of its
    // channels; nothing when every pilot flies on his own. An empty list clears it.
    void showChannelNotes(const QStringList &lines);

    // Re-reads the race list, keeping the current and selected rows.
    void refreshRaceList();
    void refreshLaps();
    void refreshLastRace();

    // A line for the log pane; lines are appended together once per frame.
    void appendLogLine(const QString &line);
    // Shows at once what waits for the next frame (rows, laps, log lines).
    void showPendingChanges();

    // The page shows what passes changed at most once per frame, however many
    // passes came in it: at once when the last frame is this long ago,
    // otherwise when it is. Short enough that a pass is on screen within
    // 20 ms at 100 passes a second (its tick, the frame's wait, the paint).
    static constexpr int kFrameMs = 12;

protected:
    // A right-click on the page itself raises the stop request.
    void contextMenuEvent(QContextMenuEvent *event) override;

signals:
    void stopRequested();
    void settingsPageRequested();

private:
    QWidget *buildRegisterGroup(ProgramContext &ctx, CommandList &commands);
    QWidget *buildRaceGroup(ProgramContext &ctx, CommandList &commands);
    void buildModels();
    void wireCommands(CommandList &commands);
    void showCurrentPilotLaps();
    void updateTotalPilots();
    void raceRowChanged(int rowId);
    // Counted laps waiting for the database: the line above the race list,
    // and a box the first time in an outage.
    void showLapsWaiting(int count, const QString &reason);
    // The stage and group the race belongs to, above the race list.
    void showRaceStage();
    void pilotLapsChanged(int pilotId);
    void scheduleFrame();
    void showFrame();
    void followLog();

    ProgramContext &m_ctx;
    ProgramServices &m_services;
    QTableView *m_raceList = nullptr;
    QTableView *m_laps = nullptr;
    QTableView *m_lastRace = nullptr;
    QTableView *m_results = nullptr;
    QPlainTextEdit *m_log = nullptr;
    QPushButton *m_start = nullptr;
    RaceListModel *m_raceModel = nullptr;
    LapsModel *m_lapsModel = nullptr;
    QSqlTableModel *m_lastRaceModel = nullptr;
    QList<QAction *> m_channelActions;
    TfrmTeams *m_teams = nullptr;
    Tfrmnewlap *m_newLap = nullptr;

    // What waits for the next frame.
    QTimer *m_frame = nullptr;
    QElapsedTimer m_lastFrame;
    QSet<int> m_changedRows;
    bool m_lapsChanged = false;
    bool m_toldOfWaitingLaps = false;
    QStringList m_pendingLog;
    // The log pane shows its newest line unless the operator scrolled up.
    bool m_logFollows = true;
    bool m_logScrolling = false;
    ColumnLayout *m_raceColumns = nullptr;
    ColumnLayout *m_lapColumns = nullptr;
};

} // namespace lapvane
