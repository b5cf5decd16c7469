// The MQTT publisher: settings, topics, the outbox and corrections.
#include "publish/mqttpublisher.h"

#include "core/currentselection.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "publish/livefeed.h"
#include "publish/racejson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace lapvane {

namespace {

bool sameOptions(const MqttOptions &a, const MqttOptions &b)
{
    return a.host == b.host && a.port == b.port && a.tls == b.tls && a.caFile == b.caFile &&
           a.clientId == b.clientId && a.user == b.user && a.password == b.password &&
           a.statusTopic == b.statusTopic;
}

QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

bool parseMqttUrl(const QString &text, MqttOptions *options, QString *error)
{
    const QString t = text.trimmed();
    const QUrl url(t, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))) {
        *error =
            QStringLiteral("the broker address \"%1\" is not mqtt://host:port or mqtts://host:port").arg(t);
        return false;
    }
    if (url.host().isEmpty()) {
        *error = QStringLiteral("the broker address \"%1\" names no host").arg(t);
        return false;
    }
    if (!url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/")) ||
        url.hasQuery() || url.hasFragment()) {
        *error = QStringLiteral("the broker address \"%1\" holds more than a host and a port (the user and "
                                "password have fields of their own)")
                     .arg(url.host());
        return false;
    }
    options->tls = scheme == QLatin1String("mqtts");
    options->host = url.host();
    options->port = url.port(options->tls ? 8883 : 1883);
    if (options->port < 1 || options->port > 65535) {
        *error = QStringLiteral("the broker address \"%1\" has no valid port").arg(t);
        return false;
    }
    return true;
}

MqttPublisher::MqttPublisher(QSqlDatabase db, Settings &settings, OperatorLog &log,
                             const CurrentSelection *selection, LiveFeed *feed, QObject *parent)
    : QObject(parent), m_db(db), m_settings(settings), m_log(log), m_selection(selection), m_feed(feed),
      m_outbox(db)
{
    m_applyTimer.setSingleShot(true);
    m_applyTimer.setInterval(400); // typing an address restarts once, not per key
    connect(&m_applyTimer, &QTimer::timeout, this, &MqttPublisher::apply);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &MqttPublisher::flush);
    connect(&settings, &Settings::changed, this, [this](const QString &control, const QVariant &) {
        for (const char *c : {kEnabled, kUrl, kClientId, kUser, kPassword, kPrefix, kCaFile}) {
            if (control == QLatin1String(c))
                m_applyTimer.start();
        }
    });
    connect(&m_connection, &MqttConnection::connected, this, &MqttPublisher::onConnected);
    connect(&m_connection, &MqttConnection::disconnected, this, &MqttPublisher::onDisconnected);
    connect(&m_connection, &MqttConnection::acknowledged, this, &MqttPublisher::onAcknowledged);
    if (m_feed) {
        connect(m_feed, &LiveFeed::raceJsonReady, this, &MqttPublisher::publishRace);
        connect(m_feed, &LiveFeed::resultsJsonReady, this, &MqttPublisher::publishResults);
    }
}

MqttPublisher::~MqttPublisher()
{
    m_connection.stop();
}

void MqttPublisher::setRetryDelays(int firstMs, int maxMs)
{
    m_retryFirstMs = firstMs;
    m_retryMaxMs = maxMs;
}

QString MqttPublisher::masked(QString text) const
{
    if (!m_password.isEmpty())
        text.replace(m_password, QStringLiteral("****"));
    return text;
}

void MqttPublisher::setStatus(const QString &text)
{
    const QString shown = masked(text);
    if (shown == m_status)
        return;
    m_status = shown;
    emit statusChanged(shown);
}

QString MqttPublisher::eventTopicBase() const
{
    const int event = m_selection ? m_selection->currentEventNum() : 0;
    return m_prefix + QLatin1Char('/') + QString::number(event) + QLatin1Char('/');
}

