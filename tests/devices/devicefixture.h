// A program folder, database, settings, log and the three receivers on lines
// chosen by the test (in-memory by default), for the receiver tests.
#pragma once

#include "core/cues.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "core/wait.h"
#include "devices/memoryline.h"
#include "devices/timingdevices.h"
#include "store/database.h"
#include "tests/common/logcapture.h"
#include "tests/common/scriptedprompt.h"

#include <QTemporaryDir>

#include <memory>

namespace lapvane::test {

class RecordingCues : public CuePlayer
{
public:
    void play(Cue cue) override { played << cue; }
    QList<Cue> played;
};

struct RaceListEntry
{
    int pilotId;
    QString name;
    qint32 trans;
    QString vtx;
    QString confirmed = QStringLiteral("N");
};

class DeviceFixture
{
public:
    // With lines left empty, in-memory lines are made and kept in the
    // pointers below.
    explicit DeviceFixture(TimingDevices::Lines lines = {});
    ~DeviceFixture();

    // Adds race-list rows; returns their row ids in order.
    QList<int> addRaceList(const QList<RaceListEntry> &entries);
    QString confirmedOf(int rowId) const;
    int raceListCount() const;
    void addLap(int pilotId, int lapn, int laptime);
    int lapCount() const;
    // The log lines, joined with new lines.
    QString logText() const { return capture->lines.join(QLatin1Char('\n')); }

    QTemporaryDir dir;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    std::unique_ptr<LogCapture> capture;
    StopFlag stop;
    Database db;
    ScriptedPrompt prompt;
    RecordingCues cues;
    std::unique_ptr<TimingDevices> devices;
    MemoryLine *gateLine = nullptr;
    MemoryLine *vsLine = nullptr;
    MemoryLine *chorusLine = nullptr;
};

} // namespace lapvane::test
