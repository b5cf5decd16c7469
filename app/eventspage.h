// The "Events" page: events, their stages and the results of the selected
// stages, with the roster, group and publishing commands.
#pragma once

#include <QWidget>

#include <memory>

class QTableView;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class CommandList;
class EventsViews;
class RacePage;
class StageGroups;
class StageRosters;
class Tfrmgroup;
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

    // Bounds of the results grid's font size, in points.
    static constexpr int kMinFontPt = 6;
    static constexpr int kMaxFontPt = 28;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void bindGrids();
    void wireCommands(CommandList &commands);
    void disableNotYetAvailable(CommandList &commands);
    void showCounts();
    void showNames();
    void locateResultsRow(int row);
    void raceListChanged(const QString &sortText);
    void showResultsFontSize(int pointSize);

    ProgramContext &m_ctx;
    ProgramServices &m_services;
    EventsViews &m_views;
    CommandList &m_commands;
    std::unique_ptr<StageRosters> m_rosters;
    std::unique_ptr<StageGroups> m_groups;
    QTableView *m_events = nullptr;
    QTableView *m_stages = nullptr;
    QTableView *m_results = nullptr;
    Tfrmgroup *m_groupDialog = nullptr;
    std::unique_ptr<TfrmAerolistExport> m_aerolistExport;
    RacePage *m_race = nullptr;
    bool m_shown = false;
};

} // namespace lapvane
