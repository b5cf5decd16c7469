// Test rows read and written with plain SQL text.
#include "tests/common/sqlrows.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace lapvane::test {

namespace {

QStringList values(QSqlDatabase db, const QString &sql, bool wholeRow)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        return {QStringLiteral("failed: %1: %2").arg(sql, q.lastError().text())};
    QStringList out;
    while (q.next()) {
        QStringList fields;
        const int count = wholeRow ? q.record().count() : 1;
        for (int i = 0; i < count; ++i)
            fields << q.value(i).toString();
        out << fields.join(QLatin1Char(' '));
    }
    return out;
}

} // namespace

QStringList rows(QSqlDatabase db, const QString &sql)
{
    return values(db, sql, true);
}

QStringList column(QSqlDatabase db, const QString &sql)
{
    return values(db, sql, false);
}

int exec(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q.lastInsertId().toInt();
}

int insertRow(QSqlDatabase db, const QString &table, const QVariantMap &values)
{
    QStringList names, marks;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        names << QLatin1Char('"') + it.key() + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(','), marks.join(',')));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("insert into %s failed: %s", qPrintable(table), qPrintable(q.lastError().text()));
    return q.lastInsertId().toInt();
}

} // namespace lapvane::test
