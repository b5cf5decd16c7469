// Drives a simulated receiver: command lines from a script or stdin, and the
// demo mode that flies a plausible race whenever the host starts one.
#pragma once

#include "tools/receiversim/receiversim.h"

#include <QObject>
#include <QStringList>

namespace lapvane::sim {

class PtyLink;

class SimDriver : public QObject
{
    Q_OBJECT
public:
    // pty may be null (no unplug command then).
    SimDriver(ReceiverSim &sim, PtyLink *pty, QObject *parent = nullptr);

    // Commands, one per line ("#" starts a comment):
    //   pass WHO [CLOCKMS]  a pass of transponder WHO (Chorus RF: module WHO)
    //   wait MS             later lines wait this long
    //   ping                VS TimeMachine: a ping message now
    //   raw TEXT            TEXT as it stands (\n, \r and \xHH understood)
    //   unplug              the receiver goes away (the host's port fails)
    //   quit                ends the simulator
    void enqueue(const QStringList &lines);
    // The help text of the commands.
    static QString commandHelp();

    // Demo: whenever the host starts a race, each of who flies laps laps of
    // about lapMs (+-15 %); in registration mode each passes once in turn.
    void startDemo(const QList<qint32> &who, int laps, int lapMs);
    // Demo of the Lapvane gate: flies the transponders the host put into the
    // gate's list (by confirming pilots), whichever they are at the start.
    void startDemoOfListed(int laps, int lapMs);

signals:
    void message(const QString &text);
    void quitRequested();

private:
    void runNext();
    bool runCommand(const QString &line);
    void flyRace();
    void passRound();
    QList<qint32> demoPilots() const;

    ReceiverSim &m_sim;
    PtyLink *m_pty;
    QStringList m_queue;
    bool m_waiting = false;
    QList<qint32> m_demo;
    bool m_demoListed = false;
    int m_demoLaps = 5;
    int m_demoLapMs = 20000;
    int m_generation = 0;
};

} // namespace lapvane::sim
