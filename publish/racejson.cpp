// The race and the stage results as live data: reading, ranking, JSON.
#include "publish/racejson.h"

#include "competition/raceformat.h"
#include "competition/racelimits.h"
#include "competition/stagedeciding.h"
#include "store/database.h"
#include "store/laptime.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

namespace lapvane {

namespace {

QJsonValue msOrNull(qint64 ms)
{
    return ms < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(double(ms));
}

QString textOrDash(qint64 ms)
{
    return ms < 0 ? QStringLiteral("-") : ms2minsecmstext(ms);
}

// A stored time: the "not set" value reads as null.
QJsonValue storedMs(const QVariant &v)
{
    const qint64 ms = v.toLongLong();
    return v.isNull() || ms >= kNoTimeMs ? QJsonValue(QJsonValue::Null) : QJsonValue(double(ms));
}

} // namespace

int wholeNumberOr(const QString &text, int fallback)
{
    int value = 0;
    return parseWholeNumber(text, &value) ? value : fallback;
}

QString raceStateText(RaceState state)
{
    switch (state) {
    case RaceState::NotStarted: return QStringLiteral("not started");
    case RaceState::Running: return QStringLiteral("running");
    case RaceState::Finished: return QStringLiteral("finished");
    }
    return {};
}

bool readRaceSnapshot(QSqlDatabase db, const RaceStatus &status, RaceSnapshot *out, QString *error)
{
    RaceSnapshot race;
    race.clockMs = status.clockMs;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT pilotid, pilotname, nickname, pilotteam, \"group\", vtx, pilottrans, "
                               "confirmed, lapno, place FROM onerace ORDER BY id ASC"))) {
        *error = q.lastError().text();
        return false;
    }
    QHash<int, int> indexOf; // pilot id -> index in race.pilots (the first row of a pilot)
    bool anyLaps = false;
    while (q.next()) {
        LivePilot p;
        p.pilotId = q.value(0).toInt();
        p.name = q.value(1).toString();
        p.nickname = q.value(2).toString();
        p.team = q.value(3).toString();
        p.group = q.value(4).toString();
        p.vtx = q.value(5).toString();
        p.transponder = q.value(6).toLongLong();
        p.confirmed = q.value(7).toString() == QLatin1String("Y");
        p.laps = q.value(8).toInt();
        p.storedPlace = q.value(9).isNull() ? kNoPlace : q.value(9).toInt();
        anyLaps = anyLaps || p.laps > 0;
        if (!indexOf.contains(p.pilotId))
            indexOf.insert(p.pilotId, int(race.pilots.size()));
        race.pilots.append(p);
    }
    q.finish();
    if (!q.exec(QStringLiteral("SELECT pilotid, lapn, laptime FROM laps WHERE pilotid IN "
                               "(SELECT pilotid FROM onerace) ORDER BY pilotid ASC, lapn ASC, id ASC"))) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        const auto it = indexOf.constFind(q.value(0).toInt());
        if (it == indexOf.constEnd())
            continue;
        LivePilot &p = race.pilots[*it];
        const int lapn = q.value(1).toInt();
        if (lapn < 1 || lapn > p.laps)
            continue;
        const qint64 raceMs = q.value(2).toLongLong();
        const qint64 previous = p.lapList.isEmpty() ? 0 : p.lapList.constLast().raceMs;
        p.lapList.append(LiveLap{lapn, raceMs, raceMs - previous});
    }
    // A pilot listed twice (two rows of one pilot) shows the same laps on both.
    for (LivePilot &p : race.pilots) {
        const LivePilot &first = race.pilots[indexOf.value(p.pilotId)];
        if (&first != &p) {
            p.lapList.clear();
            for (const LiveLap &l : first.lapList) {
                if (l.lapn <= p.laps)
                    p.lapList.append(l);
            }
        }
    }
    if (status.running)
        race.state = RaceState::Running;
    else if (status.finished || anyLaps)
        race.state = RaceState::Finished;
    else
        race.state = RaceState::NotStarted;
    if (status.stageId > 0) {
        race.rules = raceRules(db, status.stageId, nullptr); // an unknown format ranks as the default
        race.formatKey = formatKey(race.rules.format);
    }
    rankPilots(&race);
    *out = race;
    return true;
}

