// The team standings window of a team race.
#include "app/teamswindow.h"

#include "events/teamrefresh.h"
#include "race/teamtable.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTableView>
#include <QVBoxLayout>

namespace lapvane {

TfrmTeams::TfrmTeams(TeamTable &teams, OperatorPrompt &prompt, QSqlDatabase db,
                     std::function<QString()> raceListSort, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), m_teams(teams), m_prompt(prompt),
      m_connection(db.connectionName()), m_raceListSort(std::move(raceListSort))
{
    setObjectName(QStringLiteral("frmTeams"));
    setWindowTitle(QStringLiteral("TEAM TABLE"));
    auto *grid = new QTableView(this);
    grid->setObjectName(QStringLiteral("tblteams"));
    grid->setModel(&teams);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    QFont f = grid->font();
    f.setPointSize(f.pointSize() + 6);
    grid->setFont(f);
    auto *refresh = new QPushButton(QStringLiteral("Refresh Team Table"), this);
    refresh->setObjectName(QStringLiteral("btrefresh"));
    connect(refresh, &QPushButton::clicked, this, &TfrmTeams::btrefreshClick);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grid);
    layout->addWidget(refresh);
    resize(360, 300);
}

void TfrmTeams::btrefreshClick()
{
    const std::optional<QStringList> groups =
        TeamRefresh::btrefreshClick(m_prompt, QSqlDatabase::database(m_connection),
                                   m_raceListSort ? m_raceListSort() : QString());
    if (groups)
        m_teams.rebuild(TeamRefresh::teamsInOrder(*groups));
}

} // namespace lapvane
