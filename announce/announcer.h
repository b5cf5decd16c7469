// Speech for the race: `speaktext`, the voice list and rate, the lap
// announcer switched by "Play names and laps", "Play name" and the voice
// invitation with its countdown. The window's handlers call these and show
// what the signals report.
#pragma once

#include "announce/lapannouncer.h"
#include "announce/voiceinvitation.h"

#include <QObject>

#include <functional>
#include <memory>

namespace lapvane {

class Settings;
class OperatorLog;
class SpeechEngine;
class AnnouncementRing;

class Announcer : public QObject
{
    Q_OBJECT
public:
    using ClockFactory = std::function<std::unique_ptr<CountdownClock>()>;

    // Lives on the main thread. dbPath is the database file the threads read
    // on their own connections; clocks makes each invitation's countdown
    // clock (steady time when empty).
    Announcer(Settings &settings, OperatorLog &log, SpeechEngine &engine, AnnouncementRing &ring,
              const QString &dbPath, ClockFactory clocks = {}, QObject *parent = nullptr);
    ~Announcer() override;

    // Speaks the text with the voice `cbVoices` shows, when "Play names and
    // laps" is on; otherwise says "Voice not started in settings!" and brings
    // the voice settings forward. Any thread.
    bool speaktext(const QString &text);

    // "Refresh": the engine's voices into the list, the first selected.
    QStringList btvoicesrefreshClick();
    // The rate slider moved.
    void trvoicerateChange(int position);
    // "say": the test phrase.
    void Button13Click();
    // "Play name": speaks the name with the engine's voice, only when "Play
    // names and laps" is on; silent otherwise.
    void pilotplaynameExecute(const QString &name);

    // Starts or stops the lap announcer as "Play names and laps" says (also
    // run when the switch changes).
    void checksoundnames();
    // Start-up, "Checking sound names...": fills the voice list, then checks.
    void startupCheck();
    // A lap was written to the ring.
    void lapWritten();

    // "Voice invite" (and Next Group with "Voice invite" ticked).
    void btvoiceinviteClick();
    // "X": stops the invitation. False when there was none to stop.
    bool btvoiceinvitestopClick();
    // Start Race: a running invitation is cut short (its final phrase still
    // spoken); nothing is logged when none runs.
    void stopInvitationForRaceStart();
    // Shutdown: stops the invitation (the final phrase left out) and the lap
    // announcer. False when stopping failed.
    bool shutdown();

    bool isAnnouncing() const { return m_announcer && m_announcer->isRunning(); }
    bool isInviting() const { return m_invitation && m_invitation->isRunning(); }

signals:
    // A message for the operator.
    void noticeRequested(const QString &text);
    // Bring the Settings page, its "Voice Settings" and "Play names and laps" forward.
    void voiceSettingsRequested();
    void voicesChanged(const QStringList &voices);
    // The invitation's countdown, for `lbltime`.
    void countdownChanged(int seconds);
    // "Voice invite" is to be enabled or disabled.
    void inviteEnabledChanged(bool enabled);

private:
    void voiceNotStarted();
    void releaseInvitation(bool quietly);

    Settings &m_settings;
    OperatorLog &m_log;
    SpeechEngine &m_engine;
    AnnouncementRing &m_ring;
    QString m_dbPath;
    ClockFactory m_clocks;
    std::unique_ptr<LapAnnouncer> m_announcer;
    std::unique_ptr<VoiceInvitation> m_invitation;
    int m_invitationGeneration = 0;
};

} // namespace lapvane
