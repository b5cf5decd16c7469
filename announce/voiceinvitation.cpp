// The voice invitation thread.
#include "announce/voiceinvitation.h"

#include "announce/callphrases.h"
#include "announce/speechengine.h"
#include "core/settings.h"
#include "store/database.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <chrono>

namespace lapvane {

std::atomic_int VoiceInvitation::s_connections{0};

qint64 SteadyCountdownClock::nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SteadyCountdownClock::sleepUntil(qint64 untilMs)
{
    for (qint64 left = untilMs - nowMs(); left > 0 && !m_interrupted; left = untilMs - nowMs())
        m_wake.wait(int(left));
}

void SteadyCountdownClock::interrupt()
{
    m_interrupted = true;
    m_wake.notify();
}

VoiceInvitation::VoiceInvitation(Settings &settings, SpeechEngine &engine,
                                 std::function<bool(const QString &)> speaktext,
                                 std::function<void()> voiceNotStarted, const QString &dbPath,
                                 std::unique_ptr<CountdownClock> clock, QObject *parent)
    : QObject(parent), m_settings(settings), m_engine(engine), m_speaktext(std::move(speaktext)),
      m_voiceNotStarted(std::move(voiceNotStarted)), m_dbPath(dbPath), m_clock(std::move(clock))
{
    m_speechEnded = connect(&m_engine, &SpeechEngine::speechFinished, this, [this] { m_wake.notify(); },
                            Qt::DirectConnection);
}

VoiceInvitation::~VoiceInvitation()
{
    disconnect(m_speechEnded);
    stop(true);
}

QString VoiceInvitation::invitationText(const QString &opening, const QString &group, const QStringList &names)
{
    QString text = opening + QStringLiteral(" ") + group + QStringLiteral(". ");
    for (const QString &name : names)
        text += name + QStringLiteral(",");
    return text + QStringLiteral(". ");
}

QString VoiceInvitation::invitationSpeech(const QString &opening, const QString &group, const QStringList &names)
{
    return opening + QStringLiteral(" ") + group + QStringLiteral(". ") + names.join(QStringLiteral(", "))
           + QStringLiteral(". ");
}

QString VoiceInvitation::countdownText(const QString &before, int seconds, const QString &after)
{
    return before + QStringLiteral(" ") + QString::number(seconds) + QStringLiteral(" ") + after + QStringLiteral(". ");
}

void VoiceInvitation::start()
{
    m_stop = false;
    m_quiet = false;
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("tvoiceinvite"));
    m_thread->start();
}

void VoiceInvitation::stop(bool quietly)
{
    if (!m_thread)
        return;
    m_quiet = quietly;
    m_stop = true;
    m_clock->interrupt();
    m_wake.notify();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

bool VoiceInvitation::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

void VoiceInvitation::waitWhileSpeaking()
{
    // Speech ends wake the thread; the timed wait only guards a lost wake-up.
    while (m_engine.isSpeaking() && !m_stop)
        m_wake.wait(20);
}

QString VoiceInvitation::wording(const QString &control, bool *english) const
{
    static const struct
    {
        const char *control;
        const char *english;
    } kEnglish[] = {{"edvoiceinvite1", "To the start: group "},
                    {"eddostarta", "Start in"},
                    {"edseconds", " seconds"},
                    {"edprepare2start", "Time is up. Get ready to start."}};
    const QString text = m_settings.text(control);
    *english = false;
    if (!m_speakEnglish || callLanguage(m_settings.text(QStringLiteral("cbpageslanguage"))) != CallLanguage::English)
        return text;
    const SettingDef *def = Settings::definition(control);
    for (const auto &e : kEnglish) {
        if (control == QLatin1String(e.control) && def && text == def->def.toString()) {
            *english = true;
            return QString::fromUtf8(e.english);
        }
    }
    return text;
}

void VoiceInvitation::run()
{
    // Said once at the start; every speak below repeats it while the switch is off.
    if (!m_settings.flag(QStringLiteral("chksoundnames")) && m_voiceNotStarted)
        m_voiceNotStarted();

    waitWhileSpeaking();

    QString group;
    QStringList names;
    bool listed = false;
    const QString connection = QStringLiteral("tvoiceinvite%1").arg(++s_connections);
    {
        QString error;
        QSqlDatabase db = Database::openWorkerConnection(m_dbPath, connection, &error);
        QSqlQuery q(db);
        if (db.isOpen() && q.exec(QStringLiteral("SELECT * FROM onerace ORDER BY id"))) {
            const int groupField = q.record().indexOf(QStringLiteral("group"));
            const int nameField = q.record().indexOf(QStringLiteral("pilotname"));
            while (q.next()) {
                if (!listed)
                    group = q.value(groupField).toString();
                listed = true;
                names << q.value(nameField).toString();
            }
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (!listed) {
        emit logLine(QStringLiteral("Invite pilot error!"));
        emit ended();
        return;
    }
    auto say = [this](bool english, const QString &text) { return (english ? m_speakEnglish : m_speaktext)(text); };
    bool english = false;
    if (!m_stop) {
        const QString opening = wording(QStringLiteral("edvoiceinvite1"), &english);
        say(english, invitationSpeech(opening, group, names));
    }

    if (m_settings.flag(QStringLiteral("chvoicecountdown"))) {
        bool ok = false;
        const int length = m_settings.text(QStringLiteral("edvoicecountdownsec")).trimmed().toInt(&ok);
        if (!ok)
            emit logLine(QStringLiteral("The countdown length \"%1\" is not a number of seconds; no countdown.")
                             .arg(m_settings.text(QStringLiteral("edvoicecountdownsec"))));
        qint64 next = 0;
        for (int i = ok ? length : -1; i >= 0; --i) {
            const int current = m_settings.text(QStringLiteral("edvoicecountdownsec")).trimmed().toInt();
            if (!m_stop && (i == current || i == 60 || i == 30 || i == 15)) {
                waitWhileSpeaking();
                if (!m_stop) {
                    bool before = false, after = false;
                    const QString words = countdownText(wording(QStringLiteral("eddostarta"), &before), i,
                                                        wording(QStringLiteral("edseconds"), &after));
                    say(before && after, words);
                }
            }
            // The seconds run from the first announcement, after the invitation.
            if (i == length)
                next = m_clock->nowMs();
            emit countdownChanged(i);
            if (m_stop)
                break;
            next += 1000;
            m_clock->sleepUntil(next);
        }
        if (!m_quiet) {
            // A stop cuts what is being said: the final phrase comes at once.
            if (m_stop)
                m_engine.stop();
            waitWhileSpeaking();
            const QString final = wording(QStringLiteral("edprepare2start"), &english);
            say(english, final);
        }
    }
    emit ended();
}

} // namespace lapvane
