// Corrections of one pilot's laps by hand: delete a lap (its time goes into
// the next one), split a lap at a typed duration, recalculate the pilot.
#pragma once

#include "race/raceservices.h"

#include <QObject>

namespace lapvane {

// Works on the race-list row selected by the window (`id` of `onerace`) and a
// lap of that pilot (`id` of `laps`). Laps are kept numbered 1..n by `lapn`;
// the lap grid must show them "ORDER BY lapn ASC". Needs neither a running
// race nor a receiver. During a race a correction changes only the pilot's
// row; on a finished race it ranks the whole list again as the finish does
// (totals, best laps, places and the list's order; no cue, gate or export).
class LapCorrections : public QObject
{
    Q_OBJECT
public:
    explicit LapCorrections(const RaceServices &services, QObject *parent = nullptr);

    // The lap entry dialog ("Adding new lap..."): its caption, label, and an
    // input mask ("999:99.999") for a line edit.
    static QString entryCaption();
    static QString entryLabel();
    static QString entryMask();
    // The dialog's text is complete: three digits, ":", two digits, ".",
    // three digits, all present. The dialog accepts "ADD" only then.
    static bool entryComplete(const QString &text);

    // "Delete" (`btdellapClick`): deletes the lap without a question; the
    // next lap takes over its time; laps are renumbered and the row
    // recalculated. False when there was nothing to delete or the store failed.
    bool deleteLap(int raceRowId, int lapId);

    // "Add" (`Button26Click`) after the dialog's "ADD": splits the lap in two,
    // the first part lasting the typed duration. Refused with "error: new lap
    // time same or greater of current lap time" when the typed duration is not
    // shorter than the lap; an unreadable text is logged by the conversion.
    bool splitLap(int raceRowId, int lapId, const QString &typedText);

    // "Recalc" (`btlapsrecalcClick`): `UpdateOneraceBestlaps` for the row,
    // then the ranking of a finished race.
    bool recalc(int raceRowId);

signals:
    void lapsChanged();
    // A pilot's laps were deleted, split or recalculated.
    void lapsCorrected(int pilotId);
    void raceListChanged();
    // A finished race was ranked again: sort the race list view by this.
    void raceListSortRequested(const QString &orderBy);

private:
    struct Lap
    {
        int id = 0;
        qint64 laptime = 0;
        QString laptimetxt;
    };
    bool readLaps(int raceRowId, int *pilotId, QList<Lap> *laps);
    void reportFailure(const QString &what, const QString &error);
    void savelog(const QString &line);
    void rankFinishedRace();

    RaceServices m_s;
};

} // namespace lapvane
