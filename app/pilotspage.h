// The "Pilots" page: the pilot registry.
#pragma once

#include <QWidget>

class QTableView;

namespace lapvane {

struct ProgramContext;
class CommandList;

class PilotsPage : public QWidget
{
    Q_OBJECT
public:
    PilotsPage(ProgramContext &ctx, CommandList &commands, QWidget *parent = nullptr);

    QTableView *registry() const { return m_registry; }

private:
    QTableView *m_registry = nullptr;
};

} // namespace lapvane
