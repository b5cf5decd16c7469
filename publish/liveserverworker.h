// The web server's side in its own thread: the listening socket with its
// limits, the requests and the event feed's subscribers.
#pragma once

#include "publish/liveserver.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace lapvane {

// Watches one connection: a request must arrive whole and within bounds, an
// idle connection is closed, and a feed subscriber must keep reading.
class ConnectionGuard : public QObject
{
    Q_OBJECT
public:
    ConnectionGuard(QTcpSocket *socket, const LiveServer::Options &options, LiveServerCounters &counters);
    ~ConnectionGuard() override;
    // A whole request arrived: the next one gets a fresh allowance.
    void requestCompleted();
    // The connection now carries the event feed and sends nothing more.
    void becomeSubscriber();
    bool isSubscriber() const { return m_subscriber; }
    void drop();

private:
    void onReadyRead();

    QTcpSocket *m_socket;
    const LiveServer::Options &m_options;
    LiveServerCounters &m_counters;
    QTimer m_deadline;
    qint64 m_received = 0;
    bool m_subscriber = false;
    bool m_dropped = false;
};

// Accepts connections up to the limit; beyond it a client gets "503" and is closed.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    GuardedTcpServer(const LiveServer::Options &options, LiveServerCounters &counters, QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    const LiveServer::Options &m_options;
    LiveServerCounters &m_counters;
};

class LiveServerWorker;

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

    void setRace(const QJsonObject &race, bool running, qint64 clockMs);
    void setLaps(const QHash<int, QByteArray> &laps) { m_laps = laps; }
    void setResults(const QByteArray &json) { m_results = json; }
    void broadcast(const QJsonObject &message);

private:
    struct Reply
    {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
    };
    Reply route(const QHttpServerRequest &request, QTcpSocket *socket, bool *subscribed);
    void send(QTcpSocket *socket, const Reply &reply, bool headOnly, bool close);
    void subscribe(QTcpSocket *socket, bool headOnly);
    QJsonObject currentRace() const;
    Reply fileReply(const QByteArray &encodedPath);
    Reply indexReply() const;
    void heartbeat();
    bool writeTo(QTcpSocket *socket, const QByteArray &bytes);

    LiveServer::Options m_options;
    LiveServerCounters &m_counters;
    GuardedTcpServer *m_tcp = nullptr;
    LiveHttpServer *m_http = nullptr;
    // Weak: a connection may go at any moment, whatever signals it still has.
    QList<QPointer<QTcpSocket>> m_subscribers;
    QTimer m_heartbeat;
    qint64 m_nextId = 1;

    QJsonObject m_race;
    bool m_running = false;
    qint64 m_clockMs = 0;
    QElapsedTimer m_since;
    QHash<int, QByteArray> m_laps;
    QByteArray m_results;
    QByteArray m_overlay;
};

} // namespace lapvane
