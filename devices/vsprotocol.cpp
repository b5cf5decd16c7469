// The VS TimeMachine's text protocol.
#include "devices/vsprotocol.h"

#include "core/strictnumber.h"

namespace lapvane::vsproto {

namespace {
// A sign and digits and nothing else: a NUL or a stray byte inside a field
// makes the whole line unreadable, so it is not acknowledged and comes again.
std::optional<qint32> toInt(const QByteArray &text)
{
    return strictInt(QByteArrayView(text));
}

QByteArray stripLineEnd(QByteArray text)
{
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    return text;
}

std::optional<qint32> clockAfterMarker(const QByteArray &text, const char *marker)
{
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return std::nullopt;
    const qsizetype colon = text.indexOf(':', at);
    if (colon < 0)
        return std::nullopt;
    return intField(text, colon + 1);
}
} // namespace

bool isWholeMessage(const QByteArray &text)
{
    if (text.endsWith('\n'))
        return true;
    // The commas the host reads after the ":" that follows each kind.
    struct Kind
    {
        const char *marker;
        int commas;
    };
    static constexpr Kind kinds[] = {
        {"timesynchok", 2}, {"echotrans", 1}, {"systime", 0}, {"ping", 1}, {"lap:", 5}};
    for (const Kind &k : kinds) {
        const qsizetype at = text.indexOf(k.marker);
        if (at < 0)
            continue;
        if (k.commas == 0)
            return true;
        const qsizetype colon = text.indexOf(':', at);
        return colon >= 0 && text.mid(colon + 1).count(',') >= k.commas;
    }
    return false;
}

bool startsMessage(const QByteArray &text)
{
    for (const char *marker : {"lap", "ping", "timesynchok", "echotrans", "systime"}) {
        if (text.startsWith(marker))
            return true;
    }
    return false;
}

LineKind classify(const QByteArray &line)
{
    if (line.contains("ping"))
        return LineKind::Ping;
    if (line.contains("lap:"))
        return LineKind::Lap;
    return LineKind::Other;
}

std::optional<qint32> intField(const QByteArray &text, qsizetype from, qsizetype *next)
{
    if (from < 0 || from > text.size())
        return std::nullopt;
    const qsizetype comma = text.indexOf(',', from);
    if (comma < 0)
        return std::nullopt;
    if (next)
        *next = comma + 1;
    return toInt(text.mid(from, comma - from));
}

std::optional<qint32> pingClock(const QByteArray &line)
{
    return clockAfterMarker(line, "ping");
}

std::optional<VsLap> parseLap(const QByteArray &line)
{
    const qsizetype at = line.indexOf("lap:");
    if (at < 0)
        return std::nullopt;
    qsizetype pos = at + 4;
    qint32 values[5];
    for (qint32 &v : values) {
        const auto f = intField(line, pos, &pos);
        if (!f)
            return std::nullopt;
        v = *f;
    }
    return VsLap{values[0], values[1], values[2], values[3], values[4]};
}

std::optional<qint32> timesynchClock(const QByteArray &text)
{
    return clockAfterMarker(text, "timesynchok");
}

std::optional<qint32> wifiSyncClock(const QByteArray &text)
{
    const qsizetype comma = text.indexOf(',');
    if (comma < 0)
        return std::nullopt;
    return intField(text, comma + 1);
}

QByteArray firstFieldText(const QByteArray &text)
{
    const qsizetype colon = text.indexOf(':');
    if (colon < 0)
        return {};
    const qsizetype comma = text.indexOf(',', colon + 1);
    if (comma < 0)
        return stripLineEnd(text.mid(colon + 1));
    return text.mid(colon + 1, comma - colon - 1);
}

QByteArray secondFieldText(const QByteArray &text)
{
    const qsizetype colon = text.indexOf(':');
    if (colon < 0)
        return {};
    const qsizetype comma = text.indexOf(',', colon + 1);
    if (comma < 0)
        return {};
    const qsizetype end = text.indexOf(',', comma + 1);
    if (end < 0)
        return stripLineEnd(text.mid(comma + 1));
    return text.mid(comma + 1, end - comma - 1);
}

QByteArray lapAck(const QByteArray &packet, const QByteArray &gate)
{
    return "lapreceived:" + packet + ',' + gate + "\r\n";
}

QByteArray timesynchReply(const QByteArray &clock)
{
    return "timesynchreceived:" + clock + "\r\n";
}

QByteArray searchTrans(qint32 id, int slotCode)
{
    return "searchtrans:" + QByteArray::number(id) + ',' + QByteArray::number(slotCode) + "\r\n";
}

QByteArray echoOk(qint32 id, int slotCode)
{
    return "echook:" + QByteArray::number(id) + ',' + QByteArray::number(slotCode) + "\r\n";
}

QByteArray echoOkWifi(const QByteArray &id)
{
    return "echook:" + id + "\r\n";
}

int slotTableValue(int position)
{
    static constexpr int table[7] = {1, 2, 4, 7, 6, 4, 5};
    if (position < 1)
        position = 1;
    return table[(position - 1) % 7];
}

int slotCode(int position)
{
    return 112 + slotTableValue(position);
}

} // namespace lapvane::vsproto
