// The web server's side in its own thread: the listening socket, the
// requests and their answers, and the event feed's subscribers.
#pragma once

#include "publish/connectionguard.h"
#include "publish/liveserver.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

class QTcpSocket;

namespace lapvane {

class LiveHttpServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    explicit LiveHttpServer(LiveServerWorker &worker) : m_worker(worker) {}

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    LiveServerWorker &m_worker;
};

class LiveServerWorker : public QObject
{
    Q_OBJECT
public:
    LiveServerWorker(const LiveServer::Options &options, LiveServerCounters &counters);
    ~LiveServerWorker() override;
    LiveServerWorker(const LiveServerWorker &) = delete;
    LiveServerWorker &operator=(const LiveServerWorker &) = delete;

    // In the server thread.
    bool listen(QString *error, quint16 *port);
    void handle(const QHttpServerRequest &request, QTcpSocket *socket);
    // Answers one request (also one that was held).
    void answer(QTcpSocket *socket, const LiveAsk &ask);

    void setRace(const QJsonObject &race, bool running, qint64 clockMs);
    void setLaps(const QHash<int, QByteArray> &laps) { m_laps = laps; }
    void setResults(const QByteArray &json) { m_results = json; }
    void setBracket(const QByteArray &json) { m_bracket = json; }
    void setLanguage(const QString &language);
    void broadcast(const QJsonObject &message);

private:
    struct Reply
    {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
    };
    Reply route(const LiveAsk &ask, bool *subscribed);
    void send(QTcpSocket *socket, const Reply &reply, bool headOnly, bool close);
    void subscribe(QTcpSocket *socket, bool headOnly);
    QJsonObject currentRace() const;
    Reply fileReply(const QByteArray &encodedPath);
    Reply indexReply() const;
    void keepAlive();
    bool writeTo(QTcpSocket *socket, const QByteArray &bytes);

    LiveServer::Options m_options;
    LiveServerCounters &m_counters;
    ConnectionBook m_book;
    GuardedTcpServer *m_tcp = nullptr;
    LiveHttpServer *m_http = nullptr;
    // Weak: a connection may go at any moment, whatever signals it still has.
    QList<QPointer<QTcpSocket>> m_subscribers;
    QTimer m_keepAlive;
    qint64 m_nextId = 1;

    QJsonObject m_race;
    bool m_running = false;
    qint64 m_clockMs = 0;
    QElapsedTimer m_since;
    QHash<int, QByteArray> m_laps;
    QByteArray m_results;
    QByteArray m_bracket;
    // The live pages as read from the build, their words inlined; and as
    // served, in the chosen language.
    QByteArray m_overlaySource;
    QByteArray m_boardSource;
    QByteArray m_overlay;
    QByteArray m_board;
};

} // namespace lapvane
