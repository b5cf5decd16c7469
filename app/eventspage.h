// The "Events" page: events, their stages and the results of the selected
// stages, with the roster, group and publishing commands.
#pragma once

#include <QWidget>

class QTableView;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class CommandList;
class RacePage;

class EventsPage : public QWidget
{
    Q_OBJECT
public:
    EventsPage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent = nullptr);

    QTableView *eventList() const { return m_events; }
    QTableView *stageList() const { return m_stages; }
    QTableView *results() const { return m_results; }

    // Wires what the race page shows of the events: the compact results grid
    // and "Next Group >>" with its switches.
    void attachRacePage(RacePage &race);

private:
    ProgramContext &m_ctx;
    ProgramServices &m_services;
    QTableView *m_events = nullptr;
    QTableView *m_stages = nullptr;
    QTableView *m_results = nullptr;
};

} // namespace lapvane
