// What the three serial receivers share: their line, status text, lamp, the
// log, the "line in use by a command" guard and the handling of a receiver
// that is gone.
#pragma once

#include "devices/deviceenv.h"
#include "devices/serialline.h"

#include <QObject>
#include <QString>

#include <memory>

namespace lapvane {

class SerialDevice : public QObject
{
    Q_OBJECT
public:
    // name is the receiver's name in log lines ("Lapvane gate"); portControl
    // and baudControl the settings that hold its port and baud rate.
    SerialDevice(const DeviceEnv &env, std::unique_ptr<SerialLine> line, const QString &name,
                 const QString &portControl, const QString &baudControl, QObject *parent = nullptr);
    ~SerialDevice() override;

    // The serial port is open (the lamp is lit).
    bool isOpen() const { return m_open; }
    // The connection state text (`lblcomLapvanestat`, `lblcomVStimestat`, `lbcomChorusstat`).
    QString status() const { return m_status; }
    // A command is talking to the receiver; the device poll leaves it alone.
    bool isBusy() const { return m_busy > 0; }
    // The line itself, for tests and the RSSI sweep.
    SerialLine &line() { return *m_line; }

signals:
    void statusChanged(const QString &text);
    // The lamp: lit while the port is open.
    void portOpenChanged(bool open);
    // The receiver went away (port error or unplugged); one log line was written.
    void receiverLost(const QString &reason);

protected:
    // Marks the line as in use by a command for the guard's lifetime.
    class Busy
    {
    public:
        explicit Busy(SerialDevice &d) : m_d(d) { ++m_d.m_busy; }
        ~Busy() { --m_d.m_busy; }
        Busy(const Busy &) = delete;
        Busy &operator=(const Busy &) = delete;

    private:
        SerialDevice &m_d;
    };

    void setStatus(const QString &text);
    void savelog(const QString &line);
    // Sets the port name and baud rate from the settings and opens the port.
    bool openFromSettings();
    // Bytes that can be read, also those kept from a lost port.
    qint64 waiting() const { return m_line->bytesWaiting(); }
    // The line may be read by the device poll: not lent, not in use.
    bool pollable() const { return !m_busy && !m_lent && m_line->bytesWaiting() > 0; }
    bool m_lent = false;

    DeviceEnv m_env;
    std::unique_ptr<SerialLine> m_line;
    QString m_name;

private:
    void onOpenChanged(bool open);
    void onGone(const QString &reason);

    QString m_portControl;
    QString m_baudControl;
    QString m_status = QStringLiteral("...");
    bool m_open = false;
    int m_busy = 0;
};

} // namespace lapvane
