// Turns SIGTERM and SIGINT into a Qt signal on the main thread.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace lapvane {

class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace lapvane
