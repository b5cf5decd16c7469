// The live pages switch.
#include "publish/savehtmls.h"

#include "core/operatorlog.h"
#include "publish/includedtemplates.h"
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
        m_templates.clear();
        m_explained.clear();
        auto thread = std::make_unique<tsavehtmls>(
            m_databasePath, m_folder,
            [this] {
                PageSnapshot s = m_snapshot();
                noteTemplates(s);
                return s;
            },
            [this](const QString &line) {
                if (!explained(line))
                    m_log.savelog(line);
            });
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

void SaveHtmls::noteTemplates(const PageSnapshot &s)
{
    m_templates = {s.oneRaceViewTemplate, s.oneRaceResultsTemplate, s.pilotViewTemplate, s.topResultsTemplate};
    static const char *const captions[] = {"One race pilots", "One race results", "Pilot view", "Top results"};
    static const char *const pages[] = {"onerace.htm", "oneraceres.htm", "channel1.htm to channel8.htm and top.htm",
                                        "top.htm"};
    QStringList missing;
    for (int i = 0; i < m_templates.size(); ++i) {
        const QString caption = QLatin1String(captions[i]);
        if (!isNoTemplate(m_templates.at(i))) {
            m_explained.removeAll(caption); // chosen now: said again if it goes
            continue;
        }
        if (m_explained.contains(caption))
            continue;
        m_explained << caption;
        missing << QStringLiteral("\"%1\" (%2)").arg(caption, QLatin1String(pages[i]));
    }
    if (missing.isEmpty())
        return;
    m_log.savelog(QStringLiteral("savehtmls: no template chosen for %1, so those pages are not written; "
                                 "comment.htm is. Choose the templates on Settings -> \"Web pages\", or press "
                                 "\"Use the included templates\".")
                      .arg(missing.join(QStringLiteral(", "))));
}

bool SaveHtmls::explained(const QString &line) const
{
    if (m_templates.size() != 4)
        return false;
    if (line == QLatin1String("savehtmls: onerace problem"))
        return isNoTemplate(m_templates.at(0));
    if (line == QLatin1String("savehtmls: oneraceres problem"))
        return isNoTemplate(m_templates.at(1));
    if (line == QLatin1String("savehtmls: top problem"))
        return isNoTemplate(m_templates.at(2)) || isNoTemplate(m_templates.at(3));
    return false;
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
