// The bot dialogue: the update receiver that polls "getUpdates" every second
// while "Receive Telegram messages" is on, and the handler that answers
// messages addressed to the bot ("Помощник, ...") with greetings, the stage's
// groups and results, as plain text. Its account goes to the bot dialogue log.
#pragma once

#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace lapvane {

class TelegramBot;

struct TelegramUpdate
{
    qint64 updateId = 0;
    bool hasMessage = false;
    QString text;
    qint64 chatId = 0;
    QString chatTitle;
    qint64 fromId = 0;
    QString firstName;
    QString lastName;
};

// The largest update id taken: every id stays exact in JSON and one above it
// is still a number, so the next offset never overflows.
inline constexpr qint64 kMaxUpdateId = (qint64(1) << 53) - 1;

// The updates of a "getUpdates" answer, in order. An update without a whole
// "update_id" from 0 to kMaxUpdateId is left out and counted in *ignored.
QList<TelegramUpdate> parseUpdates(const QJsonValue &result, int *ignored = nullptr);

// The answer the bot gives to a lower-cased addressed message.
struct DialogueAnswer
{
    enum Kind { Text, Results, Groups };
    Kind kind = Text;
    QString text; // for Text
    bool endsBatch = false;
};
DialogueAnswer chooseAnswer(const QString &lowerText, const QString &firstName, bool stageSelected);
// True when the message begins by addressing the bot.
bool isAddressed(const QString &lowerText);

class TelegramDialogue : public QObject
{
    Q_OBJECT
public:
    // What the handler reads from the rest of the program, at the moment it runs.
    struct Sources
    {
        std::function<bool()> receiving;     // the option "Receive Telegram messages"
        std::function<bool()> stageSelected; // a stage row selected in the stages list
        std::function<QString()> groupsText;
        std::function<QString()> resultsText;
    };

    TelegramDialogue(TelegramBot &bot, Sources sources, QObject *parent = nullptr);

    // telega1rcvUpdates: handles one batch; done runs when the last answer of
    // the batch was delivered or the batch was ended.
    void telega1rcvUpdates(const QList<TelegramUpdate> &batch, std::function<void()> done);

    qint64 firstUpdateId() const { return m_TelegaFirstUpdID; }

signals:
    // One line of the bot dialogue log (mmo1).
    void logLine(const QString &line);

private:
    struct Batch;
    void handleFrom(std::shared_ptr<Batch> batch, int index);

    TelegramBot &m_bot;
    Sources m_sources;
    qint64 m_TelegaFirstUpdID = 0;
};

// The polling side (telega1rcv): one cycle per second, each after the
// previous batch was handled.
class TelegramReceiver : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 1000;
    static constexpr int kLimit = 100;

    TelegramReceiver(TelegramBot &bot, TelegramDialogue &dialogue, QObject *parent = nullptr);

    // chktelegareceiveClick. The offset survives switching off and on.
    void setOn(bool on);
    bool isOn() const { return m_on; }
    void setIntervalMs(int ms) { m_timer.setInterval(ms); }
    qint64 offset() const { return m_offset; }

signals:
    void logLine(const QString &line);

private:
    void poll();
    void cycleDone();

    TelegramBot &m_bot;
    TelegramDialogue &m_dialogue;
    QTimer m_timer;
    bool m_on = false;
    bool m_busy = false; // a request or a batch in progress
    qint64 m_offset = 0;
    QString m_lastError;
    // Bumped at each switch, so an answer of an earlier run is dropped.
    int m_run = 0;
};

} // namespace lapvane
