// The MQTT outbox table.
#include "publish/mqttoutbox.h"

#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

bool MqttOutbox::open(QString *error)
{
    if (m_open)
        return true;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS mqttoutbox (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                               "topic TEXT NOT NULL, payload BLOB NOT NULL)"))) {
        *error = q.lastError().text();
        return false;
    }
    m_open = true;
    return true;
}

qint64 MqttOutbox::add(const QString &topic, const QByteArray &payload, QString *error)
{
    if (!open(error))
        return 0;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO mqttoutbox (topic, payload) VALUES (?, ?)"));
    q.addBindValue(topic);
    q.addBindValue(payload);
    if (!q.exec()) {
        *error = q.lastError().text();
        return 0;
    }
    return q.lastInsertId().toLongLong();
}

bool MqttOutbox::remove(qint64 id, QString *error)
{
    if (!open(error))
        return false;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM mqttoutbox WHERE id=?"));
    q.addBindValue(id);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

bool MqttOutbox::all(QList<Message> *out, QString *error)
{
    out->clear();
    if (!open(error))
        return false;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id, topic, payload FROM mqttoutbox ORDER BY id ASC"))) {
        *error = q.lastError().text();
        return false;
    }
    while (q.next())
        out->append(Message{q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toByteArray()});
    return true;
}

int MqttOutbox::count()
{
    QString error;
    if (!open(&error))
        return -1;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM mqttoutbox")) || !q.next())
        return -1;
    return q.value(0).toInt();
}

} // namespace lapvane
