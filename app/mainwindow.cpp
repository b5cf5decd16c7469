// The main window: pages, menus, log pane, start-up creation steps and shutdown.
#include "app/mainwindow.h"

#include "announce/soundfiles.h"
#include "app/bracketwiring.h"
#include "app/commands.h"
#include "app/devicewiring.h"
#include "app/eventspage.h"
#include "app/livewiring.h"
#include "app/logobar.h"
#include "app/mqttwiring.h"
#include "app/pilotspage.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/racepage.h"
#include "app/settingspage.h"
#include "app/settingwidgets.h"
#include "app/startoptions.h"
#include "app/telegramwiring.h"
#include "app/version.h"
#include "online/telegramservice.h"
#include "publish/savehtmls.h"
#include "race/raceengine.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>

namespace lapvane {

MainWindow::MainWindow(ProgramContext &ctx, ProgramServices &services, QWidget *parent)
    : QMainWindow(parent), m_ctx(ctx), m_services(services)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Lapvane Admin"));
    setMinimumSize(600, 400);
    setWindowIcon(QIcon(LogoBar::productLogo(128)));

    m_commands = new CommandList(this);
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl1"));
    m_race = new RacePage(ctx, services, *m_commands, m_pages);
    m_events = new EventsPage(ctx, services, *m_commands, m_pages);
    m_pilots = new PilotsPage(ctx, services, *m_commands, m_pages);
    m_settings = new SettingsPage(ctx, *m_commands, m_pages);
    // At small window sizes a page scrolls instead of squeezing its controls.
    auto scrolled = [this](QWidget *page) {
        auto *area = new QScrollArea(m_pages);
        area->setObjectName(page->objectName());
        page->setObjectName(page->objectName() + QStringLiteral("content"));
        area->setWidgetResizable(true);
        area->setFrameShape(QFrame::NoFrame);
        area->setWidget(page);
        return area;
    };
    m_pages->addTab(scrolled(m_race), QStringLiteral("Race"));
    m_pages->addTab(scrolled(m_events), QStringLiteral("Events"));
    m_pages->addTab(scrolled(m_pilots), QStringLiteral("Pilots"));
    m_pages->addTab(m_settings, QStringLiteral("Settings"));
    setCentralWidget(m_pages);

    QMenu *pmonerace = m_commands->attachMenu(
        QStringLiteral("pmonerace"), {m_race->raceList()},
        {QStringLiteral("raceconfirmSel"), QStringLiteral("raceunconfirmSel"), QStringLiteral("-"),
         QStringLiteral("racestartrace"), QStringLiteral("racestoprace"), QStringLiteral("-"),
         QStringLiteral("raceexporttoevent"), QStringLiteral("raceresetlist"),
         QStringLiteral("racedeletepilots")});
    m_race->attachChannelMenu(pmonerace, pmonerace->actions().at(2));
    m_commands->attachMenu(QStringLiteral("pmresults"), {m_race->results(), m_events->results()},
                           {QStringLiteral("eventsend2race"), QStringLiteral("eventAdd2NewStage"),
                            QStringLiteral("eventupdatefromDB"), QStringLiteral("-"),
                            QStringLiteral("eventdelpilot"), QStringLiteral("eventGroup"),
                            QStringLiteral("eventclearpilots"), QStringLiteral("-"),
                            QStringLiteral("eventexporthtml")});
    m_commands->attachMenu(QStringLiteral("pmstages"), {m_events->stageList()},
                           {QStringLiteral("eventnewstage"), QStringLiteral("eventduplicatestage"),
                            QStringLiteral("eventdelstage")});
    m_commands->attachMenu(QStringLiteral("pmpilots"), {m_pilots->registry()},
                           {QStringLiteral("eventAdd2CurStage"), QStringLiteral("pilotshowphoto"),
                            QStringLiteral("pilotplayname"), QStringLiteral("-"),
                            QStringLiteral("pilotsaddnew"), QStringLiteral("pilotsdelete")});

    connect(&ctx.log, &OperatorLog::lineAdded, m_race, &RacePage::appendLogLine);
    connect(&ctx.log, &OperatorLog::fileWriteFailed, this,
            [this](const QString &path, const QString &reason) {
                auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                            QStringLiteral("The log file %1 cannot be written: %2\n"
                                                           "Log lines are still shown in the log pane.")
                                                .arg(path, reason),
                                            QMessageBox::Ok, this);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
            });
    connect(m_race, &RacePage::stopRequested, this, [&ctx] { ctx.STOPFLAG.raise(); });
    connect(m_race, &RacePage::settingsPageRequested, this, &MainWindow::showSettingsPage);
    m_hooks.stopRaceTimer = [&services] {
        services.race->stopTick();
        return !services.race->isRunning();
    };
    m_hooks.stopSaveHtmls = [&services] { return services.saveHtmls->stop(); };
    m_events->attachRacePage(*m_race);
    if (services.devices)
        wireDevices(*this, *services.devices);
    wireTelegram(*this, *services.telegram, ctx);
    services.guiPrompt.setParentWidget(this);
    connectAntiDoubleReadCheck();
    connect(m_commands->action(QStringLiteral("settsave")), &QAction::triggered, this,
            &MainWindow::settsaveExecute);
    connect(m_settings, &SettingsPage::showLogRequested, this, &MainWindow::Button20Click);
    m_live = wireLiveServer(*this, ctx, services);
    wireBracketPublishing(*m_live, ctx, services);
    wireMqtt(*this, ctx, services, m_live);
}

