// Fixture of the publishing tests.
#include "tests/publish/publishfixture.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

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

int PublishFixture::insert(const QString &table, const QVariantMap &values)
{
    QStringList names, marks;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        names << QLatin1Char('"') + it.key() + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(','), marks.join(',')));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("insert into %s failed: %s", qPrintable(table), qPrintable(q.lastError().text()));
    return q.lastInsertId().toInt();
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

void PublishFixture::exec(const QString &sql)
{
    QSqlQuery q(db.db());
    if (!q.exec(sql))
        qFatal("%s failed: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

QString PublishFixture::writeFile(const QString &name, const QByteArray &content) const
{
    const QString p = dir.filePath(name);
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(p));
    return p;
}

QByteArray PublishFixture::readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace lapvane::test
