// Turns SIGTERM and SIGINT into a Qt signal on the main thread, and ends every
// modal box once one arrived, so nothing waits for an operator who is not there.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;
class QWidget;

namespace lapvane {

class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    // A signal arrived: every modal box then open was rejected, and every one
    // shown from now on is rejected as it appears.
    bool requested() const { return m_requested; }
    // Closes window as soon as no command is in the middle of its work: no
    // modal box or menu runs its own event loop (a box just rejected returns
    // first, so its caller finishes before shutdown) and no wait is under way.
    // whileBusy runs on every look that finds a command still busy (to end
    // its waits).
    static void closeWhenFree(QWidget *window, const std::function<void()> &whileBusy = {});
    // A command is in the middle of its work on this thread.
    static bool commandBusy();

signals:
    void terminationRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void endModalBoxes();

    QSocketNotifier *m_notifier = nullptr;
    bool m_requested = false;
};

} // namespace lapvane
