// Importing pilots from a CSV file.
#include "publish/pilotcsvimport.h"

#include "events/pilotregistry.h"
#include "publish/csvtable.h"
#include "store/transaction.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

namespace {

QString headerKey(const QString &text)
{
    QString key;
    for (const QChar ch : text.trimmed().toLower()) {
        if (!ch.isSpace() && ch != QLatin1Char('-') && ch != QLatin1Char('_') && ch != QLatin1Char('/')
            && ch != QLatin1Char('\'') && ch != QChar(0x2019))
            key += ch;
    }
    return key;
}

// The registry field a header names, empty for none.
QString fieldFor(const QString &header)
{
    static const QHash<QString, QString> fields = [] {
        QHash<QString, QString> f;
        for (const char *k : {"name", "pilotsname", "pilotname", "fullname", "fio", "фио", "имя", "пилот"})
            f.insert(QString::fromUtf8(k), QStringLiteral("name"));
        for (const char *k : {"nickname", "nick", "nickosd", "osd", "ник"})
            f.insert(QString::fromUtf8(k), QStringLiteral("nickname"));
        for (const char *k : {"team", "команда"})
            f.insert(QString::fromUtf8(k), QStringLiteral("team"));
        for (const char *k : {"city", "город"})
            f.insert(QString::fromUtf8(k), QStringLiteral("city"));
        for (const char *k : {"email", "mail", "login", "почта"})
            f.insert(QString::fromUtf8(k), QStringLiteral("login"));
        for (const char *k : {"telegramid", "telegram", "telegaid", "телеграм"})
            f.insert(QString::fromUtf8(k), QStringLiteral("telegaid"));
        return f;
    }();
    return fields.value(headerKey(header));
}

QString nameKey(const QString &name)
{
    return name.simplified().toCaseFolded();
}

} // namespace

QString PilotImport::summary() const
{
    return QStringLiteral("%1 added, %2 skipped").arg(added).arg(skipped);
}

PilotImport importPilotsCsv(QSqlDatabase db, const QByteArray &bytes)
{
    PilotImport result;
    QList<QStringList> rows;
    if (!parseCsv(bytes, &rows, &result.error))
        return result;
    if (rows.isEmpty()) {
        result.error = QStringLiteral("The file is empty: a header row naming the columns is needed.");
        return result;
    }
    const QStringList header = rows.takeFirst();
    QHash<QString, int> columnOf;
    for (int c = 0; c < header.size(); ++c) {
        const QString field = fieldFor(header.at(c));
        if (field.isEmpty())
            continue;
        if (columnOf.contains(field)) {
            result.error = QStringLiteral("Two columns of the header row (\"%1\" and \"%2\") both name the pilot's %3.")
                               .arg(header.at(columnOf.value(field)), header.at(c), field);
            return result;
        }
        columnOf.insert(field, c);
    }
    if (!columnOf.contains(QStringLiteral("name"))) {
        result.error = QStringLiteral("The header row has no \"name\" column (it reads: %1).")
                           .arg(header.join(QStringLiteral(", ")));
        return result;
    }
    for (int r = 0; r < rows.size(); ++r) {
        if (rows.at(r).size() > header.size()) {
            result.error = QStringLiteral("Row %1 has %2 fields, more than the %3 columns of the header row.")
                               .arg(r + 2)
                               .arg(rows.at(r).size())
                               .arg(header.size());
            return result;
        }
    }

    QSet<QString> known;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT name FROM pilots"))) {
        result.error = QStringLiteral("Cannot read the pilot registry: ") + q.lastError().text();
        return result;
    }
    while (q.next())
        known.insert(nameKey(q.value(0).toString()));
    q.finish();

    Transaction tx(db);
    if (!tx.isActive()) {
        result.error = QStringLiteral("Cannot store the pilots: ") + db.lastError().text();
        return result;
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO pilots (name, nickname, team, city, login, telegaid, trans) "
                                  "VALUES (?, ?, ?, ?, ?, ?, 0)"));
    auto value = [&columnOf](const QStringList &row, const char *field) {
        const int c = columnOf.value(QLatin1String(field), -1);
        // A cell the export marked against formulas reads back as it was.
        return c >= 0 && c < row.size() ? csvPlainCell(row.at(c).trimmed()).trimmed() : QString();
    };
    int added = 0, skipped = 0;
    for (const QStringList &row : std::as_const(rows)) {
        const QString name = value(row, "name");
        const QString key = nameKey(name);
        if (key.isEmpty() || known.contains(key)) {
            ++skipped;
            continue;
        }
        known.insert(key);
        QString login = value(row, "login");
        if (login.isEmpty())
            login = QStringLiteral("pilot%1@%2")
                        .arg(QRandomGenerator::global()->bounded(10000))
                        .arg(PilotRegistry::placeholderMailDomain());
        insert.bindValue(0, name);
        insert.bindValue(1, value(row, "nickname"));
        insert.bindValue(2, value(row, "team"));
        insert.bindValue(3, value(row, "city"));
        insert.bindValue(4, login);
        insert.bindValue(5, value(row, "telegaid"));
        if (!insert.exec()) {
            result.error = QStringLiteral("Cannot add the pilot \"%1\": %2").arg(name, insert.lastError().text());
            return result; // the transaction is rolled back
        }
        ++added;
    }
    if (!tx.commit()) {
        result.error = QStringLiteral("Cannot store the pilots: ") + db.lastError().text();
        return result;
    }
    result.ok = true;
    result.added = added;
    result.skipped = skipped;
    return result;
}

} // namespace lapvane
