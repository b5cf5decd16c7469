// The team standings window of a team race ("TEAM TABLE").
#pragma once

#include <QDialog>

#include <functional>

class QSqlDatabase;

namespace lapvane {

class TeamTable;
class OperatorPrompt;

class TfrmTeams : public QDialog
{
    Q_OBJECT
public:
    // raceListSort gives the race list's present order ("vtx ASC"), in which
    // the teams are listed.
    TfrmTeams(TeamTable &teams, OperatorPrompt &prompt, QSqlDatabase db, std::function<QString()> raceListSort,
              QWidget *parent = nullptr);

    // "Refresh Team Table": after a question, one row per team of the race list.
    void btrefreshClick();

private:
    TeamTable &m_teams;
    OperatorPrompt &m_prompt;
    QString m_connection;
    std::function<QString()> m_raceListSort;
};

} // namespace lapvane
