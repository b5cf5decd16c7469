// A pseudo-terminal for a simulated receiver.
#include "tools/receiversim/ptylink.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace lapvane::sim {

PtyLink::PtyLink(QObject *parent) : QObject(parent) {}

PtyLink::~PtyLink()
{
    unplug();
}

bool PtyLink::open(QString *error)
{
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(strerror(errno));
        m_master = m_slave = -1;
        return false;
    }
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // The slave stays open here too, so the terminal lives on while the
    // host closes and reopens its port.
    m_slavePath = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyLink::readMaster);
    return true;
}

void PtyLink::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            // The terminal's buffer is full: wait until the host reads.
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return;
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

void PtyLink::readMaster()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            emit received(QByteArray(buf, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return;
    }
}

void PtyLink::unplug()
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

} // namespace lapvane::sim
