// What the three serial receivers share.
#include "devices/serialdevice.h"

#include "core/operatorlog.h"
#include "core/settings.h"

namespace lapvane {

SerialDevice::SerialDevice(const DeviceEnv &env, std::unique_ptr<SerialLine> line,
                           const QString &name, const QString &portControl,
                           const QString &baudControl, QObject *parent)
    : QObject(parent), m_env(env), m_line(std::move(line)), m_name(name),
      m_portControl(portControl), m_baudControl(baudControl)
{
    // The line has no parent: the RSSI sweep may move it to its own thread.
    m_line->setParent(nullptr);
    connect(m_line.get(), &SerialLine::openChanged, this, &SerialDevice::onOpenChanged);
    connect(m_line.get(), &SerialLine::gone, this, &SerialDevice::onGone);
    m_open = m_line->isOpen();
}

SerialDevice::~SerialDevice()
{
    m_line->disconnect(this);
    m_line->close();
}

void SerialDevice::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

void SerialDevice::savelog(const QString &line)
{
    m_env.log.savelog(line);
}

bool SerialDevice::openFromSettings()
{
    m_line->setPortName(m_env.settings.text(m_portControl));
    bool ok = false;
    const int baud = m_env.settings.text(m_baudControl).toInt(&ok);
    m_line->setBaudRate(ok && baud > 0 ? baud : 115200);
    return m_line->open();
}

void SerialDevice::onOpenChanged(bool open)
{
    if (open == m_open)
        return;
    m_open = open;
    emit portOpenChanged(open);
}

void SerialDevice::onGone(const QString &reason)
{
    savelog(QStringLiteral("%1 lost on %2 (%3): port closed, the race goes on without it; "
                           "press Connect when it is back.")
                .arg(m_name, m_line->portName(), reason));
    setStatus(QStringLiteral("Receiver lost"));
    emit receiverLost(reason);
}

} // namespace lapvane
