// The "Save local HTMLs (/htmls folder)" switch: starts and stops the live
// pages writer thread (`savehtmls`) and reports it in the operator log.
#pragma once

#include "publish/tsavehtmls.h"

#include <QObject>

#include <memory>

namespace lapvane {

class OperatorLog;

class SaveHtmls : public QObject
{
    Q_OBJECT
public:
    // programFolder holds the "htmls" folder; snapshot runs on the main thread
    // once per cycle.
    SaveHtmls(OperatorLog &log, const QString &programFolder, const QString &databasePath,
              tsavehtmls::SnapshotFn snapshot, QObject *parent = nullptr);
    ~SaveHtmls() override;

    // checksavehtmls: creates the "htmls" folder when missing, then starts the
    // writer (on) or stops it and waits for its end (off).
    void checksavehtmls(bool on);
    // Shutdown: stops a running writer and waits. False when that failed.
    bool stop();

    bool isRunning() const { return m_savehtmls != nullptr; }
    tsavehtmls *thread() const { return m_savehtmls.get(); }
    QString folder() const { return m_folder; }
    // Pause between cycles for threads started from now on (tests).
    void setPauseMs(int ms) { m_pauseMs = ms; }

private:
    bool stopThread();
    // Main thread, once per cycle: the templates the cycle uses.
    void noteTemplates(const PageSnapshot &s);
    // A writer's "problem" line that only says a template is not chosen,
    // which was explained once already.
    bool explained(const QString &line) const;

    OperatorLog &m_log;
    QString m_folder;
    QString m_databasePath;
    tsavehtmls::SnapshotFn m_snapshot;
    std::unique_ptr<tsavehtmls> m_savehtmls;
    int m_pauseMs = 2000;
    // The template paths of the latest cycle: one race pilots, one race
    // results, pilot view, top results.
    QStringList m_templates;
    // Templates not chosen whose pages were explained since the switch-on.
    QStringList m_explained;
};

} // namespace lapvane
