// A stand-in for the registry service on 127.0.0.1.
#include "tests/online/registryfakeserver.h"

#include <QTcpSocket>
#include <QUrl>

namespace lapvane::test {

RegistryFakeServer::RegistryFakeServer()
{
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("fake registry server: %s", qPrintable(m_server.errorString()));
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

QString RegistryFakeServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

QList<QByteArray> RegistryFakeServer::targetsFor(const QByteArray &path) const
{
    QList<QByteArray> found;
    for (const QByteArray &t : targets) {
        if (t.split('?').first() == path)
            found << t;
    }
    return found;
}

QList<QPair<QString, QString>> RegistryFakeServer::decodeQuery(const QByteArray &target)
{
    QList<QPair<QString, QString>> items;
    const int q = target.indexOf('?');
    if (q < 0)
        return items;
    for (const QByteArray &part : target.mid(q + 1).split('&')) {
        const int eq = part.indexOf('=');
        items.append({QUrl::fromPercentEncoding(part.left(eq)), QUrl::fromPercentEncoding(part.mid(eq + 1))});
    }
    return items;
}

void RegistryFakeServer::serve(QTcpSocket *socket)
{
    const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    // "GET <target> HTTP/1.1"
    const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray target = words.value(1);
    targets << target;
    const QByteArray path = target.split('?').first();
    Answer a;
    if (m_answers.contains(path))
        a = m_answers.value(path);
    else
        a = Answer{404, "not found", "text/plain", false};
    if (a.silent)
        return; // the socket stays open and unanswered
    QByteArray response = "HTTP/1.1 " + QByteArray::number(a.status) + (a.status == 200 ? " OK" : " Error") + "\r\n";
    response += "Content-Type: " + a.contentType + "\r\n";
    response += "Content-Length: " + QByteArray::number(a.body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n";
    response += a.body;
    socket->write(response);
    socket->disconnectFromHost();
}

} // namespace lapvane::test
