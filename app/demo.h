// "lapvaneadmin --demo": a fresh folder with sample pilots, an event and a
// stage in two groups, and a simulated Lapvane gate on a pseudo-terminal that
// flies laps after every race start, so a newcomer can watch a race at once.
// It is a club night: the stage qualifies by the fastest 3 consecutive laps;
// once every pilot has raced there, the next stage is made an 8-pilot double
// elimination seeded from its standing, flown heat by heat to the final.
#pragma once

#include "tools/receiversim/ptylink.h"
#include "tools/receiversim/receiversim.h"
#include "tools/receiversim/simdriver.h"

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class MainWindow;

class Demo
{
public:
    static constexpr int kPilots = 8;
    static constexpr int kFirstTransponder = 101;
    static constexpr int kLaps = 3;
    static constexpr int kLapMs = 8000;
    // Qualifying: races of a minute; the gate flies this many laps in it.
    static constexpr int kQualifyingMinutes = 1;
    static constexpr int kQualifyingLaps = 6;

    // The demo's folder: the new or empty DIR of --home (or one holding only
    // the settings file lapvaneadmin.ini, which the demo then starts from),
    // else a new temporary folder removed when the program ends. Never a
    // folder holding data.
    bool makeFolder(const QString &home, QString *error);
    QString folder() const { return m_folder; }

    // Fills a new database: the pilots with transponders 101 to 108, an event
    // and its stage "Qualifying" (Fastest 3 consecutive laps, a minute a race)
    // with the pilots in groups "1" and "2".
    static bool seed(QSqlDatabase db, QString *error);

    // Starts the simulated gate on a pseudo-terminal; laps of about lapMs.
    bool openGate(int lapMs, QString *error);
    QString gatePort() const { return m_pty.slavePath(); }
    sim::GateSim &gate() { return m_gate; }

    // Once the window is up: the demo's race settings, the stage's results in
    // view, group 1 sent to the race list, the gate connected and group 1
    // confirmed with it. Everything it does is logged.
    void start(ProgramContext &ctx, ProgramServices &services, MainWindow &window);

private:
    // After each export: the bracket made once qualifying is complete, and
    // the end of the night said.
    void clubNightStep(ProgramContext &ctx, ProgramServices &services, MainWindow &window);

    std::unique_ptr<QTemporaryDir> m_temp;
    int m_lapMs = kLapMs;
    int m_bracketStage = 0;
    bool m_finalSaid = false;
    QString m_folder;
    sim::GateSim m_gate;
    sim::PtyLink m_pty;
    std::unique_ptr<sim::SimDriver> m_driver;
};

} // namespace lapvane
