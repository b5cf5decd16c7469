// The built-in web server as the operator switches it: the "WWWSERVER"
// settings "wwwServer", "wwwServerPort" and "wwwServerLan" start, restart and
// stop it; its addresses are reported and logged, and a failure to listen is
// a plain message, never a crash.
#pragma once

#include "publish/livefeed.h"
#include "publish/liveserver.h"

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace lapvane {

class Settings;
class OperatorLog;
class CurrentSelection;

class LiveService : public QObject
{
    Q_OBJECT
public:
    // Control names of the three settings.
    static constexpr const char *kSwitch = "chwwwserver";
    static constexpr const char *kPort = "edwwwserverport";
    static constexpr const char *kLan = "chwwwserverlan";
    // The language of the overlay and the board ("en" or "ru").
    static constexpr const char *kLanguage = "cbpageslanguage";

    LiveService(QSqlDatabase db, Settings &settings, OperatorLog &log, const CurrentSelection *selection,
                const QString &htmlsFolder, QObject *parent = nullptr);
    ~LiveService() override;

    LiveServer &server() { return m_server; }
    LiveFeed &feed() { return m_feed; }

    // Brings the server in line with the settings now. Also runs by itself
    // whenever one of the three settings changes.
    void apply();
    void stop();

    bool isRunning() const { return m_server.isRunning(); }
    // The addresses a browser opens ("http://127.0.0.1:8080/"), the first
    // one for this computer.
    QStringList urls() const { return m_urls; }
    // The race board on this computer ("http://127.0.0.1:8080/board"); empty
    // while the server is not running.
    QUrl boardUrl() const;
    // What the Settings page shows beside the switch.
    QString statusText() const { return m_status; }

    // Port 0 listens on any free port (tests); the settings never hold it.
    void setAllowAnyPort(bool allow) { m_allowAnyPort = allow; }

signals:
    void statusChanged(const QString &text);
    // A failure the operator must see (the port in use, a bad port number).
    void failed(const QString &message);

private:
    void setStatus(const QString &text);

    Settings &m_settings;
    OperatorLog &m_log;
    QString m_htmls;
    LiveServer m_server;
    LiveFeed m_feed;
    QStringList m_urls;
    QString m_status;
    bool m_allowAnyPort = false;
    // What the running server was started with.
    int m_runningPort = -1;
    bool m_runningLan = false;
};

} // namespace lapvane
