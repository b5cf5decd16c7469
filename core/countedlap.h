// One counted lap, as the pass loop decided it: the one value the window, the
// live feed, the MQTT publisher and the announcer take from the race engine.
#pragma once

#include <QMetaType>
#include <QString>

namespace lapvane {

struct CountedLap
{
    qint64 lapRowId = 0; // the lap's row in `laps`; 0 while it waits for the database
    int raceRowId = 0;   // its pilot's race-list row (`onerace`.`id`)
    int pilotId = 0;     // `pilotid`
    QString name;        // the pilot's name as the race list holds it
    int lapn = 0;        // the lap's number
    qint64 raceMs = 0;   // race time of the pass
    qint64 lapMs = 0;    // the lap's duration
    // The finishing place when this lap ended the pilot's race (the order the
    // pilots finished in); 0 when his race goes on.
    int place = 0;
    qint32 recvid = 0; // the id the receiver delivered
};

} // namespace lapvane

Q_DECLARE_METATYPE(lapvane::CountedLap)
