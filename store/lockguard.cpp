// Open-file-description locks that keep the database in use for other processes.
#include "store/lockguard.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lapvane {

namespace {

// Where SQLite's unix locks live: the shared-lock bytes of the database file
// and the "in use" byte of the shared-memory index.
constexpr off_t kSharedFirst = 0x40000002;
constexpr off_t kSharedSize = 510;
constexpr off_t kShmInUseByte = 128;

// Opens path and read-locks [start, start + length) for this descriptor.
int lockedDescriptor(const QString &path, off_t start, off_t length, QString *reason)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *reason = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    struct flock lock
    {
    };
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    lock.l_pid = 0; // required for open-file-description locks
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        *reason = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

LockGuard::~LockGuard()
{
    release();
}

bool LockGuard::hold(const QString &databasePath, QString *reason)
{
    release();
    m_dbFd = lockedDescriptor(databasePath, kSharedFirst, kSharedSize, reason);
    if (m_dbFd < 0)
        return false;
    m_shmFd = lockedDescriptor(databasePath + QStringLiteral("-shm"), kShmInUseByte, 1, reason);
    if (m_shmFd < 0) {
        release();
        return false;
    }
    return true;
}

void LockGuard::release()
{
    // Closing these descriptors also drops this process's own record locks on
    // the files; the database is about to close, which takes them anew if it
    // needs them.
    for (int *fd : {&m_shmFd, &m_dbFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

} // namespace lapvane
