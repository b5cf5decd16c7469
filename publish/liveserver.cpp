// The built-in web server's face on the main thread: start, stop, hand-over.
#include "publish/liveserver.h"

#include "publish/liveserverworker.h"

#include <QThread>

namespace lapvane {

LiveServer::LiveServer(QObject *parent) : QObject(parent), m_counters(std::make_unique<LiveServerCounters>()) {}

LiveServer::~LiveServer()
{
    stop();
}

template<typename F>
void LiveServer::post(F &&work)
{
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, std::forward<F>(work), Qt::QueuedConnection);
}

bool LiveServer::start(const Options &options, QString *error)
{
    stop();
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("wwwserver"));
    auto *worker = new LiveServerWorker(options, *m_counters);
    worker->moveToThread(m_thread.get());
    m_thread->start();
    bool ok = false;
    quint16 port = 0;
    QString why;
    QMetaObject::invokeMethod(
        worker, [&] { ok = worker->listen(&why, &port); }, Qt::BlockingQueuedConnection);
    m_worker = worker;
    if (!ok) {
        stop();
        if (error)
            *error = why;
        return false;
    }
    m_port = port;
    m_address = options.address;
    return true;
}

void LiveServer::stop()
{
    if (!m_thread)
        return;
    if (m_worker) {
        LiveServerWorker *worker = m_worker;
        m_worker = nullptr;
        // Deleted in its own thread, where its sockets live.
        QMetaObject::invokeMethod(
            worker, [worker] { delete worker; }, Qt::BlockingQueuedConnection);
    }
    m_thread->quit();
    m_thread->wait();
    m_thread.reset();
    m_port = 0;
}

void LiveServer::publishRace(const QJsonObject &race, bool running, qint64 clockMs)
{
    LiveServerWorker *w = m_worker;
    post([w, race, running, clockMs] { w->setRace(race, running, clockMs); });
}

void LiveServer::publishLaps(const QHash<int, QByteArray> &lapsJsonByPilot)
{
    LiveServerWorker *w = m_worker;
    post([w, lapsJsonByPilot] { w->setLaps(lapsJsonByPilot); });
}

void LiveServer::publishResults(const QByteArray &json)
{
    LiveServerWorker *w = m_worker;
    post([w, json] { w->setResults(json); });
}

void LiveServer::publishBracket(const QByteArray &json)
{
    LiveServerWorker *w = m_worker;
    post([w, json] { w->setBracket(json); });
}

void LiveServer::setLanguage(const QString &language)
{
    LiveServerWorker *w = m_worker;
    post([w, language] { w->setLanguage(language); });
}

void LiveServer::push(const QJsonObject &message)
{
    LiveServerWorker *w = m_worker;
    post([w, message] { w->broadcast(message); });
}

} // namespace lapvane
