// The seven sound cues: one player per cue bound to the file the operator
// chose, played through the sound output without waiting.
#pragma once

#include "announce/pcmclip.h"
#include "core/cues.h"

#include <QString>

#include <array>
#include <functional>

namespace lapvane {

class Settings;
class OperatorLog;
class SoundOutput;
class StopFlag;
class Clock;

class CueSounds : public CuePlayer
{
public:
    static constexpr int kCueCount = 7;
    // The order in which start-up opens the players.
    static const std::array<Cue, kCueCount> &openingOrder();
    // The setting holding a cue's file ("edstartwavepath", ...).
    static QString pathControl(Cue cue);

    CueSounds(Settings &settings, OperatorLog &log, SoundOutput &output);

    // Start-up: opens the players in the opening order. The first one that
    // does not open ends the step with "WAV player didn't open files, check
    // manually!"; the players after it stay closed. True when all opened.
    bool openPlayers();

    // "...": the cue's path becomes path; its player is closed, bound to the
    // new file and opened again. False, with the reason, when it did not open.
    bool choose(Cue cue, const QString &path, QString *error = nullptr);

    bool isOpen(Cue cue) const { return m_players[index(cue)].open; }
    QString boundPath(Cue cue) const { return m_players[index(cue)].path; }

    // The race's cue moments (the race decides on "Enable sounds"). A cue
    // whose player is not open is skipped. A path changed since the player
    // was bound (typed, or filled by "Use default sounds") is bound first.
    void play(Cue cue) override;
    // "Try": the same, whatever "Enable sounds" says.
    void tryCue(Cue cue) { play(cue); }
    // "Play " + path: the file once, without a player; failures are ignored.
    void playPath(const QString &path);

    // "Start" of the countdown measurement: clears the stop flag, plays the
    // countdown and waits, the program working on, until the flag is raised
    // ("Stop") or abandoned() holds (the window closed). Returns the
    // milliseconds in between.
    qint64 measureCountdown(StopFlag &stop, const Clock &clock, const std::function<bool()> &abandoned = {});

private:
    struct Player
    {
        QString path;
        bool open = false;
        PcmClip clip;
    };
    static int index(Cue cue) { return int(cue); }
    bool openPlayer(Cue cue, const QString &path, QString *error);

    Settings &m_settings;
    OperatorLog &m_log;
    SoundOutput &m_output;
    std::array<Player, kCueCount> m_players;
};

} // namespace lapvane
