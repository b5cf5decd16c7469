// Sending a stage's results to the registry service: one signed request per
// results row, one after the other, with a log of each step.
#pragma once

#include "online/registryclient.h"

#include <QLocale>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>

#include <optional>
#include <vector>

namespace lapvane {

// The current stage as the query needs it.
struct RegistryStage
{
    int id = 0;
    QString stagename;
    QString laplimit;
    QString tracklen;
};

// One results row as the query needs it.
struct RegistryResult
{
    QString pilotname;
    int pilotid = 0;
    QString lapno;
    qint64 besttime = 0;
    QString besttimetxt;
    QString place;
};

// The stage result query of one pilot.
struct FlyQuery
{
    QueryItems items;   // the twelve values in order, then "hash"
    QString signedText; // the twelve values without separators, then the salt
};

class RegistryExport : public QObject
{
    Q_OBJECT
public:
    RegistryExport(QSqlDatabase db, RegistryClient &client, QObject *parent = nullptr);

    // The number format of "race_dist" and "pilot_speed" (the system's by default).
    void setLocale(const QLocale &locale) { m_locale = locale; }

    static bool hasUnic(const QString &unic) { return unic.size() >= 2; }
    static QString noUnicMessage() { return QStringLiteral("No UNIC specified in Event parameter!"); }

    // Speed in km/h from the track length (a number in the locale's format)
    // and the best lap: 5 significant digits, one decimal, thousands
    // separators. False with *error when it cannot be computed.
    static bool speedText(const QString &raceDist, qint64 bestTimeMs, const QLocale &locale, QString *text,
                          QString *error);
    // login is empty when the pilot is not in the local registry ("noemail").
    static bool buildQuery(const RegistryStage &stage, const RegistryResult &result, const std::optional<QString> &login,
                           const QString &unic, const QString &salt, const QLocale &locale, FlyQuery *query,
                           QString *error);

    // Reads the stage's results and the registry's logins, then sends the
    // rows one by one. Returns false when nothing is sent (failed() says
    // why); finished() follows in every case, at once or after the last row.
    bool start(const QString &unic, int stageId);
    bool running() const { return m_running; }

    // The export window's log; it keeps growing across exports.
    QStringList log() const { return m_log; }

signals:
    void lineAdded(const QString &line);
    // A message the operator must see.
    void failed(const QString &message);
    void finished();

private:
    void add(const QString &line);
    void sendNext();
    void stop(const QString &message);

    QSqlDatabase m_db;
    RegistryClient &m_client;
    QLocale m_locale = QLocale::system();
    QStringList m_log{QStringLiteral("Log")};
    bool m_running = false;

    // The export under way.
    RegistryStage m_stage;
    QString m_unic;
    QString m_salt;
    std::vector<std::pair<RegistryResult, std::optional<QString>>> m_rows; // with the pilot's login
    size_t m_next = 0;
};

} // namespace lapvane
