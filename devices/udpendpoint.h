// The VS TimeMachine's WiFi endpoint: one UDP socket bound to all interfaces,
// receiving the device's datagrams and sending the host's to one address.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

namespace lapvane {

class UdpEndpoint : public QObject
{
    Q_OBJECT
public:
    // Received datagrams are cut to this size, as the device's receive buffer.
    static constexpr qint64 kMaxDatagramBytes = 8192;

    explicit UdpEndpoint(QObject *parent = nullptr);

    // Binds 0.0.0.0:localPort (shared, address reuse). False with error on failure.
    bool open(quint16 localPort, QString *error);
    void close();
    bool isOpen() const;
    // The bound port (useful after binding port 0).
    quint16 localPort() const;
    // Sends one datagram; false when the socket is closed or the send failed.
    bool send(const QByteArray &datagram, const QHostAddress &to, quint16 port, QString *error);

signals:
    // One datagram from a sender, delivered on the socket's thread.
    void datagramReceived(const QByteArray &data, const QHostAddress &from, quint16 port);

private:
    void readPending();

    QUdpSocket m_socket;
};

} // namespace lapvane
