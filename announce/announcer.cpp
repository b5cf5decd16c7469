// Speech for the race: speaktext, voices, the lap announcer and the invitation.
#include "announce/announcer.h"

#include "announce/callphrases.h"
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
    {
        QMutexLocker lock(&m_voicesLock);
        m_voiceNames = voices;
    }
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
            m_ring, m_engine, [this](const QString &text) { return speakCall(text); }, m_dbPath, m_book,
            [this] { return callOptions(); },
            [this] { return m_finishCuePlaying && m_finishCuePlaying(); });
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

bool Announcer::speakCall(const QString &text)
{
    if (!m_settings.flag(QStringLiteral("chksoundnames")))
        return speaktext(text);
    int voice = m_settings.integer(QStringLiteral("cbVoices"));
    if (callLanguage(m_settings.text(QStringLiteral("cbpageslanguage"))) == CallLanguage::English) {
        QMutexLocker lock(&m_voicesLock);
        // The operator's voice when it is an English one, else the first English voice.
        if (!m_voiceNames.value(voice).startsWith(QLatin1String("English"))) {
            for (int i = 0; i < m_voiceNames.size(); ++i) {
                if (m_voiceNames.at(i).startsWith(QLatin1String("English"))) {
                    voice = i;
                    break;
                }
            }
        }
    }
    m_engine.setVoiceIndex(voice);
    return m_engine.speak(text);
}

LapAnnouncer::Options Announcer::callOptions() const
{
    LapAnnouncer::Options o;
    o.language = callLanguage(m_settings.text(QStringLiteral("cbpageslanguage")));
    o.parts.name = m_settings.flag(QStringLiteral("chkcallname"));
    o.parts.lap = m_settings.flag(QStringLiteral("chkcalllap"));
    o.parts.time = m_settings.flag(QStringLiteral("chkcalllaptime"));
    o.finishCalls = m_settings.flag(QStringLiteral("chkcallfinish"));
    if (m_settings.flag(QStringLiteral("chkcallstale"))) {
        bool ok = false;
        const double seconds = m_settings.text(QStringLiteral("edcallstalesec")).trimmed().toDouble(&ok);
        o.staleAfterMs = ok && seconds > 0 ? qint64(seconds * 1000) : 5000;
    }
    return o;
}

const QList<int> &Announcer::timeLeftMarks()
{
    static const QList<int> marks = {60, 30, 10, 5, 4, 3, 2, 1};
    return marks;
}

void Announcer::addCall(const CallBook::Call &call)
{
    m_book.addCall(call);
    if (m_announcer)
        m_announcer->wake();
}

void Announcer::raceStarted()
{
    m_book.clear();
    m_lastRemainingMs = -1;
}

void Announcer::lapCounted(const CountedLap &lap)
{
    lapRecorded(lap.pilotId, lap.lapn, lap.lapMs);
    if (lap.place > 0)
        pilotFinished(lap.pilotId, lap.lapn, lap.place);
}

void Announcer::lapRecorded(int pilotId, int lap, qint64 lapMs)
{
    m_book.noteLap(pilotId, lap, lapMs);
}

void Announcer::pilotFinished(int pilotId, int lap, int place)
{
    if (!m_settings.flag(QStringLiteral("chkcallfinish")))
        return;
    m_book.noteFinish(pilotId, lap, place);
    if (m_announcer)
        m_announcer->wake();
}

void Announcer::raceCompleted()
{
    if (!m_settings.flag(QStringLiteral("chkcallfinish")))
        return;
    CallBook::Call call;
    call.kind = CallBook::Call::Winner;
    addCall(call);
}

void Announcer::raceClock(qint64 elapsedMs, qint64 limitMs)
{
    if (limitMs <= 0 || !m_settings.flag(QStringLiteral("chkcalltimeleft"))) {
        m_lastRemainingMs = -1;
        return;
    }
    const qint64 remaining = limitMs - elapsedMs;
    const qint64 before = m_lastRemainingMs < 0 ? limitMs : m_lastRemainingMs;
    m_lastRemainingMs = remaining;
    for (int mark : timeLeftMarks()) {
        const qint64 markMs = mark * 1000LL;
        // Said as the mark is passed, within its second; a mark as long as
        // the race itself is not said at the start.
        if (limitMs > markMs && before > markMs && remaining <= markMs && remaining > markMs - 1000) {
            CallBook::Call call;
            call.kind = CallBook::Call::TimeLeft;
            call.seconds = mark;
            call.atMs = m_book.nowMs();
            // The count of the last seconds is no use late; the others keep a while.
            call.expiresAtMs = call.atMs + (mark <= 5 ? 900 : 3000);
            addCall(call);
        }
    }
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
    m_invitation->setEnglishSpeaker([this](const QString &text) { return speakCall(text); });
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
