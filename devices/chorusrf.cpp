// The Chorus RF receiver on its serial line.
#include "devices/chorusrf.h"

#include "core/strictnumber.h"
#include "core/wait.h"
#include "devices/chorusprotocol.h"
#include "devices/printabletext.h"
#include "store/racelisttable.h"

#include <QThread>

namespace lapvane {

using namespace chorusproto;

namespace {
constexpr int kVersionPauseMs = 500;
constexpr int kMaxAnswerBytes = 256;
// Longer than any lap line; garbage without line ends is cut here.
constexpr int kMaxLineBytes = 256;
constexpr int kSetWaitMs = 1000;

QString text(const QByteArray &bytes)
{
    return printableText(bytes);
}
} // namespace

ChorusRf::ChorusRf(const DeviceEnv &env, std::unique_ptr<SerialLine> line, QObject *parent)
    : SerialDevice(env, std::move(line), QStringLiteral("Chorus RF"), QStringLiteral("com3select"),
                   QStringLiteral("ComComboBox2"), parent)
{
}

void ChorusRf::reclaim()
{
    if (m_lent && m_reclaim)
        m_reclaim();
}

void ChorusRf::connectChorus()
{
    if (isOpen() || isBusy())
        return;
    Busy busy(*this);
    if (!openFromSettings()) {
        setStatus(QStringLiteral("COM port error"));
        return;
    }
    auto fail = [this] {
        setStatus(QStringLiteral("COM port error"));
        m_line->close();
    };
    m_line->discardBuffers();
    m_partial.clear();
    if (!m_line->write(kAllVersion))
        return fail();
    pause(kVersionPauseMs);
    if (!m_line->isOpen())
        return;
    m_line->discardBuffers();
    m_partial.clear();
    if (!m_line->write(kCountModules))
        return fail();
    setStatus(QStringLiteral("Connecting..."));
    m_env.stop.clear();
    waitUntil([this] { return waiting() >= 1 || !m_line->isOpen(); }, &m_env.stop);
    if (!m_line->isOpen())
        return;
    QByteArray answer;
    while (waiting() > 0 && answer.size() < kMaxAnswerBytes) {
        answer += m_line->read(1);
        pause(10);
    }
    if (answer.isEmpty())
        return fail();
    const ModuleCount count = parseModuleCount(answer);
    if (!count.firstIsN) {
        setStatus(QStringLiteral("com3: Bad reply (%1)").arg(text(answer)));
        m_line->close();
        return;
    }
    if (!count.count) {
        setStatus(QStringLiteral("Error, ") + text(answer));
        return;
    }
    setStatus(QStringLiteral("Connected %1 modules").arg(*count.count));
    m_modules.clear();
    for (int i = 0; i < *count.count; ++i)
        m_modules << QString::number(i);
    emit modulesChanged(m_modules);
}

void ChorusRf::disconnectChorus()
{
    reclaim();
    m_line->close();
    setStatus(QStringLiteral("Disconnected"));
}

std::optional<QByteArray> ChorusRf::readLine()
{
    while (waiting() > 0 && m_partial.size() < kMaxLineBytes) {
        const QByteArray b = m_line->read(1);
        if (b.isEmpty())
            break;
        const char c = b.at(0);
        if (c == '\r' || c == '\n') {
            // The end of the line; a line end left over from the previous
            // line (CR LF) is skipped.
            if (m_partial.isEmpty())
                continue;
            return std::exchange(m_partial, QByteArray());
        }
        m_partial += c;
    }
    // A line that never ends is judged as it is once it is too long for a line.
    if (m_partial.size() >= kMaxLineBytes)
        return std::exchange(m_partial, QByteArray());
    return std::nullopt;
}

std::optional<Pass> ChorusRf::takePass(bool *taken)
{
    *taken = false;
    if (!pollable())
        return std::nullopt;
    // A new line is read once enough bytes for a lap line wait; the rest of a
    // line already begun as soon as anything arrives.
    if (m_partial.isEmpty() ? waiting() < kMinLapLineBytes : waiting() == 0)
        return std::nullopt;
    const std::optional<QByteArray> whole = readLine();
    if (!whole)
        return std::nullopt;
    const QByteArray &line = *whole;
    savelog(QStringLiteral("from Chorus :") + text(line));
    const LapLine lap = parseLapLine(line);
    if (lap.kind == LapLine::NotLap) {
        *taken = true;
        savelog(QStringLiteral("some shit in buffer"));
        return std::nullopt;
    }
    if (lap.kind == LapLine::Bad) {
        savelog(QStringLiteral("Problem with reading Chorus"));
        return std::nullopt;
    }
    savelog(QStringLiteral("raw HEX: ") + text(lap.hex));
    const qint32 raceMs = qint32(quint32(lap.timeMs) - quint32(m_startTimeChorus));
    savelog(QStringLiteral("race time: %1").arg(raceMs));
    savelog(QStringLiteral("module: %1").arg(lap.module));
    QString error;
    const auto rows = m_raceList ? m_raceList->rows(&error) : std::nullopt;
    if (!rows) {
        savelog(QStringLiteral("Problem with reading Chorus"));
        return std::nullopt;
    }
    *taken = true;
    qint32 recvid = 0;
    if (rows->size() < lap.module + 1)
        savelog(QStringLiteral("No pilot #%1 in list").arg(lap.module));
    else
        recvid = rows->at(lap.module).pilottrans;
    return Pass{PassSource::ChorusRf, recvid, raceMs};
}

bool ChorusRf::syncStart(const StopFlag &stop, int timeoutMs)
{
    const QString problem = QStringLiteral("PROBLEM WITH CHORUS! STOP RACE MANUALLY!");
    reclaim();
    if (!isOpen() || m_lent) {
        savelog(problem);
        return false;
    }
    Busy busy(*this);
    m_line->discardBuffers();
    m_partial.clear();
    if (!m_line->write(kStartPing)) {
        savelog(problem);
        return false;
    }
    const WaitResult r = waitUntil([this] { return waiting() >= 2 || !m_line->isOpen(); }, &stop,
                                   timeoutMs);
    if (waiting() < 2) {
        savelog(r == WaitResult::Stopped
                    ? QStringLiteral("chorus: start ping interrupted")
                    : QStringLiteral("chorus: no reply to the start ping within %1 ms").arg(timeoutMs));
        savelog(problem);
        return false;
    }
    const QByteArray first = m_line->read(1);
    bool ok = true;
    if (first.at(0) == 'R') {
        m_startTimeChorus = 0;
    } else {
        savelog(QStringLiteral("CHORUS: error ping reply (%1)").arg(quint8(first.at(0))));
        ok = false;
    }
    savelog(QStringLiteral("chorus start: %1").arg(m_startTimeChorus));
    m_line->discardBuffers();
    m_partial.clear();
    return ok;
}

void ChorusRf::setChannel(const QString &module, const QString &frequencyMhz)
{
    reclaim();
    if (!isOpen() || m_lent) {
        setStatus(QStringLiteral("Not connected"));
        return;
    }
    if (isBusy())
        return;
    const auto parsed = strictInt(QStringView(module).trimmed());
    const int m = parsed.value_or(-1);
    if (m < 0 || m > 9) {
        setStatus(QStringLiteral("Bad module: ") + module);
        return;
    }
    const auto mhz = parseFrequency(frequencyMhz);
    if (!mhz) {
        setStatus(QStringLiteral("Bad frequency: ") + frequencyMhz);
        return;
    }
    Busy busy(*this);
    const QByteArray command = tuneCommand(QByteArray::number(m), *mhz);
    setStatus(QStringLiteral("Sending ") + text(command) + QStringLiteral("..."));
    m_line->discardBuffers();
    m_partial.clear();
    if (!m_line->write(command)) {
        setStatus(QStringLiteral("COM port error"));
        return;
    }
    waitUntil([this] { return waiting() >= 6 || !m_line->isOpen(); }, nullptr, kSetWaitMs);
    if (waiting() >= 6)
        setStatus(QStringLiteral("Got ") + text(m_line->read(kMaxAnswerBytes)));
    else
        setStatus(QStringLiteral("timeout"));
}

bool ChorusRf::checkLine()
{
    // A line lent to the RSSI sweep is being written to all the time.
    if (m_lent)
        return isOpen();
    return isOpen() && !isBusy() && m_line->write(".");
}

SerialLine *ChorusRf::lendLine(QThread *worker)
{
    if (!isOpen() || m_lent || isBusy())
        return nullptr;
    m_lent = true;
    m_line->moveToThread(worker);
    return m_line.get();
}

} // namespace lapvane
