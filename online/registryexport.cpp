// Sending a stage's results to the registry service.
#include "online/registryexport.h"

#include "online/lapspeed.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

RegistryExport::RegistryExport(QSqlDatabase db, RegistryClient &client, QObject *parent)
    : QObject(parent), m_db(db), m_client(client)
{
}

bool RegistryExport::speedText(const QString &raceDist, qint64 bestTimeMs, const QLocale &locale, QString *text,
                               QString *error)
{
    bool ok = false;
    locale.toDouble(raceDist, &ok);
    if (!ok) {
        *error = QStringLiteral("the track length \"%1\" is not a number").arg(raceDist);
        return false;
    }
    if (bestTimeMs <= 0) {
        *error = QStringLiteral("the best lap is %1 ms").arg(bestTimeMs);
        return false;
    }
    const std::optional<double> speed = lapspeed::kmh(raceDist, bestTimeMs, locale);
    if (!speed) {
        *error = QStringLiteral("the track length \"%1\" is out of range").arg(raceDist);
        return false;
    }
    // Written as the Telegram race result writes it.
    *text = lapspeed::text(*speed, locale);
    return true;
}

bool RegistryExport::buildQuery(const RegistryStage &stage, const RegistryResult &result,
                                const std::optional<QString> &login,
                                const QString &unic, const QString &salt, const QLocale &locale, FlyQuery *query,
                                QString *error)
{
    const QString raceDist = stage.tracklen.isEmpty() ? QStringLiteral("0") : stage.tracklen;
    QString speed;
    if (!speedText(raceDist, result.besttime, locale, &speed, error))
        return false;
    const QueryItems values = {
        {QStringLiteral("type"), QStringLiteral("1")},
        {QStringLiteral("email"), login ? *login : QStringLiteral("noemail")},
        {QStringLiteral("event_unic"), unic},
        {QStringLiteral("race_name"), stage.stagename},
        {QStringLiteral("race_laps"), stage.laplimit},
        {QStringLiteral("race_dist"), raceDist},
        {QStringLiteral("pilot_lap"), result.lapno},
        {QStringLiteral("best_lap"), result.besttimetxt},
        {QStringLiteral("avg_lap"), QStringLiteral("0")},
        {QStringLiteral("slow_lap"), QStringLiteral("0")},
        {QStringLiteral("pilot_speed"), speed},
        {QStringLiteral("pilot_position"), result.place},
    };
    QString signedText;
    for (const auto &item : values)
        signedText += item.second;
    signedText += salt;
    query->items = values;
    query->items.append({QStringLiteral("hash"), RegistryClient::signature(signedText)});
    query->signedText = signedText;
    return true;
}

void RegistryExport::add(const QString &line)
{
    m_log << line;
    emit lineAdded(line);
}

void RegistryExport::stop(const QString &message)
{
    add(message);
    m_running = false;
    m_rows.clear();
    emit failed(message);
    emit finished();
}

bool RegistryExport::start(const QString &unic, int stageId)
{
    if (m_running) {
        emit failed(QStringLiteral("The results are still being sent to Aerolist; wait until the log shows the end."));
        return false;
    }
    m_running = true;
    QString error;
    if (m_client.baseAddress(&error).isEmpty()) {
        stop(error);
        return false;
    }

    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT stagename, laplimit, tracklen FROM stages WHERE id=?"));
    q.addBindValue(stageId);
    if (!q.exec()) {
        stop(QStringLiteral("The stage could not be read: %1").arg(q.lastError().text()));
        return false;
    }
    m_stage = RegistryStage{stageId, {}, {}, {}};
    if (q.next()) {
        m_stage.stagename = q.value(0).toString();
        m_stage.laplimit = q.value(1).toString();
        m_stage.tracklen = q.value(2).toString();
    }

    q.prepare(QStringLiteral("SELECT pilotname, pilotid, lapno, besttime, besttimetxt, place FROM results "
                             "WHERE stage=? ORDER BY id"));
    q.addBindValue(stageId);
    if (!q.exec()) {
        stop(QStringLiteral("The stage results could not be read: %1").arg(q.lastError().text()));
        return false;
    }
    std::vector<RegistryResult> results;
    while (q.next()) {
        results.push_back({q.value(0).toString(), q.value(1).toInt(), q.value(2).toString(), q.value(3).toLongLong(),
                           q.value(4).toString(), q.value(5).toString()});
    }
    QHash<int, QString> logins;
    if (!q.exec(QStringLiteral("SELECT id, login FROM pilots"))) {
        stop(QStringLiteral("The pilot registry could not be read: %1").arg(q.lastError().text()));
        return false;
    }
    while (q.next())
        logins.insert(q.value(0).toInt(), q.value(1).toString());
    if (results.empty()) {
        stop(QStringLiteral("No stages found"));
        return false;
    }

    m_rows.clear();
    for (const RegistryResult &r : results) {
        const auto login = logins.constFind(r.pilotid);
        m_rows.emplace_back(r, login == logins.constEnd() ? std::nullopt : std::optional<QString>(*login));
    }
    m_unic = unic;
    m_salt = m_client.salt();
    m_next = 0;
    sendNext();
    return true;
}

void RegistryExport::sendNext()
{
    if (m_next >= m_rows.size()) {
        m_running = false;
        m_rows.clear();
        emit finished();
        return;
    }
    const auto &[result, login] = m_rows[m_next++];
    add(QStringLiteral("== %1 ==").arg(result.pilotname));
    FlyQuery query;
    QString error;
    if (!buildQuery(m_stage, result, login, m_unic, m_salt, m_locale, &query, &error)) {
        stop(QStringLiteral("Export stopped at %1: the speed cannot be computed, %2. The results above were sent.")
                 .arg(result.pilotname, error));
        return;
    }
    add(query.signedText);
    add(QStringLiteral("---"));
    add(RegistryClient::plainQuery(query.items));
    add(QStringLiteral("---"));
    const QUrl url = m_client.requestUrl(QStringLiteral("/rest_api/make_fly.php"), query.items, &error);
    if (url.isEmpty()) {
        stop(error);
        return;
    }
    m_client.sendOnce(url, QStringLiteral("Sending the result of %1").arg(result.pilotname), this,
                 [this](const RegistryReply &reply) {
                     if (reply.ok) {
                         add(QString::fromUtf8(reply.body));
                     } else {
                         add(QStringLiteral("Error posting data. Check internet connection."));
                         add(reply.error);
                     }
                     add(QStringLiteral("---"));
                     sendNext();
                 });
}

} // namespace lapvane
