// An HTTP request that goes out once only: its own connection, closed after
// the answer, and never sent again by itself. QNetworkAccessManager sends a
// request once more when a connection drops after the service has read it
// (a reused keep-alive connection, the first request of a new connection),
// so a message or a result the service took would arrive twice. Requests
// that change something at the service go through here; a failure is
// reported and the operator decides.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QTimer>
#include <QUrl>

class QTcpSocket;

namespace lapvane {

struct OnceOnlyAnswer
{
    enum class Failure { None, TimedOut, Failed };
    Failure failure = Failure::None;
    QString errorString; // for Failed, in plain words
    int status = 0;      // HTTP status, 0 when no status line came
    QByteArray reason;   // the status line's reason phrase
    QByteArray body;
};

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

class OnceOnlyRequest : public QObject
{
    Q_OBJECT
public:
    // Starts at once; url is http:// or https:// (verified as usual).
    // finished comes exactly once, later, unless abort() is called first;
    // the object deletes itself after finished.
    OnceOnlyRequest(const QByteArray &verb, const QUrl &url, const HttpHeaders &headers,
                    const QByteArray &body, int timeoutMs, QObject *parent = nullptr);
    ~OnceOnlyRequest() override;

    // Drops the connection; finished does not come. Deletes the object later.
    void abort();

signals:
    void finished(const OnceOnlyAnswer &answer);

private:
    void sendRequest();
    void readAnswer();
    void closed();
    // True once the answer is whole (by its length, chunks or the close).
    bool answerComplete(bool atClose);
    void finish(OnceOnlyAnswer answer);
    void fail(OnceOnlyAnswer::Failure failure, const QString &error);

    QTcpSocket *m_socket = nullptr;
    QByteArray m_request;
    QByteArray m_received;
    QTimer m_timer;
    bool m_done = false;
    bool m_sent = false;
    QString m_tlsErrors;
    OnceOnlyAnswer m_answer;
};

} // namespace lapvane
