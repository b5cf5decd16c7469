// The Telegram Bot API client over QNetworkAccessManager.
#include "online/telegrambot.h"

#include "online/onceonlyrequest.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace lapvane {

namespace {

const QString kMask = QStringLiteral("<token>");

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// Telegram's words when a message's Markdown cannot be read.
bool isMarkdownRefusal(const QString &description)
{
    return description.contains(QLatin1String("parse entities"), Qt::CaseInsensitive)
           || description.contains(QLatin1String("end of the entity"), Qt::CaseInsensitive);
}

// One part of a multipart/form-data body.
QByteArray formPart(const QByteArray &boundary, const QByteArray &disposition, const QByteArray &contentType,
                    const QByteArray &value)
{
    QByteArray part = "--" + boundary + "\r\nContent-Disposition: form-data; " + disposition + "\r\n";
    if (!contentType.isEmpty())
        part += "Content-Type: " + contentType + "\r\n";
    return part + "\r\n" + value + "\r\n";
}

} // namespace

TelegramBot::TelegramBot(QObject *parent) : QObject(parent), m_net(new QNetworkAccessManager(this))
{
    setBaseUrl(QLatin1String(kDefaultApiUrl));
}

TelegramBot::~TelegramBot()
{
    abortAll();
}

void TelegramBot::setBaseUrl(const QString &url)
{
    m_baseText = url.trimmed();
    QString path = m_baseText;
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    m_base = QUrl(path, QUrl::StrictMode);
}

QString TelegramBot::baseUrlProblem() const
{
    const QString scheme = m_base.scheme().toLower();
    if (!m_base.isValid() || m_base.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QStringLiteral("The Telegram address \"%1\" is not a web address (TelegaApiUrl in the settings file).")
            .arg(m_baseText);
    if (scheme == QLatin1String("http") && !isLoopbackHost(m_base.host()))
        return QStringLiteral("The Telegram address \"%1\" must start with https:// (TelegaApiUrl in the settings "
                              "file); plain http:// is only taken for this computer's own address.")
            .arg(m_baseText);
    return {};
}

QString TelegramBot::masked(const QString &text) const
{
    if (m_token.isEmpty())
        return text;
    QString out = text;
    out.replace(m_token, kMask);
    // The address may carry the token percent-encoded.
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(m_token));
    if (encoded != m_token)
        out.replace(encoded, kMask);
    return out;
}

QUrl TelegramBot::methodUrl(const QString &method) const
{
    QUrl url = m_base;
    url.setPath(m_base.path() + QStringLiteral("/bot") + m_token + QLatin1Char('/') + method);
    return url;
}

void TelegramBot::fail(QObject *context, const TelegramCallback &done, const QString &error)
{
    // Never inside the call: the caller sees every answer the same way.
    QPointer<QObject> ctx(context ? context : this);
    QTimer::singleShot(0, this, [ctx, done, error] {
        if (!ctx)
            return;
        TelegramResult r;
        r.error = error;
        done(r);
    });
}

bool TelegramBot::refuseEarly(QObject *context, const TelegramCallback &done)
{
    const QString problem = baseUrlProblem();
    if (!problem.isEmpty()) {
        fail(context, done, problem);
        return true;
    }
    if (m_token.isEmpty()) {
        fail(context, done, QStringLiteral("No bot token is set: enter it on the Telegram settings page and press Set."));
        return true;
    }
    return false;
}

void TelegramBot::postJson(const QString &method, const QJsonObject &body, QObject *context, TelegramCallback done)
{
    if (refuseEarly(context, done))
        return;
    QNetworkRequest request(methodUrl(method));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setTransferTimeout(m_timeoutMs);
    track(m_net->post(request, QJsonDocument(body).toJson(QJsonDocument::Compact)), context, std::move(done));
}

void TelegramBot::postOnce(const QString &method, const QByteArray &contentType, const QByteArray &body,
                           QObject *context, TelegramCallback done)
{
    auto *request = new OnceOnlyRequest("POST", methodUrl(method), {{"Content-Type", contentType}}, body, m_timeoutMs,
                                        this);
    m_onceOnly.insert(request);
    QPointer<QObject> ctx(context ? context : this);
    connect(request, &OnceOnlyRequest::finished, this, [this, request, ctx, done](const OnceOnlyAnswer &a) {
        m_onceOnly.remove(request);
        const TelegramResult r = readAnswer(a.status, a.body, a.failure == OnceOnlyAnswer::Failure::TimedOut,
                                            a.failure == OnceOnlyAnswer::Failure::Failed ? a.errorString : QString());
        if (ctx)
            done(r);
    });
}

void TelegramBot::track(QNetworkReply *reply, QObject *context, TelegramCallback done)
{
    m_replies.insert(reply);
    QPointer<QObject> ctx(context ? context : this);
    connect(reply, &QNetworkReply::finished, this, [this, reply, ctx, done] {
        m_replies.remove(reply);
        reply->deleteLater();
        const TelegramResult r = readReply(reply);
        if (ctx)
            done(r);
    });
}

TelegramResult TelegramBot::readReply(QNetworkReply *reply) const
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
    const QNetworkReply::NetworkError error = reply->error();
    const bool timedOut = error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError;
    // An HTTP error status is told by the status, not the network layer.
    const bool networkFailure = error != QNetworkReply::NoError && status == 0;
    return readAnswer(status, body, timedOut, networkFailure ? reply->errorString() : QString());
}