void rankPilots(RaceSnapshot *race)
{
    bool allPlaced = !race->pilots.isEmpty();
    for (LivePilot &p : race->pilots) {
        p.lastLapMs = p.bestLapMs = p.totalMs = -1;
        for (const LiveLap &l : p.lapList) {
            p.lastLapMs = l.lapMs;
            p.totalMs = l.raceMs;
            if (p.bestLapMs < 0 || l.lapMs < p.bestLapMs)
                p.bestLapMs = l.lapMs;
        }
        allPlaced = allPlaced && p.storedPlace >= 1 && p.storedPlace < kNoPlace;
    }
    const bool keepStored = race->state == RaceState::Finished && allPlaced;
    // The finish's rule; pilots it leaves tied stand in channel order.
    std::stable_sort(race->pilots.begin(), race->pilots.end(),
                     [](const LivePilot &a, const LivePilot &b) { return a.vtx < b.vtx; });
    QList<RaceEntry> entries;
    for (const LivePilot &p : std::as_const(race->pilots)) {
        RaceEntry e;
        for (const LiveLap &l : p.lapList)
            e.passesMs << l.raceMs;
        entries << e;
    }
    QList<LivePilot> ranked;
    for (const RankedEntry &r : rankRace(race->rules.format, rankingOptions(race->rules), entries)) {
        ranked << race->pilots.at(r.index);
        ranked.last().place = r.place;
        ranked.last().deciding = r.decidingText;
    }
    if (keepStored) {
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const LivePilot &a, const LivePilot &b) { return a.storedPlace < b.storedPlace; });
        for (LivePilot &p : ranked)
            p.place = p.storedPlace;
    }
    race->pilots = ranked;
}

QJsonObject raceJson(const RaceSnapshot &race)
{
    QJsonArray pilots;
    for (const LivePilot &p : race.pilots) {
        pilots.append(QJsonObject{
            {QStringLiteral("pilotid"), p.pilotId},
            {QStringLiteral("name"), p.name},
            {QStringLiteral("nickname"), p.nickname},
            {QStringLiteral("team"), p.team},
            {QStringLiteral("group"), p.group},
            {QStringLiteral("vtx"), p.vtx},
            {QStringLiteral("transponder"), double(p.transponder)},
            {QStringLiteral("confirmed"), p.confirmed},
            {QStringLiteral("laps"), p.laps},
            {QStringLiteral("lastLapMs"), msOrNull(p.lastLapMs)},
            {QStringLiteral("lastLap"), textOrDash(p.lastLapMs)},
            {QStringLiteral("bestLapMs"), msOrNull(p.bestLapMs)},
            {QStringLiteral("bestLap"), textOrDash(p.bestLapMs)},
            {QStringLiteral("totalTimeMs"), msOrNull(p.totalMs)},
            {QStringLiteral("totalTime"), textOrDash(p.totalMs)},
            {QStringLiteral("place"), p.place},
            {QStringLiteral("deciding"), p.deciding},
        });
    }
    return QJsonObject{
        {QStringLiteral("state"), raceStateText(race.state)},
        {QStringLiteral("clockMs"), double(race.clockMs)},
        {QStringLiteral("lapLimit"), race.lapLimit},
        {QStringLiteral("timeLimitMin"), race.timeLimitMin},
        {QStringLiteral("event"), race.eventName},
        {QStringLiteral("stage"), race.stageName},
        {QStringLiteral("format"), race.formatKey.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(race.formatKey)},
        {QStringLiteral("pilots"), pilots},
    };
}

