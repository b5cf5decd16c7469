// The live pages writer thread: rewrites the live pages about every two
// seconds from a snapshot the main thread hands it for each cycle, on a
// database connection of its own. It never touches a widget.
#pragma once

#include "publish/pagesnapshot.h"

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <functional>
#include <optional>

namespace lapvane {

class tsavehtmls : public QThread
{
    Q_OBJECT
public:
    using SnapshotFn = std::function<PageSnapshot()>;
    using LogFn = std::function<void(const QString &)>;

    // Create on the main thread. snapshot runs there at the start of each
    // cycle; log receives the thread's lines there, in order. databasePath is
    // the database file, folder the "htmls" folder.
    tsavehtmls(const QString &databasePath, const QString &folder, SnapshotFn snapshot, LogFn log,
               QObject *parent = nullptr);
    ~tsavehtmls() override;

    // Asks the thread to end: a pause or a wait for the snapshot ends at
    // once, a cycle in progress is finished first.
    void requestStop();

    // Main thread: hands the log lines written so far to the log. The stop
    // calls it after the thread ended so its last lines come before the
    // stopper's own.
    void deliverLog();

    // The pause between cycles, ms.
    void setPauseMs(int ms) { m_pauseMs = ms; }
    // Cycles completed so far (tests, benchmark).
    int cycles() const;

protected:
    void run() override;

private:
    void post(const QString &line);
    std::optional<PageSnapshot> waitForSnapshot();
    void provideSnapshot();

    const QString m_databasePath;
    const QString m_folder;
    SnapshotFn m_snapshot;
    LogFn m_log;
    int m_pauseMs = 2000;

    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_stop = false;
    bool m_snapshotWanted = false;
    std::optional<PageSnapshot> m_handed;
    QStringList m_pendingLog;
    int m_cycles = 0;
};

} // namespace lapvane
