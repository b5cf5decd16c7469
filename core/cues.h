// The sound cues the race plays. The announcer library implements the player;
// until then, and in tests, a silent or recording stand-in serves.
#pragma once

namespace lapvane {

enum class Cue {
    StartCountdown, // "WavStart"
    StartSignal,    // "WavStartSound"
    LapPass,        // "WavLapPass"
    FinishOther,    // "WavFinish"
    FinishFirst,    // "WavFinishFirst"
    FinishAll,      // "WavFinishAll"
    RegisterCheck,  // "WavRegCheck"
};

class CuePlayer
{
public:
    virtual ~CuePlayer() = default;
    // Starts the cue without waiting for it to end.
    virtual void play(Cue cue) = 0;
};

class SilentCuePlayer : public CuePlayer
{
public:
    void play(Cue) override {}
};

} // namespace lapvane
