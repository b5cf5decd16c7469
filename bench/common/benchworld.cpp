// The world a benchmark races in.
#include "bench/common/benchworld.h"

#include "devices/serialportline.h"
#include "devices/timingdevices.h"
#include "store/laptime.h"
#include "store/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

namespace lapvane::bench {

BenchWorld::BenchWorld()
{
    if (!db.open(dir.filePath(kDatabaseFileName)))
        qFatal("database: %s", qPrintable(db.error()));
    settings.set(QStringLiteral("chsavelogfile"), false);
    settings.set(QStringLiteral("edtlaps"), QStringLiteral("0"));
    settings.set(QStringLiteral("chksounds"), false);
    log = std::make_unique<OperatorLog>(settings, dir.path());
}

BenchWorld::~BenchWorld()
{
    engine.reset();
    db.close();
}

void addLaps(QSqlDatabase db, int pilotId, int count)
{
    QSqlQuery lap(db);
    lap.prepare(QStringLiteral("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, ?)"));
    for (int n = 1; n <= count; ++n) {
        lap.addBindValue(pilotId);
        lap.addBindValue(n);
        lap.addBindValue(n * 30000 + pilotId);
        lap.addBindValue(ms2minsecmstext(30000));
        lap.exec();
    }
}

void addRacePilots(QSqlDatabase db, int count, int firstTransponder, int lapsStored,
                   const std::function<QString(int)> &name)
{
    Transaction tx(db);
    QSqlQuery pilot(db);
    pilot.prepare(QStringLiteral("INSERT INTO onerace (pilotid, pilotname, nickname, pilotteam, coptercolor, "
                                 "pilottrans, \"group\", vtx, place, lapno, confirmed) "
                                 "VALUES (?, ?, ?, 'Team', 'red', ?, '1', ?, 999, ?, 'Y')"));
    for (int p = 1; p <= count; ++p) {
        pilot.addBindValue(p);
        pilot.addBindValue(name ? name(p) : QStringLiteral("Pilot %1").arg(p));
        pilot.addBindValue(QStringLiteral("nick%1").arg(p));
        pilot.addBindValue(firstTransponder + p - 1);
        pilot.addBindValue(QStringLiteral("R%1").arg(p));
        pilot.addBindValue(lapsStored);
        if (!pilot.exec())
            qFatal("race list: %s", qPrintable(pilot.lastError().text()));
        addLaps(db, p, lapsStored);
    }
    tx.commit();
}

void BenchWorld::addRacePilots(int count, int firstTransponder, int lapsStored,
                               const std::function<QString(int)> &name)
{
    bench::addRacePilots(db.db(), count, firstTransponder, lapsStored, name);
    m_firstTransponder = firstTransponder;
    m_nextPassMs.clear();
    for (int p = 1; p <= count; ++p)
        m_nextPassMs << (lapsStored + 1) * 30000 + p;
}

RaceEngine &BenchWorld::makeEngine(Receivers *receivers)
{
    engine = std::make_unique<RaceEngine>(RaceServices{
        db.db(), settings, *log, prompt, receivers ? *receivers : rx, cues, clock, stop, nullptr});
    return *engine;
}

std::unique_ptr<TimingDevices> BenchWorld::makeDevices()
{
    TimingDevices::Lines l;
    l.lapvane = std::make_unique<SerialPortLine>();
    l.vs = std::make_unique<SerialPortLine>();
    l.chorus = std::make_unique<SerialPortLine>();
    return std::make_unique<TimingDevices>(DeviceEnv{settings, *log, stop}, db.db(), cues, &prompt,
                                           std::move(l));
}

void BenchWorld::startRace()
{
    if (!engine->racestartraceExecute())
        qFatal("race did not start");
}

void BenchWorld::queueLap(int i)
{
    const int p = i % int(m_nextPassMs.size());
    rx.queue.append(Pass{PassSource::LapvaneGate, m_firstTransponder + p, m_nextPassMs[p]});
    m_nextPassMs[p] += 30000;
}

} // namespace lapvane::bench
