// The bot dialogue: polling for updates and answering addressed messages.
#include "online/telegramdialogue.h"

#include "online/telegrambot.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace lapvane {

namespace {

std::optional<qint64> updateId(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    // Integers beyond the double's range are read as their nearest double,
    // which is above the largest id taken.
    const double d = v.toDouble();
    if (!(d >= 0 && d <= double(kMaxUpdateId)) || d != std::floor(d))
        return std::nullopt;
    return v.toInteger();
}

} // namespace

QList<TelegramUpdate> parseUpdates(const QJsonValue &result, int *ignored)
{
    QList<TelegramUpdate> updates;
    if (ignored)
        *ignored = 0;
    for (const QJsonValue &v : result.toArray()) {
        const QJsonObject o = v.toObject();
        const std::optional<qint64> id = updateId(o.value(QLatin1String("update_id")));
        if (!id) {
            if (ignored)
                ++*ignored;
            continue;
        }
        TelegramUpdate u;
        u.updateId = *id;
        const QJsonValue message = o.value(QLatin1String("message"));
        if (message.isObject()) {
            const QJsonObject m = message.toObject();
            const QJsonObject chat = m.value(QLatin1String("chat")).toObject();
            const QJsonObject from = m.value(QLatin1String("from")).toObject();
            u.hasMessage = true;
            u.text = m.value(QLatin1String("text")).toString();
            u.chatId = chat.value(QLatin1String("id")).toInteger();
            u.chatTitle = chat.value(QLatin1String("title")).toString();
            u.fromId = from.value(QLatin1String("id")).toInteger();
            u.firstName = from.value(QLatin1String("first_name")).toString();
            u.lastName = from.value(QLatin1String("last_name")).toString();
        }
        updates << u;
    }
    return updates;
}

bool isAddressed(const QString &lowerText)
{
    const int at = lowerText.indexOf(QStringLiteral("омощник,"));
    return at == 0 || at == 1;
}

DialogueAnswer chooseAnswer(const QString &t, const QString &firstName, bool stageSelected)
{
    auto has = [&t](const char *word) { return t.contains(QString::fromUtf8(word)); };
    DialogueAnswer a;
    if (has("ривет")) {
        a.text = QStringLiteral("Привет, ") + firstName;
    } else if (has("ай таблиц") || has("ай результат")) {
        if (stageSelected) {
            a.kind = DialogueAnswer::Results;
        } else {
            a.text = QStringLiteral("Сейчас не могу дать результаты...");
            a.endsBatch = true;
        }
    } else if (has("ай") && has("груп")) {
        if (stageSelected) {
            a.kind = DialogueAnswer::Groups;
        } else {
            a.text = QStringLiteral("Пока не могу дать группы...");
            a.endsBatch = true;
        }
    } else if (has("пока")) {
        a.text = QStringLiteral("ну, бывай, ") + firstName + QStringLiteral("-брат!");
    } else if (has("ты") && has("кто")) {
        a.text = firstName
                 + QStringLiteral(", я - информационный бот, встроенный в систему хронометража Lapvane. Помогаю "
                                  "пилотам узнавать результаты во время гонки. ");
    } else {
        a.text = firstName + QStringLiteral(", не понял...");
    }
    return a;
}

struct TelegramDialogue::Batch
{
    QList<TelegramUpdate> updates;
    std::function<void()> done;
};

TelegramDialogue::TelegramDialogue(TelegramBot &bot, Sources sources, QObject *parent)
    : QObject(parent), m_bot(bot), m_sources(std::move(sources))
{
}

void TelegramDialogue::telega1rcvUpdates(const QList<TelegramUpdate> &updates, std::function<void()> done)
{
    emit logLine(QStringLiteral("rnd=") + QString::number(QRandomGenerator::global()->bounded(100)));
    if (!m_sources.receiving()) {
        done();
        return;
    }
    handleFrom(std::make_shared<Batch>(Batch{updates, std::move(done)}), 0);
}

