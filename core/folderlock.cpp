// One running program per data folder: an flock() on a lock file.
#include "core/folderlock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace lapvane {

FolderLock::~FolderLock()
{
    release();
}

FolderLock::Result FolderLock::take(const QString &folder, qint64 *holderPid, QString *error)
{
    release();
    const QString path = QDir(folder).filePath(fileName());
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = QStringLiteral("Cannot make the lock file \"%1\": %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        if (cause == EWOULDBLOCK) {
            char text[32] = {};
            const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
            bool ok = false;
            const qint64 pid = n > 0 ? QByteArray(text, int(n)).trimmed().toLongLong(&ok) : 0;
            *holderPid = ok ? pid : 0;
            ::close(fd);
            return Result::HeldByOther;
        }
        *error = QStringLiteral("Cannot lock \"%1\": %2").arg(path, QString::fromLocal8Bit(std::strerror(cause)));
        ::close(fd);
        return Result::Failed;
    }
    // The holder's process id, for the next start's message.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    const bool written = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) == pid.size();
    Q_UNUSED(written) // the lock holds without the number; the next start names no pid
    m_fd = fd;
    return Result::Taken;
}

void FolderLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace lapvane