void MqttPublisher::stop()
{
    m_applyTimer.stop();
    if (m_connection.isRunning()) {
        m_connection.stop();
        m_log.savelog(QStringLiteral("MQTT: disconnected from %1.").arg(m_brokerText));
    }
    m_connected = false;
    m_inFlight.clear();
    m_newLaps.clear();
    m_corrected.clear();
    m_runningOptions = MqttOptions{};
    if (m_feed)
        m_feed->setExtraConsumer(false);
    setStatus(QStringLiteral("Off"));
}

void MqttPublisher::apply()
{
    m_applyTimer.stop();
    if (!m_settings.flag(QLatin1String(kEnabled))) {
        stop();
        return;
    }
    MqttOptions options;
    options.retryFirstMs = m_retryFirstMs;
    options.retryMaxMs = m_retryMaxMs;
    QString error;
    const QString urlText = m_settings.text(QLatin1String(kUrl));
    QString prefix = m_settings.text(QLatin1String(kPrefix)).trimmed();
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    if (prefix.isEmpty())
        prefix = QStringLiteral("lapvane");
    bool ok = parseMqttUrl(urlText, &options, &error);
    if (ok && (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))) {
        error = QStringLiteral("the topic prefix \"%1\" holds + or #, which MQTT keeps for subscriptions")
                    .arg(prefix);
        ok = false;
    }
    options.clientId = m_settings.text(QLatin1String(kClientId)).trimmed();
    options.user = m_settings.text(QLatin1String(kUser));
    options.password = m_settings.text(QLatin1String(kPassword));
    options.caFile = m_settings.text(QLatin1String(kCaFile)).trimmed();
    options.statusTopic = prefix + QStringLiteral("/status");
    m_password = options.password;
    if (ok && m_connection.isRunning() && sameOptions(options, m_runningOptions) && prefix == m_prefix)
        return;
    if (m_connection.isRunning())
        stop();
    if (!ok) {
        const QString text = masked(QStringLiteral("MQTT not started: %1.").arg(error));
        m_log.savelog(text);
        setStatus(QStringLiteral("Not running: ") + masked(error));
        emit failed(text);
        return;
    }
    m_prefix = prefix;
    m_brokerText =
        QStringLiteral("%1://%2:%3")
            .arg(options.tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"),
                 options.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + options.host + QLatin1Char(']')
                                                         : options.host)
            .arg(options.port);
    if (!m_connection.start(options, &error)) {
        const QString text = masked(QStringLiteral("MQTT not started: %1.").arg(error));
        m_log.savelog(text);
        setStatus(QStringLiteral("Not running: ") + masked(error));
        emit failed(text);
        return;
    }
    m_runningOptions = options;
    m_connected = false;
    m_failingSpell = false;
    m_inFlight.clear();
    m_known.clear();
    setStatus(QStringLiteral("Connecting to %1").arg(m_brokerText));
    m_log.savelog(QStringLiteral("MQTT: publishing to %1 under %2/.").arg(m_brokerText, m_prefix));

    // What waited from before (a lost connection, a restart) goes first, in order.
    QList<MqttOutbox::Message> waiting;
    if (!m_outbox.all(&waiting, &error))
        reportStoreFailure(QStringLiteral("read the laps waiting for the broker"), error);
    for (const MqttOutbox::Message &m : std::as_const(waiting))
        send(m.id, m.topic, m.payload);
    if (!waiting.isEmpty())
        m_log.savelog(
            QStringLiteral("MQTT: %1 lap message(s) from before wait for the broker.").arg(waiting.size()));
    if (m_feed) {
        m_feed->setExtraConsumer(true);
        m_feed->refreshAll();
    }
}

void MqttPublisher::reportStoreFailure(const QString &what, const QString &error)
{
    if (m_storeFailing)
        return;
    m_storeFailing = true;
    m_log.savelog(QStringLiteral("MQTT: cannot %1 in the database (%2); laps are still sent, but one not yet "
                                 "acknowledged is lost if the program stops.")
                      .arg(what, error));
}

void MqttPublisher::lapCounted(const CountedLap &lap)
{
    if (!m_connection.isRunning())
        return;
    m_newLaps.append(lap);
    m_flushTimer.start();
}

