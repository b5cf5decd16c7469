// The bracket of a stage as JSON and as HTML.
#include "publish/bracketpublish.h"

#include "publish/pagefiles.h"

#include <QJsonArray>

namespace lapvane {

namespace {

QString pilotText(const BracketViewHeat &heat)
{
    QStringList names;
    for (const BracketViewPilot &p : heat.pilots) {
        QString name = escapeHtml(p.name);
        if (p.place > 0)
            name = QStringLiteral("%1. %2").arg(p.place).arg(name);
        if (p.goesOn && heat.advance > 0 && heat.flown)
            name = QStringLiteral("<b>%1</b>").arg(name);
        names << name;
    }
    for (int i = 0; i < heat.waitingSeats; ++i)
        names << QStringLiteral("<i>waiting</i>");
    for (int i = 0; i < heat.emptySeats; ++i)
        names << QStringLiteral("<i>bye</i>");
    return names.join(QStringLiteral(", "));
}

} // namespace

QJsonObject bracketJson(const BracketView &view, int stageId)
{
    QJsonObject out{{QStringLiteral("stageId"), stageId}};
    if (!view.exists) {
        out.insert(QStringLiteral("bracket"), QJsonValue::Null);
        return out;
    }
    QJsonArray rounds;
    QJsonValue next = QJsonValue::Null;
    for (const BracketViewRound &round : view.rounds) {
        QJsonArray heats;
        for (const BracketViewHeat &heat : round.heats) {
            QJsonArray pilots;
            QJsonArray names;
            for (const BracketViewPilot &p : heat.pilots) {
                pilots.append(QJsonObject{{QStringLiteral("pilotid"), p.pilotId},
                                          {QStringLiteral("name"), p.name},
                                          {QStringLiteral("place"), p.place},
                                          {QStringLiteral("goesOn"), p.goesOn}});
                names.append(p.name);
            }
            heats.append(QJsonObject{{QStringLiteral("group"), heat.group},
                                     {QStringLiteral("name"), heat.name},
                                     {QStringLiteral("state"), heat.state()},
                                     {QStringLiteral("advance"), heat.advance},
                                     {QStringLiteral("waiting"), heat.waitingSeats},
                                     {QStringLiteral("empty"), heat.emptySeats},
                                     {QStringLiteral("pilots"), pilots}});
            if (heat.next)
                next = QJsonObject{{QStringLiteral("group"), heat.group},
                                   {QStringLiteral("name"), heat.name},
                                   {QStringLiteral("pilots"), names}};
        }
        rounds.append(QJsonObject{{QStringLiteral("name"), round.name}, {QStringLiteral("heats"), heats}});
    }
    out.insert(QStringLiteral("bracket"),
               QJsonObject{{QStringLiteral("stage"), view.stageName},
                           {QStringLiteral("kind"), view.kind},
                           {QStringLiteral("kindName"), view.kindName},
                           {QStringLiteral("pilots"), view.pilots},
                           {QStringLiteral("next"), next},
                           {QStringLiteral("notes"), QJsonArray::fromStringList(view.notes)},
                           {QStringLiteral("rounds"), rounds}});
    return out;
}

QJsonObject readBracketJson(QSqlDatabase db, int stageId)
{
    BracketView view;
    QString error;
    if (stageId > 0 && !readBracketView(db, stageId, &view, &error)) {
        QJsonObject out = bracketJson(BracketView{}, stageId);
        out.insert(QStringLiteral("error"), error);
        return out;
    }
    return bracketJson(view, stageId);
}

QString bracketHtml(const BracketView &view)
{
    if (!view.exists)
        return QString();
    QStringList lines;
    lines << QStringLiteral("<h2>%1: %2</h2>").arg(escapeHtml(view.stageName), escapeHtml(view.kindName));
    if (!view.nextGroup.isEmpty())
        lines << QStringLiteral("<p>Next: group %1, %2</p>")
                     .arg(escapeHtml(view.nextGroup), escapeHtml(view.nextHeatName));
    for (const BracketViewRound &round : view.rounds) {
        lines << QStringLiteral("<h3>%1</h3>").arg(escapeHtml(round.name));
        lines << QStringLiteral("<table><tr><td><b>Group</b></td><td><b>Heat</b></td><td><b>Pilots</b></td>"
                                "<td><b>State</b></td></tr>");
        for (const BracketViewHeat &heat : round.heats)
            lines << QStringLiteral(
                         "<tr><td width=60>%1</td><td width=200>%2</td><td>%3</td><td width=100>%4</td></tr>")
                         .arg(escapeHtml(heat.group), escapeHtml(heat.name), pilotText(heat),
                              escapeHtml(heat.state()));
        lines << QStringLiteral("</table>");
    }
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace lapvane
