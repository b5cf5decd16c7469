// Switching the built-in web server from the settings.
#include "publish/liveservice.h"

#include "core/operatorlog.h"
#include "core/settings.h"

#include <QNetworkInterface>

namespace lapvane {

LiveService::LiveService(QSqlDatabase db, Settings &settings, OperatorLog &log, const CurrentSelection *selection,
                         const QString &htmlsFolder, QObject *parent)
    : QObject(parent), m_settings(settings), m_log(log), m_htmls(htmlsFolder),
      m_feed(db, settings, log, selection, m_server), m_status(QStringLiteral("Off"))
{
    connect(&settings, &Settings::changed, this, [this](const QString &control, const QVariant &) {
        if (control == QLatin1String(kSwitch) || control == QLatin1String(kPort) || control == QLatin1String(kLan))
            apply();
        else if (control == QLatin1String(kLanguage))
            m_server.setLanguage(m_settings.text(QLatin1String(kLanguage)));
    });
}

LiveService::~LiveService()
{
    m_server.stop();
}

QUrl LiveService::boardUrl() const
{
    if (!m_server.isRunning())
        return {};
    return QUrl(QStringLiteral("http://127.0.0.1:%1/board").arg(m_server.port()));
}

void LiveService::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

void LiveService::stop()
{
    if (m_server.isRunning()) {
        m_server.stop();
        m_log.savelog(QStringLiteral("Web server stopped."));
    }
    m_runningPort = -1;
    m_urls.clear();
    setStatus(QStringLiteral("Off"));
}

void LiveService::apply()
{
    if (!m_settings.flag(QLatin1String(kSwitch))) {
        stop();
        return;
    }
    const int port = m_settings.integer(QLatin1String(kPort));
    const bool lan = m_settings.flag(QLatin1String(kLan));
    if (m_server.isRunning() && port == m_runningPort && lan == m_runningLan)
        return;
    if (port < (m_allowAnyPort ? 0 : 1) || port > 65535) {
        stop();
        const QString text = QStringLiteral("Web server not started: the port %1 is not a port number (1 to 65535).")
                                 .arg(port);
        m_log.savelog(text);
        setStatus(QStringLiteral("Not running: bad port"));
        emit failed(text);
        return;
    }
    if (m_server.isRunning()) {
        m_server.stop();
        m_log.savelog(QStringLiteral("Web server stopped."));
    }

    LiveServer::Options options;
    options.address = lan ? QHostAddress(QHostAddress::Any) : QHostAddress(QHostAddress::LocalHost);
    options.port = quint16(port);
    options.htmlsFolder = m_htmls;
    options.language = m_settings.text(QLatin1String(kLanguage));
    QString error;
    if (!m_server.start(options, &error)) {
        m_runningPort = -1;
        m_urls.clear();
        const QString text = QStringLiteral("Web server not started: cannot listen on port %1 (%2). Another "
                                            "program may be using it: choose another port on the Settings page.")
                                 .arg(port)
                                 .arg(error);
        m_log.savelog(text);
        setStatus(QStringLiteral("Not running: port %1 unavailable").arg(port));
        emit failed(text);
        return;
    }
    m_runningPort = port;
    m_runningLan = lan;
    const QString bound = QString::number(m_server.port());
    m_urls = QStringList{QStringLiteral("http://127.0.0.1:%1/").arg(bound)};
    if (lan) {
        for (const QNetworkInterface &nic : QNetworkInterface::allInterfaces()) {
            if (!(nic.flags() & QNetworkInterface::IsUp) || (nic.flags() & QNetworkInterface::IsLoopBack))
                continue;
            for (const QNetworkAddressEntry &entry : nic.addressEntries()) {
                if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                    m_urls << QStringLiteral("http://%1:%2/").arg(entry.ip().toString(), bound);
            }
        }
    }
    m_log.savelog(QStringLiteral("Web server started at %1 (overlay: %2overlay)%3")
                      .arg(m_urls.join(QStringLiteral(", ")), m_urls.first(),
                           lan ? QStringLiteral(", open to other devices on the network")
                               : QStringLiteral(", this computer only")));
    setStatus(m_urls.join(QStringLiteral("  ")));
    m_feed.refreshAll();
}

} // namespace lapvane
