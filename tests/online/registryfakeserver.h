// A stand-in for the registry service on 127.0.0.1: answers GET requests by
// path from a table the test fills, records every request target, and can
// leave a path unanswered for ever.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>

namespace lapvane::test {

class RegistryFakeServer : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool silent = false; // never answer
    };

    RegistryFakeServer();

    // "http://127.0.0.1:<port>"
    QString baseUrl() const;
    // Paths without a query; unknown paths get 404.
    void answer(const QByteArray &path, const Answer &a) { m_answers.insert(path, a); }

    // Request targets as received (path and raw query), oldest first.
    QList<QByteArray> targets;
    QList<QByteArray> targetsFor(const QByteArray &path) const;

    // Splits a raw query into its keys and percent-decoded values.
    static QList<QPair<QString, QString>> decodeQuery(const QByteArray &target);

private:
    void serve(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QByteArray, Answer> m_answers;
};

} // namespace lapvane::test
