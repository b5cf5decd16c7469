// The race published to an MQTT broker, as the operator switches it in the
// "MQTT" settings section. Under <prefix>/<event id>/: "race" and "results"
// (retained, the web server's JSON), "lap" (one QoS 1 message per counted
// lap, with its lap id), "lap/deleted" and "lap/changed" (corrections); and
// <prefix>/status ("online" retained, "offline" as the last will). Laps wait
// in the database until the broker has them, across reconnects and restarts.
#pragma once

#include "core/countedlap.h"
#include "publish/mqttconnection.h"
#include "publish/mqttoutbox.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSqlDatabase>
#include <QTimer>

namespace lapvane {

class Settings;
class OperatorLog;
class CurrentSelection;
class LiveFeed;

// Reads "mqtt://host:1883" or "mqtts://host:8883" (the port may be left
// out: 1883 and 8883) into options. False with a plain reason.
bool parseMqttUrl(const QString &url, MqttOptions *options, QString *error);

class MqttPublisher : public QObject
{
    Q_OBJECT
public:
    // Control names of the settings.
    static constexpr const char *kEnabled = "chmqttenabled";
    static constexpr const char *kUrl = "edmqtturl";
    static constexpr const char *kClientId = "edmqttclientid";
    static constexpr const char *kUser = "edmqttuser";
    static constexpr const char *kPassword = "edmqttpassword";
    static constexpr const char *kPrefix = "edmqttprefix";
    static constexpr const char *kCaFile = "edmqttcafile";

    // feed gives the race and results JSON (it is kept working while this
    // publisher runs); it may be null, and then race and results come only
    // through publishRace() and publishResults().
    MqttPublisher(QSqlDatabase db, Settings &settings, OperatorLog &log, const CurrentSelection *selection,
                  LiveFeed *feed, QObject *parent = nullptr);
    ~MqttPublisher() override;

    // Brings the publisher in line with the settings now. Also runs by
    // itself shortly after one of the settings changes.
    void apply();
    void stop();

    bool isRunning() const { return m_connection.isRunning(); }
    bool isConnected() const { return m_connected; }
    // What the Settings page shows: "Off", "Connected to ...", "Reconnecting
    // to ...: <reason>". Never holds the password.
    QString statusText() const { return m_status; }
    // Laps not yet acknowledged by the broker.
    int waitingCount() { return m_outbox.count(); }
    // The topic prefix with the current event: "lapvane/3/".
    QString eventTopicBase() const;

    // Notifications (main thread). They cost nothing while the publisher is
    // off; the work runs once control is back in the event loop.
    // A counted lap: one "lap" message with its row id and the pilot's name
    // as the lap carries them (a lap still waiting for the database is
    // looked up once it is written).
    void lapCounted(const CountedLap &lap);
    void lapsCorrected(int pilotId);
    void raceStarted();
    void publishRace(const QJsonObject &race);
    void publishResults(const QJsonObject &results);
    // The current stage's bracket as /api/bracket gives it; published
    // (retained, "bracket") once a stage is a bracket, and after that also
    // when it is none again ("bracket": null).
    void publishBracket(const QJsonObject &bracket);
    // Does the pending work now.
    void flush();

    // Tests: shorter waits between connection attempts.
    void setRetryDelays(int firstMs, int maxMs);

signals:
    void statusChanged(const QString &text);
    // A setting that cannot be used; the operator must see it.
    void failed(const QString &message);

private:
    struct KnownLap
    {
        int lapn = 0;
        qint64 raceMs = 0;
        qint64 lapMs = 0;
    };
    using PilotLaps = QMap<qint64, KnownLap>; // by lap id


    void setStatus(const QString &text);
    QString masked(QString text) const;
    bool readPilotLaps(int pilotId, PilotLaps *out);
    QString pilotName(int pilotId);
    QJsonObject lapMessage(qint64 lapId, int pilotId, const QString &name, const KnownLap &lap) const;
    void enqueue(const QString &topic, const QJsonObject &message);
    void send(qint64 rowId, const QString &topic, const QByteArray &payload);
    void publishRetained(const QString &topic, const QByteArray &payload);
    void onConnected();
    void onDisconnected(const QString &reason, const QString &detail);
    void onAcknowledged(int messageId);
    void reportStoreFailure(const QString &what, const QString &error);

    QSqlDatabase m_db;
    Settings &m_settings;
    OperatorLog &m_log;
    const CurrentSelection *m_selection;
    LiveFeed *m_feed;
    MqttConnection m_connection;
    MqttOutbox m_outbox;
    QTimer m_applyTimer;
    QTimer m_flushTimer;
    QString m_status = QStringLiteral("Off");
    QString m_brokerText; // "mqtt://host:port" for the status and log
    QString m_prefix;
    QString m_password; // masked out of every text shown
    bool m_connected = false;
    bool m_failingSpell = false; // a failure was logged since the last connect
    bool m_storeFailing = false;
    int m_retryFirstMs = 500;
    int m_retryMaxMs = 10000;
    MqttOptions m_runningOptions;
    QList<CountedLap> m_newLaps;
    QList<int> m_corrected;
    QHash<int, PilotLaps> m_known; // laps each pilot had when last read
    QHash<int, qint64> m_inFlight; // message id -> outbox row
    QByteArray m_race;             // the last race and results JSON
    QByteArray m_results;
    QByteArray m_bracket;
    // The pilots' names as their counted laps carried them (or the race
    // list holds them, for a pilot corrected before any lap).
    QHash<int, QString> m_names;
};

} // namespace lapvane
