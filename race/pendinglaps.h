// Counted laps on their way to the database. A lap is counted the moment its
// pass is judged; when the store cannot take it (the disk is full, the file
// locked), it waits here, in the order counted, and is written as soon as the
// store takes writes again, each with its own race time and duration, as if
// nothing had happened. The pass loop judges the next passes against the laps
// waiting here, so none is lost and no lap covers the gap.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace lapvane {

struct PendingLap
{
    int rowId = 0;     // race-list row (`onerace`.`id`)
    int pilotId = 0;   // `pilotid`
    int lapn = 0;      // the lap's number
    qint64 raceMs = 0; // `laptime`: race time of the pass
    qint64 lapMs = 0;  // the lap's duration (`laptimetxt` as text)
    qint32 recvid = 0; // the id the receiver delivered
};

class PendingLaps
{
public:
    bool isEmpty() const { return m_laps.isEmpty(); }
    int count() const { return int(m_laps.size()); }
    const QList<PendingLap> &laps() const { return m_laps; }

    // Laps of this race-list row waiting.
    int countFor(int rowId) const;
    // Race time of this pilot's last waiting lap; -1 when none waits.
    qint64 lastRaceMsOf(int pilotId) const;
    // Race times of this pilot's waiting laps, in order.
    QList<qint64> raceTimesOf(int pilotId) const;

    void append(const PendingLap &lap) { m_laps.append(lap); }

    // Writes the waiting laps in order, each with its row's lap count in one
    // transaction, until one fails; returns how many were written. On a
    // failure *error says why in plain words ("the disk is full" where that is
    // the cause) and the rest keep waiting. lapIds, when given, receives the
    // row id in `laps` of each lap written, in order.
    int write(QSqlDatabase db, QString *error, QList<qint64> *lapIds = nullptr);

    // A store error in plain words: a full disk is named as such.
    static QString plainError(const QString &driverText, const QString &nativeCode);

    void clear() { m_laps.clear(); }

private:
    QList<PendingLap> m_laps;
    // Prepared once, on the first write.
    QSqlQuery m_count;
    QSqlQuery m_insert;
    bool m_prepared = false;
};

} // namespace lapvane
