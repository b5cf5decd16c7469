// One running program per data folder.
#pragma once

#include <QString>

namespace lapvane {

// A lock on the file "lapvaneadmin.lock" in the data folder, held while the
// program runs. The kernel lets it go when the process ends in any way
// (crash, kill -9, power cut does not leave it on disk as a lock), so it is
// never stale; the file keeps the holder's process id to name it.
class FolderLock
{
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    enum class Result { Taken, HeldByOther, Failed };
    // Takes the lock for folder. HeldByOther: another process holds it
    // (holderPid says which, 0 when it could not be read). Failed: the lock
    // file could not be made; error says why.
    Result take(const QString &folder, qint64 *holderPid, QString *error);
    void release();

    static QString fileName() { return QStringLiteral("lapvaneadmin.lock"); }

private:
    int m_fd = -1;
};

} // namespace lapvane
