// Turns SIGTERM and SIGINT into a Qt signal: the handler only writes a byte to
// a socket pair, which the main thread reads.
#include "app/signalwatcher.h"

#include "core/wait.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace lapvane {

namespace {

int g_fds[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0)
        return;
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_fds[1], &byte, 1);
        if (!m_requested) {
            m_requested = true;
            qApp->installEventFilter(this);
        }
        endModalBoxes();
        emit terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void SignalWatcher::endModalBoxes()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QDialog *>(w);
        if (dialog && dialog->isVisible() && dialog->isModal())
            dialog->reject();
    }
}

bool SignalWatcher::eventFilter(QObject *watched, QEvent *event)
{
    // A box shown after the signal (the next question of a start-up step)
    // ends as soon as it is up.
    if (event->type() == QEvent::Show) {
        auto *dialog = qobject_cast<QDialog *>(watched);
        if (dialog && dialog->isWindow() && dialog->isModal())
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

bool SignalWatcher::commandBusy()
{
    // The program's own event loop is the first level; a second one is a box,
    // a dialog or a menu that a command is waiting on.
    return QApplication::activeModalWidget() || QThread::currentThread()->loopLevel() > 1 ||
           waitsInProgress() > 0;
}

void SignalWatcher::closeWhenFree(QWidget *window, const std::function<void()> &whileBusy)
{
    if (commandBusy()) {
        // A menu open runs a loop of its own too: it closes, as boxes end.
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
        if (whileBusy)
            whileBusy();
        QTimer::singleShot(20, window, [window, whileBusy] { closeWhenFree(window, whileBusy); });
        return;
    }
    window->close();
}

SignalWatcher::~SignalWatcher()
{
    if (m_requested)
        qApp->removeEventFilter(this);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    if (g_fds[0] >= 0) {
        ::close(g_fds[0]);
        ::close(g_fds[1]);
        g_fds[0] = g_fds[1] = -1;
    }
}

} // namespace lapvane