MainWindow::~MainWindow() = default;

void MainWindow::FormCreate()
{
    findChild<QLabel *>(QStringLiteral("lbversion"))->setText(QStringLiteral("ver ") + programVersion());
    setSettingChoices(m_ctx.settings, findChild<QWidget *>(QStringLiteral("cbresfields")),
                      m_ctx.db.fieldNames(QStringLiteral("results")));

    // Settings, window placement first.
    applyPlacement();
    m_ctx.settings.load(*m_ctx.ini);
    if (const QString note = m_ctx.ini->conversionNote(); !note.isEmpty())
        m_ctx.log.savelog(note);
    m_services.telegram->startUp(*m_ctx.ini);
    if (m_startupHooks.openSoundPlayers)
        m_startupHooks.openSoundPlayers();

    m_ctx.log.savelog(QStringLiteral("==="));
    m_ctx.log.savelog(QStringLiteral("Checking waves..."));
    checkSoundFiles(m_ctx.settings, m_ctx.log);
    m_ctx.log.savelog(QStringLiteral("Checking sound names..."));
    if (m_startupHooks.checkSoundNames)
        m_startupHooks.checkSoundNames();
    m_ctx.settings.loadVoiceIndex(*m_ctx.ini);
    m_ctx.log.savelog(QStringLiteral("Checks finished."));
}

void MainWindow::applyPlacement()
{
    // First start: a size that shows the whole race page, centred.
    const QScreen *primary = QGuiApplication::primaryScreen();
    if (!m_ctx.ini->contains(QStringLiteral("Size"), QStringLiteral("Width")) && primary) {
        setGeometry(firstStartGeometry(primary->availableGeometry(), minimumSize()));
        return;
    }
    const WindowPlacement p = Settings::loadPlacement(*m_ctx.ini);
    resize(qMax(p.width, minimumWidth()), qMax(p.height, minimumHeight()));
    QPoint at(p.x, p.y);
    // A placement on a screen that is no longer attached would hide the window.
    const QRect wanted(at, size());
    bool visible = false;
    for (const QScreen *screen : QGuiApplication::screens())
        visible = visible || screen->availableGeometry().intersects(wanted);
    if (!visible && !QGuiApplication::screens().isEmpty())
        at = QPoint(10, 10);
    move(at);
}

void MainWindow::connectAntiDoubleReadCheck()
{
    // A typed interval that is not a whole number is pointed out at once; the
    // pass loop keeps the last good value until it is mended.
    auto *edit = findChild<QLineEdit *>(QStringLiteral("edantidoubleread"));
    connect(edit, &QLineEdit::textEdited, this, [this](const QString &text) {
        bool ok = false;
        text.trimmed().toInt(&ok);
        if (!ok && !text.trimmed().isEmpty())
            m_services.prompt.notice(QStringLiteral("Only digits allowed!"));
    });
}

void MainWindow::showSettingsPage()
{
    m_pages->setCurrentIndex(m_pages->count() - 1);
}

void MainWindow::settsaveExecute()
{
    if (!m_ctx.ini)
        return; // after shutdown
    QString error;
    if (!m_ctx.settings.save(*m_ctx.ini, &error))
        QMessageBox::critical(this, windowTitle(), error);
    else if (const QString note = m_ctx.ini->permissionNote(); !note.isEmpty())
        m_ctx.log.savelog(note);
}

void MainWindow::Button20Click()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_ctx.log.filePath()));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    FormClose();
    event->accept();
}

void MainWindow::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    // Each step on its own: a failure is logged and the next step still runs,
    // so the settings are always written.
    auto guarded = [this](const std::function<bool()> &step) {
        if (!step)
            return true;
        try {
            return step();
        } catch (...) {
            return false;
        }
    };
    auto terminating = [this, &guarded](const char *what, const std::function<bool()> &stop) {
        m_ctx.log.savelog(QLatin1String(what));
        if (!guarded(stop))
            m_ctx.log.savelog(QStringLiteral("problem!"));
    };
    auto closePort = [this, &guarded](const std::function<bool()> &close, const char *closed,
                                      const char *error) {
        m_ctx.log.savelog(QLatin1String(guarded(close) ? closed : error));
    };

    m_ctx.log.savelog(QStringLiteral("Exiting.."));
    terminating("terminating regpilots...", m_hooks.stopRegPilots);
    terminating("terminating racetimer...", m_hooks.stopRaceTimer);
    terminating("terminating savehtmls...", m_hooks.stopSaveHtmls);
    terminating("terminating voiceinvite...", m_hooks.stopVoiceInvite);
    // The bot's receiver stops; posts still on their way are dropped.
    m_services.telegram->shutdown();
    closePort(m_hooks.closeLapvane, "Lapvane Com closed", "Lapvane Com error");
    closePort(m_hooks.closeVsTime, "VS Com closed", "VS Com error");
    closePort(m_hooks.closeChorus, "Chorus Com closed", "Chorus Com error");

    const WindowPlacement placement{width(), height(), x(), y()};
    if (!Settings::savePlacement(*m_ctx.ini, placement))
        m_ctx.log.savelog(QStringLiteral("Could not save the window placement to %1: %2")
                              .arg(m_ctx.ini->path(), m_ctx.ini->errorString()));
    m_ctx.ini.reset();
}

} // namespace lapvane
