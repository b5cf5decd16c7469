// The simulated VS TimeMachine's WiFi side.
#include "tools/receiversim/udplink.h"

#include <QNetworkDatagram>

namespace lapvane::sim {

UdpLink::UdpLink(QObject *parent) : QObject(parent), m_socket(this)
{
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpLink::readPending);
}

bool UdpLink::open(quint16 port, quint16 hostPort, QString *error)
{
    m_hostPort = hostPort;
    if (!m_socket.bind(QHostAddress::LocalHost, port, QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        if (error)
            *error = m_socket.errorString();
        return false;
    }
    return true;
}

void UdpLink::write(const QByteArray &message)
{
    QByteArray text = message;
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    m_socket.writeDatagram(text, QHostAddress::LocalHost, m_hostPort);
}

void UdpLink::readPending()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = m_socket.receiveDatagram(8192);
        // Only loopback senders are answered, at the port they sent from.
        if (d.senderAddress().isLoopback() && d.senderPort() > 0)
            m_hostPort = quint16(d.senderPort());
        emit received(d.data());
    }
}

} // namespace lapvane::sim
