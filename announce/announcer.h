// Speech for the race: `speaktext`, the voice list and rate, the lap
// announcer switched by "Play names and laps", "Play name" and the voice
// invitation with its countdown. The window's handlers call these and show
// what the signals report.
#pragma once

#include "announce/lapannouncer.h"
#include "announce/voiceinvitation.h"
#include "core/countedlap.h"

#include <QMutex>
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

    // The race calls beyond the lap phrase (each switched on Voice
    // Settings). The race tells its moments as they come, on the main thread:
    // a race started; a lap was recorded (before it is written to the ring);
    // a pilot finished at a place (before his lap is written to the ring);
    // every pilot finished, or the time ran out, and the places are written;
    // the race clock moved on (limitMs 0: no time limit).
    void raceStarted();
    // A counted lap: noted for the calls, and its finish called when it
    // ended the pilot's race.
    void lapCounted(const CountedLap &lap);
    void lapRecorded(int pilotId, int lap, qint64 lapMs);
    void pilotFinished(int pilotId, int lap, int place);
    void raceCompleted();
    void raceClock(qint64 elapsedMs, qint64 limitMs);
    // Says whether a finish cue is being heard: a finish call waits for it.
    void setFinishCueCheck(std::function<bool()> playing) { m_finishCuePlaying = std::move(playing); }
    // What the lap announcer says, as the settings choose it. Any thread.
    LapAnnouncer::Options callOptions() const;
    CallBook &callBook() { return m_book; }
    // The times left that are called in a timed race, in seconds.
    static const QList<int> &timeLeftMarks();

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
    // speaktext for the race calls: in English an English voice speaks them.
    bool speakCall(const QString &text);
    void addCall(const CallBook::Call &call);
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
    CallBook m_book;
    std::function<bool()> m_finishCuePlaying;
    qint64 m_lastRemainingMs = -1;
    mutable QMutex m_voicesLock;
    QStringList m_voiceNames;
};

} // namespace lapvane
