// The limits of the web server's connections, in its thread: how many are
// accepted and from whom, and a guard on each that bounds its requests, its
// idle time and what waits to be written to it.
#pragma once

#include "publish/liveserver.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace lapvane {

class LiveServerWorker;

// What a client asked, as much as answering it needs: kept while the
// connection's earlier answers still wait to go out.
struct LiveAsk
{
    bool allowed = true; // GET or HEAD
    bool headOnly = false;
    bool close = false;
    QByteArray path; // percent-encoded, as sent
    QString pilot;   // the "pilot" query item
};

// The connections of the server thread by client address: those asking for
// pages and data, and the feeds, each against a budget of its own.
struct ConnectionBook
{
    QHash<QHostAddress, int> pagesPerAddress;
    QHash<QHostAddress, int> feedsPerAddress;
};

// Watches one connection: a request must arrive whole and within bounds, an
// idle connection is closed, what waits to be written is bounded and must
// drain, and a feed subscriber must keep reading.
class ConnectionGuard : public QObject
{
    Q_OBJECT
public:
    ConnectionGuard(QTcpSocket *socket, const LiveServer::Options &options, LiveServerCounters &counters,
                    ConnectionBook &book, LiveServerWorker &worker);
    ~ConnectionGuard() override;
    // A whole request arrived: the next one gets a fresh allowance. False
    // when it was longer than allowed (it has been refused then).
    bool requestCompleted();
    // The connection now carries the event feed and sends nothing more; it
    // counts against the feed budget from now on, not against the pages'.
    void becomeSubscriber();
    bool isSubscriber() const { return m_subscriber; }
    QHostAddress address() const { return m_address; }
    // The client runs on this computer: it came from the address it reached
    // the server at (127.0.0.1, or the computer's own address on the network).
    bool isOnThisComputer() const { return m_onThisComputer; }
    // Bytes handed to the socket.
    void wrote(qint64 bytes);
    // While the answers already written wait, requests are kept, not answered.
    bool isHolding() const { return m_holding; }
    void hold(const LiveAsk &ask) { m_held.append(ask); }
    void drop();

private:
    void onReadyRead();
    void checkBacklog();
    // Written but not yet taken by the client: what waits in the socket and
    // what the system has sent and not had acknowledged.
    qint64 untaken() const;
    void pause();
    void resume();
    // Answers at once and closes, reading nothing more.
    void refuse(const QByteArray &response);

    QTcpSocket *m_socket;
    const LiveServer::Options &m_options;
    LiveServerCounters &m_counters;
    ConnectionBook &m_book;
    LiveServerWorker &m_worker;
    QHostAddress m_address;
    bool m_onThisComputer = false;
    QTimer m_deadline;
    QTimer m_drain; // runs while something waits to be written
    qint64 m_received = 0;
    qint64 m_written = 0; // bytes handed to the socket so far
    qint64 m_mark = -1;   // all written up to here must be taken before the drain time-out
    QElapsedTimer m_markTime;
    QList<LiveAsk> m_held;
    bool m_paused = false;  // the socket is not read (its signals are held back)
    bool m_holding = false; // requests are kept until the answers drain
    bool m_subscriber = false;
    bool m_dropped = false;
    bool m_refused = false;
};

// Accepts connections up to the limits; beyond them a client gets "503" and is closed.
class GuardedTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    GuardedTcpServer(const LiveServer::Options &options, LiveServerCounters &counters, ConnectionBook &book,
                     LiveServerWorker &worker, QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    const LiveServer::Options &m_options;
    LiveServerCounters &m_counters;
    ConnectionBook &m_book;
    LiveServerWorker &m_worker;
};

} // namespace lapvane