QJsonObject lapJson(const LiveLap &lap)
{
    return QJsonObject{{QStringLiteral("lapn"), lap.lapn},
                       {QStringLiteral("lapTimeMs"), double(lap.lapMs)},
                       {QStringLiteral("lapTime"), ms2minsecmstext(lap.lapMs)},
                       {QStringLiteral("raceTimeMs"), double(lap.raceMs)}};
}

QJsonObject pilotLapsJson(const LivePilot &pilot)
{
    QJsonArray laps;
    for (const LiveLap &l : pilot.lapList)
        laps.append(lapJson(l));
    return QJsonObject{{QStringLiteral("pilotid"), pilot.pilotId},
                       {QStringLiteral("name"), pilot.name},
                       {QStringLiteral("laps"), laps}};
}

bool readResultsJson(QSqlDatabase db, int stageId, const QString &stageName, const QString &orderField,
                     bool descending, QJsonObject *out, QString *error)
{
    const QSqlRecord fields = db.record(QStringLiteral("results"));
    QString order = QStringLiteral(" ORDER BY id ASC");
    // Only a field the table really has is put into the statement.
    if (fields.indexOf(orderField) >= 0) {
        order = QStringLiteral(" ORDER BY \"%1\" %2, id ASC")
                    .arg(fields.fieldName(fields.indexOf(orderField)),
                         descending ? QStringLiteral("DESC") : QStringLiteral("ASC"));
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT pilotid, pilotname, nickname, pilotteam, \"group\", vtx, place, wins, lapno, "
                             "besttime, besttimetxt, totaltime, totaltimetxt, qualtime, qualtimetxt "
                             "FROM results WHERE stage=?")
              + order);
    q.addBindValue(stageId);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    QHash<int, StageDeciding> deciding;
    if (!readStageDeciding(db, stageId, &deciding, error))
        return false;
    QJsonArray rows;
    while (q.next()) {
        rows.append(QJsonObject{
            {QStringLiteral("pilotid"), q.value(0).toInt()},
            {QStringLiteral("name"), q.value(1).toString()},
            {QStringLiteral("nickname"), q.value(2).toString()},
            {QStringLiteral("team"), q.value(3).toString()},
            {QStringLiteral("group"), q.value(4).toString()},
            {QStringLiteral("vtx"), q.value(5).toString()},
            {QStringLiteral("place"), q.value(6).isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(q.value(6).toInt())},
            {QStringLiteral("wins"), q.value(7).toInt()},
            {QStringLiteral("laps"), q.value(8).toInt()},
            {QStringLiteral("bestLapMs"), storedMs(q.value(9))},
            {QStringLiteral("bestLap"), q.value(10).toString()},
            {QStringLiteral("totalTimeMs"), storedMs(q.value(11))},
            {QStringLiteral("totalTime"), q.value(12).toString()},
            {QStringLiteral("qualTimeMs"), storedMs(q.value(13))},
            {QStringLiteral("qualTime"), q.value(14).toString()},
            {QStringLiteral("deciding"), deciding.contains(q.value(0).toInt())
                                             ? QJsonValue(deciding.value(q.value(0).toInt()).text)
                                             : QJsonValue(QJsonValue::Null)},
        });
    }
    *out = QJsonObject{{QStringLiteral("stageId"), stageId},
                       {QStringLiteral("stage"), stageName},
                       {QStringLiteral("format"), stageId > 0 ? QJsonValue(formatKey(raceRules(db, stageId, nullptr).format))
                                                              : QJsonValue(QJsonValue::Null)},
                       {QStringLiteral("orderBy"), fields.indexOf(orderField) >= 0
                                                       ? orderField + (descending ? QStringLiteral(" DESC")
                                                                                  : QStringLiteral(" ASC"))
                                                       : QString()},
                       {QStringLiteral("results"), rows}};
    return true;
}

QByteArray sseMessage(qint64 id, const QJsonObject &data)
{
    // Compact JSON holds no line breaks, so it is one "data:" line.
    return "id: " + QByteArray::number(id) + "\ndata: " + QJsonDocument(data).toJson(QJsonDocument::Compact)
           + "\n\n";
}

} // namespace lapvane
