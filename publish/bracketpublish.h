// The bracket of a stage for the web server and the HTML export: the JSON of
// /api/bracket (and of the live feed's "bracket" message) and an HTML block
// of the heats by round, both from the one reading in competition/.
#pragma once

#include "competition/bracketview.h"

#include <QJsonObject>
#include <QSqlDatabase>
#include <QString>

namespace lapvane {

// {"stageId": N, "bracket": null} for a stage that is no bracket, else
// {"stageId": N, "bracket": {"stage", "kind", "kindName", "pilots",
//  "next": {"group", "name", "pilots": [names]} or null, "notes": [...],
//  "rounds": [{"name", "heats": [{"group", "name", "state", "advance",
//  "waiting", "empty", "pilots": [{"pilotid", "name", "place", "goesOn"}]}]}]}}.
// "place" is 0 until the heat is flown; "state" is one of "next", "flown",
// "bye", "fly again", "ready", "waiting".
QJsonObject bracketJson(const BracketView &view, int stageId);

// The JSON of stage stageId read from the race database. A bracket that
// cannot be read gives "bracket": null and "error" with the reason.
QJsonObject readBracketJson(QSqlDatabase db, int stageId);

// The bracket as an HTML block for the results export: a heading, then per
// round a table of its heats (group, heat, pilots in finishing order once
// flown, the state). Empty for a stage that is no bracket.
QString bracketHtml(const BracketView &view);

} // namespace lapvane