// Handles the batch from update index on; an answer is sent and the next
// update handled once Telegram has taken it, so the answers keep their order.
void TelegramDialogue::handleFrom(std::shared_ptr<Batch> batch, int index)
{
    for (; index < batch->updates.size(); ++index) {
        const TelegramUpdate &u = batch->updates.at(index);
        if (!u.hasMessage)
            continue;
        if (u.updateId == m_TelegaFirstUpdID) {
            emit logLine(QStringLiteral("Repeat update (") + QString::number(u.updateId) + QStringLiteral(")"));
            break;
        }
        if (index == 0)
            m_TelegaFirstUpdID = u.updateId;
        emit logLine(QString::number(u.updateId));
        const QString lower = u.text.toLower();
        if (!isAddressed(lower))
            continue;
        emit logLine(QStringLiteral("chat: ") + QString::number(u.chatId) + QStringLiteral(" ") + u.chatTitle);
        emit logLine(QStringLiteral("user: ") + QString::number(u.fromId) + QStringLiteral(" ") + u.firstName
                     + QStringLiteral(" ") + u.lastName);
        emit logLine(u.text);
        emit logLine(QStringLiteral("-----"));

        DialogueAnswer a = chooseAnswer(lower, u.firstName, m_sources.stageSelected());
        if (a.kind == DialogueAnswer::Results)
            a.text = m_sources.resultsText();
        else if (a.kind == DialogueAnswer::Groups)
            a.text = m_sources.groupsText();
        const int next = a.endsBatch ? int(batch->updates.size()) : index + 1;
        m_bot.sendMessage(u.chatId, a.text, TelegramBot::ParseMode::None, this,
                          [this, batch, next](const TelegramResult &r) {
                              if (!r.ok) {
                                  emit logLine(QStringLiteral("error"));
                                  emit logLine(r.error);
                                  batch->done();
                                  return;
                              }
                              handleFrom(batch, next);
                          });
        return;
    }
    batch->done();
}

TelegramReceiver::TelegramReceiver(TelegramBot &bot, TelegramDialogue &dialogue, QObject *parent)
    : QObject(parent), m_bot(bot), m_dialogue(dialogue)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TelegramReceiver::poll);
}

void TelegramReceiver::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    ++m_run;
    m_timer.stop();
    m_busy = false;
    // The first poll comes once start-up has given the client its token.
    if (on)
        QTimer::singleShot(0, this, [this, run = m_run] {
            if (m_on && run == m_run && !m_busy)
                poll();
        });
}

void TelegramReceiver::poll()
{
    if (!m_on || m_busy)
        return;
    m_busy = true;
    const int run = m_run;
    m_bot.getUpdates(m_offset, kLimit, 0, this, [this, run](const TelegramResult &r) {
        if (run != m_run)
            return; // switched off (and maybe on again) meanwhile
        if (!r.ok) {
            // Reported once, not every second.
            if (r.error != m_lastError)
                emit logLine(QStringLiteral("getUpdates failed: ") + r.error);
            m_lastError = r.error;
            cycleDone();
            return;
        }
        if (!m_lastError.isEmpty())
            emit logLine(QStringLiteral("getUpdates works again"));
        m_lastError.clear();
        int ignored = 0;
        const QList<TelegramUpdate> updates = parseUpdates(r.result, &ignored);
        if (ignored > 0)
            emit logLine(QStringLiteral("getUpdates: %1 update(s) without a valid update_id ignored").arg(ignored));
        if (updates.isEmpty() || !m_on) {
            cycleDone();
            return;
        }
        // Telegram drops what was handed on. The offset only moves forward,
        // whatever order the answer lists its updates in.
        qint64 last = updates.first().updateId;
        for (const TelegramUpdate &u : updates)
            last = std::max(last, u.updateId);
        m_offset = std::max(m_offset, last + 1);
        m_dialogue.telega1rcvUpdates(updates, [this, run] {
            if (run == m_run)
                cycleDone();
        });
    });
}

void TelegramReceiver::cycleDone()
{
    m_busy = false;
    if (m_on)
        m_timer.start();
}

} // namespace lapvane
