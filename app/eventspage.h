// The "Events" page: events, their stages and the results of the selected
// stages, with the roster, group and publishing commands.
#pragma once

#include <QWidget>

class QTableView;

namespace lapvane {

struct ProgramContext;
class CommandList;

class EventsPage : public QWidget
{
    Q_OBJECT
public:
    EventsPage(ProgramContext &ctx, CommandList &commands, QWidget *parent = nullptr);

    QTableView *eventList() const { return m_events; }
    QTableView *stageList() const { return m_stages; }
    QTableView *results() const { return m_results; }

private:
    QTableView *m_events = nullptr;
    QTableView *m_stages = nullptr;
    QTableView *m_results = nullptr;
};

} // namespace lapvane
