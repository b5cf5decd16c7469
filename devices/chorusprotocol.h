// The Chorus RF receiver's text protocol: module count, lap lines, tuning and
// the RSSI exchange, as pure functions over bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace lapvane::chorusproto {

inline constexpr char kAllVersion[] = "R*v\n";
inline constexpr char kCountModules[] = "N0\n";
inline constexpr char kStartPing[] = "R*P\n";
// The poll reads a lap line only when this many bytes wait.
inline constexpr int kMinLapLineBytes = 14;

struct LapLine
{
    enum Kind {
        Lap,    // a pass of module at timeMs
        NotLap, // the third character is not "L"
        Bad,    // empty line, module or time not readable
    };
    Kind kind = Bad;
    int module = 0;
    qint32 timeMs = 0;
    QByteArray hex; // the time text after the first five characters
};

// One device line (without its CR or LF): position 2 the module digit,
// position 3 "L", from position 6 the race time in hexadecimal.
LapLine parseLapLine(const QByteArray &line);

// The answer to "N0\n": its first character must be "N" and its second the
// module count. firstIsN is false for any other answer; count is empty when
// the second character is not a digit.
struct ModuleCount
{
    bool firstIsN = false;
    std::optional<int> count;
};
ModuleCount parseModuleCount(const QByteArray &answer);

// A frequency typed in MHz: a decimal integer from 1 to 65535.
std::optional<int> parseFrequency(const QString &text);
// Exactly four upper-case hexadecimal digits.
QByteArray frequencyHex(int mhz);
// "R" + module + "Q" + frequency in hex + "\n".
QByteArray tuneCommand(const QByteArray &module, int mhz);

// RSSI sweep: the four channels' frequencies (index 0 is channel 1).
inline constexpr int kRssiChannels = 4;
int rssiChannelMhz(int channelIndex);
inline constexpr char kRssiReportOn[] = "R0V\n";
inline constexpr char kRssiReportOnReply[] = "S0V1\n";
inline constexpr char kRssiReportOff[] = "R0v\n";
inline constexpr int kRssiEchoBytes = 8;
inline constexpr int kRssiReadingBytes = 8;
// The tune echo matches when it equals the command after its first character
// is made "R".
bool tuneEchoMatches(const QByteArray &echo, const QByteArray &command);
// Characters 4 to 7 of a reading as a hexadecimal number, or 1 when they are not.
int rssiValue(const QByteArray &reading);

} // namespace lapvane::chorusproto
