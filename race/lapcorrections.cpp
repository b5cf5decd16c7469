// Corrections of one pilot's laps by hand.
#include "race/lapcorrections.h"

#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/settings.h"
#include "race/finishedrace.h"
#include "race/standings.h"
#include "store/laptime.h"
#include "store/transaction.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

LapCorrections::LapCorrections(const RaceServices &services, QObject *parent)
    : QObject(parent), m_s(services)
{
}

QString LapCorrections::entryCaption()
{
    return QStringLiteral("Adding new lap...");
}

QString LapCorrections::entryLabel()
{
    return QStringLiteral("Enter lap time MMM:SS.MSS (000:12.345)");
}

QString LapCorrections::entryMask()
{
    return QStringLiteral("999:99.999");
}

bool LapCorrections::entryComplete(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{3}:[0-9]{2}\\.[0-9]{3}$"));
    return form.match(text).hasMatch();
}

void LapCorrections::savelog(const QString &line)
{
    m_s.log.savelog(line);
}

void LapCorrections::reportFailure(const QString &what, const QString &error)
{
    const QString text = what + QStringLiteral(": ") + error;
    savelog(text);
    m_s.prompt.notice(text);
}

bool LapCorrections::readLaps(int raceRowId, int *pilotId, QList<Lap> *laps)
{
    QSqlQuery q(m_s.db);
    q.prepare(QStringLiteral("SELECT pilotid FROM onerace WHERE id=?"));
    q.addBindValue(raceRowId);
    if (!q.exec()) {
        reportFailure(QStringLiteral("Cannot read the race list"), q.lastError().text());
        return false;
    }
    if (!q.next())
        return false;
    *pilotId = q.value(0).toInt();
    q.finish();
    q.prepare(QStringLiteral("SELECT id, laptime, laptimetxt FROM laps WHERE pilotid=? "
                             "ORDER BY lapn ASC, id ASC"));
    q.addBindValue(*pilotId);
    if (!q.exec()) {
        reportFailure(QStringLiteral("Cannot read the laps"), q.lastError().text());
        return false;
    }
    while (q.next())
        laps->append({q.value(0).toInt(), q.value(1).toLongLong(), q.value(2).toString()});
    return true;
}

bool LapCorrections::deleteLap(int raceRowId, int lapId)
{
    int pilotId = 0;
    QList<Lap> laps;
    if (!readLaps(raceRowId, &pilotId, &laps))
        return false;
    int p = -1;
    for (int i = 0; i < laps.size(); ++i) {
        if (laps.at(i).id == lapId)
            p = i;
    }
    if (p < 0)
        return false;

    Transaction tx(m_s.db);
    QSqlQuery q(m_s.db);
    q.prepare(QStringLiteral("DELETE FROM laps WHERE id=?"));
    q.addBindValue(lapId);
    bool ok = q.exec();
    const qint64 previous = p == 0 ? 0 : laps.at(p - 1).laptime;
    laps.removeAt(p);
    if (ok && p < laps.size()) {
        // The following lap now runs from the end of the lap before the deleted one.
        laps[p].laptimetxt = ms2minsecmstext(laps.at(p).laptime - previous);
    }
    QSqlQuery post(m_s.db);
    post.prepare(QStringLiteral("UPDATE laps SET lapn=?, laptimetxt=? WHERE id=?"));
    for (int i = 0; ok && i < laps.size(); ++i) {
        post.bindValue(0, i + 1);
        post.bindValue(1, laps.at(i).laptimetxt);
        post.bindValue(2, laps.at(i).id);
        ok = post.exec();
    }
    if (!ok || !tx.commit()) {
        reportFailure(QStringLiteral("Cannot delete the lap"),
                      q.lastError().isValid() ? q.lastError().text()
                      : post.lastError().isValid() ? post.lastError().text()
                                                   : m_s.db.lastError().text());
        return false;
    }
    recalc(raceRowId);
    emit lapsChanged();
    emit lapsCorrected(pilotId);
    return true;
}

