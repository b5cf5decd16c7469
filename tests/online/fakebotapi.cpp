// The Bot API stand-in: a small HTTP/1.1 server over QTcpServer.
#include "tests/online/fakebotapi.h"

#include <QJsonDocument>
#include <QTcpSocket>

namespace lapvane::test {

QJsonObject FakeRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

QList<FormPart> parseMultipart(const QByteArray &contentType, const QByteArray &body)
{
    QList<FormPart> parts;
    const int at = contentType.indexOf("boundary=");
    if (at < 0)
        return parts;
    QByteArray boundary = contentType.mid(at + 9);
    if (boundary.startsWith('"'))
        boundary = boundary.mid(1, boundary.indexOf('"', 1) - 1);
    const QByteArray delimiter = "--" + boundary;
    int pos = body.indexOf(delimiter);
    while (pos >= 0) {
        pos += delimiter.size();
        if (body.mid(pos, 2) == "--")
            break;
        pos += 2; // CR LF after the delimiter
        const int headersEnd = body.indexOf("\r\n\r\n", pos);
        const int next = body.indexOf("\r\n" + delimiter, headersEnd);
        if (headersEnd < 0 || next < 0)
            break;
        FormPart part;
        for (const QByteArray &line : body.mid(pos, headersEnd - pos).split('\n')) {
            const QByteArray l = line.trimmed();
            if (l.toLower().startsWith("content-disposition:")) {
                for (const QByteArray &item : l.split(';')) {
                    const QByteArray t = item.trimmed();
                    if (t.startsWith("name="))
                        part.name = t.mid(5).replace('"', "");
                    else if (t.startsWith("filename="))
                        part.fileName = t.mid(9).replace('"', "");
                }
            } else if (l.toLower().startsWith("content-type:")) {
                part.contentType = l.mid(13).trimmed();
            }
        }
        part.body = body.mid(headersEnd + 4, next - headersEnd - 4);
        parts << part;
        pos = next + 2;
    }
    return parts;
}

FakeAnswer FakeBotApi::refused(int code, const QByteArray &description)
{
    return {code, "{\"ok\":false,\"error_code\":" + QByteArray::number(code) + ",\"description\":\"" + description + "\"}"};
}

FakeBotApi::FakeBotApi(QObject *parent) : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { readFrom(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                m_buffers.remove(s);
                s->deleteLater();
            });
        }
    });
}

QString FakeBotApi::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

QList<FakeRequest> FakeBotApi::requestsFor(const QByteArray &method) const
{
    QList<FakeRequest> out;
    for (const FakeRequest &r : requests)
        if (r.method == method)
            out << r;
    return out;
}

void FakeBotApi::readFrom(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const int headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;
        FakeRequest r;
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.verb = first.value(0);
        r.path = first.value(1);
        r.method = r.path.mid(r.path.lastIndexOf('/') + 1);
        if (r.method.contains('?'))
            r.method = r.method.left(r.method.indexOf('?'));
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const int length = r.headers.value("content-length").toInt();
        if (buffer.size() < headEnd + 4 + length)
            return;
        r.body = buffer.mid(headEnd + 4, length);
        buffer.remove(0, headEnd + 4 + length);
        requests << r;
        emit requestReceived();
        if (silent)
            continue;
        QList<FakeAnswer> &answers = m_script[r.method];
        const FakeAnswer a = answers.isEmpty() ? ok("true") : (answers.size() > 1 ? answers.takeFirst() : answers.first());
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(a.status) + " X\r\nContent-Type: application/json\r\n"
                           "Content-Length: " + QByteArray::number(a.body.size()) + "\r\n\r\n" + a.body;
        socket->write(reply);
    }
}

} // namespace lapvane::test