void MqttPublisher::lapsCorrected(int pilotId)
{
    if (!m_connection.isRunning())
        return;
    if (!m_corrected.contains(pilotId))
        m_corrected.append(pilotId);
    m_flushTimer.start();
}

void MqttPublisher::raceStarted()
{
    // The start cleared the race's laps: corrections compare with the new race.
    flush();
    m_known.clear();
    m_names.clear();
}

bool MqttPublisher::readPilotLaps(int pilotId, PilotLaps *out)
{
    out->clear();
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT id, lapn, laptime FROM laps WHERE pilotid=? AND lapn>=1 ORDER BY lapn ASC, id ASC"));
    q.addBindValue(pilotId);
    if (!q.exec()) {
        reportStoreFailure(QStringLiteral("read the laps"), q.lastError().text());
        return false;
    }
    qint64 previous = 0;
    while (q.next()) {
        KnownLap lap;
        lap.lapn = q.value(1).toInt();
        lap.raceMs = q.value(2).toLongLong();
        lap.lapMs = lap.raceMs - previous;
        previous = lap.raceMs;
        out->insert(q.value(0).toLongLong(), lap);
    }
    return true;
}

QString MqttPublisher::pilotName(int pilotId)
{
    const auto known = m_names.constFind(pilotId);
    if (known != m_names.cend())
        return *known;
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT pilotname FROM onerace WHERE pilotid=? ORDER BY id ASC LIMIT 1"));
    q.addBindValue(pilotId);
    const QString name = q.exec() && q.next() ? q.value(0).toString() : QString();
    m_names.insert(pilotId, name);
    return name;
}

QJsonObject MqttPublisher::lapMessage(qint64 lapId, int pilotId, const QString &name, const KnownLap &lap) const
{
    QJsonObject o = lapJson(LiveLap{lap.lapn, lap.raceMs, lap.lapMs});
    o.insert(QStringLiteral("lapId"), double(lapId));
    o.insert(QStringLiteral("pilotid"), pilotId);
    o.insert(QStringLiteral("name"), name);
    return o;
}

void MqttPublisher::flush()
{
    m_flushTimer.stop();
    if (!m_connection.isRunning())
        return;
    const QString base = eventTopicBase();
    for (const CountedLap &n : std::exchange(m_newLaps, {})) {
        const KnownLap lap{n.lapn, n.raceMs, n.lapMs};
        qint64 lapId = n.lapRowId;
        auto known = m_known.find(n.pilotId);
        if (lapId > 0 && known != m_known.end()) {
            // The pilot's laps are known: the new one joins them.
            known->insert(lapId, lap);
        } else {
            // His first lap here (the corrections compare with what he had),
            // or a lap that waited for the database: read his laps.
            PilotLaps laps;
            readPilotLaps(n.pilotId, &laps);
            for (auto it = laps.cbegin(); lapId <= 0 && it != laps.cend(); ++it) {
                if (it->lapn == n.lapn)
                    lapId = it.key();
            }
            m_known.insert(n.pilotId, laps);
        }
        m_names.insert(n.pilotId, n.name);
        enqueue(base + QStringLiteral("lap"), lapMessage(lapId, n.pilotId, n.name, lap));
    }
    for (int pilotId : std::exchange(m_corrected, {})) {
        const PilotLaps before = m_known.value(pilotId);
        PilotLaps after;
        if (!readPilotLaps(pilotId, &after))
            continue;
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (!after.contains(it.key())) {
                QJsonObject o{{QStringLiteral("lapId"), double(it.key())},
                              {QStringLiteral("pilotid"), pilotId},
                              {QStringLiteral("lapn"), it->lapn}};
                enqueue(base + QStringLiteral("lap/deleted"), o);
            }
        }
        // New rows (a split lap) and rows whose number or times moved.
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            const auto old = before.constFind(it.key());
            if (old == before.cend() || old->lapn != it->lapn || old->raceMs != it->raceMs ||
                old->lapMs != it->lapMs)
                enqueue(base + QStringLiteral("lap/changed"), lapMessage(it.key(), pilotId, pilotName(pilotId), *it));
        }
        m_known.insert(pilotId, after);
    }
}

