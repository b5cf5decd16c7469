// The three timing receivers together: the device poll `gettrans` and the
// start handshakes the race engine calls (Receivers), and the operator's
// receiver commands: Connect/Disconnect, pilot registration, List pilots,
// Reset list, the "?" line check and the transponder confirmation `confirmID`.
#pragma once

#include "core/receivers.h"
#include "devices/chorusrf.h"
#include "devices/deviceenv.h"
#include "devices/lapvanegate.h"
#include "store/racelisttable.h"
#include "devices/rssisweep.h"
#include "devices/vstimemachine.h"

#include <QObject>
#include <QSqlDatabase>
#include <QTimer>

#include <functional>
#include <memory>

namespace lapvane {

class CuePlayer;
class OperatorPrompt;

// Wiring for the window (all on the main thread):
// - lapvane(), vsTimeMachine(), chorus(): statusChanged -> `lblcomLapvanestat`,
//   `lblcomVStimestat`, `lbcomChorusstat`; portOpenChanged -> the green,
//   yellow and blue lamps; LapvaneGate::counterTextChanged -> `lblcnt`
//   (queryRunningChanged disables "Version"/"Race counter" meanwhile);
//   VsTimeMachine::deviceClockTextChanged -> `lbtimemachinetime`;
//   ChorusRf::modulesChanged -> `cbchorusmodule` (select the first entry).
// - registrationChanged(active) disables/enables the seven buttons of
//   registration; settingsPageRequested brings `tssettings` forward;
//   raceListChanged refreshes the race list grid.
// - RaceEngine::raceListSortRequested -> setRaceListOrderBy (and the same for
//   an operator's own sort of the race list), so that Chorus RF modules and
//   slot codes follow the rows as shown.
// - rssi(): chartReset / pointAdded feed `Chart1`.
// - 'use WiFi' is the setting "chvstimeWifi": switching it opens or closes
//   the UDP socket (its status shows "Wifi ON"/"Wifi OFF").
class TimingDevices : public QObject, public Receivers
{
    Q_OBJECT
public:
    struct Lines
    {
        std::unique_ptr<SerialLine> lapvane;
        std::unique_ptr<SerialLine> vs;
        std::unique_ptr<SerialLine> chorus;
    };

    // Missing lines are made as real serial ports. db is the main thread's
    // connection; prompt shows "Connect COM port or WiFi!" (may be null).
    TimingDevices(const DeviceEnv &env, QSqlDatabase db, CuePlayer &cues, OperatorPrompt *prompt,
                  Lines lines = {}, QObject *parent = nullptr);
    ~TimingDevices() override;

    LapvaneGate &lapvane() { return *m_lapvane; }
    VsTimeMachine &vsTimeMachine() { return *m_vs; }
    ChorusRf &chorus() { return *m_chorus; }
    RssiSweep &rssi() { return *m_rssi; }
    RaceListTable &raceList() { return m_raceList; }

    // Receivers: what the race engine calls.
    Pass gettrans() override;
    bool comconnected() const override;
    bool lapvaneConnected() const override { return m_lapvane->isOpen(); }
    bool vsSerialConnected() const override { return m_vs->isOpen(); }
    bool vsWifiEnabled() const override { return m_vs->wifiEnabled(); }
    bool chorusConnected() const override { return m_chorus->isOpen(); }
    bool syncVsSerial(const StopFlag &stop) override;
    bool syncVsWifi(const StopFlag &stop) override;
    bool syncLapvane(const StopFlag &stop) override;
    bool syncChorus(const StopFlag &stop) override;
    bool lapvaneRaceMode() override { return m_lapvane->raceMode(); }
    bool lapvaneRegMode() override { return m_lapvane->regMode(); }
    StartClocks startClocks() const override;
    void setStartClocks(const StartClocks &clocks) override;

    // The bound of each serial start handshake (default 3000 ms).
    void setSyncTimeoutMs(int ms) { m_syncTimeoutMs = ms; }

    // `comconnected` as the commands use it: when nothing is connected,
    // shows "Connect COM port or WiFi!" and asks for the Settings page.
    bool checkConnected();

    // "Connect" (Lapvane gate).
    void comconnectExecute() { m_lapvane->connectGate(); }
    // "Disconnect": raises `STOPFLAG`, waits 100 ms, closes the Lapvane and
    // VS TimeMachine serial ports.
    void comdisconnectExecute();
    // "Register pilots": gate to registration mode, VS TimeMachine prepared,
    // `tmrregpilots` started.
    void raceregpilotsExecute();
    // "Done": registration ends, `STOPFLAG` raised.
    void btn1Click();
    bool registrationActive() const { return m_tmrregpilots.isActive(); }
    // One tick of `tmrregpilots`: takes a pass and confirms its pilot.
    void tmrregpilotsTimer();
    // "List pilots".
    void racelistpilotsExecute();
    // "Reset list": "c" to the gate, then the race list and its laps are emptied.
    void raceresetlistExecute();
    // "?": writes "." to every open receiver line and logs the outcome.
    void btCheckComClick();
    // The transponder confirmation of the race-list row rowId (its position
    // gives the slot code): sent to the gate, searched on the VS TimeMachine
    // over WiFi and serial. True when a receiver took it; the row is then
    // set confirmed. Plays the registration cue when sounds are on.
    bool confirmID(int rowId, qint32 id);

    // The race list's shown order (see RaceListTable::setOrderBy).
    void setRaceListOrderBy(const QString &orderBy);
    // Whether the pass loop runs (for the WiFi lap mailbox).
    void setRaceRunningProbe(std::function<bool()> probe);
    // The race clock in ms while a race runs, no value otherwise: with the
    // race list it tells the Lapvane gate's records from line noise.
    void setRaceClockProbe(std::function<std::optional<qint64>()> probe);
    // Shutdown: stops the sweep and registration, closes ports and socket.
    void shutdown();

signals:
    void registrationChanged(bool active);
    void settingsPageRequested();
    void raceListChanged();

private:
    void onSettingChanged(const QString &control, const QVariant &value);

    DeviceEnv m_env;
    CuePlayer &m_cues;
    OperatorPrompt *m_prompt;
    RaceListTable m_raceList;
    std::unique_ptr<LapvaneGate> m_lapvane;
    std::unique_ptr<VsTimeMachine> m_vs;
    std::unique_ptr<ChorusRf> m_chorus;
    std::unique_ptr<RssiSweep> m_rssi;
    std::function<std::optional<qint64>()> m_raceClock;
    QTimer m_tmrregpilots;
    int m_syncTimeoutMs = 3000;
    bool m_confirming = false;
    bool m_revertingWifi = false;
};

} // namespace lapvane
