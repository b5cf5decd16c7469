// The live pages switch.
#include "publish/savehtmls.h"

#include "core/operatorlog.h"
#include "publish/livepages.h"

#include <QDir>

namespace lapvane {

SaveHtmls::SaveHtmls(OperatorLog &log, const QString &programFolder, const QString &databasePath,
                     tsavehtmls::SnapshotFn snapshot, QObject *parent)
    : QObject(parent), m_log(log), m_folder(LivePages::htmlsFolder(programFolder)), m_databasePath(databasePath),
      m_snapshot(std::move(snapshot))
{
}

SaveHtmls::~SaveHtmls()
{
    if (m_savehtmls) {
        m_savehtmls->requestStop();
        m_savehtmls->wait();
    }
}

void SaveHtmls::checksavehtmls(bool on)
{
    if (!QDir(m_folder).exists() && !QDir().mkpath(m_folder))
        m_log.savelog(QStringLiteral("can't create the folder %1: the live pages cannot be written").arg(m_folder));

    if (on) {
        // One writer at a time: switching on again keeps the running one.
        if (m_savehtmls)
            return;
        auto thread = std::make_unique<tsavehtmls>(m_databasePath, m_folder, m_snapshot,
                                                   [this](const QString &line) { m_log.savelog(line); });
        thread->setPauseMs(m_pauseMs);
        thread->start();
        if (!thread->isRunning() && !thread->isFinished()) {
            m_log.savelog(QStringLiteral("can't start savehtmls thread"));
            return;
        }
        m_savehtmls = std::move(thread);
        m_log.savelog(QStringLiteral("savehtmls started"));
        return;
    }
    if (!stopThread()) {
        m_log.savelog(QStringLiteral("can't stop savehtmls thread"));
        return;
    }
    m_log.savelog(QStringLiteral("savehtmls terminated"));
}

bool SaveHtmls::stopThread()
{
    if (!m_savehtmls)
        return false;
    m_savehtmls->requestStop();
    // The thread never waits for the main thread, so this wait cannot lock up.
    if (!m_savehtmls->wait(QDeadlineTimer(30000)))
        return false;
    m_savehtmls->deliverLog();
    m_savehtmls.reset();
    return true;
}

bool SaveHtmls::stop()
{
    if (!m_savehtmls)
        return true;
    return stopThread();
}

} // namespace lapvane
