// The Lapvane gate on its serial line: connect, the poll branch that takes
// its 6-byte pass records, the race start ping, race and registration modes,
// the id list, version, race counter and line check.
#pragma once

#include "core/receivers.h"
#include "devices/gateframer.h"
#include "devices/serialdevice.h"

#include <optional>

namespace lapvane {

class LapvaneGate : public SerialDevice
{
    Q_OBJECT
public:
    LapvaneGate(const DeviceEnv &env, std::unique_ptr<SerialLine> line, QObject *parent = nullptr);

    // "Connect": opens the port named by `comselect` and does the ping and
    // timer handshake. Nothing when the port is already open. The waits for
    // the gate have no time-out; `STOPFLAG` (Disconnect) ends them.
    void connectGate();
    // Closes the port with the status "Disconnected".
    void disconnectGate();

    // The poll branch: one whole pass record, if one waits, as a pass of
    // source 1 with the race time on the gate's clock. During a race the
    // records are checked against the race (see GateFramer) and found again
    // after line noise.
    std::optional<Pass> takePass();
    // What a running race allows; without it records are taken as they come.
    void setRaceView(GateFramer::RaceViewSource source) { m_raceView = std::move(source); }

    // Race start ping: the gate's clock becomes `starttimerace`. Waits at
    // most timeoutMs; logs its lines and, on failure, its "STOP RACE
    // MANUALLY" line.
    bool syncStart(const StopFlag &stop, int timeoutMs);
    // Race mode ("r", buffers discarded first) and registration mode ("a").
    // False when the command could not be sent; the caller reports it.
    bool raceMode();
    bool regMode();
    // Registration start: discard buffers, then "a".
    bool startRegistration();
    // "List pilots": logs the ids the gate holds.
    void listPilots();
    // "Reset list": "c" to the gate, no reply.
    bool clearList();
    // "Version" and "Race counter": the answer shows in `lblcnt`.
    void readVersion();
    void readRaceCounter();
    // "?" line check: true when "." could be written.
    bool checkLine();
    // Adds an id to the gate's list ("y" + low + high byte).
    bool sendId(quint16 id);

    quint32 startTimeRace() const { return m_startTimeRace; }
    void setStartTimeRace(quint32 ms) { m_startTimeRace = ms; }
    // The text of `lblcnt`.
    QString counterText() const { return m_counterText; }
    // "Version" or "Race counter" is running (its button stays disabled).
    bool queryRunning() const { return m_queryRunning; }

signals:
    void counterTextChanged(const QString &text);
    void queryRunningChanged(bool running);

private:
    bool writeCommand(char command);
    void setCounterText(const QString &text);
    void setQueryRunning(bool running);
    // Connect's wait for one byte; false when the port closed meanwhile.
    bool waitForByte();
    // Empties the line's input and the records not yet taken.
    void discardInput();

    quint32 m_startTimeRace = 0;
    GateFramer m_framer;
    GateFramer::RaceViewSource m_raceView;
    QString m_counterText = QStringLiteral("n/a");
    bool m_queryRunning = false;
};

} // namespace lapvane
