// The built-in web server: the pages of the "htmls" folder, the race as JSON,
// a Server-Sent Events feed and the overlay page, served read-only from a
// thread of its own so that no client can hold up the window or the pass loop.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>

#include <atomic>
#include <memory>

class QThread;

namespace lapvane {

class LiveServerWorker;

// What the server thread reports back, readable from any thread.
struct LiveServerCounters
{
    std::atomic<int> connections{0};
    std::atomic<int> subscribers{0};
    std::atomic<qint64> messagesSent{0};
    std::atomic<qint64> dropped{0};  // connections closed for stalling, garbage or size
    std::atomic<qint64> requests{0}; // requests answered
};

class LiveServer : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QHostAddress address = QHostAddress(QHostAddress::LocalHost);
        quint16 port = 8080; // 0: any free port
        QString htmlsFolder;
        int maxConnections = 400;
        // Connections asking for pages and data from one address (a phone
        // opens a handful); beyond it that address gets "503" and the others
        // are served as before. Feeds are not counted here: however many
        // feeds a device holds open, its pages and data stay reachable.
        int maxConnectionsPerAddress = 32;
        // Feed subscribers at most: the other connections stay free for the
        // pages and the data, however many feeds sit idle.
        int maxSubscribers = 350;
        // Feeds from one other device. A client on this computer (overlays,
        // boards, a streaming program's scenes) may use the whole feed budget.
        int maxFeedsPerAddress = 32;
        // A request must arrive whole within this time of the connection (or
        // of the previous answer); an idle kept-alive connection is closed
        // after idleTimeoutMs.
        int requestTimeoutMs = 10000;
        int idleTimeoutMs = 30000;
        // A request longer than this is answered "431" at once and closed.
        qint64 maxRequestBytes = 16 * 1024;
        // What may wait to be written to one connection. A feed subscriber
        // with more waiting is dropped; a connection asking for pages is not
        // read further until its answers have gone out.
        qint64 maxBacklogBytes = 1024 * 1024;
        // A connection whose waiting answers or messages have not all been
        // taken by the client within this time is closed: the client stopped
        // reading (its buffers are full) or is gone without a word.
        int drainTimeoutMs = 30000;
        // Every feed gets a comment line this often, so that a feed without
        // messages (no race running) still shows whether its client reads.
        int keepAliveMs = 5000;
        // The words of the overlay and the board: "en" or "ru".
        QString language = QStringLiteral("en");
    };

    explicit LiveServer(QObject *parent = nullptr);
    ~LiveServer() override;

    // Listens on the address and port. False with a plain message (the port
    // in use, a port not allowed) when it cannot; nothing is left running then.
    bool start(const Options &options, QString *error);
    void stop();
    bool isRunning() const { return m_worker != nullptr; }
    quint16 port() const { return m_port; }
    QHostAddress address() const { return m_address; }

    // The data served, handed over whole. clockMs is the race clock when the
    // race object was made; while running the server adds the time since.
    void publishRace(const QJsonObject &race, bool running, qint64 clockMs);
    void publishLaps(const QHash<int, QByteArray> &lapsJsonByPilot);
    void publishResults(const QByteArray &json);
    // The bracket of the current stage for /api/bracket.
    void publishBracket(const QByteArray &json);
    // Sends one message to every client of /api/events.
    void push(const QJsonObject &message);
    // The language of the overlay and the board from their next load on.
    void setLanguage(const QString &language);

    const LiveServerCounters &counters() const { return *m_counters; }

private:
    template <typename F> void post(F &&work);

    std::unique_ptr<LiveServerCounters> m_counters;
    std::unique_ptr<QThread> m_thread;
    LiveServerWorker *m_worker = nullptr;
    quint16 m_port = 0;
    QHostAddress m_address;
};

} // namespace lapvane
