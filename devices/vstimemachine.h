// The VS TimeMachine on its serial line and over WiFi (UDP): connect, the
// datagram handler and its mailboxes, the poll branch for both transports,
// the race start time syncs, registration preparation and the transponder
// search of a confirmation.
#pragma once

#include "core/receivers.h"
#include "devices/serialdevice.h"
#include "devices/udpendpoint.h"

#include <functional>
#include <optional>

namespace lapvane {

class VsTimeMachine : public SerialDevice
{
    Q_OBJECT
public:
    VsTimeMachine(const DeviceEnv &env, std::unique_ptr<SerialLine> line, QObject *parent = nullptr);

    // "Connect" on the TimeMachine page: port `com2select`, greeting, and a
    // wait for "systime" that only `STOPFLAG` or closing the port ends.
    void connectSerial();
    // "Disconnect" on the TimeMachine page and the general Disconnect.
    void disconnectSerial();

    // 'use WiFi': opens the UDP socket on the local port ("Wifi ON") or closes
    // it ("Wifi OFF"). False (with a log line) when the port cannot be bound.
    bool setWifiEnabled(bool on);
    bool wifiEnabled() const { return m_udp.isOpen(); }
    // The bound local port (for tests that bind port 0).
    quint16 wifiLocalPort() const { return m_udp.localPort(); }

    // The poll branch: a lap from the serial line or the lap mailbox, as a
    // pass of source 2; a ping updates the device clock text and gives none.
    std::optional<Pass> takePass();

    // Race start clock syncs. The serial one waits at most timeoutMs for
    // "timesynchok"; the WiFi one at most five seconds for its mailbox.
    bool syncSerial(const StopFlag &stop, int timeoutMs);
    bool syncWifi(const StopFlag &stop);
    // Registration start: serial "CLEAR", 50 ms, discard; WiFi "CLEAR" and
    // the lap mailbox emptied.
    void prepareRegistration();
    // 'Button24': broadcasts "CLEAR" and waits 100 ms.
    void broadcastClear();
    // "?" line check on the serial port.
    bool checkLine();

    // The transponder search of a confirmation over WiFi (waits up to 5 s)
    // and over the serial line (waits up to 1 s); true when it was echoed.
    bool searchWifi(qint32 id, int slotCode);
    bool searchSerial(qint32 id, int slotCode);

    // `IdUDPServer1UDPRead`: one received datagram.
    void handleDatagram(const QByteArray &data, const QHostAddress &from, quint16 port);

    // Tells whether the pass loop runs (laps then wait in their mailbox).
    void setRaceRunningProbe(std::function<bool()> probe) { m_raceRunning = std::move(probe); }

    enum class Mailbox { Timesynchok, ConfirmIdOk, Systime, Lap };
    QByteArray mailbox(Mailbox which) const;
    void clearMailbox(Mailbox which);

    qint32 startTimeVs() const { return m_startTimeVs; }
    void setStartTimeVs(qint32 ms) { m_startTimeVs = ms; }
    // The text of `lbtimemachinetime`.
    QString deviceClockText() const { return m_clockText; }

signals:
    void deviceClockTextChanged(const QString &text);
    // 'use WiFi' was switched on or off (also when switching on failed).
    void wifiEnabledChanged(bool on);

private:
    bool broadcast(const QByteArray &message);
    // One whole line (up to its LF) once it has come; none while it is unfinished.
    std::optional<QByteArray> readSerialLine();
    // Empties the serial input, the unfinished line included.
    void discardInput();
    void showDeviceClock(qint32 clockMs);

    UdpEndpoint m_udp;
    std::function<bool()> m_raceRunning;
    QByteArray m_mbTimesynchok;
    QByteArray m_mbConfirmIdOk;
    QByteArray m_mbSystime;
    QByteArray m_mbLap;
    QByteArray m_serialTail;
    QByteArray m_wifiTail;
    qint32 m_startTimeVs = 0;
    QString m_clockText = QStringLiteral("xx:xxx.xxx");
};

} // namespace lapvane
