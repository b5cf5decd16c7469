// The VS TimeMachine on its serial line and over WiFi (UDP).
#include "devices/vstimemachine.h"

#include "core/operatorlog.h"
#include "core/settings.h"
#include "core/strictnumber.h"
#include "core/wait.h"
#include "devices/printabletext.h"
#include "devices/vsprotocol.h"
#include "store/laptime.h"

#include <QDeadlineTimer>

namespace lapvane {

using namespace vsproto;

namespace {
constexpr int kConnectTextLimit = 1000;
// A line longer than this is handled in pieces, so garbage cannot grow memory.
constexpr qsizetype kMaxLineBytes = 4096;
constexpr int kWifiSyncWaitMs = 5000;
constexpr int kWifiSearchWaitMs = 5000;
constexpr int kSerialSearchWaitMs = 1000;
constexpr qsizetype kMaxReplyBytes = 4096;

QString text(const QByteArray &bytes)
{
    return printableText(bytes);
}

qint32 wrapSub(qint32 a, qint32 b)
{
    return qint32(quint32(a) - quint32(b));
}
} // namespace

VsTimeMachine::VsTimeMachine(const DeviceEnv &env, std::unique_ptr<SerialLine> line, QObject *parent)
    : SerialDevice(env, std::move(line), QStringLiteral("VS TimeMachine"), QStringLiteral("com2select"),
                   QStringLiteral("com2baud"), parent),
      m_udp(this)
{
    connect(&m_udp, &UdpEndpoint::datagramReceived, this, &VsTimeMachine::handleDatagram);
}

void VsTimeMachine::connectSerial()
{
    if (isOpen() || isBusy())
        return;
    Busy busy(*this);
    if (!openFromSettings()) {
        setStatus(QStringLiteral("Cannot connect"));
        return;
    }
    if (!m_line->write(kClear)) {
        setStatus(QStringLiteral("Cannot connect"));
        m_line->close();
        return;
    }
    discardInput();
    pause(50);
    if (!m_line->isOpen() || !m_line->write(kHello)) {
        setStatus(QStringLiteral("Cannot connect"));
        m_line->close();
        return;
    }
    setStatus(QStringLiteral("Connecting..."));
    m_env.stop.clear();
    pause(100);
    QByteArray answer;
    while (!answer.contains("systime") && !m_env.stop.isRaised() && m_line->isOpen()) {
        waitUntil([this] { return waiting() > 0 || !m_line->isOpen(); }, &m_env.stop);
        while (waiting() > 0) {
            answer += m_line->read(1);
            if (answer.size() > kConnectTextLimit) {
                // Garbage: start afresh.
                answer.clear();
                discardInput();
                break;
            }
            if (answer.contains("systime"))
                break;
        }
        setStatus(QStringLiteral("Read %1").arg(answer.size()));
    }
    // Closed meanwhile (Disconnect, or the receiver went away): that status stands.
    if (!m_line->isOpen())
        return;
    if (answer.contains("systime")) {
        setStatus(QStringLiteral("Connected"));
        return;
    }
    setStatus(QStringLiteral("com2: Bad reply (%1)").arg(text(answer)));
    savelog(text(answer));
    m_line->close();
}

void VsTimeMachine::disconnectSerial()
{
    m_line->close();
    setStatus(QStringLiteral("Disconnected"));
}

bool VsTimeMachine::setWifiEnabled(bool on)
{
    if (!on) {
        const bool was = m_udp.isOpen();
        m_udp.close();
        setStatus(QStringLiteral("Wifi OFF"));
        if (was)
            emit wifiEnabledChanged(false);
        return true;
    }
    if (m_udp.isOpen())
        return true;
    bool ok = false;
    const int port = m_env.settings.text(QStringLiteral("edvstimeLocalPort")).toInt(&ok);
    QString error;
    if (!ok || port < 0 || port > 65535) {
        error = QStringLiteral("local port \"%1\" is not a port number")
                    .arg(m_env.settings.text(QStringLiteral("edvstimeLocalPort")));
    } else if (m_udp.open(quint16(port), &error)) {
        setStatus(QStringLiteral("Wifi ON"));
        emit wifiEnabledChanged(true);
        return true;
    }
    savelog(QStringLiteral("VS TimeMachine WiFi could not start: %1").arg(error));
    setStatus(QStringLiteral("Wifi OFF"));
    emit wifiEnabledChanged(false);
    return false;
}

bool VsTimeMachine::broadcast(const QByteArray &message)
{
    const QString portText = m_env.settings.text(QStringLiteral("edvstimeUDPport"));
    bool ok = false;
    const int port = portText.trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535) {
        savelog(QStringLiteral("VS TimeMachine WiFi: remote port \"%1\" is not a port number").arg(portText));
        return false;
    }
    const QHostAddress to(m_env.settings.text(QStringLiteral("edvstimeBroadcast")));
    if (to.isNull()) {
        savelog(QStringLiteral("VS TimeMachine WiFi: \"%1\" is not an address")
                    .arg(m_env.settings.text(QStringLiteral("edvstimeBroadcast"))));
        return false;
    }
    QString error;
    if (!m_udp.send(message, to, quint16(port), &error)) {
        savelog(QStringLiteral("VS TimeMachine WiFi: sending failed: %1").arg(error));
        return false;
    }
    return true;
}

