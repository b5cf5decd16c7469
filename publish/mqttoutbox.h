// Messages for the MQTT broker that it has not acknowledged yet, kept in the
// race database (table `mqttoutbox`, made the first time it is needed) so
// that they survive a lost connection and a program restart.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace lapvane {

class MqttOutbox
{
public:
    struct Message
    {
        qint64 id = 0; // in the order they were added
        QString topic;
        QByteArray payload;
    };

    explicit MqttOutbox(QSqlDatabase db) : m_db(db) {}

    // Makes the table when the file has none yet.
    bool open(QString *error);
    // The id of the message kept, or 0 with a message.
    qint64 add(const QString &topic, const QByteArray &payload, QString *error);
    bool remove(qint64 id, QString *error);
    // Every message waiting, oldest first.
    bool all(QList<Message> *out, QString *error);
    // How many wait; -1 when the table cannot be read.
    int count();

private:
    QSqlDatabase m_db;
    bool m_open = false;
};

} // namespace lapvane
