// A scripted stand-in for the timing receivers: passes queued by the test,
// connection flags, and start handshakes that answer or stay silent.
#pragma once

#include "core/receivers.h"

#include <QSet>
#include <QStringList>

#include <functional>

namespace lapvane::test {

class FakeReceivers : public Receivers
{
public:
    // Passes handed out one per gettrans(), oldest first.
    QList<Pass> queue;
    bool lapvane = true;
    bool vsSerial = false;
    bool vsWifi = false;
    bool chorus = false;
    // Devices ("vsSerial", "vsWifi", "lapvane", "chorus") that never answer
    // the start handshake: the wait runs to its bound (or the stop flag) and
    // the device's failure line is logged, as the real receivers do.
    QSet<QString> silent;
    int boundMs = 50;
    bool raceModeOk = true;
    bool regModeOk = true;
    bool pollThrows = false;
    // Called inside each handshake, before it answers (to raise the stop flag).
    std::function<void(const QString &device)> duringSync;
    // Where the handshakes log their lines.
    std::function<void(const QString &)> log;

    // Every handshake and mode change, in call order.
    QStringList calls;
    int polls = 0;

    void queuePass(qint32 recvid, qint32 raceMs, PassSource source = PassSource::LapvaneGate)
    {
        queue.append(Pass{source, recvid, raceMs});
    }

    Pass gettrans() override;
    bool comconnected() const override { return lapvane || vsSerial || vsWifi || chorus; }
    bool lapvaneConnected() const override { return lapvane; }
    bool vsSerialConnected() const override { return vsSerial; }
    bool vsWifiEnabled() const override { return vsWifi; }
    bool chorusConnected() const override { return chorus; }
    bool syncVsSerial(const StopFlag &stop) override;
    bool syncVsWifi(const StopFlag &stop) override;
    bool syncLapvane(const StopFlag &stop) override;
    bool syncChorus(const StopFlag &stop) override;
    bool lapvaneRaceMode() override;
    StartClocks startClocks() const override { return clocks; }
    void setStartClocks(const StartClocks &c) override { clocks = c; }
    // Set by the start handshakes (the gate's clock reads 400 ms).
    StartClocks clocks{{QStringLiteral("lapvane"), 0}, {QStringLiteral("vs"), 0}, {QStringLiteral("chorus"), 0}};
    bool lapvaneRegMode() override;

private:
    bool handshake(const QString &device, const StopFlag &stop, const QString &okLine,
                   const QString &failLine);
};

} // namespace lapvane::test
