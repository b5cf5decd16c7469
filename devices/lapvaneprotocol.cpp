// The Lapvane gate's byte protocol.
#include "devices/lapvaneprotocol.h"

namespace lapvane::gateproto {

quint16 le16(const char *b)
{
    return quint16(quint8(b[0]) | (quint16(quint8(b[1])) << 8));
}

quint32 le32(const char *b)
{
    return quint32(quint8(b[0])) | (quint32(quint8(b[1])) << 8) | (quint32(quint8(b[2])) << 16)
           | (quint32(quint8(b[3])) << 24);
}

GatePass decodePassRecord(const QByteArray &bytes)
{
    Q_ASSERT(bytes.size() >= kPassRecordBytes);
    return {le16(bytes.constData()), le32(bytes.constData() + 2)};
}

static void appendLe32(QByteArray &out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

QByteArray encodePassRecord(quint16 id, quint32 gateMs)
{
    QByteArray out;
    out.append(char(id & 0xFF));
    out.append(char(id >> 8));
    appendLe32(out, gateMs);
    return out;
}

QByteArray encodePingReply(quint32 gateMs)
{
    QByteArray out(1, kPingReply);
    appendLe32(out, gateMs);
    return out;
}

qint32 raceTimeMs(quint32 gateMs, quint32 startMs)
{
    return qint32(gateMs - startMs);
}

int raceCounter(quint8 low, quint8 high)
{
    return high * 256 + low;
}

QByteArray confirmCommand(quint16 id)
{
    QByteArray out(1, 'y');
    out.append(char(id & 0xFF));
    out.append(char(id >> 8));
    return out;
}

} // namespace lapvane::gateproto
