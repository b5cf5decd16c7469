// The three timing receivers together.
#include "devices/timingdevices.h"

#include "core/cues.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/settings.h"
#include "core/wait.h"
#include "devices/serialportline.h"
#include "devices/vsprotocol.h"

namespace lapvane {

namespace {
std::unique_ptr<SerialLine> orPort(std::unique_ptr<SerialLine> line)
{
    return line ? std::move(line) : std::make_unique<SerialPortLine>();
}
} // namespace

TimingDevices::TimingDevices(const DeviceEnv &env, QSqlDatabase db, CuePlayer &cues,
                             OperatorPrompt *prompt, Lines lines, QObject *parent)
    : QObject(parent), m_env(env), m_cues(cues), m_prompt(prompt), m_raceList(db),
      m_lapvane(std::make_unique<LapvaneGate>(env, orPort(std::move(lines.lapvane)))),
      m_vs(std::make_unique<VsTimeMachine>(env, orPort(std::move(lines.vs)))),
      m_chorus(std::make_unique<ChorusRf>(env, orPort(std::move(lines.chorus)))),
      m_rssi(std::make_unique<RssiSweep>(*m_chorus))
{
    m_chorus->setRaceList(&m_raceList);
    m_lapvane->setRaceView([this]() -> std::optional<GateFramer::RaceView> {
        const std::optional<qint64> clock = m_raceClock ? m_raceClock() : std::nullopt;
        if (!clock)
            return std::nullopt;
        QString error;
        const auto rows = m_raceList.rows(&error);
        if (!rows) {
            // Without the race list nothing can be checked; the pass loop
            // meets the same store failure and reports it.
            return std::nullopt;
        }
        GateFramer::RaceView view;
        view.raceClockMs = *clock;
        for (const RaceListTable::Row &row : *rows)
            view.ids.insert(row.pilottrans);
        return view;
    });
    m_tmrregpilots.setObjectName(QStringLiteral("tmrregpilots"));
    m_tmrregpilots.setInterval(10);
    connect(&m_tmrregpilots, &QTimer::timeout, this, &TimingDevices::tmrregpilotsTimer);
    connect(&m_env.settings, &Settings::changed, this, &TimingDevices::onSettingChanged);
    if (m_env.settings.flag(QStringLiteral("chvstimeWifi")))
        onSettingChanged(QStringLiteral("chvstimeWifi"), true);
}

TimingDevices::~TimingDevices()
{
    shutdown();
}

void TimingDevices::shutdown()
{
    m_tmrregpilots.stop();
    m_rssi->stopAndWait(5000);
    m_lapvane->line().close();
    m_vs->line().close();
    m_chorus->line().close();
    m_vs->setWifiEnabled(false);
}

void TimingDevices::onSettingChanged(const QString &control, const QVariant &value)
{
    if (control != QLatin1String("chvstimeWifi") || m_revertingWifi)
        return;
    if (!m_vs->setWifiEnabled(value.toBool()) && value.toBool()) {
        // The socket could not be bound: the switch goes back off.
        m_revertingWifi = true;
        m_env.settings.set(QStringLiteral("chvstimeWifi"), false);
        m_revertingWifi = false;
    }
}

Pass TimingDevices::gettrans()
{
    if (const auto p = m_lapvane->takePass())
        return *p;
    bool taken = false;
    const auto c = m_chorus->takePass(&taken);
    if (taken)
        return c.value_or(Pass{});
    if (const auto v = m_vs->takePass())
        return *v;
    return {};
}

bool TimingDevices::comconnected() const
{
    return m_lapvane->isOpen() || m_vs->isOpen() || m_chorus->isOpen()
           || m_env.settings.flag(QStringLiteral("chvstimeWifi"));
}

bool TimingDevices::checkConnected()
{
    if (comconnected())
        return true;
    if (m_prompt)
        m_prompt->notice(QStringLiteral("Connect COM port or WiFi!"));
    emit settingsPageRequested();
    return false;
}

bool TimingDevices::syncVsSerial(const StopFlag &stop)
{
    return m_vs->syncSerial(stop, m_syncTimeoutMs);
}

bool TimingDevices::syncVsWifi(const StopFlag &stop)
{
    return m_vs->syncWifi(stop);
}

bool TimingDevices::syncLapvane(const StopFlag &stop)
{
    return m_lapvane->syncStart(stop, m_syncTimeoutMs);
}

bool TimingDevices::syncChorus(const StopFlag &stop)
{
    return m_chorus->syncStart(stop, m_syncTimeoutMs);
}

void TimingDevices::comdisconnectExecute()
{
    m_env.stop.raise();
    pause(100);
    m_lapvane->disconnectGate();
    m_vs->disconnectSerial();
}

void TimingDevices::raceregpilotsExecute()
{
    if (!checkConnected() || m_tmrregpilots.isActive())
        return;
    emit registrationChanged(true);
    if (m_lapvane->isOpen())
        m_lapvane->startRegistration();
    m_vs->prepareRegistration();
    m_env.stop.clear();
    m_tmrregpilots.start();
}

void TimingDevices::btn1Click()
{
    const bool was = m_tmrregpilots.isActive();
    m_tmrregpilots.stop();
    m_env.stop.raise();
    if (was)
        emit registrationChanged(false);
}

void TimingDevices::tmrregpilotsTimer()
{
    // A confirmation waiting for its answer keeps later passes in their buffers.
    if (m_confirming)
        return;
    const Pass pass = gettrans();
    if (pass.source == PassSource::None)
        return;
    m_env.log.savelog(QString::number(pass.recvid));
    QString error;
    const auto rows = m_raceList.rows(&error);
    if (!rows) {
        m_env.log.savelog(QStringLiteral("Cannot read the race list: ") + error);
        return;
    }
    for (const RaceListTable::Row &row : *rows) {
        if (row.pilottrans != pass.recvid)
            continue;
        if (row.confirmed != QLatin1String("Y")) {
            // Marked first, so that a tick during the confirmation's waits
            // finds the pilot confirmed already.
            if (!m_raceList.setConfirmed(row.rowId, QStringLiteral("Y"), &error)) {
                m_env.log.savelog(QStringLiteral("Cannot confirm ID %1: %2").arg(pass.recvid).arg(error));
                return;
            }
            emit raceListChanged();
            confirmID(row.rowId, pass.recvid);
        }
        return;
    }
    m_env.log.savelog(QStringLiteral("Unknown ID: %1").arg(pass.recvid));
}

bool TimingDevices::confirmID(int rowId, qint32 id)
{
    struct Guard
    {
        bool &flag;
        bool was;
        explicit Guard(bool &f) : flag(f), was(f) { flag = true; }
        ~Guard() { flag = was; }
    } guard(m_confirming);

    bool added = false;
    auto finish = [&] {
        if (m_env.settings.flag(QStringLiteral("chksounds")))
            m_cues.play(Cue::RegisterCheck);
        return added;
    };
    const QString problem = QStringLiteral("Problem reg with ID:%1").arg(id);
    if (m_lapvane->isOpen()) {
        // The gate keeps 16-bit ids.
        if (id < 0 || id > 0xFFFF || !m_lapvane->sendId(quint16(id)))
            m_env.log.savelog(problem);
        else
            added = true;
    }
    QString error;
    const auto rows = m_raceList.rows(&error);
    int position = 0;
    if (rows) {
        for (int i = 0; i < rows->size(); ++i) {
            if (rows->at(i).rowId == rowId)
                position = i + 1;
        }
    }
    if (position == 0) {
        m_env.log.savelog(problem);
        return finish();
    }
    const int code = vsproto::slotCode(position);
    m_env.log.savelog(QStringLiteral("recNo: %1").arg(vsproto::slotTableValue(position)));
    if (m_vs->wifiEnabled() && m_vs->searchWifi(id, code))
        added = true;
    if (m_vs->isOpen() && m_vs->searchSerial(id, code))
        added = true;
    if (added) {
        m_env.log.savelog(QStringLiteral("Added ID %1").arg(id));
        if (!m_raceList.setConfirmed(rowId, QStringLiteral("Y"), &error))
            m_env.log.savelog(problem);
        emit raceListChanged();
    } else {
        m_env.log.savelog(QStringLiteral("not added, received: ")
                          + QString::fromLatin1(m_vs->mailbox(VsTimeMachine::Mailbox::ConfirmIdOk)));
    }
    return finish();
}

void TimingDevices::racelistpilotsExecute()
{
    if (!checkConnected() || !m_lapvane->isOpen())
        return;
    m_lapvane->listPilots();
}

void TimingDevices::raceresetlistExecute()
{
    if (m_lapvane->isOpen())
        m_lapvane->clearList();
    QString error;
    if (!m_raceList.empty(&error))
        m_env.log.savelog(QStringLiteral("Cannot empty the race list: ") + error);
    emit raceListChanged();
}

void TimingDevices::btCheckComClick()
{
    m_env.log.savelog(QStringLiteral("Checking COM..."));
    if (m_lapvane->isOpen())
        m_env.log.savelog(m_lapvane->checkLine() ? QStringLiteral("Lapvane COM OK!")
                                                 : QStringLiteral("Lapvane COM ERROR!!"));
    if (m_vs->isOpen())
        m_env.log.savelog(m_vs->checkLine() ? QStringLiteral("VS TimeMachine COM OK!")
                                            : QStringLiteral("VS TimeMachine COM ERROR!!"));
    if (m_chorus->isOpen())
        m_env.log.savelog(m_chorus->checkLine() ? QStringLiteral("Chorus RF COM OK!")
                                                : QStringLiteral("Chorus RF COM ERROR!!"));
    m_env.log.savelog(QStringLiteral("Check done."));
}

void TimingDevices::setRaceListOrderBy(const QString &orderBy)
{
    if (!m_raceList.setOrderBy(orderBy))
        m_env.log.savelog(QStringLiteral("Race list order not understood: ") + orderBy);
}

void TimingDevices::setRaceRunningProbe(std::function<bool()> probe)
{
    m_vs->setRaceRunningProbe(std::move(probe));
}

void TimingDevices::setRaceClockProbe(std::function<std::optional<qint64>()> probe)
{
    m_raceClock = std::move(probe);
}

StartClocks TimingDevices::startClocks() const
{
    return StartClocks{{QStringLiteral("lapvane"), m_lapvane->startTimeRace()},
                       {QStringLiteral("vs"), m_vs->startTimeVs()},
                       {QStringLiteral("chorus"), m_chorus->startTimeChorus()}};
}

void TimingDevices::setStartClocks(const StartClocks &clocks)
{
    m_lapvane->setStartTimeRace(quint32(clocks.value(QStringLiteral("lapvane"))));
    m_vs->setStartTimeVs(qint32(clocks.value(QStringLiteral("vs"))));
    m_chorus->setStartTimeChorus(qint32(clocks.value(QStringLiteral("chorus"))));
}

} // namespace lapvane
