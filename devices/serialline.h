// A receiver's serial line as the device code sees it: open/close, discard,
// bytes waiting, read, write, and the news that the receiver is gone.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace lapvane {

class StopFlag;

// The line belongs to one thread at a time (the thread it lives in, in Qt's
// sense). The device code uses it on the main thread; the RSSI sweep borrows
// the Chorus RF line by moving it to its worker thread and moves it back
// before it ends, and the main thread does not touch a line while it is lent.
//
// When the port reports that the receiver is gone (a read error or the device
// vanished), the line keeps every byte already received, closes the port and
// emits gone(). Those kept bytes stay readable, so passes that arrived before
// the unplug are still delivered.
class SerialLine : public QObject
{
    Q_OBJECT
public:
    explicit SerialLine(QObject *parent = nullptr) : QObject(parent) {}
    ~SerialLine() override = default;

    // Port name and baud rate used by the next open().
    virtual void setPortName(const QString &name) { m_portName = name; }
    QString portName() const { return m_portName; }
    virtual void setBaudRate(int baud) { m_baud = baud; }
    int baudRate() const { return m_baud; }

    // Opens the port (115200 8N1, no flow control, DTR and RTS off). Bytes
    // kept from a lost port are dropped. False with errorText() on failure.
    bool open();
    // Closes the port; kept bytes stay readable until discarded.
    void close();
    bool isOpen() const { return portIsOpen(); }
    // Empties input (kept bytes included) and output.
    bool discardBuffers();
    // Bytes that can be read now.
    qint64 bytesWaiting() const;
    // Up to maxBytes of the waiting bytes.
    QByteArray read(qint64 maxBytes);
    // Writes all bytes; false when the port is closed or the write failed.
    bool write(const QByteArray &bytes);
    // Blocks the calling thread (the line's own) until at least count bytes
    // wait, timeoutMs passes or stop is raised. For worker threads only: it
    // does not process events.
    bool waitForBytes(qint64 count, int timeoutMs, const StopFlag *stop);
    QString errorText() const { return m_error; }

signals:
    // The receiver is gone; the port is already closed.
    void gone(const QString &reason);
    // The port was opened or closed.
    void openChanged(bool open);

protected:
    virtual bool openPort(QString *error) = 0;
    virtual void closePort() = 0;
    virtual bool portIsOpen() const = 0;
    virtual void clearPort() = 0;
    virtual qint64 portBytesWaiting() const = 0;
    virtual QByteArray readPort(qint64 maxBytes) = 0;
    virtual bool writePort(const QByteArray &bytes, QString *error) = 0;
    // Waits up to timeoutMs for more input from the port; false when none came.
    virtual bool waitForMoreInput(int timeoutMs) = 0;

    // Called by an implementation when the receiver is gone: keeps what was
    // received, closes the port and tells the owner.
    void lose(const QString &reason);
    void setError(const QString &error) { m_error = error; }

private:
    QString m_portName;
    int m_baud = 115200;
    QString m_error;
    QByteArray m_kept;
    bool m_losing = false;
};

} // namespace lapvane
