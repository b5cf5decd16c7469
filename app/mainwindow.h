// The main window: four pages, the command list and its menus, the log pane
// and the status indicators. It only shows what the modules below report and
// hands commands to them.
#pragma once

#include <QMainWindow>

#include <functional>

class QTabWidget;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class CommandList;
class RacePage;
class EventsPage;
class PilotsPage;
class SettingsPage;
class LiveService;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow(ProgramContext &ctx, ProgramServices &services, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The creation steps of start-up: version, field list, settings, checks.
    void FormCreate();

    CommandList &commands() const { return *m_commands; }
    RacePage *racePage() const { return m_race; }
    EventsPage *eventsPage() const { return m_events; }
    PilotsPage *pilotsPage() const { return m_pilots; }
    SettingsPage *settingsPage() const { return m_settings; }
    // The built-in web server (off until its switch is on).
    LiveService *liveService() const { return m_live; }

    void showSettingsPage();
    void settsaveExecute();
    void Button20Click();

    // Work that shutdown stops, each in its own guarded step. Modules that
    // start such work set the matching function; an empty one has nothing to
    // stop. A function returns false (or throws) when stopping failed.
    struct ShutdownHooks
    {
        std::function<bool()> stopRegPilots;
        std::function<bool()> stopRaceTimer;
        std::function<bool()> stopSaveHtmls;
        std::function<bool()> stopVoiceInvite;
        std::function<bool()> closeLapvane;
        std::function<bool()> closeVsTime;
        std::function<bool()> closeChorus;
    };
    ShutdownHooks &shutdownHooks() { return m_hooks; }

    // Start-up steps of modules wired in from outside; empty ones are skipped.
    struct StartupHooks
    {
        // After the settings are loaded: open the seven sound players.
        std::function<void()> openSoundPlayers;
        // "Checking sound names...": the voice list and the lap announcer.
        std::function<void()> checkSoundNames;
    };
    StartupHooks &startupHooks() { return m_startupHooks; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void applyPlacement();
    void FormClose();

    void connectAntiDoubleReadCheck();

    ProgramContext &m_ctx;
    ProgramServices &m_services;
    CommandList *m_commands = nullptr;
    QTabWidget *m_pages = nullptr;
    RacePage *m_race = nullptr;
    EventsPage *m_events = nullptr;
    PilotsPage *m_pilots = nullptr;
    SettingsPage *m_settings = nullptr;
    LiveService *m_live = nullptr;
    ShutdownHooks m_hooks;
    StartupHooks m_startupHooks;
    bool m_closed = false;
};

} // namespace lapvane
