// The "Race" page: registration and race controls, the race list and its
// laps, the race clock, the operator log pane and the compact results.
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QTableView;
class QPushButton;

namespace lapvane {

struct ProgramContext;
class CommandList;

class RacePage : public QWidget
{
    Q_OBJECT
public:
    RacePage(ProgramContext &ctx, CommandList &commands, QWidget *parent = nullptr);

    QTableView *raceList() const { return m_raceList; }
    QTableView *laps() const { return m_laps; }
    QTableView *lastRace() const { return m_lastRace; }
    QTableView *results() const { return m_results; }
    QPlainTextEdit *logPane() const { return m_log; }

    void btnlogclearClick();

protected:
    // A right-click on the page itself raises the stop request.
    void contextMenuEvent(QContextMenuEvent *event) override;

signals:
    void stopRequested();

private:
    QWidget *buildRegisterGroup(ProgramContext &ctx, CommandList &commands);
    QWidget *buildRaceGroup(ProgramContext &ctx, CommandList &commands);

    QTableView *m_raceList = nullptr;
    QTableView *m_laps = nullptr;
    QTableView *m_lastRace = nullptr;
    QTableView *m_results = nullptr;
    QPlainTextEdit *m_log = nullptr;
};

} // namespace lapvane
