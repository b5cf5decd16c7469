// The race list as the pass loop judges passes against it: each row with its
// transponder, lap count and counted passes, laps still waiting for the
// database included. Read once per tick that has passes and kept up to date in
// memory as the tick counts laps, so a burst of passes costs two reads.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace lapvane {

class PendingLaps;

struct FieldPilot
{
    int rowId = 0;   // `onerace`.`id`
    int pilotId = 0; // `pilotid`
    QString name;
    qint64 transponder = 0;
    bool hasTransponder = false; // `pilottrans` holds a number
    int lapno = 0;               // laps counted (`lapno`, waiting laps included)
    QString group;
    bool confirmed = false;
    // Race times of the passes the race list counts (laps 1..lapno, on
    // record or waiting), in lap order; read only when asked for.
    QList<qint64> passesMs;
    // Race time of the pilot's newest lap on record or waiting (his last
    // pass); 0 when he has none.
    qint64 lastPassMs = 0;
    // His newest lap's time on record is not a number: passes cannot be
    // judged against it.
    bool lastPassUnreadable = false;
};

class RaceField
{
public:
    // Reads the race list with each pilot's last pass, and with passes also
    // every pass the list counts (what the race formats judge; the default
    // format needs only the last), then adds the laps waiting for the
    // database. False (and *error) when the store cannot be read; the field
    // is then empty.
    bool read(QSqlDatabase db, const PendingLaps &waiting, bool passes, QString *error);

    bool isRead() const { return m_read; }
    // Forget what was read: the next pass reads the race list again.
    void invalidate() { m_read = false; }

    const QList<FieldPilot> &pilots() const { return m_pilots; }
    // The first row (by key) for this transponder, or -1: that row takes the pass.
    int findTransponder(qint64 transponder) const;
    // The row of this pilot, or -1.
    int findPilot(int pilotId) const;
    // Every row's laps together (the race list's lap sum).
    qint64 lapSum() const;

    // A lap counted at raceMs for the row at index.
    void addLap(int index, qint64 raceMs);

private:
    QList<FieldPilot> m_pilots;
    bool m_read = false;
};

} // namespace lapvane
