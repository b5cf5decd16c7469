// The Telegram commands of the window: the race result post ("to Telegram",
// also after an export with "auto Telegram"), "send Groups", "send Results",
// the free text ("Send") with its welcome text, the bot name ("Set") and the
// chart picture; and the bot dialogue with its receiver. Nothing here waits
// for the network: each command reports its answer when it comes.
#pragma once

#include "online/telegrambot.h"
#include "online/telegramdialogue.h"

#include <QLocale>
#include <QObject>
#include <QSqlDatabase>

#include <functional>

namespace lapvane {

class CurrentSelection;
class IniFile;
class OperatorLog;
class Settings;

class TelegramService : public QObject
{
    Q_OBJECT
public:
    TelegramService(QSqlDatabase db, Settings &settings, OperatorLog &log, const CurrentSelection &selection,
                    QObject *parent = nullptr);
    ~TelegramService() override;

    TelegramBot &bot() { return m_bot; }
    TelegramDialogue &dialogue() { return m_dialogue; }
    TelegramReceiver &receiver() { return m_receiver; }

    // Whether a stage row is selected in the stages list (the bot's rules).
    void setStageSelectedProbe(std::function<bool()> probe) { m_stageSelected = std::move(probe); }
    // The number and date format of the texts (the system's by default).
    void setLocale(const QLocale &locale) { m_locale = locale; }

    // Start-up: the service address from the settings file ("TelegaApiUrl" in
    // "SETTINGS") and the token from the loaded settings.
    void startUp(const IniFile &ini);
    // Shutdown: the receiver stops, requests in flight are dropped.
    void shutdown();

    // racetelegramSendExecute: false (nothing sent) when the race list is empty.
    bool racetelegramSendExecute();
    // Race result posts on their way (the "Sending..." window is shown meanwhile).
    int postsInFlight() const { return m_posts; }

    enum class Command { Groups, Results, FreeText, Photo };
    void btntelegaSendGroupsClick();
    void btnTelegaSendResultsClick();
    void bt11Click(const QString &freeText);
    // Button14Click, with the chart already saved as a picture file.
    void sendChart(const QString &imagePath);
    // Button1Click: the typed token becomes the client's; the bot's name follows.
    void Button1Click();
    // Button16Click after the save dialog: the group list written whole to
    // path; false with the reason when it could not be written.
    bool saveGroupsText(const QString &path, QString *error) const;
    // bttelegawelcomeClick's text for the current event and stage.
    QString welcomeText() const;

    // GenerateGroupsText / GenerateResultsText for the current stage.
    QString GenerateGroupsText() const;
    QString GenerateResultsText() const;

signals:
    void postsInFlightChanged(int posts);
    // A command was handed to Telegram / its answer came.
    void commandStarted(lapvane::TelegramService::Command command);
    void commandFinished(lapvane::TelegramService::Command command, bool ok);
    // lbbotname.
    void botNameChanged(const QString &name);
    // A failure the operator must see, in plain words.
    void problem(const QString &text);
    // A line of the bot dialogue log.
    void dialogueLine(const QString &line);

private:
    void send(Command command, const QString &text);
    QString chatId() const;

    QSqlDatabase m_db;
    Settings &m_settings;
    OperatorLog &m_log;
    const CurrentSelection &m_selection;
    QLocale m_locale;
    std::function<bool()> m_stageSelected;
    TelegramBot m_bot;
    TelegramDialogue m_dialogue;
    TelegramReceiver m_receiver;
    int m_posts = 0;
};

} // namespace lapvane
