// The serial line of a real (or pseudo-terminal) port, on QSerialPort.
#pragma once

#include "devices/serialline.h"

#include <QSerialPort>

namespace lapvane {

class SerialPortLine : public SerialLine
{
    Q_OBJECT
public:
    explicit SerialPortLine(QObject *parent = nullptr);
    ~SerialPortLine() override;

protected:
    bool openPort(QString *error) override;
    void closePort() override;
    bool portIsOpen() const override;
    void clearPort() override;
    qint64 portBytesWaiting() const override;
    QByteArray readPort(qint64 maxBytes) override;
    bool writePort(const QByteArray &bytes, QString *error) override;
    bool waitForMoreInput(int timeoutMs) override;

private:
    void onError(QSerialPort::SerialPortError error);
    // Why the receiver is gone, in plain words.
    QString lostReason(QSerialPort::SerialPortError error) const;

    QSerialPort m_port;
};

} // namespace lapvane
