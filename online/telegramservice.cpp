// The Telegram commands over the Bot API client.
#include "online/telegramservice.h"

#include "core/currentselection.h"
#include "core/inifile.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "online/telegramtexts.h"

#include <QJsonObject>
#include <QSaveFile>

namespace lapvane {

using namespace telegramtexts;

namespace {

QString commandName(TelegramService::Command c)
{
    switch (c) {
    case TelegramService::Command::Groups: return QStringLiteral("send Groups");
    case TelegramService::Command::Results: return QStringLiteral("send Results");
    case TelegramService::Command::FreeText: return QStringLiteral("Send");
    case TelegramService::Command::Photo: return QStringLiteral("Send to Telega");
    }
    return {};
}

} // namespace

TelegramService::TelegramService(QSqlDatabase db, Settings &settings, OperatorLog &log,
                                 const CurrentSelection &selection, QObject *parent)
    : QObject(parent), m_db(db), m_settings(settings), m_log(log), m_selection(selection),
      m_locale(QLocale::system()), m_stageSelected([] { return false; }), m_bot(this),
      m_dialogue(m_bot,
                 {[this] { return m_settings.flag(QStringLiteral("chktelegareceive")); },
                  [this] { return m_stageSelected(); }, [this] { return GenerateGroupsText(); },
                  [this] { return GenerateResultsText(); }},
                 this),
      m_receiver(m_bot, m_dialogue, this)
{
    connect(&m_dialogue, &TelegramDialogue::logLine, this, &TelegramService::dialogueLine);
    connect(&m_receiver, &TelegramReceiver::logLine, this, &TelegramService::dialogueLine);
    // The option's reaction, also when the settings are loaded at start-up.
    connect(&m_settings, &Settings::changed, this, [this](const QString &control, const QVariant &value) {
        if (control == QLatin1String("chktelegareceive"))
            m_receiver.setOn(value.toBool());
    });
    m_receiver.setOn(m_settings.flag(QStringLiteral("chktelegareceive")));
}

TelegramService::~TelegramService()
{
    shutdown();
}

void TelegramService::startUp(const IniFile &ini)
{
    m_bot.setBaseUrl(ini.readString(QStringLiteral("SETTINGS"), QStringLiteral("TelegaApiUrl"),
                                    QLatin1String(TelegramBot::kDefaultApiUrl)));
    const QString problem = m_bot.baseUrlProblem();
    if (!problem.isEmpty())
        m_log.savelog(problem);
    m_bot.setToken(m_settings.text(QStringLiteral("bottoken")));
}

void TelegramService::shutdown()
{
    m_receiver.setOn(false);
    m_bot.abortAll();
    if (m_posts != 0) {
        m_posts = 0;
        emit postsInFlightChanged(0);
    }
}

QString TelegramService::chatId() const
{
    return m_settings.text(QStringLiteral("cbtelechatid"));
}

bool TelegramService::racetelegramSendExecute()
{
    const StageInfo stage = readStage(m_db, m_selection.currentStageId());
    // Each post carries its own copy of the text and the chat it goes to.
    const QString telegamessage = raceResultText(m_db, m_settings.text(QStringLiteral("edtlaps")), stage.tracklen,
                                                 m_locale);
    if (telegamessage.isEmpty())
        return false;
    const QString chat = chatId();
    emit postsInFlightChanged(++m_posts);
    m_bot.sendMessage(chat, telegamessage, TelegramBot::ParseMode::Markdown, this,
                      [this, chat](const TelegramResult &r) {
                          if (r.markdownRetried)
                              m_log.savelog(QStringLiteral("Telegram refused the race result's formatting (%1); "
                                                           "sent again without formatting")
                                                .arg(r.markdownError));
                          if (r.ok) {
                              m_log.savelog(QStringLiteral("Exported to Telegram (") + chat + QStringLiteral(")"));
                          } else {
                              m_log.savelog(QStringLiteral("Telega did not work.."));
                              m_log.savelog(r.error);
                          }
                          if (m_posts > 0)
                              emit postsInFlightChanged(--m_posts);
                      });
    return true;
}

void TelegramService::send(Command command, const QString &text)
{
    emit commandStarted(command);
    m_bot.sendMessage(chatId(), text, TelegramBot::ParseMode::Markdown, this, [this, command](const TelegramResult &r) {
        if (r.markdownRetried)
            m_log.savelog(QStringLiteral("Telegram refused the formatting of \"%1\" (%2); sent again without formatting")
                              .arg(commandName(command), r.markdownError));
        if (!r.ok)
            emit problem(QStringLiteral("%1 did not reach Telegram: %2").arg(commandName(command), r.error));
        emit commandFinished(command, r.ok);
    });
}

void TelegramService::btntelegaSendGroupsClick()
{
    send(Command::Groups, GenerateGroupsText());
}

void TelegramService::btnTelegaSendResultsClick()
{
    send(Command::Results, GenerateResultsText());
}

void TelegramService::bt11Click(const QString &freeText)
{
    send(Command::FreeText, freeText);
}

void TelegramService::sendChart(const QString &imagePath)
{
    emit commandStarted(Command::Photo);
    m_bot.sendPhoto(chatId(), imagePath, this, [this](const TelegramResult &r) {
        if (!r.ok)
            emit problem(QStringLiteral("Send to Telega did not reach Telegram: %1").arg(r.error));
        emit commandFinished(Command::Photo, r.ok);
    });
}

void TelegramService::Button1Click()
{
    m_bot.setToken(m_settings.text(QStringLiteral("bottoken")));
    emit botNameChanged(QStringLiteral("..."));
    m_bot.getMe(this, [this](const TelegramResult &r) {
        const QString name = r.result.toObject().value(QLatin1String("username")).toString();
        if (r.ok && !name.isEmpty()) {
            emit botNameChanged(name);
            return;
        }
        emit botNameChanged(QStringLiteral("error!"));
        m_log.savelog(QStringLiteral("Telegram bot: ") + (r.ok ? QStringLiteral("the answer holds no bot name") : r.error));
    });
}

bool TelegramService::saveGroupsText(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(GenerateGroupsText().toUtf8()) >= 0 && file.commit())
        return true;
    *error = QStringLiteral("The group list could not be saved to %1: %2").arg(path, file.errorString());
    return false;
}

QString TelegramService::welcomeText() const
{
    return telegramtexts::welcomeText(readEvent(m_db, m_selection.currentEventNum()),
                                      readStage(m_db, m_selection.currentStageId()), QDate::currentDate(), m_locale);
}

QString TelegramService::GenerateGroupsText() const
{
    return groupsText(m_db, readStage(m_db, m_selection.currentStageId()));
}

QString TelegramService::GenerateResultsText() const
{
    return resultsText(m_db, readStage(m_db, m_selection.currentStageId()));
}

} // namespace lapvane
