// A stage's race format in the race database.
#include "competition/stageformat.h"

#include "store/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace lapvane {

namespace {

bool fail(const QString &text, QString *error)
{
    if (error)
        *error = text;
    return false;
}

bool hasTable(QSqlDatabase db)
{
    return db.tables().contains(QLatin1String(kStageFormatTable), Qt::CaseInsensitive);
}

} // namespace

bool readStageRules(QSqlDatabase db, int stageId, StageRules *out, QString *error)
{
    StageRules rules;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT laplimit, timelimit FROM stages WHERE id=?"));
    q.addBindValue(stageId);
    if (!q.exec())
        return fail(q.lastError().text(), error);
    if (!q.next())
        return fail(QStringLiteral("There is no stage %1.").arg(stageId), error);
    rules.options.lapLimit = std::max(0, q.value(0).toInt());
    rules.options.timeLimitMs = std::max<qint64>(0, q.value(1).toLongLong()) * 60000;
    q.finish();
    *out = rules;
    if (!hasTable(db))
        return true;
    q.prepare(QStringLiteral("SELECT format, gracems, holeshot FROM stageformat WHERE stage=?"));
    q.addBindValue(stageId);
    if (!q.exec())
        return fail(q.lastError().text(), error);
    if (!q.next())
        return true;
    const QString key = q.value(0).toString();
    rules.options.graceMs =
        q.value(1).isNull() ? FormatOptions{}.graceMs : std::max<qint64>(0, q.value(1).toLongLong());
    rules.options.holeShot = q.value(2).toString() == QLatin1String("Y");
    const auto format = formatFromKey(key);
    if (!format) {
        rules.options.holeShot = false;
        *out = rules;
        return fail(QStringLiteral("Stage %1 has an unknown race format \"%2\"; it is ranked as %3.")
                        .arg(stageId)
                        .arg(key, formatName(RaceFormat::LapsAndTime)),
                    error);
    }
    rules.format = *format;
    *out = rules;
    return true;
}

bool writeStageFormat(QSqlDatabase db, int stageId, RaceFormat format, qint64 graceMs, bool holeShot,
                      QString *error)
{
    Transaction tx(db);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT id FROM stages WHERE id=?"));
    q.addBindValue(stageId);
    if (!q.exec())
        return fail(q.lastError().text(), error);
    if (!q.next())
        return fail(QStringLiteral("There is no stage %1.").arg(stageId), error);
    q.finish();
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS stageformat (stage INTEGER PRIMARY KEY, "
                               "format TEXT NOT NULL, gracems INTEGER NOT NULL, holeshot TEXT NOT NULL)")))
        return fail(q.lastError().text(), error);
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO stageformat (stage, format, gracems, holeshot) VALUES (?,?,?,?)"));
    q.addBindValue(stageId);
    q.addBindValue(formatKey(format));
    q.addBindValue(std::max<qint64>(0, graceMs));
    q.addBindValue(holeShot ? QStringLiteral("Y") : QStringLiteral("N"));
    if (!q.exec())
        return fail(q.lastError().text(), error);
    if (!tx.commit())
        return fail(db.lastError().text(), error);
    return true;
}

} // namespace lapvane
