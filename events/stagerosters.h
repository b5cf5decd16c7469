// Stage rosters: pilots into the current stage, new stages from selected
// results rows, stage duplication with the carry-over switches, row deletion.
#pragma once

#include "events/pilotrecord.h"

#include <QVariantMap>

namespace lapvane {

class EventsViews;
class Settings;

class StageRosters
{
public:
    explicit StageRosters(EventsViews &views);

    // eventAdd2CurStageExecute: adds the registry pilot to the current stage
    // unless the results view already shows him (then the view is pointed at
    // his row through EventsViews::locateResultsRow).
    bool eventAdd2CurStageExecute(const PilotRecord &pilot);
    // eventAdd2NewStageExecute: a stage "New stage" holding copies of the
    // selected results rows; it becomes the current stage while the view
    // keeps its stages. Refused while the stage is locked.
    bool eventAdd2NewStageExecute();
    // eventduplicatestageExecute: the current stage and its rows copied into
    // a stage named after it with "2" appended, which the view then shows.
    bool eventduplicatestageExecute();
    // eventdelpilotExecute: deletes the selected results rows after a question.
    bool eventdelpilotExecute();
    // eventclearpilotsExecute: deletes every row the results view shows.
    bool eventclearpilotsExecute();

    // The fields of a copied results row under the "dup..." switches; place
    // falls back to 999 for a duplicated stage and 0 for a new one.
    static QVariantMap copiedRow(const QVariantMap &source, int stageId, bool duplicate,
                                 const Settings &settings);

private:
    EventsViews &m_views;
};

} // namespace lapvane
