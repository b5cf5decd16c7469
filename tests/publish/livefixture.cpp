// A small race behind a running web server, for the web server tests.
#include "tests/publish/livefixture.h"

#include "store/laptime.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace lapvane::test {

LiveFixture::LiveFixture()
{
    htmls = QDir(dir.path()).filePath(QStringLiteral("htmls"));
    QDir().mkpath(htmls);
    db.open(QDir(dir.path()).filePath(QStringLiteral("dbpilots.db")), QStringLiteral("livetest"));
    settings.set(QStringLiteral("chsavelogfile"), false);
    log = std::make_unique<OperatorLog>(settings, dir.path());
    feed = std::make_unique<LiveFeed>(db.db(), settings, *log, &selection, server);
    feed->setStatusProvider([this] { return status; });
}

LiveFixture::~LiveFixture()
{
    server.stop();
    feed.reset();
}

bool LiveFixture::start(LiveServer::Options options)
{
    options.port = 0;
    options.address = QHostAddress(QHostAddress::LocalHost);
    options.htmlsFolder = htmls;
    QString error;
    if (!server.start(options, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    feed->refreshAll();
    return true;
}

void LiveFixture::addPilot(int pilotId, const QString &name, const QString &nickname, const QString &team,
                           const QString &vtx, int trans, const QString &confirmed, int lapno)
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("INSERT INTO onerace (pilotid, pilotname, nickname, pilotteam, coptercolor, pilottrans, "
                             "\"group\", vtx, place, lapno, besttime, besttimetxt, totaltime, totaltimetxt, confirmed) "
                             "VALUES (?, ?, ?, ?, '', ?, '1', ?, 999, ?, 59999999, '-', 59999999, '-', ?)"));
    for (const QVariant &v : {QVariant(pilotId), QVariant(name), QVariant(nickname), QVariant(team), QVariant(trans),
                              QVariant(vtx), QVariant(lapno), QVariant(confirmed)})
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s", qPrintable(q.lastError().text()));
}

void LiveFixture::addLap(int pilotId, int lapn, qint64 raceMs, qint64 lapMs)
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, ?)"));
    q.addBindValue(pilotId);
    q.addBindValue(lapn);
    q.addBindValue(raceMs);
    q.addBindValue(ms2minsecmstext(lapMs));
    if (!q.exec())
        qFatal("%s", qPrintable(q.lastError().text()));
}

CountedLap LiveFixture::countLap(int pilotId, int lapn, qint64 raceMs, qint64 lapMs)
{
    addLap(pilotId, lapn, raceMs, lapMs);
    exec(QStringLiteral("UPDATE onerace SET lapno=%1 WHERE pilotid=%2").arg(lapn).arg(pilotId));
    CountedLap lap;
    QSqlQuery q(db.db());
    q.exec(QStringLiteral("SELECT MAX(id) FROM laps"));
    if (q.next())
        lap.lapRowId = q.value(0).toLongLong();
    q.exec(QStringLiteral("SELECT id, pilotname FROM onerace WHERE pilotid=%1").arg(pilotId));
    if (q.next()) {
        lap.raceRowId = q.value(0).toInt();
        lap.name = q.value(1).toString();
    }
    lap.pilotId = pilotId;
    lap.lapn = lapn;
    lap.raceMs = raceMs;
    lap.lapMs = lapMs;
    return lap;
}

void LiveFixture::smallRace()
{
    addPilot(1, QString::fromUtf8("Анна Смирнова"), QStringLiteral("Anya"), QStringLiteral("Red"), QStringLiteral("R1"),
             101, QStringLiteral("Y"), 2);
    addPilot(2, QStringLiteral("Bob \"Quick\" <b>"), QString(), QStringLiteral("Blue"), QStringLiteral("R2"), 102,
             QStringLiteral("Y"), 1);
    addPilot(3, QStringLiteral("Cid"), QStringLiteral("C"), QString(), QStringLiteral("R3"), 103,
             QStringLiteral("N"), 0);
    addLap(1, 1, 30000, 30000);
    addLap(1, 2, 58000, 28000);
    addLap(2, 1, 31000, 31000);
    addLap(3, 1, 20000, 20000); // from an earlier race: Cid has no lap in this one
    settings.set(QStringLiteral("edtlaps"), QStringLiteral("3"));
    settings.set(QStringLiteral("edttimelimit"), QStringLiteral("2"));
}

QByteArray smallRaceJson()
{
    return R"({
  "state": "running", "clockMs": 61000, "lapLimit": 3, "timeLimitMin": 2,
  "event": "Spring Cup", "stage": "Final", "format": "lapsandtime",
  "pilots": [
    {"pilotid": 1, "name": "Анна Смирнова", "nickname": "Anya", "team": "Red", "group": "1", "vtx": "R1",
     "transponder": 101, "confirmed": true, "laps": 2,
     "lastLapMs": 28000, "lastLap": "000:28.000", "bestLapMs": 28000, "bestLap": "000:28.000",
     "totalTimeMs": 58000, "totalTime": "000:58.000", "place": 1, "deciding": "2 laps, 00:58.000"},
    {"pilotid": 2, "name": "Bob \"Quick\" <b>", "nickname": "", "team": "Blue", "group": "1", "vtx": "R2",
     "transponder": 102, "confirmed": true, "laps": 1,
     "lastLapMs": 31000, "lastLap": "000:31.000", "bestLapMs": 31000, "bestLap": "000:31.000",
     "totalTimeMs": 31000, "totalTime": "000:31.000", "place": 2, "deciding": "1 lap, 00:31.000"},
    {"pilotid": 3, "name": "Cid", "nickname": "C", "team": "", "group": "1", "vtx": "R3",
     "transponder": 103, "confirmed": false, "laps": 0,
     "lastLapMs": null, "lastLap": "-", "bestLapMs": null, "bestLap": "-",
     "totalTimeMs": null, "totalTime": "-", "place": 3, "deciding": "no laps"}
  ]})";
}

QByteArray annaLapsJson()
{
    return R"({"pilotid": 1, "name": "Анна Смирнова", "laps": [
            {"lapn": 1, "lapTimeMs": 30000, "lapTime": "000:30.000", "raceTimeMs": 30000},
            {"lapn": 2, "lapTimeMs": 28000, "lapTime": "000:28.000", "raceTimeMs": 58000}]})";
}

} // namespace lapvane::test
