// A pseudo-terminal for a simulated receiver: the host opens the slave path
// as its serial port; the simulator reads and writes the master side.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace lapvane::sim {

class PtyLink : public QObject
{
    Q_OBJECT
public:
    explicit PtyLink(QObject *parent = nullptr);
    ~PtyLink() override;

    // Makes the pseudo-terminal (raw mode); false with error on failure.
    bool open(QString *error);
    // The path the host opens, such as /dev/pts/5.
    QString slavePath() const { return m_slavePath; }
    bool isOpen() const { return m_master >= 0; }
    // Bytes to the host.
    void write(const QByteArray &bytes);
    // The receiver is unplugged: both ends close and the host's port fails.
    void unplug();

signals:
    // Bytes the host wrote.
    void received(const QByteArray &bytes);

private:
    void readMaster();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace lapvane::sim
