// The serial line of a real (or pseudo-terminal) port, on QSerialPort.
#include "devices/serialportline.h"

#include <QFileInfo>

namespace lapvane {

namespace {
// Input held by the port object when nobody reads it; beyond this the kernel
// buffers and then the device waits, so memory stays bounded.
constexpr qint64 kReadBufferBytes = 64 * 1024;
constexpr int kWriteFlushMs = 200;
} // namespace

SerialPortLine::SerialPortLine(QObject *parent) : SerialLine(parent), m_port(this)
{
    m_port.setReadBufferSize(kReadBufferBytes);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortLine::onError);
}

SerialPortLine::~SerialPortLine()
{
    if (m_port.isOpen())
        m_port.close();
}

bool SerialPortLine::openPort(QString *error)
{
    m_port.setPortName(portName());
    if (!m_port.open(QIODevice::ReadWrite)) {
        *error = m_port.errorString();
        m_port.clearError();
        return false;
    }
    const bool ok = m_port.setBaudRate(baudRate()) && m_port.setDataBits(QSerialPort::Data8)
                    && m_port.setParity(QSerialPort::NoParity)
                    && m_port.setStopBits(QSerialPort::OneStop)
                    && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        *error = m_port.errorString();
        m_port.close();
        m_port.clearError();
        return false;
    }
    // A pseudo-terminal has no modem lines: these fail there and the port
    // stays usable.
    m_port.setDataTerminalReady(false);
    m_port.setRequestToSend(false);
    m_port.clearError();
    return true;
}

void SerialPortLine::closePort()
{
    m_port.close();
    m_port.clearError();
}

bool SerialPortLine::portIsOpen() const
{
    return m_port.isOpen();
}

void SerialPortLine::clearPort()
{
    // Take what the kernel holds into the port object first, so that clear()
    // drops it too.
    m_port.waitForReadyRead(0);
    m_port.clear(QSerialPort::AllDirections);
    m_port.readAll();
    m_port.clearError();
}

qint64 SerialPortLine::portBytesWaiting() const
{
    return m_port.bytesAvailable();
}

QByteArray SerialPortLine::readPort(qint64 maxBytes)
{
    return m_port.read(maxBytes);
}

bool SerialPortLine::writePort(const QByteArray &bytes, QString *error)
{
    if (m_port.write(bytes) != bytes.size()) {
        *error = m_port.errorString();
        return false;
    }
    // Push the bytes out now: the line may live in a worker thread without an
    // event loop, and the receivers answer at once.
    m_port.flush();
    if (m_port.bytesToWrite() > 0)
        m_port.waitForBytesWritten(kWriteFlushMs);
    return m_port.isOpen();
}

bool SerialPortLine::waitForMoreInput(int timeoutMs)
{
    return m_port.waitForReadyRead(timeoutMs);
}

QString SerialPortLine::lostReason(QSerialPort::SerialPortError error) const
{
    // The port's error text comes from errno, which a read that merely hit
    // the end of input leaves as an earlier call set it ("File exists",
    // "Inappropriate ioctl for device"): the reason is told from what
    // happened instead.
    const QString path =
        portName().startsWith(QLatin1Char('/')) ? portName() : QStringLiteral("/dev/") + portName();
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(path))
        return QStringLiteral("the device is gone");
    if (error == QSerialPort::ResourceError)
        return QStringLiteral("the device stopped answering: %1").arg(m_port.errorString());
    return QStringLiteral("the line was closed at the other end");
}

void SerialPortLine::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
        return;
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
        if (m_port.isOpen()) {
            lose(lostReason(error));
            return;
        }
        break;
    default:
        break;
    }
    // Time-outs of waits and modem-line requests a pseudo-terminal cannot
    // serve are not faults of the line.
    m_port.clearError();
}

} // namespace lapvane
