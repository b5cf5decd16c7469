// Copying the state the pages are filled from, on the main thread.
#include "publish/pagesnapshot.h"

#include "core/settings.h"
#include "core/streamchannels.h"
#include "events/eventsviews.h"

namespace lapvane {

PageSnapshot takePageSnapshot(EventsViews &views, const Settings &settings, const StreamChannels &channels,
                              const QString &raceClockText)
{
    PageSnapshot s;
    const int eventRow = views.currentEventRow();
    if (eventRow >= 0) {
        s.eventName = views.eventsModel()->value(eventRow, QStringLiteral("eventname")).toString();
        s.eventCity = views.eventsModel()->value(eventRow, QStringLiteral("city")).toString();
    }
    const int stageRow = views.currentStageRow();
    if (stageRow >= 0) {
        SqlRowsModel *stages = views.stagesModel();
        s.stageId = stages->keyAt(stageRow);
        s.stageName = stages->value(stageRow, QStringLiteral("stagename")).toString();
        s.stageLapLimit = stages->value(stageRow, QStringLiteral("laplimit")).toString();
        s.stageTimeLimit = stages->value(stageRow, QStringLiteral("timelimit")).toString();
        s.stageStartTime = stages->value(stageRow, QStringLiteral("starttime")).toString();
    }
    const char *columns[] = {"chtopname",   "chtopteam",     "chtopgroup",     "chtoplaps",
                             "chtopwins",   "chtopbestlap",  "chtoptotaltime", "chtopqualtime"};
    for (int i = 0; i < 8; ++i)
        s.topColumns[size_t(i)] = settings.flag(QLatin1String(columns[i]));
    s.topCountText = settings.text(QStringLiteral("edtopcount"));
    s.sortFieldIndex = settings.integer(QStringLiteral("cbresfields"));
    s.sortOrderIndex = settings.integer(QStringLiteral("cbresfieldssort"));
    s.oneRaceViewTemplate = settings.text(QStringLiteral("edOneRaceview"));
    s.oneRaceResultsTemplate = settings.text(QStringLiteral("edoneraceresults"));
    s.pilotViewTemplate = settings.text(QStringLiteral("edPilotView"));
    s.topResultsTemplate = settings.text(QStringLiteral("edtopresultspage"));
    const auto ch = channels.snapshot();
    for (size_t i = 0; i < ch.size(); ++i)
        s.channel[i] = ch[i];
    s.raceClockText = raceClockText;
    return s;
}

} // namespace lapvane