void VsTimeMachine::handleDatagram(const QByteArray &datagram, const QHostAddress &from, quint16 port)
{
    if (m_env.settings.flag(QStringLiteral("chvstimeshowping"))) {
        savelog(QStringLiteral("got from %1:%2").arg(from.toString()).arg(port));
        savelog(text(datagram));
    }
    // A message may come in several datagrams: an unfinished one waits for
    // the rest, and only a whole message is judged.
    QByteArray data = datagram;
    if (!m_wifiTail.isEmpty()) {
        if (startsMessage(datagram))
            savelog(QStringLiteral("VS TimeMachine WiFi: unfinished message dropped: ") + text(m_wifiTail));
        else
            data = m_wifiTail + datagram;
        m_wifiTail.clear();
    }
    if (!isWholeMessage(data)) {
        if (data.size() > kMaxLineBytes)
            savelog(QStringLiteral("VS TimeMachine WiFi: %1 bytes without a message end dropped").arg(data.size()));
        else
            m_wifiTail = data;
        return;
    }
    if (data.contains("timesynchok") && m_mbTimesynchok.isEmpty()) {
        m_mbTimesynchok = data;
        broadcast(timesynchReply(firstFieldText(data)));
        return;
    }
    if (data.contains("echotrans")) {
        m_mbConfirmIdOk = data;
        const QByteArray id = firstFieldText(data);
        broadcast(echoOkWifi(id));
        savelog(QStringLiteral("sent confirm: echook:") + text(id));
        return;
    }
    if (data.contains("systime") && m_mbSystime.isEmpty()) {
        m_mbSystime = data;
        return;
    }
    if (data.contains("lap") && m_mbLap.isEmpty()) {
        m_mbLap = data;
        if (!m_raceRunning || !m_raceRunning()) {
            // Outside a race the lap is acknowledged and dropped here; a
            // packet or gate number that is not a number is not acknowledged,
            // so the device sends the lap again.
            m_mbLap.clear();
            const QByteArray n = firstFieldText(data);
            const QByteArray g = secondFieldText(data);
            if (!strictInt(QByteArrayView(n)) || !strictInt(QByteArrayView(g))) {
                savelog(QStringLiteral("packet error"));
                return;
            }
            savelog(QStringLiteral("packet#:") + text(n));
            savelog(QStringLiteral("gate#:") + text(g));
            broadcast(lapAck(n, g));
            savelog(QStringLiteral("sent confirm"));
        }
    }
}

std::optional<QByteArray> VsTimeMachine::readSerialLine()
{
    // A line cut between two reads is ordinary at 115200 baud: its start
    // waits in m_serialTail until the rest, up to the LF, has come.
    QByteArray &line = m_serialTail;
    while (waiting() > 0 && line.size() < kMaxLineBytes) {
        const QByteArray b = m_line->read(1);
        if (b.isEmpty())
            break;
        line += b;
        if (b.at(0) == '\n') {
            QByteArray whole = line;
            line.clear();
            return whole;
        }
    }
    if (line.size() >= kMaxLineBytes) {
        savelog(QStringLiteral("VS TimeMachine: %1 bytes without a line end dropped").arg(line.size()));
        line.clear();
    }
    return std::nullopt;
}

void VsTimeMachine::discardInput()
{
    m_line->discardBuffers();
    m_serialTail.clear();
}

void VsTimeMachine::showDeviceClock(qint32 clockMs)
{
    const qint32 ms = wrapSub(clockMs, m_startTimeVs);
    const QString t = ms < 0 ? QStringLiteral("-") + ms2minsecmstext(-qint64(ms)) : ms2minsecmstext(ms);
    if (t == m_clockText)
        return;
    m_clockText = t;
    emit deviceClockTextChanged(t);
}