void MqttPublisher::enqueue(const QString &topic, const QJsonObject &message)
{
    const QByteArray payload = compact(message);
    QString error;
    const qint64 row = m_outbox.add(topic, payload, &error);
    if (row == 0)
        reportStoreFailure(QStringLiteral("keep a lap message"), error);
    else
        m_storeFailing = false;
    send(row, topic, payload);
}

void MqttPublisher::send(qint64 rowId, const QString &topic, const QByteArray &payload)
{
    QString error;
    const int mid = m_connection.publish(topic, payload, 1, false, &error);
    if (mid < 0) {
        m_log.savelog(QStringLiteral("MQTT: a message to %1 could not be queued: %2").arg(topic, error));
        return;
    }
    if (rowId > 0)
        m_inFlight.insert(mid, rowId);
}

void MqttPublisher::publishRetained(const QString &topic, const QByteArray &payload)
{
    if (m_connected && !payload.isEmpty())
        m_connection.publish(topic, payload, 1, true);
}

void MqttPublisher::publishRace(const QJsonObject &race)
{
    const QByteArray payload = compact(race);
    if (payload == m_race)
        return;
    m_race = payload;
    if (m_connection.isRunning())
        publishRetained(eventTopicBase() + QStringLiteral("race"), m_race);
}

void MqttPublisher::publishResults(const QJsonObject &results)
{
    const QByteArray payload = compact(results);
    if (payload == m_results)
        return;
    m_results = payload;
    if (m_connection.isRunning())
        publishRetained(eventTopicBase() + QStringLiteral("results"), m_results);
    publishRetained(eventTopicBase() + QStringLiteral("bracket"), m_bracket);
}

void MqttPublisher::publishBracket(const QJsonObject &bracket)
{
    if (bracket.value(QStringLiteral("bracket")).isNull() && m_bracket.isEmpty())
        return;
    const QByteArray payload = compact(bracket);
    if (payload == m_bracket)
        return;
    m_bracket = payload;
    if (m_connection.isRunning())
        publishRetained(eventTopicBase() + QStringLiteral("bracket"), m_bracket);
}

void MqttPublisher::onConnected()
{
    m_connected = true;
    const int waiting = m_outbox.count();
    if (m_failingSpell)
        m_log.savelog(
            QStringLiteral("MQTT: connected to %1 again%2.")
                .arg(m_brokerText, waiting > 0 ? QStringLiteral("; %1 lap message(s) go out now").arg(waiting)
                                               : QString()));
    else
        m_log.savelog(QStringLiteral("MQTT: connected to %1.").arg(m_brokerText));
    m_failingSpell = false;
    setStatus(QStringLiteral("Connected to %1").arg(m_brokerText));
    // The retained state, for subscribers that come after a broker restart.
    publishRetained(eventTopicBase() + QStringLiteral("race"), m_race);
    publishRetained(eventTopicBase() + QStringLiteral("results"), m_results);
    publishRetained(eventTopicBase() + QStringLiteral("bracket"), m_bracket);
}

void MqttPublisher::onDisconnected(const QString &reason, const QString &detail)
{
    if (!m_connection.isRunning())
        return;
    m_connected = false;
    const QString why = masked(reason);
    setStatus(QStringLiteral("Reconnecting to %1: %2").arg(m_brokerText, why));
    // The log keeps the library's own words too, for whoever looks deeper.
    if (!m_failingSpell)
        m_log.savelog(
            QStringLiteral("MQTT: no connection to %1 (%2); trying again, laps wait in the database "
                           "until the broker has them.")
                .arg(m_brokerText, detail.isEmpty() ? why : why + QStringLiteral("; ") + masked(detail)));
    m_failingSpell = true;
}

void MqttPublisher::onAcknowledged(int messageId)
{
    const qint64 row = m_inFlight.take(messageId);
    if (row <= 0)
        return;
    QString error;
    if (!m_outbox.remove(row, &error))
        reportStoreFailure(QStringLiteral("clear a delivered lap message"), error);
}

} // namespace lapvane
