// A race on a temporary database.
#include "tests/race/racefixture.h"

#include <QDir>
#include <QFileInfo>

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace lapvane::test {

namespace {
int connectionCounter = 0;
}

qint64 RaceFixture::noonMs()
{
    return QDateTime(QDate(2024, 5, 1), QTime(12, 0)).toMSecsSinceEpoch();
}

RaceFixture::RaceFixture(const QString &path) : clock(noonMs())
{
    dbPath = path.isEmpty() ? dir.filePath(kDatabaseFileName) : path;
    const bool opened = db.open(dbPath, QStringLiteral("race%1").arg(++connectionCounter));
    if (!opened)
        qFatal("cannot open the test database: %s", qPrintable(db.error()));
    settings.set(QStringLiteral("chksounds"), false);
    settings.set(QStringLiteral("edtlaps"), QStringLiteral("0"));
    settings.set(QStringLiteral("edttimelimit"), QStringLiteral("0"));
    settings.set(QStringLiteral("edantidoubleread"), QStringLiteral("1000"));
    settings.set(QStringLiteral("cbwinplaces"), 3);
    log = std::make_unique<OperatorLog>(settings, dir.path());
    lines = std::make_unique<LogCapture>(*log);
    rx.log = [this](const QString &l) { log->savelog(l); };
    engine = std::make_unique<RaceEngine>(services());
    engine->setTimerDriven(false);
}

RaceFixture::~RaceFixture()
{
    engine.reset();
}

RaceServices RaceFixture::services()
{
    return RaceServices{db.db(), settings, *log, prompt, rx, cues, clock, stop, &selection,
                        QFileInfo(dbPath).absoluteDir().filePath(QStringLiteral("racestate.json"))};
}

int RaceFixture::addPilot(int pilotId, const QString &name, qint32 trans, const QString &group,
                          const QString &vtx, const QString &confirmed)
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("INSERT INTO onerace (pilotid, pilotname, nickname, pilotteam, coptercolor, "
                             "pilottrans, \"group\", vtx, place, lapno, besttime, besttimetxt, totaltime, "
                             "totaltimetxt, confirmed) VALUES (?, ?, '', '', '', ?, ?, ?, 999, 0, ?, ?, ?, ?, ?)"));
    q.addBindValue(pilotId);
    q.addBindValue(name);
    q.addBindValue(trans);
    q.addBindValue(group);
    q.addBindValue(vtx);
    q.addBindValue(kNoTimeMs);
    q.addBindValue(QString::fromLatin1(kNoTimeText));
    q.addBindValue(kNoTimeMs);
    q.addBindValue(QString::fromLatin1(kNoTimeText));
    q.addBindValue(confirmed);
    if (!q.exec())
        qFatal("addPilot: %s", qPrintable(q.lastError().text()));
    return q.lastInsertId().toInt();
}

void RaceFixture::addLap(int pilotId, int lapn, qint64 laptime)
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("SELECT laptime FROM laps WHERE pilotid=? AND lapn=?"));
    q.addBindValue(pilotId);
    q.addBindValue(lapn - 1);
    const qint64 previous = q.exec() && q.next() ? q.value(0).toLongLong() : 0;
    q.prepare(QStringLiteral("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, ?)"));
    q.addBindValue(pilotId);
    q.addBindValue(lapn);
    q.addBindValue(laptime);
    q.addBindValue(ms2minsecmstext(laptime - previous));
    if (!q.exec())
        qFatal("addLap: %s", qPrintable(q.lastError().text()));
}

RaceRow RaceFixture::row(int pilotId) const
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("SELECT lapno, place, besttime, besttimetxt, totaltime, totaltimetxt, confirmed, "
                             "\"group\" FROM onerace WHERE pilotid=?"));
    q.addBindValue(pilotId);
    RaceRow r;
    if (q.exec() && q.next()) {
        r.lapno = q.value(0).toInt();
        r.place = q.value(1).toInt();
        r.besttime = q.value(2).toLongLong();
        r.besttimetxt = q.value(3).toString();
        r.totaltime = q.value(4).toLongLong();
        r.totaltimetxt = q.value(5).toString();
        r.confirmed = q.value(6).toString();
        r.group = q.value(7).toString();
    }
    return r;
}

int RaceFixture::rowId(int pilotId) const
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("SELECT id FROM onerace WHERE pilotid=?"));
    q.addBindValue(pilotId);
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

QList<qint64> RaceFixture::lapTimes(int pilotId) const
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("SELECT laptime FROM laps WHERE pilotid=? ORDER BY lapn ASC"));
    q.addBindValue(pilotId);
    QList<qint64> result;
    if (q.exec()) {
        while (q.next())
            result << q.value(0).toLongLong();
    }
    return result;
}

QStringList RaceFixture::lapTexts(int pilotId) const
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("SELECT laptimetxt FROM laps WHERE pilotid=? ORDER BY lapn ASC"));
    q.addBindValue(pilotId);
    QStringList result;
    if (q.exec()) {
        while (q.next())
            result << q.value(0).toString();
    }
    return result;
}

QList<int> RaceFixture::lapNumbers(int pilotId) const
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("SELECT lapn FROM laps WHERE pilotid=? ORDER BY lapn ASC"));
    q.addBindValue(pilotId);
    QList<int> result;
    if (q.exec()) {
        while (q.next())
            result << q.value(0).toInt();
    }
    return result;
}

int RaceFixture::lapCount() const
{
    QSqlQuery q(db.db());
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM laps")) && q.next() ? q.value(0).toInt() : -1;
}

int RaceFixture::logCount(const QString &text) const
{
    int n = 0;
    for (const QString &l : lines->lines) {
        if (l.contains(text))
            ++n;
    }
    return n;
}

} // namespace lapvane::test