std::optional<Pass> VsTimeMachine::takePass()
{
    if (!isOpen() && !m_udp.isOpen() && waiting() == 0)
        return std::nullopt;
    QByteArray line;
    bool have = false;
    // The rest of a started line is taken however short it is.
    if (pollable() && (waiting() > 5 || !m_serialTail.isEmpty())) {
        if (auto whole = readSerialLine()) {
            line = *whole;
            have = true;
        }
    }
    const bool fromMailbox = !m_mbLap.isEmpty();
    if (fromMailbox) {
        // The WiFi lap wins; a serial line read in this poll is dropped.
        line = m_mbLap;
        have = true;
    }
    if (!have)
        return std::nullopt;
    // Whatever the mailbox held has been handled once it is read here; a
    // datagram that is not a lap must not block the laps behind it.
    if (fromMailbox)
        m_mbLap.clear();

    switch (classify(line)) {
    case LineKind::Ping: {
        const auto clock = pingClock(line);
        if (!clock)
            savelog(QStringLiteral("Problem with reading VS TimeMachine"));
        else
            showDeviceClock(*clock);
        return std::nullopt;
    }
    case LineKind::Lap: {
        const auto lap = parseLap(line);
        if (!lap) {
            savelog(QStringLiteral("packet error"));
            return std::nullopt;
        }
        savelog(QStringLiteral("vstime packet:\r\n #:%1 gate:%2 trans:%3 laptime:%4 transstart:%5")
                    .arg(lap->packet)
                    .arg(lap->gate)
                    .arg(lap->id)
                    .arg(lap->timeMs)
                    .arg(lap->startMs));
        const QByteArray ack = lapAck(QByteArray::number(lap->packet), QByteArray::number(lap->gate));
        if (isOpen() && !isBusy() && !m_lent)
            m_line->write(ack);
        if (m_udp.isOpen())
            broadcast(ack);
        const qint32 raceMs = wrapSub(lap->timeMs, m_startTimeVs);
        savelog(QStringLiteral("racems - %1").arg(raceMs));
        return Pass{PassSource::VsTimeMachine, lap->id, raceMs};
    }
    case LineKind::Other:
        break;
    }
    return std::nullopt;
}

bool VsTimeMachine::syncSerial(const StopFlag &stop, int timeoutMs)
{
    const QString problem = QStringLiteral("PROBLEM WITH VSTIME! STOP RACE MANUALLY!");
    if (!isOpen()) {
        savelog(problem);
        return false;
    }
    Busy busy(*this);
    QDeadlineTimer deadline(timeoutMs);
    if (!m_line->write(kClear)) {
        savelog(problem);
        return false;
    }
    pause(150);
    discardInput();
    if (!m_line->write(kSetTime)) {
        savelog(problem);
        return false;
    }
    savelog(QStringLiteral("waiting for VStime gate..."));
    QByteArray answer;
    // The answer is whole once the clock field behind "timesynchok:" has its ",".
    auto complete = [&answer] {
        const qsizetype at = answer.indexOf("timesynchok");
        if (at < 0)
            return false;
        const qsizetype colon = answer.indexOf(':', at);
        return colon >= 0 && answer.indexOf(',', colon) >= 0;
    };
    while (!complete()) {
        const WaitResult r = waitUntil([this] { return waiting() > 0 || !m_line->isOpen(); }, &stop,
                                       int(qMax<qint64>(0, deadline.remainingTime())));
        if (waiting() == 0) {
            savelog(r == WaitResult::Stopped
                        ? QStringLiteral("VStime sync interrupted")
                        : QStringLiteral("no time sync answer from VStime gate within %1 ms").arg(timeoutMs));
            savelog(problem);
            return false;
        }
        answer += m_line->read(waiting());
        if (answer.size() > kMaxLineBytes)
            answer = answer.right(kMaxLineBytes);
    }
    const auto clock = timesynchClock(answer);
    if (!clock) {
        savelog(QStringLiteral("VStime sync answer not readable: %1").arg(text(answer.trimmed())));
        savelog(problem);
        return false;
    }
    const QByteArray reply = timesynchReply(QByteArray::number(*clock));
    savelog(QStringLiteral("replying: ") + text(reply));
    if (!m_line->write(reply)) {
        savelog(problem);
        return false;
    }
    m_startTimeVs = *clock;
    savelog(QStringLiteral("vstime start: %1").arg(m_startTimeVs));
    return true;
}

