// A race on a temporary database: the engine with a hand-moved clock,
// scripted receivers and operator, recorded cues and log lines.
#pragma once

#include "core/clock.h"
#include "core/cues.h"
#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "core/wait.h"
#include "race/raceengine.h"
#include "race/raceservices.h"
#include "store/database.h"
#include "store/laptime.h"
#include "tests/common/logcapture.h"
#include "tests/common/scriptedprompt.h"
#include "tests/common/fakereceivers.h"

#include <QTemporaryDir>

#include <memory>

namespace lapvane::test {

class RecordingCues : public CuePlayer
{
public:
    QList<Cue> played;
    void play(Cue cue) override { played << cue; }
};

class FixedSelection : public CurrentSelection
{
public:
    int currentEventNum() const override { return 1; }
    QString currentEventName() const override { return QStringLiteral("Spring Cup"); }
    int currentStageId() const override { return 2; }
    QString currentStageName() const override { return QStringLiteral("Qualification"); }
    QList<int> selectedStageIds() const override { return {2}; }
};

// One race-list row as the tests read it back.
struct RaceRow
{
    int lapno = 0;
    int place = 0;
    qint64 besttime = 0;
    QString besttimetxt;
    qint64 totaltime = 0;
    QString totaltimetxt;
    QString confirmed;
    QString group;
};

class RaceFixture
{
public:
    // dbPath: an existing database file to use (a restarted program); empty
    // for a new one in a temporary folder.
    explicit RaceFixture(const QString &dbPath = QString());
    ~RaceFixture();

    RaceServices services();

    // Adds a race-list row as a group sent to the race leaves it; returns its
    // id. Without a channel given the pilot has none, so pilots added so share
    // no channel (the start would ask about that).
    int addPilot(int pilotId, const QString &name, qint32 trans, const QString &group = QStringLiteral("1"),
                 const QString &vtx = QString(), const QString &confirmed = QStringLiteral("Y"));
    // Stores a lap directly, as a finished race left it.
    void addLap(int pilotId, int lapn, qint64 laptime);

    bool start() { return engine->racestartraceExecute(); }
    // Queues one gate pass and runs one tick.
    void pass(qint32 trans, qint32 raceMs)
    {
        rx.queuePass(trans, raceMs);
        engine->tmrraceTimer();
    }

    RaceRow row(int pilotId) const;
    int rowId(int pilotId) const;
    QList<qint64> lapTimes(int pilotId) const;
    QStringList lapTexts(int pilotId) const;
    QList<int> lapNumbers(int pilotId) const;
    int lapCount() const;
    // Log lines containing the text.
    int logCount(const QString &text) const;

    QTemporaryDir dir;
    QString dbPath;
    Database db;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    std::unique_ptr<LogCapture> lines;
    ScriptedPrompt prompt;
    FakeReceivers rx;
    RecordingCues cues;
    ManualClock clock;
    StopFlag stop;
    FixedSelection selection;
    std::unique_ptr<RaceEngine> engine;

    // Noon on a spring day, local time.
    static qint64 noonMs();
};

} // namespace lapvane::test
