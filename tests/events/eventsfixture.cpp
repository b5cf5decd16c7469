// Fixture of the events tests.
#include "tests/events/eventsfixture.h"

#include "tests/common/sqlrows.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace lapvane::test {

EventsFixture::EventsFixture()
{
    static int fixtures = 0;
    if (!db.open(dir.filePath(QLatin1String(kDatabaseFileName)), QStringLiteral("events%1").arg(++fixtures)))
        qFatal("cannot open test database: %s", qPrintable(db.error()));
    settings.set(QStringLiteral("chsavelogfile"), false);
    settings.set(QStringLiteral("chkconfirmAdd"), false);
    log = std::make_unique<OperatorLog>(settings, dir.path());
    logLines = std::make_unique<LogCapture>(*log);
    views = std::make_unique<EventsViews>(db.db(), settings, *log, prompt);
}

int EventsFixture::addEvent(const QString &name)
{
    return insertRow(db.db(), "events", {{"eventname", name}, {"date", QDate(2024, 5, 1)}});
}

int EventsFixture::addStage(int eventNum, const QString &name, int laplimit)
{
    return insertRow(db.db(), "stages",
                     {{"events", eventNum},
                      {"stagename", name},
                      {"laplimit", laplimit},
                      {"timelimit", 0},
                      {"tracklen", "0"},
                      {"starttime", "x"}});
}

int EventsFixture::addPilot(const QString &name, int trans, const QString &team)
{
    return insertRow(db.db(), "pilots", {{"name", name}, {"trans", trans}, {"team", team}});
}

int EventsFixture::addResult(int stage, int pilotId, const QString &name, int trans, const QString &group,
                             const QVariantMap &extra)
{
    QVariantMap v{{"stage", stage},         {"pilotid", pilotId},       {"pilotname", name},
                  {"nickname", name + "_n"}, {"pilotteam", "T"},        {"coptercolor", "red"},
                  {"pilottrans", trans},    {"group", group},           {"vtx", ""},
                  {"place", 999},           {"wins", 0},                {"lapno", 0},
                  {"besttime", kNoTimeMs},  {"besttimetxt", kNoTimeText}, {"totaltime", kNoTimeMs},
                  {"totaltimetxt", kNoTimeText}, {"qualtime", kNoTimeMs}, {"qualtimetxt", kNoTimeText}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        v[it.key()] = it.value();
    return insertRow(db.db(), "results", v);
}

int EventsFixture::addRaceRow(int pilotId, const QString &name, int trans, const QString &group)
{
    return insertRow(db.db(), "onerace",
                     {{"pilotid", pilotId},
                      {"pilotname", name},
                      {"pilottrans", trans},
                      {"group", group},
                      {"place", 999},
                      {"lapno", 0},
                      {"confirmed", "N"}});
}

QVariant EventsFixture::scalar(const QString &sql, const QVariantList &binds)
{
    const auto r = rows(sql, binds);
    return r.isEmpty() ? QVariant() : r.first().first();
}

QList<QVariantMap> EventsFixture::rows(const QString &sql, const QVariantList &binds)
{
    QSqlQuery q(db.db());
    q.prepare(sql);
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        qFatal("query failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    QList<QVariantMap> out;
    while (q.next()) {
        QVariantMap m;
        for (int i = 0; i < q.record().count(); ++i)
            m.insert(q.record().fieldName(i), q.value(i));
        out << m;
    }
    return out;
}

QStringList EventsFixture::column(const QString &field) const
{
    QStringList out;
    const SqlRowsModel &m = *views->resultsModel();
    for (int r = 0; r < m.rowCountValue(); ++r)
        out << m.value(r, field).toString();
    return out;
}

void EventsFixture::showStage(int stageId)
{
    if (!views->open())
        qFatal("views did not open");
    const int row = views->stagesModel()->rowOfKey(stageId);
    if (row < 0)
        qFatal("stage %d is not in the current event", stageId);
    views->selectStageRows({row});
}

} // namespace lapvane::test
