// The registry service client: its base address and salt from the settings,
// signed request addresses, and GET requests that never block the caller.
#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

class QNetworkReply;

namespace lapvane {

class Settings;

// The outcome of one request, delivered once.
struct RegistryReply
{
    bool ok = false;
    QByteArray body;   // the answer, also on an HTTP error status
    int httpStatus = 0; // 0 when no answer came
    QString error;     // plain words naming what failed; empty when ok
};

// Key and value of a query, in the order they are sent.
using QueryItems = QList<QPair<QString, QString>>;

class RegistryClient : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 20000;

    // Reads "AerolistUrl" and "Aerolistsalt" at the moment of each use.
    explicit RegistryClient(const Settings &settings, QObject *parent = nullptr);
    // Requests still under way are dropped without an answer.
    ~RegistryClient() override;

    // A request with no answer within this time fails as a time-out.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    QString salt() const;
    // The base address, or an empty URL with *error saying why it cannot be
    // used: none set, not a web address, or plain http to another machine.
    QUrl baseAddress(QString *error) const;

    // MD5 of the UTF-8 bytes as 32 lower-case hexadecimal digits.
    static QString signature(const QString &signedText);
    // key=value pairs joined by "&", each value percent-encoded on its own,
    // so "&" or "=" inside a value cannot change the query.
    static QByteArray encodeQuery(const QueryItems &items);
    // The same query as text, values as they are (for the operator's log).
    static QString plainQuery(const QueryItems &items);

    // base + path + "?" + encoded query; empty URL with *error when the base
    // address cannot be used.
    QUrl requestUrl(const QString &path, const QueryItems &items, QString *error) const;
    // The event pilots (type 0) and visual link (type 1) addresses, signed
    // with type + unic + salt.
    QUrl eventUrl(int type, const QString &unic, QString *error) const;
    QUrl photoUrl(const QString &photoFile, QString *error) const;

    // Sends a GET. done is called once, on this thread, unless context is
    // destroyed first. what names the request in failure texts.
    void get(const QUrl &url, const QString &what, QObject *context, std::function<void(const RegistryReply &)> done);
    // The same for a request that changes something at the service (a
    // result): it goes out once only, over its own connection; a dropped
    // connection is reported, never sent again by itself.
    void sendOnce(const QUrl &url, const QString &what, QObject *context,
                  std::function<void(const RegistryReply &)> done);

    // Requests sent and not answered yet.
    int pending() const { return m_pending; }

signals:
    void pendingChanged(int pending);

private:
    RegistryReply finish(QNetworkReply *reply, const QString &what) const;
    void requestEnded();

    const Settings &m_settings;
    QNetworkAccessManager m_network;
    int m_timeoutMs = kTimeoutMs;
    int m_pending = 0;
};

} // namespace lapvane
