// The "Events" page: events, their stages and the results of the selected
// stages, with the roster, group and publishing commands.
#pragma once

#include <QSet>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QTableView;
class QTabWidget;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class CommandList;
class EventsViews;
class RacePage;
class StageBrackets;
class StageGroups;
class StageRosters;
class Tfrmgroup;
class BracketDialog;
class StageFormatDialog;
class BracketPage;
class TfrmAerolistExport;

class EventsPage : public QWidget
{
    Q_OBJECT
public:
    EventsPage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent = nullptr);
    ~EventsPage() override;

    QTableView *eventList() const { return m_events; }
    QTableView *stageList() const { return m_stages; }
    QTableView *results() const { return m_results; }
    Tfrmgroup *groupDialog() const { return m_groupDialog; }
    TfrmAerolistExport *aerolistExport() const { return m_aerolistExport.get(); }
    StageGroups &groups() { return *m_groups; }
    StageFormatDialog *stageFormatDialog() const { return m_formatDialog; }
    BracketDialog *bracketDialog() const { return m_bracketDialog; }
    BracketPage *bracketPage() const { return m_bracketPage; }

    // Wires what the race page shows of the events: the compact results grid,
    // the event and stage names and "Next Group >>" with its switches.
    void attachRacePage(RacePage &race);

    // Handlers.
    void tblEventsListCtrlDel();
    void chlockresultsClick(bool locked);
    void Button25Click();
    void btfontplusClick();
    void btfontlessClick();
    void btnextgroupClick();
    // "Format...": the current stage's race format, grace time and hole-shot.
    void btstageformatClick();
    // "Make Bracket...": the next stage (chosen or new) made a bracket seeded
    // from the current stage's standing.
    void btmakebracketClick();
    // "Export to HTML": the stage results between "header.html" and
    // "bottom.html", saved where the operator chooses and opened.
    void eventexporthtmlExecute();

    // How the export asks for its file (empty: cancelled) and opens it; the
    // window uses a save dialog and the desktop's default application.
    struct ExportHooks
    {
        std::function<QString(const QString &suggestedName)> chooseFile;
        std::function<void(const QString &path)> openFile;
    };
    ExportHooks &exportHooks() { return m_exportHooks; }

    // Bounds of the results grid's font size, in points.
    static constexpr int kMinFontPt = 6;
    static constexpr int kMaxFontPt = 28;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void bindGrids();
    void wireCommands(CommandList &commands);
    void showCounts();
    void showNames();
    void locateResultsRow(int row);
    void raceListChanged(const QString &sortText);
    void showResultsFontSize(int pointSize);
    // The current stage's format caption; an unknown stored format is said
    // once per stage in the log.
    void showStageFormatCaption();
    // Draws the current stage's bracket on the "Bracket" page.
    void refreshBracket();

    ProgramContext &m_ctx;
    ProgramServices &m_services;
    EventsViews &m_views;
    CommandList &m_commands;
    std::unique_ptr<StageRosters> m_rosters;
    std::unique_ptr<StageGroups> m_groups;
    std::unique_ptr<StageBrackets> m_brackets;
    QTableView *m_events = nullptr;
    QTableView *m_stages = nullptr;
    QTableView *m_results = nullptr;
    Tfrmgroup *m_groupDialog = nullptr;
    StageFormatDialog *m_formatDialog = nullptr;
    BracketDialog *m_bracketDialog = nullptr;
    BracketPage *m_bracketPage = nullptr;
    QLabel *m_formatCaption = nullptr;
    QSet<int> m_reportedFormats;
    std::unique_ptr<TfrmAerolistExport> m_aerolistExport;
    RacePage *m_race = nullptr;
    bool m_shown = false;
    ExportHooks m_exportHooks;
};

} // namespace lapvane
