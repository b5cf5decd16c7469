// The registry service client: addresses, signatures and GET requests.
#include "online/registryclient.h"

#include "core/settings.h"
#include "online/onceonlyrequest.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace lapvane {

namespace {

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

RegistryClient::RegistryClient(const Settings &settings, QObject *parent)
    : QObject(parent), m_settings(settings), m_network(this)
{
}

RegistryClient::~RegistryClient()
{
    for (QNetworkReply *reply : m_network.findChildren<QNetworkReply *>()) {
        reply->disconnect();
        reply->abort();
    }
    for (OnceOnlyRequest *request : findChildren<OnceOnlyRequest *>(Qt::FindDirectChildrenOnly)) {
        request->disconnect();
        request->abort();
    }
}

QString RegistryClient::salt() const
{
    return m_settings.text(QStringLiteral("edaerolistsalt"));
}

QUrl RegistryClient::baseAddress(QString *error) const
{
    const QString text = m_settings.text(QStringLiteral("edaerolisturl")).trimmed();
    if (text.isEmpty()) {
        *error = QStringLiteral("The Aerolist address is not set. Enter the service's address on the Settings page "
                                "(Results Export: Aerolist).");
        return {};
    }
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        *error = QStringLiteral("The Aerolist address \"%1\" is not a web address: it must begin with https://.").arg(text);
        return {};
    }
    if (scheme == QLatin1String("http") && !isLoopbackHost(url.host())) {
        *error = QStringLiteral("The Aerolist address \"%1\" uses plain http://, which is accepted only for this "
                                "computer (127.0.0.1); use https://.")
                     .arg(text);
        return {};
    }
    // The request paths are appended to the address as it stands.
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QString RegistryClient::signature(const QString &signedText)
{
    return QString::fromLatin1(QCryptographicHash::hash(signedText.toUtf8(), QCryptographicHash::Md5).toHex());
}

QByteArray RegistryClient::encodeQuery(const QueryItems &items)
{
    QByteArray query;
    for (const auto &[key, value] : items) {
        if (!query.isEmpty())
            query += '&';
        query += QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    }
    return query;
}

QString RegistryClient::plainQuery(const QueryItems &items)
{
    QStringList parts;
    for (const auto &[key, value] : items)
        parts << key + QLatin1Char('=') + value;
    return parts.join(QLatin1Char('&'));
}

QUrl RegistryClient::requestUrl(const QString &path, const QueryItems &items, QString *error) const
{
    const QUrl base = baseAddress(error);
    if (base.isEmpty())
        return {};
    QByteArray encoded = base.toEncoded() + QUrl::toPercentEncoding(path, "/");
    if (!items.isEmpty())
        encoded += '?' + encodeQuery(items);
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

QUrl RegistryClient::eventUrl(int type, const QString &unic, QString *error) const
{
    const QString typeText = QString::number(type);
    const QString hash = signature(typeText + unic + salt());
    return requestUrl(QStringLiteral("/rest_api/get_events.php"),
                      {{QStringLiteral("type"), typeText}, {QStringLiteral("unic"), unic}, {QStringLiteral("hash"), hash}},
                      error);
}

QUrl RegistryClient::photoUrl(const QString &photoFile, QString *error) const
{
    return requestUrl(QStringLiteral("/pilots_foto/") + photoFile, {}, error);
}

void RegistryClient::get(const QUrl &url, const QString &what, QObject *context,
                         std::function<void(const RegistryReply &)> done)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply *reply = m_network.get(request);
    ++m_pending;
    emit pendingChanged(m_pending);
    connect(reply, &QNetworkReply::finished, context, [this, reply, what, done = std::move(done)] {
        done(finish(reply, what));
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        --m_pending;
        emit pendingChanged(m_pending);
    });
}

void RegistryClient::sendOnce(const QUrl &url, const QString &what, QObject *context,
                              std::function<void(const RegistryReply &)> done)
{
    auto *request = new OnceOnlyRequest("GET", url, {}, {}, m_timeoutMs, this);
    ++m_pending;
    emit pendingChanged(m_pending);
    connect(request, &OnceOnlyRequest::finished, context,
            [this, what, done = std::move(done)](const OnceOnlyAnswer &a) {
                RegistryReply r;
                r.body = a.body;
                r.httpStatus = a.status;
                if (a.failure == OnceOnlyAnswer::Failure::TimedOut) {
                    r.error = QStringLiteral("%1 failed: no answer within %2 s.")
                                  .arg(what, QString::number(m_timeoutMs / 1000.0));
                } else if (a.failure == OnceOnlyAnswer::Failure::Failed) {
                    r.error = QStringLiteral("%1 failed: %2.").arg(what, a.errorString);
                } else if (a.status < 200 || a.status > 299) {
                    r.error = QStringLiteral("%1 failed: the service answered HTTP %2 %3.")
                                  .arg(what)
                                  .arg(a.status)
                                  .arg(QString::fromLatin1(a.reason));
                } else {
                    r.ok = true;
                }
                done(r);
            });
    connect(request, &OnceOnlyRequest::finished, this, &RegistryClient::requestEnded);
}

void RegistryClient::requestEnded()
{
    --m_pending;
    emit pendingChanged(m_pending);
}

RegistryReply RegistryClient::finish(QNetworkReply *reply, const QString &what) const
{
    RegistryReply r;
    if (reply->isOpen())
        r.body = reply->readAll();
    r.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (reply->error()) {
    case QNetworkReply::NoError:
        r.ok = true;
        return r;
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        // The transfer time-out cancels the request.
        r.error = QStringLiteral("%1 failed: no answer within %2 s.").arg(what, QString::number(m_timeoutMs / 1000.0));
        return r;
    default:
        break;
    }
    if (r.httpStatus != 0) {
        r.error = QStringLiteral("%1 failed: the service answered HTTP %2 %3.")
                      .arg(what)
                      .arg(r.httpStatus)
                      .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    } else {
        r.error = QStringLiteral("%1 failed: %2.").arg(what, reply->errorString());
    }
    return r;
}

} // namespace lapvane
