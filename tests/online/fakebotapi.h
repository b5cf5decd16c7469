// A stand-in for the Telegram Bot API on 127.0.0.1: records every request
// and answers from a script per method, or never answers at all.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTcpServer>

namespace lapvane::test {

struct FakeRequest
{
    QByteArray verb;
    QByteArray path;   // e.g. "/bot123:ABC/sendMessage"
    QByteArray method; // the last part of the path, e.g. "sendMessage"
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QJsonObject json() const;
};

// One part of a multipart/form-data body.
struct FormPart
{
    QByteArray name;
    QByteArray fileName;
    QByteArray contentType;
    QByteArray body;
};
// Splits a multipart/form-data body by the boundary of its content type.
QList<FormPart> parseMultipart(const QByteArray &contentType, const QByteArray &body);

struct FakeAnswer
{
    int status = 200;
    QByteArray body;
};

class FakeBotApi : public QObject
{
    Q_OBJECT
public:
    explicit FakeBotApi(QObject *parent = nullptr);

    QString baseUrl() const;
    // Answers for a method, taken in turn; the last one stays.
    void script(const QByteArray &method, const QList<FakeAnswer> &answers) { m_script[method] = answers; }
    static FakeAnswer ok(const QByteArray &resultJson) { return {200, "{\"ok\":true,\"result\":" + resultJson + "}"}; }
    static FakeAnswer refused(int code, const QByteArray &description);
    // Requests are read and recorded but never answered.
    bool silent = false;

    QList<FakeRequest> requests;
    QList<FakeRequest> requestsFor(const QByteArray &method) const;

signals:
    void requestReceived();

private:
    void readFrom(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QByteArray, QList<FakeAnswer>> m_script;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

} // namespace lapvane::test
