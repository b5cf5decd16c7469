// The program's working parts below the window, created once after the
// database is open and shared by the pages: the timing receivers, the events
// views (the current event and stage), the race engine, race list
// operations, lap corrections, the export of a race and the live pages. Tests may hand in
// their own receivers and prompt.
#pragma once

#include "app/guiprompt.h"
#include "core/clock.h"

#include <memory>

namespace lapvane {

struct ProgramContext;
class Receivers;
class CuePlayer;
class EventsViews;
class RaceEngine;
class RaceList;
class LapCorrections;
class RaceExport;
class FinishedRace;
class RaceStage;
class TimingDevices;
class TelegramService;
class SaveHtmls;

struct ProgramServices
{
    // Without receiversOverride the three real receivers are made; questions
    // go to message boxes unless promptOverride is given.
    ProgramServices(ProgramContext &ctx, CuePlayer &cues, const Clock &clock,
                    Receivers *receiversOverride = nullptr, OperatorPrompt *promptOverride = nullptr);
    ~ProgramServices();

    ProgramContext &ctx;
    CuePlayer &cues;
    const Clock &clock;
    GuiPrompt guiPrompt;
    OperatorPrompt &prompt;
    // The real receivers; null when the receivers were handed in.
    std::unique_ptr<TimingDevices> devices;
    Receivers &receivers;
    std::unique_ptr<EventsViews> events;
    // Whether the finished race went to the stage results (asked before the
    // race list is replaced).
    std::unique_ptr<FinishedRace> finishedRace;
    // The stage and group the race in the list belongs to (its rules, its
    // export and the published race follow it, not the stage looked at).
    std::unique_ptr<RaceStage> raceStage;
    std::unique_ptr<RaceEngine> race;
    std::unique_ptr<RaceList> raceList;
    std::unique_ptr<LapCorrections> laps;
    std::unique_ptr<RaceExport> raceExport;
    std::unique_ptr<TelegramService> telegram;
    // The live pages writer behind "Save local HTMLs (/htmls folder)".
    std::unique_ptr<SaveHtmls> saveHtmls;
};

} // namespace lapvane
