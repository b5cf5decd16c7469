// The Telegram Bot API client (telega1): holds the bot token and the service
// address and performs "sendMessage", "sendPhoto", "getMe" and "getUpdates",
// each asynchronously with a time-out; the answer comes back to a callback.
#pragma once

#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace lapvane {

class OnceOnlyRequest;
struct OnceOnlyAnswer;

struct TelegramResult
{
    bool ok = false;
    // The answer's "result" when ok.
    QJsonValue result;
    // What failed, in plain words, with the bot token masked.
    QString error;
    // The message was refused for its Markdown and went out a second time
    // without a parse mode; markdownError holds Telegram's reason.
    bool markdownRetried = false;
    QString markdownError;
};

using TelegramCallback = std::function<void(const TelegramResult &)>;

class TelegramBot : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kDefaultApiUrl = "https://api.telegram.org";
    static constexpr int kDefaultTimeoutMs = 20000;

    explicit TelegramBot(QObject *parent = nullptr);
    ~TelegramBot() override;

    void setToken(const QString &token) { m_token = token.trimmed(); }
    QString token() const { return m_token; }

    // The service's base address with its scheme. https:// is verified as
    // usual; plain http:// is taken only for a loopback address. A refused
    // address is kept, so every call reports why it cannot be used.
    void setBaseUrl(const QString &url);
    QString baseUrl() const { return m_baseText; }
    // Empty when the base address can be used, otherwise why not.
    QString baseUrlProblem() const;

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }

    enum class ParseMode { Markdown, None };

    // The callback runs on this object's thread, later, never inside the
    // call; not at all when context has gone meanwhile. A Markdown message
    // that Telegram refuses for its Markdown is sent once more without a
    // parse mode. Messages and photos go out once only, each over its own
    // connection: a dropped connection is reported, never sent again by
    // itself (Telegram may have taken the first).
    void sendMessage(const QString &chatId, const QString &text, ParseMode mode, QObject *context,
                     TelegramCallback done);
    // The bot's answers go to the chat of the incoming message, by number.
    void sendMessage(qint64 chatId, const QString &text, ParseMode mode, QObject *context, TelegramCallback done);
    // Uploads a local file as the photo.
    void sendPhoto(const QString &chatId, const QString &filePath, QObject *context, TelegramCallback done);
    void getMe(QObject *context, TelegramCallback done);
    void getUpdates(qint64 offset, int limit, int timeoutS, QObject *context, TelegramCallback done);

    // text with every occurrence of the token replaced by a mask.
    QString masked(const QString &text) const;

    // Drops every request in flight; their callbacks are not run.
    void abortAll();
    int requestsInFlight() const { return int(m_replies.size() + m_onceOnly.size()); }

private:
    void sendMessageJson(const QJsonValue &chatId, const QString &text, ParseMode mode, QObject *context,
                         TelegramCallback done);
    QUrl methodUrl(const QString &method) const;
    bool refuseEarly(QObject *context, const TelegramCallback &done);
    void postJson(const QString &method, const QJsonObject &body, QObject *context, TelegramCallback done);
    // A request that changes something (a message, a photo): once only.
    void postOnce(const QString &method, const QByteArray &contentType, const QByteArray &body, QObject *context,
                  TelegramCallback done);
    void track(QNetworkReply *reply, QObject *context, TelegramCallback done);
    TelegramResult readReply(QNetworkReply *reply) const;
    TelegramResult readAnswer(int status, const QByteArray &body, bool timedOut, const QString &networkError) const;
    void fail(QObject *context, const TelegramCallback &done, const QString &error);

    QNetworkAccessManager *m_net;
    QString m_token;
    QString m_baseText;
    QUrl m_base;
    int m_timeoutMs = kDefaultTimeoutMs;
    QSet<QNetworkReply *> m_replies;
    QSet<OnceOnlyRequest *> m_onceOnly;
};

} // namespace lapvane
