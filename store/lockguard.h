// Keeps an open database file in use for other processes, whatever else in
// this process opens and closes the same files.
#pragma once

#include <QString>

namespace lapvane {

// SQLite marks its database as in use with POSIX record locks, and closing any
// descriptor of a file in this process drops all of the process's record
// locks on it: one look at the file by anything (a file dialog guessing a
// file's type, a copy) and another process (an organiser's database browser,
// a backup script) finds the database unused, checkpoints it and deletes the
// write-ahead log the running program still writes to.
//
// The guard holds open-file-description locks, which only its own descriptors
// release, on the two places another process looks: a read lock on the
// database file's shared-lock bytes (so nobody else can take the file for
// itself to checkpoint and delete the log) and on the shared-memory index's
// "in use" byte (so nobody else starts the index afresh under us). Read locks
// let other readers and writers work as usual.
class LockGuard
{
public:
    LockGuard() = default;
    ~LockGuard();
    LockGuard(const LockGuard &) = delete;
    LockGuard &operator=(const LockGuard &) = delete;

    // Takes the locks for the database at databasePath, which this process
    // has open in write-ahead-log mode. False with a reason when they could
    // not all be taken; the database works without them.
    bool hold(const QString &databasePath, QString *reason);
    // Gives them back (before the database closes, so its last connection can
    // checkpoint and remove the log as usual).
    void release();
    bool holding() const { return m_dbFd >= 0; }

private:
    int m_dbFd = -1;
    int m_shmFd = -1;
};

} // namespace lapvane