bool LapCorrections::splitLap(int raceRowId, int lapId, const QString &typedText)
{
    const LogFn log = [this](const QString &l) { savelog(l); };
    const int newMs = minsecmstext2ms(typedText, log);
    if (newMs == 0)
        return false;
    int pilotId = 0;
    QList<Lap> laps;
    if (!readLaps(raceRowId, &pilotId, &laps))
        return false;
    int p = -1;
    for (int i = 0; i < laps.size(); ++i) {
        if (laps.at(i).id == lapId)
            p = i;
    }
    // Without a lap to split the duration reads as nothing (and is logged so).
    const int curMs = minsecmstext2ms(p >= 0 ? laps.at(p).laptimetxt : QString(), log);
    if (p < 0 || newMs >= curMs) {
        savelog(QStringLiteral("error: new lap time same or greater of current lap time"));
        return false;
    }

    const qint64 previous = p == 0 ? 0 : laps.at(p - 1).laptime;
    const qint64 newLaptime = previous + newMs;
    Transaction tx(m_s.db);
    QSqlQuery post(m_s.db);
    post.prepare(QStringLiteral("UPDATE laps SET lapn=?, laptimetxt=? WHERE id=?"));
    bool ok = true;
    for (int i = p; ok && i < laps.size(); ++i) {
        // The selected lap now runs from the end of the new lap.
        const QString text = i == p ? ms2minsecmstext(laps.at(i).laptime - newLaptime) : laps.at(i).laptimetxt;
        post.bindValue(0, i + 2);
        post.bindValue(1, text);
        post.bindValue(2, laps.at(i).id);
        ok = post.exec();
    }
    QSqlQuery insert(m_s.db);
    if (ok) {
        insert.prepare(QStringLiteral("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, ?)"));
        insert.addBindValue(pilotId);
        insert.addBindValue(p + 1);
        insert.addBindValue(newLaptime);
        insert.addBindValue(typedText);
        ok = insert.exec();
    }
    if (!ok || !tx.commit()) {
        reportFailure(QStringLiteral("Cannot split the lap"),
                      post.lastError().isValid() ? post.lastError().text()
                      : insert.lastError().isValid() ? insert.lastError().text()
                                                     : m_s.db.lastError().text());
        return false;
    }
    recalc(raceRowId);
    emit lapsChanged();
    emit lapsCorrected(pilotId);
    return true;
}

bool LapCorrections::recalc(int raceRowId)
{
    QString error;
    if (!updateOneraceBestlaps(m_s.db, raceRowId, [this](const QString &l) { savelog(l); }, &error)) {
        reportFailure(QStringLiteral("Cannot recalculate the laps"), error);
        return false;
    }
    rankFinishedRace();
    emit raceListChanged();
    return true;
}

void LapCorrections::rankFinishedRace()
{
    // A running race, or one never finished, keeps its places until "Finish".
    if (!m_s.finishedRace || !m_s.finishedRace->isFinished())
        return;
    // Ranked by the format of the race's stage, as the finish ranks (an
    // unknown format was reported at the start and ranks as the default).
    const StageRules rules =
        raceRules(m_s.db, m_s.selection ? m_s.selection->currentStageId() : 0, nullptr);
    QString error;
    if (!rankRace(m_s.db, m_s.settings.integer(QStringLiteral("cbwinplaces")), rules, &error)) {
        reportFailure(QStringLiteral("Cannot write the race standings"), error);
        return;
    }
    emit raceListSortRequested(QStringLiteral("place ASC"));
    QString line = QStringLiteral("Lap correction on the finished race: places ranked again, as \"Finish\" ranks them.");
    if (!m_s.finishedRace->isExportPending() && m_s.finishedRace->wasExported())
        line += QStringLiteral(" The event results hold the race as exported before the correction: export it "
                               "again to carry the correction over (its wins are counted again).");
    savelog(line);
}

} // namespace lapvane
