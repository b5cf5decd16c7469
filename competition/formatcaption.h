// What the Events page shows of a stage's race format: one caption line, the
// choice as stored (for the dialog that changes it) and, for a stored format
// this program does not know, a plain sentence for the operator.
#pragma once

#include "competition/stageformat.h"

#include <QSqlDatabase>
#include <QString>

namespace lapvane {

struct StageFormatShown
{
    bool chosen = false;  // the stage has a format row; false: the default, nothing chosen
    bool unknown = false; // the stored format is not one this program knows
    StageRules rules;     // what the stage races by (the default for an unknown format)
    QString caption;      // e.g. "Format: Most laps in time, grace 30 s, first pass starts the clock"
    QString problem;      // the operator's sentence when the stage cannot be read as chosen
};

// The format of stage stageId as the stage list shows it. A stage id of 0 or
// less (no stage) gives an empty caption.
StageFormatShown showStageFormat(QSqlDatabase db, int stageId);

// The caption for rules (without "Format: ").
QString formatDescription(const StageRules &rules);

} // namespace lapvane
