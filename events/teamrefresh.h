// "Refresh Team Table" of the team standings window: the question and the
// teams of the race list, in order of their first pilot. The table itself is
// the race engine's, which the pass loop writes during a team race.
#pragma once

#include <QSqlDatabase>
#include <QStringList>

#include <optional>

namespace lapvane {

class OperatorPrompt;

class TeamRefresh
{
public:
    // btrefreshClick: asks "Refresh will reset all data. Continue?"; on Yes
    // returns the race list's group labels in list order (raceListSort is the
    // race list's sort, such as "vtx ASC"; empty or unknown gives store
    // order), ready for the team table's rebuild. nullopt on No.
    static std::optional<QStringList> btrefreshClick(OperatorPrompt &prompt, QSqlDatabase db,
                                                     const QString &raceListSort = QString());
    // The race list's group labels in list order.
    static QStringList raceListGroups(QSqlDatabase db, const QString &raceListSort = QString());
    // The table's teams: each non-empty label once, in order of first appearance.
    static QStringList teamsInOrder(const QStringList &groups);
};

} // namespace lapvane
