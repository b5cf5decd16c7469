// The "Pilots" page: the pilot registry.
#pragma once

#include <QWidget>

class QTableView;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class CommandList;

class PilotsPage : public QWidget
{
    Q_OBJECT
public:
    PilotsPage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent = nullptr);

    QTableView *registry() const { return m_registry; }

private:
    ProgramContext &m_ctx;
    ProgramServices &m_services;
    QTableView *m_registry = nullptr;
};

} // namespace lapvane
