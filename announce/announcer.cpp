// Speech for the race: speaktext, voices, the lap announcer and the invitation.
#include "announce/announcer.h"

#include "announce/speechengine.h"
#include "core/announcementring.h"
#include "core/operatorlog.h"
#include "core/settings.h"

#include <QThread>

namespace lapvane {

Announcer::Announcer(Settings &settings, OperatorLog &log, SpeechEngine &engine, AnnouncementRing &ring,
                     const QString &dbPath, ClockFactory clocks, QObject *parent)
    : QObject(parent), m_settings(settings), m_log(log), m_engine(engine), m_ring(ring), m_dbPath(dbPath),
      m_clocks(std::move(clocks))
{
    if (!m_clocks)
        m_clocks = [] { return std::make_unique<SteadyCountdownClock>(); };
    connect(&m_settings, &Settings::changed, this, [this](const QString &control, const QVariant &v) {
        if (control == QLatin1String("chksoundnames"))
            checksoundnames();
        else if (control == QLatin1String("trvoicerate"))
            trvoicerateChange(v.toInt());
    });
}

Announcer::~Announcer()
{
    shutdown();
}

void Announcer::voiceNotStarted()
{
    // The announcer threads speak too: the message is the main thread's.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this] { voiceNotStarted(); }, Qt::QueuedConnection);
        return;
    }
    emit noticeRequested(QStringLiteral("Voice not started in settings!"));
    emit voiceSettingsRequested();
}

bool Announcer::speaktext(const QString &text)
{
    if (!m_settings.flag(QStringLiteral("chksoundnames"))) {
        voiceNotStarted();
        return false;
    }
    m_engine.setVoiceIndex(m_settings.integer(QStringLiteral("cbVoices")));
    return m_engine.speak(text);
}

QStringList Announcer::btvoicesrefreshClick()
{
    const QStringList voices = m_engine.voices();
    emit voicesChanged(voices);
    if (!voices.isEmpty())
        m_settings.set(QStringLiteral("cbVoices"), 0);
    return voices;
}

void Announcer::trvoicerateChange(int position)
{
    m_engine.setRate(position);
}

void Announcer::Button13Click()
{
    speaktext(m_settings.text(QStringLiteral("Edit1")));
}

void Announcer::pilotplaynameExecute(const QString &name)
{
    if (m_settings.flag(QStringLiteral("chksoundnames")))
        m_engine.speak(name);
}

void Announcer::checksoundnames()
{
    if (!m_settings.flag(QStringLiteral("chksoundnames"))) {
        if (m_announcer && m_announcer->stop()) {
            m_announcer.reset();
            m_log.savelog(QStringLiteral("Voice name/laps stopped"));
        } else {
            m_log.savelog(QStringLiteral("can't kill name and laps thread"));
        }
        return;
    }
    m_ring.clear();
    if (btvoicesrefreshClick().isEmpty()) {
        emit noticeRequested(QStringLiteral("No voice installed"));
        // Turning the switch off runs this check again, which stops the announcer.
        m_settings.set(QStringLiteral("chksoundnames"), false);
        return;
    }
    m_engine.setVoiceIndex(m_settings.integer(QStringLiteral("cbVoices")));
    m_engine.setRate(m_settings.integer(QStringLiteral("trvoicerate")));
    // A second start takes a new snapshot of the race list.
    if (!m_announcer) {
        m_announcer = std::make_unique<LapAnnouncer>(
            m_ring, m_engine, [this](const QString &text) { return speaktext(text); }, m_dbPath);
        connect(m_announcer.get(), &LapAnnouncer::logLine, &m_log, &OperatorLog::savelog);
    }
    m_announcer->start();
    m_log.savelog(QStringLiteral("Voice name/laps started"));
}

void Announcer::startupCheck()
{
    // The list is filled even with the switch off, so the stored voice can be shown.
    btvoicesrefreshClick();
    checksoundnames();
}

void Announcer::lapWritten()
{
    if (m_announcer)
        m_announcer->wake();
}

void Announcer::releaseInvitation(bool quietly)
{
    if (!m_invitation)
        return;
    m_invitation->stop(quietly);
    m_invitation.reset();
}

void Announcer::btvoiceinviteClick()
{
    // A new group's invitation replaces one still running.
    releaseInvitation(true);
    const int generation = ++m_invitationGeneration;
    m_invitation = std::make_unique<VoiceInvitation>(
        m_settings, m_engine, [this](const QString &text) { return speaktext(text); },
        [this] { voiceNotStarted(); }, m_dbPath, m_clocks());
    connect(m_invitation.get(), &VoiceInvitation::logLine, &m_log, &OperatorLog::savelog);
    connect(m_invitation.get(), &VoiceInvitation::countdownChanged, this, &Announcer::countdownChanged);
    connect(m_invitation.get(), &VoiceInvitation::ended, this, [this, generation] {
        if (generation == m_invitationGeneration)
            emit inviteEnabledChanged(true);
    });
    m_invitation->start();
    m_log.savelog(QStringLiteral("VoiceInvite started"));
    emit inviteEnabledChanged(false);
}

bool Announcer::btvoiceinvitestopClick()
{
    if (!m_invitation) {
        m_log.savelog(QStringLiteral("could not stop VoiceInvite manually"));
        return false;
    }
    ++m_invitationGeneration;
    releaseInvitation(false);
    m_log.savelog(QStringLiteral("VoiceInvite terminated manually"));
    emit inviteEnabledChanged(true);
    return true;
}

void Announcer::stopInvitationForRaceStart()
{
    if (!m_invitation)
        return;
    // An invitation that has ended is only released: nothing was cut short.
    if (!m_invitation->isRunning()) {
        ++m_invitationGeneration;
        releaseInvitation(true);
        return;
    }
    btvoiceinvitestopClick();
}

bool Announcer::shutdown()
{
    ++m_invitationGeneration;
    releaseInvitation(true);
    if (m_announcer)
        m_announcer->stop();
    m_announcer.reset();
    return true;
}

} // namespace lapvane
