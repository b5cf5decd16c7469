// An HTTP request that goes out once only, over its own connection.
#include "online/onceonlyrequest.h"

#include <QSslError>
#include <QSslSocket>
#include <QTcpSocket>

namespace lapvane {

namespace {

enum class Parse { Incomplete, Complete, Malformed };

// Decodes a chunked body; Incomplete until the last chunk has come.
Parse dechunk(QByteArrayView data, QByteArray *body)
{
    body->clear();
    qsizetype at = 0;
    while (true) {
        const qsizetype lineEnd = data.indexOf(QByteArrayView("\r\n"), at);
        if (lineEnd < 0)
            return Parse::Incomplete;
        QByteArray sizeText = data.sliced(at, lineEnd - at).toByteArray();
        if (const qsizetype semicolon = sizeText.indexOf(';'); semicolon >= 0)
            sizeText.truncate(semicolon); // chunk extensions
        bool ok = false;
        const qlonglong size = sizeText.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0)
            return Parse::Malformed;
        at = lineEnd + 2;
        if (size == 0)
            return Parse::Complete; // trailers, if any, are not needed
        if (data.size() - at < size + 2)
            return Parse::Incomplete;
        body->append(data.sliced(at, qsizetype(size)));
        at += size + 2;
    }
}

} // namespace

OnceOnlyRequest::OnceOnlyRequest(const QByteArray &verb, const QUrl &url, const HttpHeaders &headers,
                                 const QByteArray &body, int timeoutMs, QObject *parent)
    : QObject(parent)
{
    const bool tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const quint16 port = quint16(url.port(tls ? 443 : 80));
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (url.port() != -1)
        host += ':' + QByteArray::number(url.port());
    m_request = verb + ' ' + target + " HTTP/1.1\r\nHost: " + host +
                "\r\nConnection: close\r\nAccept-Encoding: identity\r\n";
    for (const auto &[name, value] : headers)
        m_request += name + ": " + value + "\r\n";
    if (!body.isEmpty() || verb == "POST")
        m_request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    m_request += "\r\n" + body;

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { fail(OnceOnlyAnswer::Failure::TimedOut, {}); });
    m_timer.start(timeoutMs);

    if (tls) {
        auto *socket = new QSslSocket(this);
        m_socket = socket;
        connect(socket, &QSslSocket::encrypted, this, &OnceOnlyRequest::sendRequest);
        connect(socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
            QStringList texts;
            for (const QSslError &e : errors)
                texts << e.errorString();
            m_tlsErrors = texts.join(QStringLiteral("; "));
        });
        socket->connectToHostEncrypted(url.host(), port);
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, &OnceOnlyRequest::sendRequest);
        m_socket->connectToHost(url.host(), port);
    }
    connect(m_socket, &QTcpSocket::readyRead, this, &OnceOnlyRequest::readAnswer);
    connect(m_socket, &QTcpSocket::disconnected, this, &OnceOnlyRequest::closed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError) {
            closed();
        } else if (error == QAbstractSocket::SslHandshakeFailedError) {
            fail(OnceOnlyAnswer::Failure::Failed,
                 QStringLiteral("SSL handshake failed: %1")
                     .arg(m_tlsErrors.isEmpty() ? m_socket->errorString() : m_tlsErrors));
        } else {
            fail(OnceOnlyAnswer::Failure::Failed, m_socket->errorString());
        }
    });
}

OnceOnlyRequest::~OnceOnlyRequest() = default;

void OnceOnlyRequest::abort()
{
    if (m_done)
        return;
    m_done = true;
    m_timer.stop();
    m_socket->disconnect(this);
    m_socket->abort();
    deleteLater();
}

void OnceOnlyRequest::sendRequest()
{
    m_sent = true;
    m_socket->write(m_request);
}

void OnceOnlyRequest::readAnswer()
{
    m_received += m_socket->readAll();
    if (answerComplete(false))
        finish(m_answer);
}

void OnceOnlyRequest::closed()
{
    if (m_done)
        return;
    m_received += m_socket->readAll();
    if (answerComplete(true)) {
        finish(m_answer);
        return;
    }
    if (!m_done)
        fail(OnceOnlyAnswer::Failure::Failed,
             m_received.isEmpty() ? QStringLiteral("the connection was closed without an answer")
                                  : QStringLiteral("the connection was closed before the whole answer came"));
}

bool OnceOnlyRequest::answerComplete(bool atClose)
{
    if (m_done)
        return false;
    const qsizetype headEnd = m_received.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = m_received.left(headEnd).split('\n');
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    bool ok = false;
    m_answer.status =
        statusLine.size() >= 2 && statusLine.first().startsWith("HTTP/1.") ? statusLine.at(1).toInt(&ok) : 0;
    if (!ok || m_answer.status < 100 || m_answer.status > 999) {
        fail(OnceOnlyAnswer::Failure::Failed, QStringLiteral("the answer is not HTTP"));
        return false;
    }
    m_answer.reason = statusLine.mid(2).join(' ');
    qlonglong length = -1;
    bool chunked = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length")
            length = value.toLongLong(&ok);
        else if (name == "transfer-encoding")
            chunked = value.toLower().contains("chunked");
    }
    const QByteArrayView rest = QByteArrayView(m_received).sliced(headEnd + 4);
    if (chunked) {
        switch (dechunk(rest, &m_answer.body)) {
        case Parse::Complete:
            return true;
        case Parse::Incomplete:
            return false;
        case Parse::Malformed:
            fail(OnceOnlyAnswer::Failure::Failed, QStringLiteral("the answer's chunks cannot be read"));
            return false;
        }
    }
    if (length >= 0) {
        if (rest.size() < length)
            return false;
        m_answer.body = rest.first(qsizetype(length)).toByteArray();
        return true;
    }
    if (!atClose)
        return false;
    m_answer.body = rest.toByteArray();
    return true;
}

void OnceOnlyRequest::finish(OnceOnlyAnswer answer)
{
    if (m_done)
        return;
    m_done = true;
    m_timer.stop();
    m_socket->disconnect(this);
    m_socket->abort();
    deleteLater();
    emit finished(answer);
}

void OnceOnlyRequest::fail(OnceOnlyAnswer::Failure failure, const QString &error)
{
    OnceOnlyAnswer answer;
    answer.failure = failure;
    answer.errorString = error;
    finish(answer);
}

} // namespace lapvane
