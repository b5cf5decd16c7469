// What the race engine needs of the timing receivers: the device poll, the
// start handshakes and the gate's modes. The devices library implements it;
// tests use a scripted stand-in.
#pragma once

#include <QMap>
#include <QString>

namespace lapvane {

class StopFlag;

enum class PassSource { None = 0, LapvaneGate = 1, VsTimeMachine = 2, ChorusRf = 3 };

// One gate pass as the device poll delivers it.
struct Pass
{
    PassSource source = PassSource::None;
    qint32 recvid = 0; // transponder id, matched against the race list's pilottrans
    qint32 raceMs = 0; // the device's time stamp minus its clock at race start
};

// The receivers' own clocks at the race start, by receiver: "lapvane"
// (`starttimerace`), "vs" (`starttimevs`), "chorus" (`starttimechorus`), and
// the key of any receiver added. A pass's race time is its stamp minus its
// receiver's clock. Kept with the race, so that a race continued after a
// restart of the program counts from the same zero.
using StartClocks = QMap<QString, qint64>;

class Receivers
{
public:
    virtual ~Receivers() = default;

    // The device poll: at most one pass, looked for in the order Lapvane
    // gate, Chorus RF, VS TimeMachine. A source with data but no valid pass
    // gives PassSource::None.
    virtual Pass gettrans() = 0;

    // At least one serial port is open, or the VS TimeMachine WiFi is on.
    virtual bool comconnected() const = 0;

    virtual bool lapvaneConnected() const = 0;
    virtual bool vsSerialConnected() const = 0;
    virtual bool vsWifiEnabled() const = 0;
    virtual bool chorusConnected() const = 0;

    // Race start clock synchronisation of every connected receiver, in its
    // order; the race engine calls only this. By default the four below, in
    // this order, for the devices that are connected; a set of receivers
    // with more of them adds theirs. False when stop was raised (the start is
    // cancelled); a receiver that does not answer does not stop the others.
    virtual bool synchronise(const StopFlag &stop);

    // The handshakes one by one. Each logs its own progress and, on failure,
    // its "STOP RACE MANUALLY" line, and returns false; the start goes on
    // either way. Waits are bounded and end early when stop is raised.
    virtual bool syncVsSerial(const StopFlag &stop) = 0;
    virtual bool syncVsWifi(const StopFlag &stop) = 0;
    virtual bool syncLapvane(const StopFlag &stop) = 0;
    virtual bool syncChorus(const StopFlag &stop) = 0;

    // The Lapvane gate's race mode ("r") and pilot registration mode ("a");
    // false when the command could not be sent.
    virtual bool lapvaneRaceMode() = 0;
    virtual bool lapvaneRegMode() = 0;

    // The clocks the last start handshakes read, and putting back kept ones.
    virtual StartClocks startClocks() const = 0;
    virtual void setStartClocks(const StartClocks &clocks) = 0;
};

} // namespace lapvane
