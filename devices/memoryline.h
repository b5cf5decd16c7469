// A serial line held in memory, for byte-exact tests and the benchmark: the
// test plays the receiver by queueing its bytes and reading what the host sent.
#pragma once

#include "devices/serialline.h"

#include <QMutex>
#include <QWaitCondition>

#include <functional>

namespace lapvane {

class MemoryLine : public SerialLine
{
    Q_OBJECT
public:
    explicit MemoryLine(QObject *parent = nullptr) : SerialLine(parent) {}

    // The receiver's side; safe from any thread.
    void receiverSends(const QByteArray &bytes);
    // Everything the host wrote since the last call.
    QByteArray takeHostBytes();
    // Everything the host wrote since the line was made (or cleared).
    QByteArray hostHistory() const;
    void clearHistory();
    // Called for each host write; its result is queued as the receiver's
    // answer. Runs on the writing thread.
    void setResponder(std::function<QByteArray(const QByteArray &)> responder);
    // The next open() fails with this text (empty: opens normally).
    void setOpenFailure(const QString &reason);
    // The receiver is unplugged: the line is lost as a real port would be.
    void unplug(const QString &reason = QStringLiteral("receiver unplugged"));

protected:
    bool openPort(QString *error) override;
    void closePort() override;
    bool portIsOpen() const override;
    void clearPort() override;
    qint64 portBytesWaiting() const override;
    QByteArray readPort(qint64 maxBytes) override;
    bool writePort(const QByteArray &bytes, QString *error) override;
    bool waitForMoreInput(int timeoutMs) override;

private:
    mutable QMutex m_mutex;
    QWaitCondition m_arrived;
    QByteArray m_input;
    QByteArray m_output;
    QByteArray m_history;
    bool m_open = false;
    QString m_openFailure;
    std::function<QByteArray(const QByteArray &)> m_responder;
};

} // namespace lapvane
