// Making the next stage a bracket from a stage's standing: the seeding (the
// stage standing by its format), the next stage chosen or created, its
// results rows for the seeded pilots, and the bracket with each pilot's first
// heat as his group. What was made comes back in plain lines for the log.
#pragma once

#include "competition/bracketstage.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace lapvane {

struct SeedRow
{
    int pilotId = 0;
    QString name;
    QString deciding; // what placed him, e.g. "3 consecutive: 01:02.345"; may be empty
};

// The standing of stage stageId, best first, each pilot once. A stage with a
// chosen format stands by each pilot's best deciding value over its exported
// races; a stage without one (or whose races were exported before the format
// was chosen) as the results rows rank today: more wins, then the shorter
// qualification time, then the shorter best lap, then row order.
bool stageSeeding(QSqlDatabase db, int stageId, QList<SeedRow> *out, QString *error);

struct BracketRequest
{
    int fromStage = 0;    // the stage whose standing seeds the bracket
    int toStage = 0;      // the stage made a bracket; 0: a new stage of the same event
    QString newStageName; // the name of a new stage
    int seedCount = 0;    // the top N of the standing go in; 0: everybody
    BracketSetup setup;
};

struct BracketMade
{
    int stageId = 0;
    QString stageName;
    int pilots = 0;
    int heats = 0;      // heats to fly (heats not flown as byes excluded)
    int byeHeats = 0;   // heats not flown: no more pilots than go on
    int emptySeats = 0; // seats of the first round left empty by a short field
    QString firstGroup; // the group that flies first
    QStringList lines;  // what was made, for the operator log
};

// Makes request.toStage (or a new stage) the bracket. The bracket is checked
// before anything is written; a new stage copies the limits of the seeding
// stage. Seeded pilots without a results row there get one (name, team,
// channel copied; nothing of the results). Pilots of an existing stage who
// are not seeded keep their rows and are named in the lines.
bool makeBracketStage(QSqlDatabase db, const BracketRequest &request, BracketMade *out, QString *error);

} // namespace lapvane
