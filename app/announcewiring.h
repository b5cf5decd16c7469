// Connects the sound cues and the speech to the window: the "Race Sounds" and
// "Voice Settings" sub-pages, "Voice invite" and "X" on the race page, "Play
// name" on the pilots page, the race's laps and start, start-up and shutdown.
#pragma once

namespace lapvane {

class MainWindow;
struct ProgramContext;
struct ProgramServices;
class CueSounds;
class Announcer;

void wireAnnouncer(MainWindow &window, ProgramContext &ctx, ProgramServices &services, CueSounds &cues,
                   Announcer &announcer);

} // namespace lapvane
