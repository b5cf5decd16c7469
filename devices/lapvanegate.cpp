// The Lapvane gate on its serial line.
#include "devices/lapvanegate.h"

#include "core/wait.h"
#include "devices/lapvaneprotocol.h"

namespace lapvane {

using namespace gateproto;

namespace {
constexpr int kListFirstWaitMs = 500;
constexpr int kListPauseMs = 100;
constexpr int kVersionPauseMs = 500;
constexpr int kVersionMaxBytes = 40;
constexpr int kCounterWaitMs = 2000;
// Bytes taken from the line per poll: many records, bounded memory.
constexpr qint64 kMaxReadBytes = 4096;
} // namespace

LapvaneGate::LapvaneGate(const DeviceEnv &env, std::unique_ptr<SerialLine> line, QObject *parent)
    : SerialDevice(env, std::move(line), QStringLiteral("Lapvane gate"), QStringLiteral("comselect"),
                   QStringLiteral("combaud"), parent)
{
}

bool LapvaneGate::writeCommand(char command)
{
    return m_line->write(QByteArray(1, command));
}

bool LapvaneGate::waitForByte()
{
    m_env.stop.clear();
    waitUntil([this] { return waiting() >= 1 || !m_line->isOpen(); }, &m_env.stop);
    return m_line->isOpen();
}

void LapvaneGate::connectGate()
{
    if (isOpen() || isBusy())
        return;
    Busy busy(*this);
    if (!openFromSettings()) {
        setStatus(QStringLiteral("Cannot connect"));
        return;
    }
    auto fail = [this] {
        setStatus(QStringLiteral("Cannot connect"));
        m_line->close();
    };
    discardInput();
    if (!writeCommand(kPing))
        return fail();
    setStatus(QStringLiteral("Connecting..."));
    // A Disconnect during the wait closes the port and sets its own status.
    if (!waitForByte())
        return;
    const QByteArray first = m_line->read(1);
    if (first.isEmpty())
        return fail();
    if (first.at(0) != kPingReply) {
        setStatus(QStringLiteral("com1: Bad reply (%1)").arg(quint8(first.at(0))));
        m_line->close();
        return;
    }
    setStatus(QStringLiteral("Connected"));
    pause(100);
    if (!m_line->isOpen())
        return;
    // Drops the four clock bytes behind the "7".
    discardInput();
    if (!writeCommand(kTimer))
        return fail();
    setStatus(QStringLiteral("Connecting 2..."));
    if (!waitForByte())
        return;
    const QByteArray timer = m_line->read(1);
    if (timer.isEmpty())
        return fail();
    if (timer.at(0) == '2')
        setStatus(QStringLiteral("Connected"));
    else if (timer.at(0) == '3')
        setStatus(QStringLiteral("Connected (int timer)"));
    // Any other answer leaves "Connecting 2..." and the port open.
}

void LapvaneGate::disconnectGate()
{
    m_line->close();
    setStatus(QStringLiteral("Disconnected"));
}

std::optional<Pass> LapvaneGate::takePass()
{
    if (isBusy() || m_lent)
        return std::nullopt;
    if (const qint64 n = waiting(); n > 0) {
        const QByteArray bytes = m_line->read(qMin<qint64>(n, kMaxReadBytes));
        if (bytes.isEmpty()) {
            savelog(QStringLiteral("Problem with reading Lapvane"));
            return std::nullopt;
        }
        m_framer.append(bytes);
    }
    if (m_framer.buffered() < kPassRecordBytes)
        return std::nullopt;
    const auto record = m_framer.next(m_startTimeRace, m_raceView, [this](const QString &l) { savelog(l); });
    if (!record)
        return std::nullopt;
    return Pass{PassSource::LapvaneGate, record->id, record->raceMs};
}

void LapvaneGate::discardInput()
{
    m_line->discardBuffers();
    m_framer.clear();
}

bool LapvaneGate::syncStart(const StopFlag &stop, int timeoutMs)
{
    const QString problem = QStringLiteral("PROBLEM WITH LAPVANE! STOP RACE MANUALLY!");
    if (!isOpen()) {
        savelog(problem);
        return false;
    }
    Busy busy(*this);
    discardInput();
    if (!writeCommand(kPing)) {
        savelog(problem);
        return false;
    }
    const WaitResult r = waitUntil([this] { return waiting() >= 5 || !m_line->isOpen(); }, &stop,
                                   timeoutMs);
    if (waiting() < 5) {
        savelog(r == WaitResult::Stopped
                    ? QStringLiteral("lapvane: start ping interrupted")
                    : QStringLiteral("lapvane: no reply to the start ping within %1 ms").arg(timeoutMs));
        savelog(problem);
        return false;
    }
    const QByteArray first = m_line->read(1);
    bool ok = true;
    if (first.at(0) == kPingReply) {
        const QByteArray clock = m_line->read(4);
        m_startTimeRace = le32(clock.constData());
        m_framer.newRace();
    } else {
        savelog(QStringLiteral("lapvane: error ping reply (%1)").arg(quint8(first.at(0))));
        ok = false;
    }
    savelog(QStringLiteral("lapvane start: %1").arg(qint32(m_startTimeRace)));
    return ok;
}

bool LapvaneGate::raceMode()
{
    if (!isOpen())
        return false;
    discardInput();
    return writeCommand(kRaceMode);
}

bool LapvaneGate::regMode()
{
    return isOpen() && writeCommand(kRegMode);
}

bool LapvaneGate::startRegistration()
{
    if (!isOpen())
        return false;
    discardInput();
    return writeCommand(kRegMode);
}

void LapvaneGate::listPilots()
{
    if (!isOpen() || isBusy())
        return;
    Busy busy(*this);
    discardInput();
    if (!writeCommand(kListIds)) {
        savelog(QStringLiteral("List request error! Check COM port."));
        return;
    }
    savelog(QStringLiteral("Requesting list of IDs..."));
    waitUntil([this] { return waiting() >= 2 || !m_line->isOpen(); }, nullptr, kListFirstWaitMs);
    while (waiting() >= 2) {
        const QByteArray two = m_line->read(2);
        if (two.size() < 2) {
            savelog(QStringLiteral("List request error! Check COM port."));
            return;
        }
        savelog(QString::number(le16(two.constData())));
        // Lets the rest of the list arrive.
        pause(kListPauseMs);
    }
    savelog(QStringLiteral("End of list."));
}

bool LapvaneGate::clearList()
{
    return isOpen() && writeCommand(kClearList);
}

void LapvaneGate::readVersion()
{
    if (!isOpen() || isBusy())
        return;
    Busy busy(*this);
    if (!writeCommand(kVersion)) {
        setCounterText(QStringLiteral("err"));
        return;
    }
    setQueryRunning(true);
    setCounterText(QStringLiteral("Wait.."));
    pause(kVersionPauseMs);
    QString text;
    setCounterText(text);
    for (int taken = 0; taken < kVersionMaxBytes && waiting() > 0; ++taken) {
        const QByteArray b = m_line->read(1);
        if (b.isEmpty())
            break;
        text += QChar::fromLatin1(b.at(0));
        setCounterText(text);
        pause(10);
    }
    setQueryRunning(false);
}

void LapvaneGate::readRaceCounter()
{
    if (!isOpen() || isBusy())
        return;
    Busy busy(*this);
    if (!writeCommand(kRaceCounter)) {
        setCounterText(QStringLiteral("err"));
        return;
    }
    setQueryRunning(true);
    setCounterText(QStringLiteral("Wait.."));
    waitUntil([this] { return waiting() >= 2 || !m_line->isOpen(); }, nullptr, kCounterWaitMs);
    const QByteArray two = waiting() >= 2 ? m_line->read(2) : QByteArray();
    if (two.size() < 2) {
        setCounterText(QStringLiteral("err"));
    } else {
        const quint8 low = quint8(two.at(0));
        const quint8 high = quint8(two.at(1));
        savelog(QStringLiteral("a %1 b %2").arg(high).arg(low));
        setCounterText(QString::number(raceCounter(low, high)));
    }
    setQueryRunning(false);
}

bool LapvaneGate::checkLine()
{
    return isOpen() && writeCommand(kLineCheck);
}

bool LapvaneGate::sendId(quint16 id)
{
    return isOpen() && m_line->write(confirmCommand(id));
}

void LapvaneGate::setCounterText(const QString &text)
{
    if (text == m_counterText)
        return;
    m_counterText = text;
    emit counterTextChanged(text);
}

void LapvaneGate::setQueryRunning(bool running)
{
    if (running == m_queryRunning)
        return;
    m_queryRunning = running;
    emit queryRunningChanged(running);
}

} // namespace lapvane
