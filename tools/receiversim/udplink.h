// The simulated VS TimeMachine's WiFi side: a UDP socket on the loopback
// address that hands the host's datagrams to the simulator and sends its
// messages back, one message per datagram, to loopback only.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

namespace lapvane::sim {

class UdpLink : public QObject
{
    Q_OBJECT
public:
    explicit UdpLink(QObject *parent = nullptr);

    // Listens on 127.0.0.1:port (0 picks a free port); the host is at
    // 127.0.0.1:hostPort until its first datagram names its port.
    bool open(quint16 port, quint16 hostPort, QString *error);
    quint16 port() const { return m_socket.localPort(); }
    // One message to the host (its line end dropped).
    void write(const QByteArray &message);

signals:
    void received(const QByteArray &datagram);

private:
    void readPending();

    QUdpSocket m_socket;
    quint16 m_hostPort = 8888;
};

} // namespace lapvane::sim
