// The Lapvane gate's byte protocol: single-character commands, the 6-byte
// pass record and the short binary replies, as pure functions over bytes.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace lapvane::gateproto {

inline constexpr int kPassRecordBytes = 6;
inline constexpr char kPingReply = '7';

// Commands the host sends, one byte each ("y" is followed by the id).
inline constexpr char kPing = 'p';
inline constexpr char kTimer = 't';
inline constexpr char kRegMode = 'a';
inline constexpr char kRaceMode = 'r';
inline constexpr char kClearList = 'c';
inline constexpr char kListIds = 'l';
inline constexpr char kVersion = 'v';
inline constexpr char kRaceCounter = 'q';
inline constexpr char kLineCheck = '.';

struct GatePass
{
    quint16 id = 0;
    quint32 gateMs = 0;
};

// Little-endian unsigned values from raw bytes.
quint16 le16(const char *bytes);
quint32 le32(const char *bytes);

// The pass record at the start of bytes (which must hold six).
GatePass decodePassRecord(const QByteArray &bytes);
// A record as the gate sends it (the simulator's side).
QByteArray encodePassRecord(quint16 id, quint32 gateMs);
// The ping reply: "7" then the gate clock.
QByteArray encodePingReply(quint32 gateMs);

// The race time of a pass: gate clock at the pass minus the gate clock at the
// race start, modulo 2^32 like the gate's counter.
qint32 raceTimeMs(quint32 gateMs, quint32 startMs);

// The race counter from its two reply bytes (low first).
int raceCounter(quint8 low, quint8 high);

// "y" + low byte + high byte: adds the id to the gate's list.
QByteArray confirmCommand(quint16 id);

} // namespace lapvane::gateproto
