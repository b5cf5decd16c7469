// The VS TimeMachine's WiFi endpoint on QUdpSocket.
#include "devices/udpendpoint.h"

#include <QNetworkDatagram>

namespace lapvane {

UdpEndpoint::UdpEndpoint(QObject *parent) : QObject(parent), m_socket(this)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpEndpoint::readPending);
}

bool UdpEndpoint::open(quint16 localPort, QString *error)
{
    if (isOpen())
        close();
    if (!m_socket.bind(QHostAddress::AnyIPv4, localPort,
                       QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        if (error)
            *error = m_socket.errorString();
        return false;
    }
    return true;
}

void UdpEndpoint::close()
{
    m_socket.close();
}

bool UdpEndpoint::isOpen() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

quint16 UdpEndpoint::localPort() const
{
    return m_socket.localPort();
}

bool UdpEndpoint::send(const QByteArray &datagram, const QHostAddress &to, quint16 port,
                       QString *error)
{
    if (!isOpen()) {
        if (error)
            *error = QStringLiteral("WiFi socket closed");
        return false;
    }
    if (m_socket.writeDatagram(datagram, to, port) != datagram.size()) {
        if (error)
            *error = m_socket.errorString();
        return false;
    }
    return true;
}

void UdpEndpoint::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        // Larger datagrams are cut, as a fixed receive buffer would.
        const QNetworkDatagram d = m_socket.receiveDatagram(kMaxDatagramBytes);
        if (!d.isValid())
            break;
        emit datagramReceived(d.data(), d.senderAddress(), quint16(d.senderPort()));
        if (!isOpen())
            break;
    }
}

} // namespace lapvane
