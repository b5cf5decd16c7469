// Turns what happens to the race into the web server's data and messages:
// after each change (a lap, a correction, the start, the finish, the race list
// or the results) it reads the race once, hands the new data to the server and
// pushes one message per change to the event feed.
#pragma once

#include "publish/racejson.h"
#include "core/countedlap.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QTimer>

#include <functional>

namespace lapvane {

class Settings;
class OperatorLog;
class CurrentSelection;
class LiveServer;

class LiveFeed : public QObject
{
    Q_OBJECT
public:
    LiveFeed(QSqlDatabase db, Settings &settings, OperatorLog &log, const CurrentSelection *selection,
             LiveServer &server, QObject *parent = nullptr);

    // Whether a race runs and its clock, asked at each snapshot. A race that
    // is not running shows the time of its last counted pass.
    void setStatusProvider(std::function<RaceStatus()> status) { m_status = std::move(status); }

    // Notifications (main thread). They cost nothing while the server is off;
    // the work runs once control is back in the event loop, so the pass loop's
    // tick is never held up by it.
    void lapCounted(const CountedLap &lap);
    void lapsCorrected(int pilotId);
    void raceStarted();
    void raceFinished();
    void raceListChanged();
    void resultsChanged();

    // Hands the server everything afresh (after it starts), without a message.
    void refreshAll();
    // Does the pending work now.
    void flush();

    // Keeps the feed working while the web server is off, for another
    // publisher that takes the same data from the signals below.
    void setExtraConsumer(bool on) { m_extraConsumer = on; }

signals:
    // The race and the stage results as the server was just handed them.
    void raceJsonReady(const QJsonObject &race);
    void resultsJsonReady(const QJsonObject &results);

private:
    struct Pending
    {
        QJsonObject message; // without "race"
    };
    void queue(const QJsonObject &message);
    void publishResults();
    bool active() const;

    QSqlDatabase m_db;
    Settings &m_settings;
    OperatorLog &m_log;
    const CurrentSelection *m_selection;
    LiveServer &m_server;
    std::function<RaceStatus()> m_status;
    QTimer m_flushTimer;
    QList<Pending> m_pending;
    bool m_raceDirty = false;
    bool m_resultsDirty = false;
    bool m_finished = false;
    bool m_failing = false;
    bool m_extraConsumer = false;
    QSet<int> m_lastPilots;
    QByteArray m_lastRaceBody; // the last race published, without its clock
};

} // namespace lapvane
