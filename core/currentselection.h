// The current event, stage and results selection as the events pages hold
// them; read by the race start, the export of a race and the publishers at the
// moment they run.
#pragma once

#include <QList>
#include <QString>

namespace lapvane {

class CurrentSelection
{
public:
    virtual ~CurrentSelection() = default;
    // 0 and empty names when there is none.
    virtual int currentEventNum() const = 0;
    virtual QString currentEventName() const = 0;
    virtual int currentStageId() const = 0;
    virtual QString currentStageName() const = 0;
    // The stages whose results the results view shows.
    virtual QList<int> selectedStageIds() const = 0;
};

} // namespace lapvane
