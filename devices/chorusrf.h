// The Chorus RF receiver on its serial line: connect with the module count,
// the poll branch that attributes a module's lap to a race-list row, the race
// start ping and the tuning of a module ("Set"). The RSSI sweep borrows the
// line through lendLine().
#pragma once

#include "core/receivers.h"
#include "devices/serialdevice.h"

#include <QStringList>

#include <functional>
#include <optional>

class QThread;

namespace lapvane {

class RaceListTable;

class ChorusRf : public SerialDevice
{
    Q_OBJECT
public:
    ChorusRf(const DeviceEnv &env, std::unique_ptr<SerialLine> line, QObject *parent = nullptr);

    // The race list whose rows the modules time (module 0 = first row shown).
    void setRaceList(const RaceListTable *raceList) { m_raceList = raceList; }

    // "Connect" on the Chorus RF page: port `com3select`, "R*v", the module
    // count "N0", and a wait for the answer that only `STOPFLAG` or closing
    // the port ends.
    void connectChorus();
    // "Disconnect" on the Chorus RF page (a running RSSI sweep stops first).
    void disconnectChorus();

    // The poll branch. taken tells whether a line was consumed: then the
    // result (a pass of source 3, or none for a line that is not a lap) is
    // final and the VS TimeMachine is not looked at in this poll.
    std::optional<Pass> takePass(bool *taken);

    // Race start ping "R*P": `starttimechorus` becomes 0 on an "R". Waits at
    // most timeoutMs; logs its lines and, on failure, its "STOP RACE MANUALLY" line.
    bool syncStart(const StopFlag &stop, int timeoutMs);
    // "Set": tunes module (text of `cbchorusmodule`) to the frequency in MHz
    // (text of `cbvtxch`); the outcome shows in the status text.
    void setChannel(const QString &module, const QString &frequencyMhz);
    // "?" line check.
    bool checkLine();

    // The module list of `cbchorusmodule` ("0" to n - 1).
    QStringList modules() const { return m_modules; }
    qint32 startTimeChorus() const { return m_startTimeChorus; }
    void setStartTimeChorus(qint32 ms) { m_startTimeChorus = ms; }

    // The RSSI sweep's use of the line. lendLine() moves the open, idle line
    // to the worker thread and returns it (nullptr when it cannot be lent);
    // the worker moves it back to this object's thread before it ends and
    // the sweep then calls lineReturned(). While lent, the poll skips the
    // Chorus RF and commands that need the line call the reclaimer first.
    SerialLine *lendLine(QThread *worker);
    void lineReturned() { m_lent = false; }
    bool isLent() const { return m_lent; }
    // Stops the borrower and waits until the line is back (bounded).
    void setReclaimer(std::function<void()> reclaim) { m_reclaim = std::move(reclaim); }

signals:
    void modulesChanged(const QStringList &modules);

private:
    void reclaim();
    // The next whole line, or nothing while its end has not arrived yet.
    std::optional<QByteArray> readLine();

    const RaceListTable *m_raceList = nullptr;
    std::function<void()> m_reclaim;
    QStringList m_modules;
    qint32 m_startTimeChorus = 0;
    // The start of a line whose end is still on its way: a line cut between
    // two reads is completed by the next one and judged only when whole.
    QByteArray m_partial;
};

} // namespace lapvane
