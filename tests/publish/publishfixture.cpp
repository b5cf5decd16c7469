// Fixture of the publishing tests.
#include "tests/publish/publishfixture.h"

namespace lapvane::test {

PublishFixture::PublishFixture()
{
    static int fixtures = 0;
    if (!db.open(dir.filePath(QLatin1String(kDatabaseFileName)), QStringLiteral("publish%1").arg(++fixtures)))
        qFatal("cannot open test database: %s", qPrintable(db.error()));
    settings.set(QStringLiteral("chsavelogfile"), false);
    log = std::make_unique<OperatorLog>(settings, dir.path());
    logLines = std::make_unique<LogCapture>(*log);
}

int PublishFixture::addRacePilot(int pilotId, const QString &name, const QString &vtx, const QVariantMap &extra)
{
    QVariantMap v{{"pilotid", pilotId},     {"pilotname", name},       {"nickname", name + "_n"},
                  {"pilotteam", "Team " + name}, {"coptercolor", "red"}, {"pilottrans", 100 + pilotId},
                  {"group", "1"},           {"vtx", vtx},              {"place", 999},
                  {"lapno", 0},             {"besttime", kNoTimeMs},   {"besttimetxt", "-"},
                  {"totaltime", kNoTimeMs}, {"totaltimetxt", "-"},     {"confirmed", "Y"}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        v[it.key()] = it.value();
    return insert(QStringLiteral("onerace"), v);
}

int PublishFixture::addLastRace(int pilotId, const QString &name, int place, const QVariantMap &extra)
{
    QVariantMap v{{"pilotid", pilotId},   {"pilotname", name},          {"nickname", name},
                  {"pilotteam", "LT"},    {"coptercolor", ""},          {"pilottrans", pilotId},
                  {"group", "2"},         {"vtx", "R1"},                {"place", place},
                  {"lapno", 3},           {"besttime", 12345},          {"besttimetxt", "000:12.345"},
                  {"totaltime", 40000},   {"totaltimetxt", "000:40.000"}, {"confirmed", "Y"}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        v[it.key()] = it.value();
    return insert(QStringLiteral("lastrace"), v);
}

int PublishFixture::addResult(int stage, int pilotId, const QString &name, const QVariantMap &extra)
{
    QVariantMap v{{"stage", stage},          {"pilotid", pilotId},          {"pilotname", name},
                  {"nickname", name},        {"pilotteam", "T"},            {"coptercolor", ""},
                  {"pilottrans", 0},         {"group", "1"},                {"vtx", "R1"},
                  {"place", 999},            {"wins", 0},                   {"lapno", 0},
                  {"besttime", kNoTimeMs},   {"besttimetxt", kNoTimeText},  {"totaltime", kNoTimeMs},
                  {"totaltimetxt", kNoTimeText}, {"qualtime", kNoTimeMs},   {"qualtimetxt", kNoTimeText}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        v[it.key()] = it.value();
    return insert(QStringLiteral("results"), v);
}

void PublishFixture::addLap(int pilotId, int lapn, int laptimeMs, const QString &laptimetxt)
{
    insert(QStringLiteral("laps"),
           {{"pilotid", pilotId}, {"lapn", lapn}, {"laptime", laptimeMs}, {"laptimetxt", laptimetxt}});
}

} // namespace lapvane::test
