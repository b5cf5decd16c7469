// The live pages writer thread.
#include "publish/tsavehtmls.h"

#include "publish/livepages.h"
#include "store/database.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QSqlDatabase>

#include <atomic>

namespace lapvane {

tsavehtmls::tsavehtmls(const QString &databasePath, const QString &folder, SnapshotFn snapshot, LogFn log,
                       QObject *parent)
    : QThread(parent), m_databasePath(databasePath), m_folder(folder), m_snapshot(std::move(snapshot)),
      m_log(std::move(log))
{
    setObjectName(QStringLiteral("tsavehtmls"));
}

tsavehtmls::~tsavehtmls()
{
    requestStop();
    wait();
}

void tsavehtmls::requestStop()
{
    QMutexLocker lock(&m_mutex);
    m_stop = true;
    m_wake.wakeAll();
}

int tsavehtmls::cycles() const
{
    QMutexLocker lock(&m_mutex);
    return m_cycles;
}

void tsavehtmls::post(const QString &line)
{
    {
        QMutexLocker lock(&m_mutex);
        m_pendingLog << line;
    }
    // The lines are written on the main thread; the thread never waits for it.
    QMetaObject::invokeMethod(this, &tsavehtmls::deliverLog, Qt::QueuedConnection);
}

void tsavehtmls::deliverLog()
{
    QStringList lines;
    {
        QMutexLocker lock(&m_mutex);
        lines.swap(m_pendingLog);
    }
    for (const QString &line : lines)
        m_log(line);
}

void tsavehtmls::provideSnapshot()
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_snapshotWanted)
            return;
    }
    PageSnapshot snap = m_snapshot();
    QMutexLocker lock(&m_mutex);
    m_handed = std::move(snap);
    m_snapshotWanted = false;
    m_wake.wakeAll();
}

std::optional<PageSnapshot> tsavehtmls::waitForSnapshot()
{
    {
        QMutexLocker lock(&m_mutex);
        m_snapshotWanted = true;
        m_handed.reset();
    }
    QMetaObject::invokeMethod(this, &tsavehtmls::provideSnapshot, Qt::QueuedConnection);
    QMutexLocker lock(&m_mutex);
    while (!m_stop && !m_handed)
        m_wake.wait(&m_mutex);
    m_snapshotWanted = false;
    // A snapshot handed over starts a cycle, and a cycle once started is
    // finished even when a stop comes meanwhile.
    std::optional<PageSnapshot> snap = std::move(m_handed);
    m_handed.reset();
    return snap;
}

void tsavehtmls::run()
{
    post(QStringLiteral("savehtmls started"));
    static std::atomic_int connections{0};
    const QString connectionName = QStringLiteral("savehtmls%1").arg(++connections);
    {
        QString error;
        QSqlDatabase db = Database::openWorkerConnection(m_databasePath, connectionName, &error);
        if (!db.isOpen())
            post(QStringLiteral("savehtmls: %1").arg(error));
        LivePages pages(db, m_folder, [this](const QString &line) { post(line); });
        while (true) {
            const std::optional<PageSnapshot> snap = waitForSnapshot();
            if (!snap)
                break;
            pages.writeCycle(*snap);
            QMutexLocker lock(&m_mutex);
            ++m_cycles;
            // The pause ends as soon as a stop is asked for.
            const QDeadlineTimer until(m_pauseMs);
            while (!m_stop && !until.hasExpired())
                m_wake.wait(&m_mutex, until);
            if (m_stop)
                break;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    post(QStringLiteral("savehtmls: exit"));
}

} // namespace lapvane