TelegramResult TelegramBot::readAnswer(int status, const QByteArray &body, bool timedOut,
                                       const QString &networkError) const
{
    TelegramResult r;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    const bool isJson = parseError.error == QJsonParseError::NoError && doc.isObject();
    if (isJson) {
        const QJsonObject o = doc.object();
        if (o.value(QLatin1String("ok")).toBool()) {
            r.ok = true;
            r.result = o.value(QLatin1String("result"));
            return r;
        }
        if (o.contains(QLatin1String("description")) || o.contains(QLatin1String("ok"))) {
            QString text = o.value(QLatin1String("description")).toString();
            if (text.isEmpty())
                text = QStringLiteral("no reason given");
            const int code = o.value(QLatin1String("error_code")).toInt(status);
            r.error = masked(QStringLiteral("Telegram refused the request: %1 (error %2)").arg(text).arg(code));
            r.markdownError = masked(text);
            return r;
        }
    }
    if (timedOut) {
        r.error = QStringLiteral("Telegram did not answer within %1 s.").arg((m_timeoutMs + 999) / 1000);
    } else if (status != 0 && (status < 200 || status > 299)) {
        r.error = QStringLiteral("Telegram answered with HTTP status %1.").arg(status);
    } else if (!networkError.isEmpty()) {
        r.error = masked(QStringLiteral("Telegram could not be reached: %1").arg(networkError));
    } else {
        r.error = QStringLiteral("Telegram's answer could not be read.");
    }
    return r;
}

void TelegramBot::sendMessage(const QString &chatId, const QString &text, ParseMode mode, QObject *context,
                              TelegramCallback done)
{
    sendMessageJson(QJsonValue(chatId), text, mode, context, std::move(done));
}

void TelegramBot::sendMessage(qint64 chatId, const QString &text, ParseMode mode, QObject *context,
                              TelegramCallback done)
{
    sendMessageJson(QJsonValue(chatId), text, mode, context, std::move(done));
}

void TelegramBot::sendMessageJson(const QJsonValue &chatId, const QString &text, ParseMode mode, QObject *context,
                                  TelegramCallback done)
{
    QJsonObject body{{QStringLiteral("chat_id"), chatId},
                     {QStringLiteral("text"), text},
                     {QStringLiteral("disable_web_page_preview"), false},
                     {QStringLiteral("disable_notification"), false},
                     {QStringLiteral("reply_to_message_id"), 0}};
    if (refuseEarly(context, done))
        return;
    const QByteArray json = "application/json";
    if (mode == ParseMode::None) {
        postOnce(QStringLiteral("sendMessage"), json, QJsonDocument(body).toJson(QJsonDocument::Compact), context,
                 std::move(done));
        return;
    }
    body.insert(QStringLiteral("parse_mode"), QStringLiteral("Markdown"));
    QPointer<QObject> ctx(context ? context : this);
    postOnce(QStringLiteral("sendMessage"), json, QJsonDocument(body).toJson(QJsonDocument::Compact), context,
             [this, ctx, chatId, text, done](const TelegramResult &r) {
        if (r.ok || !isMarkdownRefusal(r.markdownError)) {
            done(r);
            return;
        }
        // A name such as "under_score" must not cost the message: the same
        // text once more, plain.
        const QString reason = r.markdownError;
        sendMessageJson(chatId, text, ParseMode::None, ctx, [done, reason](const TelegramResult &plain) {
            TelegramResult out = plain;
            out.markdownRetried = true;
            out.markdownError = reason;
            done(out);
        });
    });
}

void TelegramBot::sendPhoto(const QString &chatId, const QString &filePath, QObject *context, TelegramCallback done)
{
    if (refuseEarly(context, done))
        return;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(context, done, QStringLiteral("The picture %1 cannot be read: %2").arg(filePath, file.errorString()));
        return;
    }
    const QByteArray boundary = "lapvane" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    QByteArray fileName = QFileInfo(filePath).fileName().toUtf8();
    for (char &c : fileName) {
        if (c == '"' || c == '\r' || c == '\n')
            c = '_';
    }
    QByteArray body = formPart(boundary, "name=\"chat_id\"", {}, chatId.toUtf8());
    body += formPart(boundary, "name=\"photo\"; filename=\"" + fileName + '"', "image/jpeg", file.readAll());
    body += formPart(boundary, "name=\"caption\"", {}, {});
    body += formPart(boundary, "name=\"disable_notification\"", {}, "false");
    body += formPart(boundary, "name=\"reply_to_message_id\"", {}, "0");
    body += "--" + boundary + "--\r\n";
    postOnce(QStringLiteral("sendPhoto"), "multipart/form-data; boundary=" + boundary, body, context, std::move(done));
}

void TelegramBot::getMe(QObject *context, TelegramCallback done)
{
    if (refuseEarly(context, done))
        return;
    QNetworkRequest request(methodUrl(QStringLiteral("getMe")));
    request.setTransferTimeout(m_timeoutMs);
    track(m_net->get(request), context, std::move(done));
}

void TelegramBot::getUpdates(qint64 offset, int limit, int timeoutS, QObject *context, TelegramCallback done)
{
    postJson(QStringLiteral("getUpdates"),
             QJsonObject{{QStringLiteral("offset"), offset},
                         {QStringLiteral("limit"), limit},
                         {QStringLiteral("timeout"), timeoutS}},
             context, std::move(done));
}

void TelegramBot::abortAll()
{
    const QSet<QNetworkReply *> replies = std::exchange(m_replies, {});
    for (QNetworkReply *reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    const QSet<OnceOnlyRequest *> onceOnly = std::exchange(m_onceOnly, {});
    for (OnceOnlyRequest *request : onceOnly) {
        request->disconnect(this);
        request->abort();
    }
}

} // namespace lapvane
