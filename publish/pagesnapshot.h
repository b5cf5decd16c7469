// What the page filling reads of the main thread's state, copied there at one
// moment: the current event and stage, the results table options, the four
// template paths, the stream channels and the race clock text. The live pages
// writer gets a fresh copy for every cycle and never reads the window or the
// settings itself.
#pragma once

#include <QString>

#include <array>

namespace lapvane {

class EventsViews;
class Settings;
class StreamChannels;

struct PageSnapshot
{
    // Current event (`eventname`, `city`); empty when none.
    QString eventName;
    QString eventCity;
    // Current stage; id 0 and empty texts when none. The limits are the
    // stored numbers as text.
    int stageId = 0;
    QString stageName;
    QString stageLapLimit;
    QString stageTimeLimit;
    QString stageStartTime;

    // "%STAGERESULTS%" columns, in the table's fixed order: Pilot, Team,
    // Group, Laps, Wins, Best Lap, Total Time, Qual Time.
    std::array<bool, 8> topColumns{true, true, true, true, true, true, true, true};
    // "Show Top:" as typed; read as a number when the first row is written.
    QString topCountText = QStringLiteral("5");
    // Index into the field list of table `results` and into "ASC", "DESC".
    int sortFieldIndex = 0;
    int sortOrderIndex = 0;

    // Template files of the live pages ("n/a" when none chosen).
    QString oneRaceViewTemplate = QStringLiteral("n/a");
    QString oneRaceResultsTemplate = QStringLiteral("n/a");
    QString pilotViewTemplate = QStringLiteral("n/a");
    QString topResultsTemplate = QStringLiteral("n/a");

    // Pilot id shown on stream channels 1 to 8 (slot 0 unused).
    std::array<int, 9> channel{};
    // The race clock as the race page shows it.
    QString raceClockText = QStringLiteral("00:00:00");
};

// Copies the state on the main thread. views gives the current event and
// stage rows, settings the options and template paths, channels the stream
// channel table.
PageSnapshot takePageSnapshot(EventsViews &views, const Settings &settings, const StreamChannels &channels,
                              const QString &raceClockText);

} // namespace lapvane
