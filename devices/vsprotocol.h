// The VS TimeMachine's text protocol (serial lines and UDP datagrams alike):
// reading its ping, lap and time-sync messages and building the host's
// messages, as pure functions over bytes.
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace lapvane::vsproto {

inline constexpr char kClear[] = "CLEAR\r\n";
inline constexpr char kHello[] = "Hello;\r\n";
inline constexpr char kSetTime[] = "settime:1\r\n";

struct VsLap
{
    qint32 packet = 0; // N
    qint32 gate = 0;   // G
    qint32 id = 0;     // transponder
    qint32 timeMs = 0; // device clock at the pass
    qint32 startMs = 0; // S, only logged
};

enum class LineKind { Other, Ping, Lap };

// A line containing "ping" is a ping (looked at first), one containing "lap:"
// a lap.
LineKind classify(const QByteArray &line);

// Whether a received datagram holds a whole message: it ends with LF, or it
// names its kind ("lap:", "ping", "timesynchok", "echotrans", "systime") and
// has every "," the host reads behind it. Anything else is the start of a
// message the next datagram completes.
bool isWholeMessage(const QByteArray &text);
// A datagram that begins a new message (with one of the kinds above).
bool startsMessage(const QByteArray &text);

// The integer field that starts at from and ends at the next ",". Without
// that "," or with anything but a sign and digits there is no value; next receives the
// index after the ",".
std::optional<qint32> intField(const QByteArray &text, qsizetype from, qsizetype *next = nullptr);

// The clock of a ping: the text after the ":" that follows "ping", up to ",".
std::optional<qint32> pingClock(const QByteArray &line);
// The five fields of a lap line, each followed by ",".
std::optional<VsLap> parseLap(const QByteArray &line);
// The clock of a time-sync answer: after the ":" that follows "timesynchok",
// up to ",".
std::optional<qint32> timesynchClock(const QByteArray &text);
// The clock a WiFi time sync takes: the text after the first "," up to the next ",".
std::optional<qint32> wifiSyncClock(const QByteArray &text);
// The text after the first ":" up to the next "," (or the end of the text,
// line ends stripped), as the datagram handler echoes it.
QByteArray firstFieldText(const QByteArray &text);
// The text after the first "," that follows the first ":", up to the next ",".
QByteArray secondFieldText(const QByteArray &text);

QByteArray lapAck(const QByteArray &packet, const QByteArray &gate);
QByteArray timesynchReply(const QByteArray &clock);
QByteArray searchTrans(qint32 id, int slotCode);
QByteArray echoOk(qint32 id, int slotCode);
QByteArray echoOkWifi(const QByteArray &id);

// The slot code of a transponder search for a race-list position (1 = first
// row): 112 plus the table value 1, 2, 4, 7, 6, 4, 5 of positions 1 to 7.
// Positions beyond the seventh go round the table again (8 is like 1, 9 like
// 2, ...); positions below 1 count as 1.
int slotTableValue(int position);
int slotCode(int position);

} // namespace lapvane::vsproto
