// A stage's race format, kept in the race database beside the stage: the
// small table `stageformat`, made the first time a format is chosen. Without
// it (every existing file) every stage races as "Laps and time".
#pragma once

#include "competition/raceformat.h"

#include <QSqlDatabase>
#include <QString>

namespace lapvane {

struct StageRules
{
    RaceFormat format = RaceFormat::LapsAndTime;
    // lapLimit and timeLimitMs come from the stage's own `laplimit` and
    // `timelimit` (minutes); graceMs and holeShot from `stageformat`.
    FormatOptions options;
};

inline constexpr const char *kStageFormatTable = "stageformat";

// The rules of stage stageId. A stage without a chosen format, or a file
// without the table, gives the default format. False with error set when the
// stage does not exist, the store fails, or the stored format is unknown (then
// out holds the default format with the stage's limits, so racing goes on).
bool readStageRules(QSqlDatabase db, int stageId, StageRules *out, QString *error);

// Chooses the format, grace time and hole-shot of stage stageId (its limits
// stay in `stages`). Makes the table when missing; changes no other table.
bool writeStageFormat(QSqlDatabase db, int stageId, RaceFormat format, qint64 graceMs, bool holeShot,
                      QString *error);

} // namespace lapvane
