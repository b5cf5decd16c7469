// Race standings from the recorded laps.
#include "race/standings.h"

#include "store/database.h"
#include "store/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

namespace {

bool fail(const QSqlQuery &q, QString *error)
{
    if (error)
        *error = q.lastError().text();
    return false;
}

bool failText(const QString &text, QString *error)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool computeTotalsAndBestLaps(QSqlDatabase db, QString *error, bool holeShot)
{
    Transaction tx(db);
    QSqlQuery rows(db);
    if (!rows.exec(QStringLiteral("SELECT id, pilotid FROM onerace ORDER BY id ASC")))
        return fail(rows, error);
    QList<QPair<int, int>> list;
    while (rows.next())
        list.append({rows.value(0).toInt(), rows.value(1).toInt()});
    rows.finish();

    QSqlQuery laps(db);
    laps.prepare(QStringLiteral("SELECT laptime FROM laps WHERE pilotid=? ORDER BY lapn ASC"));
    QSqlQuery post(db);
    post.prepare(QStringLiteral("UPDATE onerace SET totaltime=?, totaltimetxt=?, besttime=?, "
                                "besttimetxt=? WHERE id=?"));
    for (const auto &[rowId, pilotId] : list) {
        laps.bindValue(0, pilotId);
        if (!laps.exec())
            return fail(laps, error);
        qint64 total = kNoTimeMs;
        qint64 best = kNoTimeMs;
        qint64 previous = 0;
        bool opening = holeShot; // the hole-shot pass closes no lap
        while (laps.next()) {
            const qint64 raceTime = laps.value(0).toLongLong();
            if (!opening)
                best = qMin(best, raceTime - previous);
            opening = false;
            previous = raceTime;
            total = raceTime;
        }
        laps.finish();
        post.bindValue(0, total);
        post.bindValue(1, ms2minsecmstext(total));
        post.bindValue(2, best);
        post.bindValue(3, ms2minsecmstext(best));
        post.bindValue(4, rowId);
        if (!post.exec())
            return fail(post, error);
    }
    if (!tx.commit())
        return failText(db.lastError().text(), error);
    return true;
}

bool assignPlaces(QSqlDatabase db, int winPlaces, QString *error)
{
    return assignPlaces(db, winPlaces, RaceFormat::LapsAndTime, FormatOptions{}, error);
}

bool assignPlaces(QSqlDatabase db, int winPlaces, RaceFormat format, const FormatOptions &options,
                  QString *error)
{
    Transaction tx(db);
    QSqlQuery rows(db);
    // Race-list order: the order of rows the format leaves tied.
    if (!rows.exec(QStringLiteral("SELECT id, pilotid, lapno FROM onerace ORDER BY id ASC")))
        return fail(rows, error);
    QList<int> rowIds;
    QList<RaceEntry> entries;
    QList<int> pilotIds;
    while (rows.next()) {
        rowIds << rows.value(0).toInt();
        pilotIds << rows.value(1).toInt();
        RaceEntry e;
        e.countedPasses = rows.value(2).toInt();
        entries << e;
    }
    rows.finish();

    QSqlQuery laps(db);
    laps.prepare(QStringLiteral("SELECT laptime FROM laps WHERE pilotid=? ORDER BY lapn ASC"));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        laps.bindValue(0, pilotIds.at(i));
        if (!laps.exec())
            return fail(laps, error);
        while (laps.next())
            entries[i].passesMs << laps.value(0).toLongLong();
        laps.finish();
    }

    QSqlQuery post(db);
    post.prepare(QStringLiteral("UPDATE onerace SET place=? WHERE id=?"));
    for (const RankedEntry &r : rankRace(format, options, entries)) {
        post.bindValue(0, winPlaces == 0 ? kNoPlace : r.place);
        post.bindValue(1, rowIds.at(r.index));
        if (!post.exec())
            return fail(post, error);
    }
    if (!tx.commit())
        return failText(db.lastError().text(), error);
    return true;
}

bool rankRace(QSqlDatabase db, int winPlaces, QString *error)
{
    return computeTotalsAndBestLaps(db, error) && assignPlaces(db, winPlaces, error);
}

bool rankRace(QSqlDatabase db, int winPlaces, const StageRules &rules, QString *error)
{
    return computeTotalsAndBestLaps(db, error, rules.options.holeShot)
           && assignPlaces(db, winPlaces, rules.format, rankingOptions(rules), error);
}

bool updateOneraceBestlaps(QSqlDatabase db, int rowId, const LogFn &log, QString *error)
{
    QSqlQuery row(db);
    row.prepare(QStringLiteral("SELECT pilotid FROM onerace WHERE id=?"));
    row.addBindValue(rowId);
    if (!row.exec())
        return fail(row, error);
    if (!row.next())
        return failText(QStringLiteral("The race list has no row %1.").arg(rowId), error);
    const int pilotId = row.value(0).toInt();
    row.finish();

    QSqlQuery laps(db);
    laps.prepare(QStringLiteral("SELECT laptimetxt, laptime FROM laps WHERE pilotid=? "
                                "ORDER BY laptimetxt ASC"));
    laps.addBindValue(pilotId);
    if (!laps.exec())
        return fail(laps, error);
    int count = 0;
    qint64 best = kNoTimeMs;
    QString bestText = QLatin1String(kNoTimeText);
    qint64 total = -1;
    while (laps.next()) {
        if (count == 0) {
            bestText = laps.value(0).toString();
            best = minsecmstext2ms(bestText, log);
        }
        total = qMax(total, laps.value(1).toLongLong());
        ++count;
    }
    laps.finish();
    if (count == 0)
        total = kNoTimeMs;

    QSqlQuery post(db);
    post.prepare(QStringLiteral("UPDATE onerace SET besttime=?, besttimetxt=?, lapno=?, totaltime=?, "
                                "totaltimetxt=? WHERE id=?"));
    post.addBindValue(best);
    post.addBindValue(bestText);
    post.addBindValue(count);
    post.addBindValue(total);
    post.addBindValue(ms2minsecmstext(total));
    post.addBindValue(rowId);
    if (!post.exec())
        return fail(post, error);
    return true;
}

} // namespace lapvane
