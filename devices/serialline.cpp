// A receiver's serial line: the parts every implementation shares.
#include "devices/serialline.h"

#include "core/wait.h"

#include <QDeadlineTimer>

namespace lapvane {

namespace {
// Bytes kept from a lost port: enough for every pass that can be in flight.
constexpr qint64 kMaxKeptBytes = 64 * 1024;
} // namespace

bool SerialLine::open()
{
    m_kept.clear();
    QString error;
    if (portIsOpen())
        return true;
    if (!openPort(&error)) {
        m_error = error;
        return false;
    }
    m_error.clear();
    emit openChanged(true);
    return true;
}

void SerialLine::close()
{
    if (!portIsOpen())
        return;
    closePort();
    emit openChanged(false);
}

bool SerialLine::discardBuffers()
{
    m_kept.clear();
    if (!portIsOpen())
        return false;
    clearPort();
    return true;
}

qint64 SerialLine::bytesWaiting() const
{
    return m_kept.size() + (portIsOpen() ? portBytesWaiting() : 0);
}

QByteArray SerialLine::read(qint64 maxBytes)
{
    if (maxBytes <= 0)
        return {};
    QByteArray out;
    if (!m_kept.isEmpty()) {
        out = m_kept.left(maxBytes);
        m_kept.remove(0, out.size());
    }
    if (out.size() < maxBytes && portIsOpen())
        out += readPort(maxBytes - out.size());
    return out;
}

bool SerialLine::write(const QByteArray &bytes)
{
    if (!portIsOpen()) {
        m_error = QStringLiteral("port not open");
        return false;
    }
    QString error;
    if (!writePort(bytes, &error)) {
        m_error = error;
        return false;
    }
    return true;
}

bool SerialLine::waitForBytes(qint64 count, int timeoutMs, const StopFlag *stop)
{
    QDeadlineTimer deadline(timeoutMs);
    while (bytesWaiting() < count) {
        if ((stop && stop->isRaised()) || !portIsOpen() || deadline.hasExpired())
            return false;
        // Short slices so that a stop request is seen quickly.
        waitForMoreInput(int(qMin<qint64>(50, qMax<qint64>(1, deadline.remainingTime()))));
    }
    return true;
}

void SerialLine::lose(const QString &reason)
{
    if (m_losing || !portIsOpen())
        return;
    m_losing = true;
    const QByteArray rest = readPort(kMaxKeptBytes);
    m_kept += rest;
    if (m_kept.size() > kMaxKeptBytes)
        m_kept = m_kept.right(kMaxKeptBytes);
    m_error = reason;
    closePort();
    m_losing = false;
    emit openChanged(false);
    emit gone(reason);
}

} // namespace lapvane