bool VsTimeMachine::syncWifi(const StopFlag &stop)
{
    const QString problem = QStringLiteral("PROBLEM WITH VSTIME WIFI! NO SYSTIME! STOP MANUALLY!");
    if (!m_udp.isOpen()) {
        savelog(problem);
        return false;
    }
    // A late answer to an earlier sync must not set this race's clock.
    m_mbTimesynchok.clear();
    broadcast(kClear);
    pause(100);
    broadcast(kSetTime);
    waitUntil([this] { return !m_mbTimesynchok.isEmpty(); }, &stop, kWifiSyncWaitMs);
    if (m_mbTimesynchok.isEmpty()) {
        savelog(problem);
        return false;
    }
    const QByteArray answer = m_mbTimesynchok;
    m_mbTimesynchok.clear();
    const auto clock = wifiSyncClock(answer);
    if (!clock) {
        savelog(QStringLiteral("VStime WiFi sync answer not readable: %1").arg(text(answer.trimmed())));
        savelog(problem);
        return false;
    }
    m_startTimeVs = *clock;
    savelog(QStringLiteral("vstime start: %1").arg(m_startTimeVs));
    return true;
}

void VsTimeMachine::prepareRegistration()
{
    if (isOpen() && !isBusy()) {
        m_line->write(kClear);
        pause(50);
        discardInput();
    }
    if (m_udp.isOpen()) {
        broadcast(kClear);
        m_mbLap.clear();
    }
}

void VsTimeMachine::broadcastClear()
{
    broadcast(kClear);
    pause(100);
}

bool VsTimeMachine::checkLine()
{
    return isOpen() && m_line->write(".");
}

bool VsTimeMachine::searchWifi(qint32 id, int slotCode)
{
    broadcast(kClear);
    pause(100);
    m_mbConfirmIdOk.clear();
    const QByteArray search = searchTrans(id, slotCode);
    savelog(QStringLiteral("sending: searchtrans:%1,%2").arg(id).arg(slotCode));
    broadcast(search);
    savelog(QStringLiteral("waiting..."));
    waitUntil([this] { return !m_mbConfirmIdOk.isEmpty() || !m_udp.isOpen(); }, nullptr,
              kWifiSearchWaitMs);
    savelog(QStringLiteral("contnue..."));
    if (!m_mbConfirmIdOk.isEmpty()) {
        savelog(QStringLiteral("added.."));
        m_mbConfirmIdOk.clear();
        return true;
    }
    savelog(QStringLiteral("No reply from VStrans: %1").arg(id));
    return false;
}

bool VsTimeMachine::searchSerial(qint32 id, int slotCode)
{
    if (!isOpen())
        return false;
    Busy busy(*this);
    savelog(QStringLiteral("sending: searchtrans:%1,%2").arg(id).arg(slotCode));
    discardInput();
    if (!m_line->write(searchTrans(id, slotCode))) {
        savelog(QStringLiteral("No reply from VStrans: %1").arg(id));
        return false;
    }
    waitUntil([this] { return waiting() >= 10 || !m_line->isOpen(); }, nullptr, kSerialSearchWaitMs);
    const qint64 n = waiting();
    if (n < 10) {
        savelog(QStringLiteral("No reply from VStrans: %1").arg(id));
        return false;
    }
    const QByteArray reply = m_line->read(qMin<qint64>(n, kMaxReplyBytes));
    savelog(QStringLiteral("got reply: %1 (%2 bytes)").arg(text(reply)).arg(reply.size()));
    if (reply.contains("echotrans")) {
        m_line->write(echoOk(id, slotCode));
        return true;
    }
    savelog(QStringLiteral("bad confirm"));
    return false;
}

QByteArray VsTimeMachine::mailbox(Mailbox which) const
{
    switch (which) {
    case Mailbox::Timesynchok: return m_mbTimesynchok;
    case Mailbox::ConfirmIdOk: return m_mbConfirmIdOk;
    case Mailbox::Systime: return m_mbSystime;
    case Mailbox::Lap: return m_mbLap;
    }
    return {};
}

void VsTimeMachine::clearMailbox(Mailbox which)
{
    switch (which) {
    case Mailbox::Timesynchok: m_mbTimesynchok.clear(); break;
    case Mailbox::ConfirmIdOk: m_mbConfirmIdOk.clear(); break;
    case Mailbox::Systime: m_mbSystime.clear(); break;
    case Mailbox::Lap: m_mbLap.clear(); break;
    }
}

} // namespace lapvane
