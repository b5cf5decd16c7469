// The Chorus RF receiver's text protocol.
#include "devices/chorusprotocol.h"

#include "core/strictnumber.h"

namespace lapvane::chorusproto {

LapLine parseLapLine(const QByteArray &line)
{
    LapLine out;
    if (line.isEmpty())
        return out;
    if (line.size() < 3 || line.at(2) != 'L') {
        out.kind = LapLine::NotLap;
        return out;
    }
    const char m = line.at(1);
    if (m < '0' || m > '9')
        return out;
    out.module = m - '0';
    out.hex = line.mid(5);
    // A 32-bit time has at most eight hexadecimal digits.
    const auto time = strictHex(QByteArrayView(out.hex), 8);
    if (!time)
        return out;
    out.timeMs = qint32(*time);
    out.kind = LapLine::Lap;
    return out;
}

ModuleCount parseModuleCount(const QByteArray &answer)
{
    ModuleCount out;
    if (answer.isEmpty() || answer.at(0) != 'N')
        return out;
    out.firstIsN = true;
    if (answer.size() >= 2 && answer.at(1) >= '0' && answer.at(1) <= '9')
        out.count = answer.at(1) - '0';
    return out;
}

std::optional<int> parseFrequency(const QString &text)
{
    const auto v = strictInt(QStringView(text).trimmed());
    if (!v || *v < 1 || *v > 0xFFFF)
        return std::nullopt;
    return *v;
}

QByteArray frequencyHex(int mhz)
{
    return QByteArray::number(mhz, 16).toUpper().rightJustified(4, '0');
}

QByteArray tuneCommand(const QByteArray &module, int mhz)
{
    return 'R' + module + 'Q' + frequencyHex(mhz) + '\n';
}

int rssiChannelMhz(int channelIndex)
{
    static constexpr int mhz[kRssiChannels] = {5658, 5695, 5732, 5769};
    return mhz[qBound(0, channelIndex, kRssiChannels - 1)];
}

bool tuneEchoMatches(const QByteArray &echo, const QByteArray &command)
{
    if (echo.isEmpty())
        return false;
    QByteArray e = echo;
    e[0] = 'R';
    return e == command;
}

int rssiValue(const QByteArray &reading)
{
    const QByteArray digits = reading.mid(3, 4);
    const auto v = digits.size() == 4 ? strictHex(QByteArrayView(digits), 4) : std::nullopt;
    return v ? int(*v) : 1;
}

} // namespace lapvane::chorusproto
