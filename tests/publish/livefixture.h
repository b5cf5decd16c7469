// A small race on a temporary database behind a running web server on
// 127.0.0.1 and a free port, for the web server tests.
#pragma once

#include "core/countedlap.h"

#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "publish/livefeed.h"
#include "publish/liveserver.h"
#include "store/database.h"
#include "tests/common/sqlrows.h"

#include <QTemporaryDir>

#include <memory>

namespace lapvane::test {

class StageSelection : public CurrentSelection
{
public:
    int currentEventNum() const override { return 1; }
    QString currentEventName() const override { return QStringLiteral("Spring Cup"); }
    int currentStageId() const override { return 1; }
    QString currentStageName() const override { return QStringLiteral("Final"); }
    QList<int> selectedStageIds() const override { return {1}; }
};

class LiveFixture
{
public:
    LiveFixture();
    ~LiveFixture();

    // Starts the server with these options (port 0, the fixture's "htmls").
    bool start(LiveServer::Options options = {});
    quint16 port() const { return server.port(); }

    void addPilot(int pilotId, const QString &name, const QString &nickname, const QString &team, const QString &vtx,
                  int trans, const QString &confirmed, int lapno);
    // Stores a lap as the pass loop does (race time, duration text).
    void addLap(int pilotId, int lapn, qint64 raceMs, qint64 lapMs);
    // A lap counted as the pass loop counts it: stored, the race list's lap
    // count set, and the value the race engine hands its consumers.
    CountedLap countLap(int pilotId, int lapn, qint64 raceMs, qint64 lapMs);
    void exec(const QString &sql) { test::exec(db.db(), sql); }
    // Three pilots: Anna (2 laps), Bob (1 lap), Cid (none, unconfirmed, an
    // old lap left from an earlier race).
    void smallRace();

    QTemporaryDir dir;
    QString htmls;
    Database db;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    StageSelection selection;
    LiveServer server;
    std::unique_ptr<LiveFeed> feed;
    RaceStatus status;
};

// The small race as /api/race gives it while running at 61 s, and Anna's laps.
QByteArray smallRaceJson();
QByteArray annaLapsJson();

} // namespace lapvane::test
