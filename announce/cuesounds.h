// The seven sound cues: one player per cue bound to the file the operator
// chose, played through the sound output without waiting. Files are read on a
// loader thread, never by the caller of play(): the race's pass loop shares
// the main thread, and a large file read there would hold up its laps.
#pragma once

#include "announce/pcmclip.h"
#include "core/cues.h"

#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QWaitCondition>

#include <array>
#include <deque>
#include <functional>

class QThread;

namespace lapvane {

class Settings;
class OperatorLog;
class SoundOutput;
class StopFlag;
class Clock;

class CueSounds : public QObject, public CuePlayer
{
    Q_OBJECT
public:
    static constexpr int kCueCount = 7;
    // The order in which start-up opens the players.
    static const std::array<Cue, kCueCount> &openingOrder();
    // The setting holding a cue's file ("edstartwavepath", ...).
    static QString pathControl(Cue cue);
    // The cue as the Race Sounds page names it ("Lap pass").
    static QString caption(Cue cue);

    // How a file becomes a clip (readWav); tests count and hold the reads.
    using Reader = std::function<bool(const QString &path, PcmClip *clip, QString *error)>;

    CueSounds(Settings &settings, OperatorLog &log, SoundOutput &output, Reader reader = {},
              QObject *parent = nullptr);
    ~CueSounds() override;

    // Start-up: every player is bound to its file and loaded on the loader
    // thread; returns at once. When the loads are done, each cue whose file
    // does not play is logged once ("Lap pass: the sound file ... cannot be
    // played: ..."; a cue without a file is left to the start-up file check)
    // and, if any failed, "WAV player didn't open files, check manually!".
    // The cues that did load play whatever the others do.
    void openPlayers();

    // "...": the cue's path becomes path; its player is bound to the new file
    // and loaded again on the loader thread. A file that does not play is
    // logged and reported by chooseFailed().
    void choose(Cue cue, const QString &path);

    // The player holds its file's sound (false while it loads).
    bool isOpen(Cue cue) const;
    QString boundPath(Cue cue) const;
    // Waits, processing events, until no file is being read and every
    // result has been taken over; false after timeoutMs.
    bool waitForLoads(int timeoutMs = 5000);

    // The race's cue moments (the race decides on "Enable sounds"). Never
    // reads a file: a cue whose player is not loaded is skipped; a path
    // changed since the player was bound (typed, or filled by "Use default
    // sounds") starts loading the new file and this cue is skipped.
    void play(Cue cue) override;
    // "Try": the same, whatever "Enable sounds" says; a cue still loading
    // plays when its file is in.
    void tryCue(Cue cue);
    // "Play " + path: the file once, without a player; read on the loader
    // thread, failures ignored.
    void playPath(const QString &path);

    // A finish cue (first, other or all finished) is being heard. Any thread.
    bool finishCuePlaying() const;

    // "Start" of the countdown measurement: clears the stop flag, plays the
    // countdown and waits, the program working on, until the flag is raised
    // ("Stop") or abandoned() holds (the window closed). Returns the
    // milliseconds in between.
    qint64 measureCountdown(StopFlag &stop, const Clock &clock, const std::function<bool()> &abandoned = {});

signals:
    // A file chosen with "..." does not play.
    void chooseFailed(Cue cue, const QString &path, const QString &reason);

private:
    enum class State { Unbound, Loading, Open, Failed };
    enum class Origin { Startup, Choice, Changed, PlayOnce };
    struct Player
    {
        QString path;
        State state = State::Unbound;
        PcmClip clip;
        QString error;
        quint64 generation = 0;
        bool tryWhenLoaded = false;
        bool failureTold = false;
    };
    struct Job
    {
        int cue = -1; // -1: a file played once
        QString path;
        quint64 generation = 0;
        Origin origin = Origin::Changed;
    };
    static int index(Cue cue) { return int(cue); }
    // Binds the player to path and queues its load; lock held.
    void requestLoadLocked(Cue cue, const QString &path, Origin origin);
    void runLoader();
    void loaded(const Job &job, bool ok, const PcmClip &clip, const QString &error);
    void startupDone();
    void reportFailure(Cue cue, const QString &path, const QString &reason);
    void playClip(Cue cue, const PcmClip &clip);

    Settings &m_settings;
    OperatorLog &m_log;
    SoundOutput &m_output;
    Reader m_reader;

    mutable QMutex m_lock; // players, jobs, playing finish cues
    QWaitCondition m_jobsWaiting;
    std::array<Player, kCueCount> m_players;
    std::deque<Job> m_jobs;
    bool m_quit = false;
    int m_outstanding = 0; // loads queued or running, results not yet taken over (main thread)
    QSet<quint64> m_finishPlaying;
    QThread *m_loader = nullptr;

    // Start-up: loads still out, and the cues that failed.
    int m_startupPending = 0;
    QList<QPair<Cue, QString>> m_startupFailures;
};

} // namespace lapvane
