// A program folder, database, settings, log and the three receivers.
#include "tests/devices/devicefixture.h"

#include <QSqlQuery>
#include <QTest>

namespace lapvane::test {

DeviceFixture::DeviceFixture(TimingDevices::Lines lines)
{
    log = std::make_unique<OperatorLog>(settings, dir.path());
    capture = std::make_unique<LogCapture>(*log);
    if (!db.open(dir.filePath(QStringLiteral("dbpilots.db")), QStringLiteral("devices_%1").arg(quintptr(this))))
        qFatal("database: %s", qPrintable(db.error()));
    if (!lines.lapvane) {
        auto l = std::make_unique<MemoryLine>();
        gateLine = l.get();
        lines.lapvane = std::move(l);
    }
    if (!lines.vs) {
        auto l = std::make_unique<MemoryLine>();
        vsLine = l.get();
        lines.vs = std::move(l);
    }
    if (!lines.chorus) {
        auto l = std::make_unique<MemoryLine>();
        chorusLine = l.get();
        lines.chorus = std::move(l);
    }
    // Tests never broadcast: the host's datagrams go to the loopback address.
    settings.set(QStringLiteral("edvstimeBroadcast"), QStringLiteral("127.0.0.1"));
    settings.set(QStringLiteral("edvstimeLocalPort"), QStringLiteral("0"));
    devices = std::make_unique<TimingDevices>(DeviceEnv{settings, *log, stop}, db.db(), cues, &prompt,
                                              std::move(lines));
    devices->setSyncTimeoutMs(500);
}

DeviceFixture::~DeviceFixture()
{
    devices.reset();
    db.close();
}

QList<int> DeviceFixture::addRaceList(const QList<RaceListEntry> &entries)
{
    QList<int> ids;
    for (const RaceListEntry &e : entries) {
        QSqlQuery q(db.db());
        q.prepare(QStringLiteral("INSERT INTO onerace (pilotid,pilotname,pilottrans,vtx,confirmed,lapno,place) "
                                 "VALUES (?,?,?,?,?,0,999)"));
        q.addBindValue(e.pilotId);
        q.addBindValue(e.name);
        q.addBindValue(e.trans);
        q.addBindValue(e.vtx);
        q.addBindValue(e.confirmed);
        if (!q.exec())
            qFatal("insert failed");
        ids << q.lastInsertId().toInt();
    }
    return ids;
}

QString DeviceFixture::confirmedOf(int rowId) const
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("SELECT confirmed FROM onerace WHERE id=?"));
    q.addBindValue(rowId);
    q.exec();
    return q.next() ? q.value(0).toString() : QString();
}

int DeviceFixture::raceListCount() const
{
    QSqlQuery q(db.db());
    q.exec(QStringLiteral("SELECT COUNT(*) FROM onerace"));
    return q.next() ? q.value(0).toInt() : -1;
}

void DeviceFixture::addLap(int pilotId, int lapn, int laptime)
{
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("INSERT INTO laps (pilotid,lapn,laptime,laptimetxt) VALUES (?,?,?,'')"));
    q.addBindValue(pilotId);
    q.addBindValue(lapn);
    q.addBindValue(laptime);
    q.exec();
}

int DeviceFixture::lapCount() const
{
    QSqlQuery q(db.db());
    q.exec(QStringLiteral("SELECT COUNT(*) FROM laps"));
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace lapvane::test
