// "Refresh Team Table": the teams of the race list.
#include "events/teamrefresh.h"

#include "core/operatorprompt.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace lapvane {

std::optional<QStringList> TeamRefresh::btrefreshClick(OperatorPrompt &prompt, QSqlDatabase db,
                                                       const QString &raceListSort)
{
    if (!prompt.ask(QStringLiteral("Refresh will reset all data. Continue?")))
        return std::nullopt;
    return raceListGroups(db, raceListSort);
}

QStringList TeamRefresh::raceListGroups(QSqlDatabase db, const QString &raceListSort)
{
    // The sort names a field of the race list; anything else is ignored, so
    // no text reaches the statement unchecked.
    QString order = QStringLiteral("id ASC");
    const QStringList parts = raceListSort.simplified().split(QLatin1Char(' '));
    const QSqlRecord rec = db.record(QStringLiteral("onerace"));
    const int column = parts.first().isEmpty() ? -1 : rec.indexOf(parts.first());
    if (column >= 0) {
        const bool desc = parts.size() > 1 && parts[1].compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
        order = QLatin1Char('"') + rec.fieldName(column) + QLatin1Char('"')
                + (desc ? QStringLiteral(" DESC") : QStringLiteral(" ASC")) + QStringLiteral(", id ASC");
    }
    QStringList groups;
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("SELECT \"group\" FROM onerace ORDER BY ") + order)) {
        while (q.next())
            groups << q.value(0).toString();
    }
    return groups;
}

QStringList TeamRefresh::teamsInOrder(const QStringList &groups)
{
    QStringList teams;
    for (const QString &g : groups) {
        if (!g.isEmpty() && !teams.contains(g))
            teams << g;
    }
    return teams;
}

} // namespace lapvane
