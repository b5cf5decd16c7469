// A serial line held in memory.
#include "devices/memoryline.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace lapvane {

void MemoryLine::receiverSends(const QByteArray &bytes)
{
    QMutexLocker lock(&m_mutex);
    if (!m_open)
        return;
    m_input += bytes;
    m_arrived.wakeAll();
}

QByteArray MemoryLine::takeHostBytes()
{
    QMutexLocker lock(&m_mutex);
    QByteArray out = m_output;
    m_output.clear();
    return out;
}

QByteArray MemoryLine::hostHistory() const
{
    QMutexLocker lock(&m_mutex);
    return m_history;
}

void MemoryLine::clearHistory()
{
    QMutexLocker lock(&m_mutex);
    m_history.clear();
    m_output.clear();
}

void MemoryLine::setResponder(std::function<QByteArray(const QByteArray &)> responder)
{
    QMutexLocker lock(&m_mutex);
    m_responder = std::move(responder);
}

void MemoryLine::setOpenFailure(const QString &reason)
{
    QMutexLocker lock(&m_mutex);
    m_openFailure = reason;
}

void MemoryLine::unplug(const QString &reason)
{
    lose(reason);
}

bool MemoryLine::openPort(QString *error)
{
    QMutexLocker lock(&m_mutex);
    if (!m_openFailure.isEmpty()) {
        *error = m_openFailure;
        return false;
    }
    m_open = true;
    m_input.clear();
    return true;
}

void MemoryLine::closePort()
{
    QMutexLocker lock(&m_mutex);
    m_open = false;
    m_input.clear();
}

bool MemoryLine::portIsOpen() const
{
    QMutexLocker lock(&m_mutex);
    return m_open;
}

void MemoryLine::clearPort()
{
    QMutexLocker lock(&m_mutex);
    m_input.clear();
}

qint64 MemoryLine::portBytesWaiting() const
{
    QMutexLocker lock(&m_mutex);
    return m_input.size();
}

QByteArray MemoryLine::readPort(qint64 maxBytes)
{
    QMutexLocker lock(&m_mutex);
    const QByteArray out = m_input.left(maxBytes);
    m_input.remove(0, out.size());
    return out;
}

bool MemoryLine::writePort(const QByteArray &bytes, QString *error)
{
    std::function<QByteArray(const QByteArray &)> responder;
    {
        QMutexLocker lock(&m_mutex);
        if (!m_open) {
            *error = QStringLiteral("port not open");
            return false;
        }
        m_output += bytes;
        m_history += bytes;
        responder = m_responder;
    }
    if (responder)
        receiverSends(responder(bytes));
    return true;
}

bool MemoryLine::waitForMoreInput(int timeoutMs)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype before = m_input.size();
    m_arrived.wait(&m_mutex, QDeadlineTimer(timeoutMs));
    return m_input.size() > before;
}

} // namespace lapvane
