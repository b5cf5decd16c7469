// Simulated timing receivers: each takes the bytes the host writes, answers
// them the way the device does, and sends passes when told to. Output goes
// through a sink function, so the same receiver serves a pseudo-terminal, a
// UDP link or a test.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <optional>

namespace lapvane::sim {

class ReceiverSim : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(const QByteArray &)>;
    enum class Mode { Idle, Registration, Race };

    explicit ReceiverSim(QObject *parent = nullptr);
    // Where the receiver's bytes go.
    void setSink(Sink sink) { m_sink = std::move(sink); }
    // Bytes the host wrote to the receiver.
    virtual void fromHost(const QByteArray &bytes) = 0;
    // A pass of a transponder (or, for the Chorus RF, of a module) now, or
    // at the given device clock.
    virtual void pass(qint32 who, std::optional<quint32> clockMs = std::nullopt) = 0;
    // The device's own clock in ms.
    quint32 clockMs() const { return quint32(m_clock.elapsed()) + m_clockOffsetMs; }
    void setClockOffsetMs(quint32 ms) { m_clockOffsetMs = ms; }
    Mode mode() const { return m_mode; }
    virtual QString name() const = 0;
    // Bytes sent as they stand (garbage, half records).
    void sendRaw(const QByteArray &bytes) { send(bytes); }

signals:
    // The host started a race (race mode, time sync or start ping).
    void raceStarted();
    // The host put the receiver into registration mode.
    void registrationStarted();
    // Something worth telling the operator of the simulator.
    void note(const QString &text);

protected:
    void send(const QByteArray &bytes);
    void setMode(Mode mode);
    // For receivers that speak in lines: splits the host's bytes into lines,
    // line ends stripped, for handleLine(). A lone "." (the line check) and
    // runaway text without a line end are dropped.
    void takeLines(const QByteArray &bytes);
    virtual void handleLine(const QByteArray &) {}

private:
    Sink m_sink;
    QByteArray m_linePending;
    QElapsedTimer m_clock;
    quint32 m_clockOffsetMs = 100000;
    Mode m_mode = Mode::Idle;
};

// The Lapvane gate: one-byte commands, binary replies, 6-byte pass records
// (sent only in registration and race mode, as the gate does).
class GateSim : public ReceiverSim
{
    Q_OBJECT
public:
    using ReceiverSim::ReceiverSim;
    void fromHost(const QByteArray &bytes) override;
    void pass(qint32 id, std::optional<quint32> clockMs = std::nullopt) override;
    QString name() const override { return QStringLiteral("Lapvane gate"); }
    QList<quint16> ids() const { return m_ids; }
    // The answer to "t": '2', or '3' for the internal timer.
    void setTimerReply(char reply) { m_timerReply = reply; }

private:
    QByteArray m_pending;
    QList<quint16> m_ids;
    quint16 m_raceCounter = 0;
    char m_timerReply = '3';
};

// The VS TimeMachine's text protocol, line by line (a datagram is a line).
class VsSim : public ReceiverSim
{
    Q_OBJECT
public:
    explicit VsSim(QObject *parent = nullptr);
    void fromHost(const QByteArray &bytes) override;
    void pass(qint32 id, std::optional<quint32> clockMs = std::nullopt) override;
    QString name() const override { return QStringLiteral("VS TimeMachine"); }
    // Sends "ping:<clock>," every intervalMs (0: never).
    void setPingIntervalMs(int intervalMs);
    void ping();
    // Laps sent and not yet acknowledged with "lapreceived".
    QList<int> unacknowledged() const { return m_unacked; }

private:
    void handleLine(const QByteArray &line) override;

    QTimer m_pingTimer;
    int m_packet = 0;
    QList<int> m_unacked;
};

// The Chorus RF stack: newline-ended text commands, lap lines per module,
// tuning echoes and RSSI readings.
class ChorusSim : public ReceiverSim
{
    Q_OBJECT
public:
    explicit ChorusSim(int modules = 4, QObject *parent = nullptr);
    void fromHost(const QByteArray &bytes) override;
    // who is the module number.
    void pass(qint32 module, std::optional<quint32> clockMs = std::nullopt) override;
    QString name() const override { return QStringLiteral("Chorus RF"); }
    int moduleCount() const { return m_modules; }

private:
    void handleLine(const QByteArray &line) override;

    int m_modules;
    quint32 m_raceStartMs = 0;
    QList<int> m_frequencyMhz;
    QList<int> m_lapCount;
};

} // namespace lapvane::sim
