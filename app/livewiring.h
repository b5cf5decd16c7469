// The built-in web server in the window: its block on the Settings "Web pages"
// sub-page, and the race, lap corrections, race list and results wired to its
// live feed.
#pragma once

class QWidget;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class LiveService;
class MainWindow;
class Settings;

// The switch, the port, "Allow other devices on the network" and the
// address label `lbwwwserveraddress`.
QWidget *createWebServerBlock(Settings &settings, QWidget *parent);

// Made once with the window (its child). Loading "wwwServer" on starts it.
LiveService *wireLiveServer(MainWindow &window, ProgramContext &ctx, ProgramServices &services);

} // namespace lapvane
