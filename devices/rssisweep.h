// The RSSI sweep (`trssi`): a worker thread that tunes Chorus RF module 0 to
// four channels in turn, reads one signal strength per channel and hands each
// reading to the window's chart as a point of series "CH 1" to "CH 4".
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include "core/wait.h"

class QThread;

namespace lapvane {

class ChorusRf;
class SerialLine;

// Thread safety: the sweep borrows the Chorus RF line for its whole run.
// measure() moves the line to the worker thread (ChorusRf::lendLine); only
// the worker uses it from then on, and before it ends it moves the line back
// to the main thread, where ChorusRf takes it again. While the line is lent
// the device poll skips the Chorus RF, and the Chorus commands (Set, the race
// start ping, Disconnect) stop the sweep and wait for the line first.
class RssiSweep : public QObject
{
    Q_OBJECT
public:
    explicit RssiSweep(ChorusRf &chorus, QObject *parent = nullptr);
    ~RssiSweep() override;

    // The four series of the chart, in channel order.
    static QStringList seriesTitles();

    // "Measure": nothing (false) when the Chorus RF port is closed. A sweep
    // already running is stopped first. Emits chartReset(), then points.
    bool measure();
    // "Stop": asks the sweep to end; it ends within one wait slice.
    void stop();
    // Stops and waits at most timeoutMs until the line is back; true when it is.
    bool stopAndWait(int timeoutMs = 3000);
    bool isRunning() const { return m_thread != nullptr; }
    // Bound of each wait for the module's answers (default 1000 ms).
    void setReplyTimeoutMs(int ms) { m_replyTimeoutMs = ms; }

signals:
    // Remove every series and axis default, then add the four of seriesTitles().
    void chartReset();
    // One reading (sent from the worker: connect with a receiver object so
    // that it arrives on that object's thread): channel 1 to 4, x the milliseconds since Measure, y the
    // RSSI value, and the time of day as the point's label.
    void pointAdded(int channel, qint64 x, int y, const QString &timeText);
    void runningChanged(bool running);

private:
    void run(SerialLine *line, QThread *home);
    void finishThread(int generation);

    ChorusRf &m_chorus;
    QThread *m_thread = nullptr;
    SerialLine *m_line = nullptr;
    int m_generation = 0;
    StopFlag m_stop;
    int m_replyTimeoutMs = 1000;
    QElapsedTimer m_rssitimer;
};

} // namespace lapvane
