// Simulated timing receivers.
#include "tools/receiversim/receiversim.h"

#include "devices/chorusprotocol.h"
#include "devices/lapvaneprotocol.h"

#include <QRandomGenerator>

namespace lapvane::sim {

namespace {
// Input without a line end is dropped beyond this, as a device's buffer would.
constexpr qsizetype kMaxPending = 1024;

QByteArray stripLineEnd(QByteArray line)
{
    while (line.endsWith('\r') || line.endsWith('\n'))
        line.chop(1);
    return line;
}
} // namespace

ReceiverSim::ReceiverSim(QObject *parent) : QObject(parent)
{
    m_clock.start();
}

void ReceiverSim::send(const QByteArray &bytes)
{
    if (m_sink && !bytes.isEmpty())
        m_sink(bytes);
}

void ReceiverSim::takeLines(const QByteArray &bytes)
{
    m_linePending += bytes;
    qsizetype end;
    while ((end = m_linePending.indexOf('\n')) >= 0) {
        const QByteArray line = stripLineEnd(m_linePending.left(end));
        m_linePending.remove(0, end + 1);
        handleLine(line);
    }
    // "." (line check) and datagrams come without a line end.
    if (m_linePending == "." || m_linePending.size() > kMaxPending)
        m_linePending.clear();
}

void ReceiverSim::setMode(Mode mode)
{
    m_mode = mode;
    if (mode == Mode::Race)
        emit raceStarted();
    else if (mode == Mode::Registration)
        emit registrationStarted();
}

// --- Lapvane gate ---------------------------------------------------------

void GateSim::fromHost(const QByteArray &bytes)
{
    m_pending += bytes;
    while (!m_pending.isEmpty()) {
        const char c = m_pending.at(0);
        if (c == 'y') {
            if (m_pending.size() < 3)
                return; // the id's bytes follow
            const quint16 id = gateproto::le16(m_pending.constData() + 1);
            if (!m_ids.contains(id))
                m_ids << id;
            emit note(QStringLiteral("id %1 added to the gate's list").arg(id));
            m_pending.remove(0, 3);
            continue;
        }
        m_pending.remove(0, 1);
        switch (c) {
        case 'p': send(gateproto::encodePingReply(clockMs())); break;
        case 't': send(QByteArray(1, m_timerReply)); break;
        case 'a': setMode(Mode::Registration); break;
        case 'r':
            ++m_raceCounter;
            setMode(Mode::Race);
            break;
        case 'c':
            m_ids.clear();
            emit note(QStringLiteral("gate list cleared"));
            break;
        case 'l': {
            QByteArray list;
            for (quint16 id : m_ids)
                list += gateproto::encodePassRecord(id, 0).left(2);
            send(list);
            break;
        }
        case 'v': send("Lapvane gate simulator 1.0"); break;
        case 'q': send(QByteArray{char(m_raceCounter & 0xFF), char(m_raceCounter >> 8)}); break;
        default: break; // "." and anything unknown: no answer
        }
    }
}

void GateSim::pass(qint32 id, std::optional<quint32> clockMs)
{
    if (mode() == Mode::Idle) {
        emit note(QStringLiteral("gate idle (no \"a\" or \"r\" yet): pass of %1 not sent").arg(id));
        return;
    }
    send(gateproto::encodePassRecord(quint16(id), clockMs.value_or(this->clockMs())));
}

// --- VS TimeMachine -------------------------------------------------------

VsSim::VsSim(QObject *parent) : ReceiverSim(parent)
{
    connect(&m_pingTimer, &QTimer::timeout, this, &VsSim::ping);
}

void VsSim::setPingIntervalMs(int intervalMs)
{
    m_pingTimer.stop();
    if (intervalMs > 0)
        m_pingTimer.start(intervalMs);
}

void VsSim::ping()
{
    send("ping:" + QByteArray::number(clockMs()) + ",0,\n");
}

void VsSim::fromHost(const QByteArray &bytes)
{
    takeLines(bytes);
}

void VsSim::handleLine(const QByteArray &raw)
{
    QByteArray line = raw;
    while (line.startsWith('.'))
        line.remove(0, 1);
    const QByteArray clock = QByteArray::number(clockMs());
    if (line == "CLEAR") {
        setMode(Mode::Registration);
    } else if (line.startsWith("Hello;")) {
        send("systime:" + clock + ",\n");
    } else if (line.startsWith("settime:")) {
        send("timesynchok:" + clock + ',' + clock + ",\n");
        setMode(Mode::Race);
    } else if (line.startsWith("lapreceived:")) {
        m_unacked.removeAll(line.mid(12, line.indexOf(',') - 12).toInt());
    } else if (line.startsWith("searchtrans:")) {
        const QByteArray args = line.mid(12);
        emit note(QStringLiteral("transponder search ") + QString::fromLatin1(args));
        send("echotrans:" + args + ",\n");
    }
    // "timesynchreceived:" and "echook:" need no answer.
}

void VsSim::pass(qint32 id, std::optional<quint32> clockMs)
{
    const quint32 t = clockMs.value_or(this->clockMs());
    ++m_packet;
    m_unacked << m_packet;
    if (m_unacked.size() > 100)
        m_unacked.removeFirst();
    send("lap:" + QByteArray::number(m_packet) + ",1," + QByteArray::number(id) + ','
         + QByteArray::number(t) + ',' + QByteArray::number(t - 20) + ",\n");
}

// --- Chorus RF ------------------------------------------------------------

ChorusSim::ChorusSim(int modules, QObject *parent)
    : ReceiverSim(parent), m_modules(qBound(1, modules, 9)), m_frequencyMhz(m_modules, 5658),
      m_lapCount(m_modules, 0)
{
}

void ChorusSim::fromHost(const QByteArray &bytes)
{
    takeLines(bytes);
}

void ChorusSim::handleLine(const QByteArray &raw)
{
    QByteArray line = raw;
    while (line.startsWith('.'))
        line.remove(0, 1);
    if (line == "R*v") {
        send("S0v0100\n");
    } else if (line == "N0") {
        send("N" + QByteArray::number(m_modules) + "\n");
    } else if (line == "R*P") {
        m_raceStartMs = clockMs();
        m_lapCount.fill(0);
        send("R*P\n");
        setMode(Mode::Race);
    } else if (line.size() == 7 && line.at(0) == 'R' && line.at(2) == 'Q') {
        // Tuning: the module answers with the same text starting with "S".
        const int m = line.at(1) - '0';
        if (m >= 0 && m < m_modules)
            m_frequencyMhz[m] = int(line.mid(3).toUInt(nullptr, 16));
        send('S' + line.mid(1) + '\n');
    } else if (line.size() == 3 && line.at(0) == 'R' && line.at(2) == 'V') {
        // RSSI reports on: the confirmation, then one reading of the tuned channel.
        const int m = qBound(0, line.at(1) - '0', m_modules - 1);
        const int base = 200 + (m_frequencyMhz[m] % 7) * 40;
        const int rssi = base + int(QRandomGenerator::global()->bounded(40));
        send(QByteArray("S") + line.at(1) + "V1\n");
        send(QByteArray("S") + line.at(1) + "r" + QByteArray::number(rssi, 16).toUpper().rightJustified(4, '0') + "\n");
    }
    // "R0v" (reports off) and unknown lines need no answer.
}

void ChorusSim::pass(qint32 module, std::optional<quint32> clockMs)
{
    if (module < 0 || module >= m_modules) {
        emit note(QStringLiteral("no module %1").arg(module));
        return;
    }
    const quint32 t = clockMs.value_or(this->clockMs() - m_raceStartMs);
    m_lapCount[module] = (m_lapCount[module] + 1) & 0xFF;
    send("S" + QByteArray::number(module) + "L" + QByteArray::number(m_lapCount[module], 16).toUpper().rightJustified(2, '0')
         + QByteArray::number(t, 16).toUpper().rightJustified(8, '0') + "\n");
}

} // namespace lapvane::sim
