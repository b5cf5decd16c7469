// The live data behind the built-in web server, refreshed on each change.
#include "publish/livefeed.h"

#include "competition/racelimits.h"
#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "publish/liveserver.h"
#include "store/laptime.h"

#include <QJsonDocument>
#include <QSqlRecord>

namespace lapvane {

LiveFeed::LiveFeed(QSqlDatabase db, Settings &settings, OperatorLog &log, const CurrentSelection *selection,
                   LiveServer &server, QObject *parent)
    : QObject(parent), m_db(db), m_settings(settings), m_log(log), m_selection(selection), m_server(server)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &LiveFeed::flush);
}

bool LiveFeed::active() const
{
    return m_server.isRunning() || m_extraConsumer;
}

void LiveFeed::queue(const QJsonObject &message)
{
    if (!active())
        return;
    if (!message.isEmpty())
        m_pending.append(Pending{message});
    m_raceDirty = true;
    m_flushTimer.start();
}

void LiveFeed::lapCounted(const CountedLap &lap)
{
    queue(QJsonObject{{QStringLiteral("type"), QStringLiteral("lap")},
                      {QStringLiteral("pilotid"), lap.pilotId},
                      {QStringLiteral("lapn"), lap.lapn},
                      {QStringLiteral("lapTimeMs"), double(lap.lapMs)},
                      {QStringLiteral("lapTime"), ms2minsecmstext(lap.lapMs)},
                      {QStringLiteral("raceTimeMs"), double(lap.raceMs)}});
}

void LiveFeed::lapsCorrected(int pilotId)
{
    queue(QJsonObject{{QStringLiteral("type"), QStringLiteral("lapchange")}, {QStringLiteral("pilotid"), pilotId}});
}

void LiveFeed::raceStarted()
{
    m_finished = false;
    queue(QJsonObject{{QStringLiteral("type"), QStringLiteral("start")}});
}

void LiveFeed::raceFinished()
{
    m_finished = true;
    queue(QJsonObject{{QStringLiteral("type"), QStringLiteral("finish")}});
    resultsChanged();
}

void LiveFeed::raceListChanged()
{
    queue(QJsonObject{{QStringLiteral("type"), QStringLiteral("racelist")}});
}

void LiveFeed::resultsChanged()
{
    if (!active())
        return;
    m_resultsDirty = true;
    m_flushTimer.start();
}

void LiveFeed::refreshAll()
{
    m_raceDirty = true;
    m_resultsDirty = true;
    m_lastRaceBody.clear();
    flush();
}

void LiveFeed::flush()
{
    m_flushTimer.stop();
    const QList<Pending> pending = std::exchange(m_pending, {});
    if (!active()) {
        m_raceDirty = m_resultsDirty = false;
        return;
    }
    if (m_resultsDirty) {
        m_resultsDirty = false;
        publishResults();
    }
    if (!m_raceDirty)
        return;
    m_raceDirty = false;

    RaceStatus status = m_status ? m_status() : RaceStatus{};
    status.stageId = m_selection ? m_selection->currentStageId() : 0;
    bool finishPending = false;
    for (const Pending &p : pending)
        finishPending = finishPending || p.message.value(QStringLiteral("type")) == QLatin1String("finish");
    status.finished = m_finished;
    RaceSnapshot race;
    QString error;
    if (!readRaceSnapshot(m_db, status, &race, &error)) {
        // Once per spell of failures; the data served stays as it was.
        if (!m_failing)
            m_log.savelog(QStringLiteral("Web server: cannot read the race for the live data: ") + error);
        m_failing = true;
        return;
    }
    m_failing = false;
    QSet<int> pilots;
    for (const LivePilot &p : race.pilots)
        pilots.insert(p.pilotId);
    // Another group in the list: the finish seen belonged to the last one.
    if (pilots != m_lastPilots && !status.running && !finishPending && m_finished) {
        m_finished = false;
        status.finished = false;
        if (!readRaceSnapshot(m_db, status, &race, &error))
            return;
    }
    m_lastPilots = pilots;
    // A race that is not running stands at its last counted pass.
    if (!status.running) {
        race.clockMs = 0;
        for (const LivePilot &p : race.pilots)
            race.clockMs = qMax(race.clockMs, p.totalMs);
    }
    // The limits the race runs by: the Race page's, or the stage's in a format.
    const RaceLimits limits =
        raceLimits(race.rules, wholeNumberOr(m_settings.text(QStringLiteral("edtlaps")), 0),
                   wholeNumberOr(m_settings.text(QStringLiteral("edttimelimit")), 0), false);
    race.lapLimit = limits.format == RaceFormat::LapsAndTime || limits.format == RaceFormat::FirstToLaps
                        ? limits.options.lapLimit
                        : 0;
    race.timeLimitMin = int(limits.options.timeLimitMs / 60000);
    if (m_selection) {
        race.eventName = m_selection->currentEventName();
        race.stageName = m_selection->currentStageName();
    }

    QJsonObject json = raceJson(race);
    QJsonObject body = json;
    body.remove(QStringLiteral("clockMs"));
    const QByteArray bodyBytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
    const bool changed = bodyBytes != m_lastRaceBody;
    m_lastRaceBody = bodyBytes;

    m_server.publishRace(json, status.running, race.clockMs);
    emit raceJsonReady(json);
    QHash<int, QByteArray> laps;
    for (const LivePilot &p : race.pilots) {
        if (!laps.contains(p.pilotId))
            laps.insert(p.pilotId, QJsonDocument(pilotLapsJson(p)).toJson(QJsonDocument::Compact));
    }
    m_server.publishLaps(laps);

    // A change of the list alone says nothing the other messages of this
    // round do not, and is not sent when the race reads the same as before.
    bool richer = false;
    for (const Pending &p : pending)
        richer = richer || p.message.value(QStringLiteral("type")) != QLatin1String("racelist");
    bool listSent = false;
    for (const Pending &p : pending) {
        const bool listOnly = p.message.value(QStringLiteral("type")) == QLatin1String("racelist");
        if (listOnly && (richer || !changed || listSent))
            continue;
        listSent = listSent || listOnly;
        QJsonObject message = p.message;
        message.insert(QStringLiteral("race"), json);
        m_server.push(message);
    }
}

void LiveFeed::publishResults()
{
    const int stageId = m_selection ? m_selection->currentStageId() : 0;
    const QString stageName = m_selection ? m_selection->currentStageName() : QString();
    const QSqlRecord fields = m_db.record(QStringLiteral("results"));
    const int sortIndex = m_settings.integer(QStringLiteral("cbresfields"));
    const QString field = sortIndex >= 0 && sortIndex < fields.count() ? fields.fieldName(sortIndex) : QString();
    const bool descending = m_settings.integer(QStringLiteral("cbresfieldssort")) == 1;
    QJsonObject results;
    QString error;
    if (!readResultsJson(m_db, stageId, stageName, field, descending, &results, &error)) {
        m_log.savelog(QStringLiteral("Web server: cannot read the stage results for the live data: ") + error);
        return;
    }
    m_server.publishResults(QJsonDocument(results).toJson(QJsonDocument::Compact));
    emit resultsJsonReady(results);
}

} // namespace lapvane
