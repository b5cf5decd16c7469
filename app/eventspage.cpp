// The "Events" page: its widgets, built once, and their wiring to the
// events views, the commands and the race page.
#include "app/eventspage.h"

#include "app/aerolistexport.h"
#include "app/bracketdialog.h"
#include "app/bracketpage.h"
#include "app/commands.h"
#include "app/csvcommands.h"
#include "app/filedialogs.h"
#include "app/gridcolumns.h"
#include "app/groupdialog.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/racemodels.h"
#include "app/racepage.h"
#include "app/settingwidgets.h"
#include "app/stageformatdialog.h"
#include "app/widgets.h"
#include "devices/timingdevices.h"
#include "events/eventsviews.h"
#include "events/stagebrackets.h"
#include "events/stagegroups.h"
#include "events/stagerosters.h"
#include "race/finishedrace.h"
#include "race/raceengine.h"
#include "race/raceexport.h"
#include "race/racestage.h"

#include <QAction>
#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSplitter>
#include <QSqlRecord>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace lapvane {

namespace {

QHBoxLayout *counterRow(const QString &caption, const QString &counterName, QWidget *parent)
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(caption, parent));
    row->addStretch();
    QLabel *counter = namedLabel(counterName, QStringLiteral("n/a"), parent);
    auto *total = new QLabel(QStringLiteral("Total:"), parent);
    total->setBuddy(counter);
    row->addWidget(total);
    row->addWidget(counter);
    return row;
}

// A push button with its own caption that runs a command and follows the
// command's enabled state.
QPushButton *captionedCommandButton(const QString &name, const QString &caption, QAction *action,
                                    QWidget *parent)
{
    QPushButton *b = namedButton(name, caption, parent);
    b->setEnabled(action->isEnabled());
    QObject::connect(b, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, b, &QPushButton::setEnabled);
    return b;
}

// Binds a grid to a model and selection of the events views with its columns.
void bindGrid(QTableView *grid, SqlRowsModel *model, QItemSelectionModel *selection,
              const QList<GridColumn> &columns)
{
    grid->setModel(model);
    QItemSelectionModel *own = grid->selectionModel();
    grid->setSelectionModel(selection);
    if (own != selection)
        delete own;
    showGridColumns(grid, model->fieldNames(), columns);
}

} // namespace

EventsPage::EventsPage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent)
    : QWidget(parent), m_ctx(ctx), m_services(services), m_views(*services.events), m_commands(commands),
      m_rosters(std::make_unique<StageRosters>(*services.events)),
      m_groups(std::make_unique<StageGroups>(*services.events)),
      m_brackets(std::make_unique<StageBrackets>(*services.events))
{
    setObjectName(QStringLiteral("tsevents"));

    auto *eventsBox = new QWidget(this);
    auto *eventsLayout = new QVBoxLayout(eventsBox);
    eventsLayout->setContentsMargins(0, 0, 0, 0);
    eventsLayout->addLayout(counterRow(QStringLiteral("Events:"), QStringLiteral("lbl10"), eventsBox));
    m_events = namedGrid(QStringLiteral("tblEventsList"), QAbstractItemView::SingleSelection, eventsBox);
    eventsLayout->addWidget(m_events);
    auto *eventButtons = new QHBoxLayout;
    eventButtons->addWidget(
        commandButton(QStringLiteral("bteventnew"), commands.action(QStringLiteral("eventnew")), eventsBox));
    eventButtons->addWidget(
        commandButton(QStringLiteral("bteventdel"), commands.action(QStringLiteral("eventdel")), eventsBox));
    eventButtons->addStretch();
    eventsLayout->addLayout(eventButtons);

    auto *stagesBox = new QWidget(this);
    auto *stagesLayout = new QVBoxLayout(stagesBox);
    stagesLayout->setContentsMargins(0, 0, 0, 0);
    stagesLayout->addLayout(counterRow(QStringLiteral("Stages:"), QStringLiteral("lbl13"), stagesBox));
    m_stages = namedGrid(QStringLiteral("tblEventsStages"), QAbstractItemView::ExtendedSelection, stagesBox);
    stagesLayout->addWidget(m_stages);
    auto *stageButtons = new QHBoxLayout;
    stageButtons->addWidget(captionedCommandButton(QStringLiteral("btnewstage"), QStringLiteral("New"),
                                                   commands.action(QStringLiteral("eventnewstage")),
                                                   stagesBox));
    stageButtons->addWidget(captionedCommandButton(QStringLiteral("btdelstage"), QStringLiteral("Delete"),
                                                   commands.action(QStringLiteral("eventdelstage")),
                                                   stagesBox));
    stageButtons->addWidget(commandButton(QStringLiteral("btduplicatestage"),
                                          commands.action(QStringLiteral("eventduplicatestage")), stagesBox));
    stageButtons->addStretch();
    stagesLayout->addLayout(stageButtons);
    // The current stage's race format, and the commands built on it.
    auto *formatRow = new QHBoxLayout;
    m_formatCaption = namedLabel(QStringLiteral("lbstageformat"), QString(), stagesBox);
    m_formatCaption->setTextFormat(Qt::PlainText);
    formatRow->addWidget(m_formatCaption, 1);
    formatRow->addWidget(
        namedButton(QStringLiteral("btstageformat"), QStringLiteral("Format..."), stagesBox));
    formatRow->addWidget(
        namedButton(QStringLiteral("btmakebracket"), QStringLiteral("Make Bracket..."), stagesBox));
    stagesLayout->addLayout(formatRow);
    auto *dup = new QGroupBox(QStringLiteral("Duplicate with:"), stagesBox);
    auto *dupLayout = new QGridLayout(dup);
    const char *dupOptions[] = {"chdupgroup", "chdupvtx",      "chkdupplace",     "chkdupwins",
                                "chkduplaps", "chkdupbestlap", "chkduptotaltime", "chkdupqualtime"};
    int i = 0;
    for (const char *c : dupOptions) {
        dupLayout->addWidget(createSettingControl(ctx.settings, QLatin1String(c), dup), i / 4, i % 4);
        ++i;
    }
    stagesLayout->addWidget(dup);

    auto *top = new QSplitter(this);
    top->addWidget(eventsBox);
    top->addWidget(stagesBox);

    auto *resultsBox = new QWidget(this);
    auto *resultsLayout = new QVBoxLayout(resultsBox);
    resultsLayout->setContentsMargins(0, 0, 0, 0);
    auto *names = new QHBoxLayout;
    for (const char *name : {"lbeventname", "lbstagename"}) {
        QLabel *l = namedLabel(QLatin1String(name), QString(), resultsBox);
        QFont f = l->font();
        f.setBold(true);
        f.setPointSize(f.pointSize() + 6);
        l->setFont(f);
        names->addWidget(l);
    }
    names->addStretch();
    resultsLayout->addLayout(names);
    resultsLayout->addLayout(
        counterRow(QStringLiteral("Results:"), QStringLiteral("lbltotalresults"), resultsBox));
    m_results =
        namedGrid(QStringLiteral("tblEventsResults"), QAbstractItemView::ExtendedSelection, resultsBox);
    resultsLayout->addWidget(m_results);

    auto *roster = new QHBoxLayout;
    roster->addWidget(commandButton(QStringLiteral("btsend2race"),
                                    commands.action(QStringLiteral("eventsend2race")), resultsBox));
    roster->addWidget(commandButton(QStringLiteral("btadd2newstage"),
                                    commands.action(QStringLiteral("eventAdd2NewStage")), resultsBox));
    roster->addWidget(commandButton(QStringLiteral("btdelpilot"),
                                    commands.action(QStringLiteral("eventdelpilot")), resultsBox));
    roster->addWidget(commandButton(QStringLiteral("btclearpilots"),
                                    commands.action(QStringLiteral("eventclearpilots")), resultsBox));
    roster->addWidget(
        commandButton(QStringLiteral("btgroup"), commands.action(QStringLiteral("eventGroup")), resultsBox));
    roster->addWidget(commandButton(QStringLiteral("btautogroup"),
                                    commands.action(QStringLiteral("eventsAutogroup")), resultsBox));
    roster->addWidget(commandButton(QStringLiteral("btchecklist"),
                                    commands.action(QStringLiteral("eventCheckList")), resultsBox));
    roster->addStretch();
    resultsLayout->addLayout(roster);

    auto *tools = new QHBoxLayout;
    tools->addWidget(createSettingControl(ctx.settings, QStringLiteral("chlockresults"), resultsBox));
    tools->addWidget(
        namedButton(QStringLiteral("Button25"), QStringLiteral("Name+Qual to Clpbrd"), resultsBox));
    tools->addWidget(new QLabel(QStringLiteral("Font size:"), resultsBox));
    tools->addWidget(namedButton(QStringLiteral("btfontplus"), QStringLiteral("More"), resultsBox));
    tools->addWidget(namedButton(QStringLiteral("btfontless"), QStringLiteral("Less"), resultsBox));
    tools->addStretch();
    resultsLayout->addLayout(tools);

    auto *publish = new QHBoxLayout;
    publish->addWidget(
        captionedCommandButton(QStringLiteral("btsavehtml"), QStringLiteral("Export Results to HTML"),
                               commands.action(QStringLiteral("eventexporthtml")), resultsBox));
    publish->addWidget(csvExportButton(m_results, ctx.log, services.prompt, resultsBox));
    publish->addWidget(
        namedButton(QStringLiteral("Button16"), QStringLiteral("Export Groups to TXT"), resultsBox));
    publish->addWidget(new QLabel(QStringLiteral("Telegram"), resultsBox));
    publish->addWidget(
        namedButton(QStringLiteral("btntelegaSendGroups"), QStringLiteral("send Groups"), resultsBox));
    publish->addWidget(
        namedButton(QStringLiteral("btnTelegaSendResults"), QStringLiteral("send Results"), resultsBox));
    publish->addWidget(commandButton(QStringLiteral("btracetelegramSend"),
                                     commands.action(QStringLiteral("racetelegramSend")), resultsBox));
    publish->addWidget(
        namedButton(QStringLiteral("btsendtoAerolist"), QStringLiteral("Send to Aerolist"), resultsBox));
    publish->addWidget(commandButton(QStringLiteral("SpeedButton2"),
                                     commands.action(QStringLiteral("settsave")), resultsBox));
    publish->addStretch();
    resultsLayout->addLayout(publish);

    // The results grid and the drawing of the current stage's bracket.
    auto *stageViews = new QTabWidget(this);
    stageViews->setObjectName(QStringLiteral("pcstageviews"));
    stageViews->addTab(resultsBox, QStringLiteral("Results"));
    m_bracketPage = new BracketPage(stageViews);
    stageViews->addTab(m_bracketPage, QStringLiteral("Bracket"));

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(top);
    split->addWidget(stageViews);
    split->setStretchFactor(1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split);

    // Created once and kept hidden until "Auto group" shows it.
    m_groupDialog = new Tfrmgroup(this);
    m_groupDialog->hide();
    m_formatDialog = new StageFormatDialog(this);
    m_formatDialog->hide();
    m_bracketDialog = new BracketDialog(this);
    m_bracketDialog->hide();
    // The registry export window, its own window kept hidden until used.
    m_aerolistExport = std::make_unique<TfrmAerolistExport>(ctx, m_views, services.prompt);

    m_exportHooks.chooseFile = [this](const QString &suggestedName) {
        return chooseSaveFile(this, QStringLiteral("Export Results to HTML"), m_ctx.folder,
                              QStringLiteral("HTML (*.htm*);;All files (*)"), QStringLiteral("htm"),
                              suggestedName);
    };
    m_exportHooks.openFile = [](const QString &path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };

    bindGrids();
    wireCommands(commands);
    showCounts();
    showNames();
    showStageFormatCaption();
    refreshBracket();

    // The window's first show rebuilds the stage list for the current event.
    if (window() != this)
        window()->installEventFilter(this);
}

EventsPage::~EventsPage() = default;

void EventsPage::bindGrids()
{
    bindGrid(m_events, m_views.eventsModel(), m_views.eventsSelection(), EventsViews::eventListColumns());
    bindGrid(m_stages, m_views.stagesModel(), m_views.stagesSelection(), EventsViews::stageListColumns());
    bindGrid(m_results, m_views.resultsModel(), m_views.resultsSelection(),
             EventsViews::eventsResultsColumns());

    // A click (or the keyboard) on another event shows that event's stages.
    connect(m_views.eventsSelection(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (m_views.stagesModel()->binds().value(0).toInt() != m_views.currentEventNum())
            m_views.refreshstages();
    });
    // Picking stages (click, Ctrl-click, keyboard) shows their results.
    connect(m_views.stagesSelection(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_views.isLocked() && m_views.stagesSelection()->hasSelection())
            m_views.selectStages();
    });
    connect(m_results->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_views.resultsTitleClick(fieldOfColumn(m_views.resultsModel()->fieldNames(), column));
    });

    for (SqlRowsModel *model : {m_views.eventsModel(), m_views.stagesModel(), m_views.resultsModel()})
        connect(model, &SqlRowsModel::countChanged, this, &EventsPage::showCounts);
    connect(&m_views, &EventsViews::currentChanged, this, &EventsPage::showNames);
    connect(&m_views, &EventsViews::currentChanged, this, &EventsPage::showStageFormatCaption);
    connect(&m_views, &EventsViews::currentChanged, this, &EventsPage::refreshBracket);
    // Names typed in place show at once.
    connect(m_views.eventsModel(), &QAbstractItemModel::dataChanged, this, &EventsPage::showNames);
    connect(m_views.stagesModel(), &QAbstractItemModel::dataChanged, this, &EventsPage::showNames);
    connect(&m_views, &EventsViews::locateResultsRow, this, &EventsPage::locateResultsRow);
    connect(&m_views, &EventsViews::lockChanged, this, &EventsPage::chlockresultsClick);
    connect(&m_ctx.settings, &Settings::changed, this, [this](const QString &control, const QVariant &value) {
        if (control == QLatin1String("chlockresults"))
            m_views.setLocked(value.toBool());
    });
    // An exported race changes the stage results.
    connect(m_services.raceExport.get(), &RaceExport::resultsChanged, this, [this] {
        m_views.rereadResults();
        refreshBracket();
    });

    // Grids without a menu of their own delete their current row on Ctrl+Del.
    gridDeleteAction(m_events, QStringLiteral("eventlistdelete"), [this] { tblEventsListCtrlDel(); });
}

void EventsPage::wireCommands(CommandList &commands)
{
    auto on = [this, &commands](const char *name, const std::function<void()> &run) {
        connect(commands.action(QLatin1String(name)), &QAction::triggered, this, run);
    };
    on("eventnew", [this] { m_views.eventnewExecute(); });
    on("eventdel", [this] { m_views.eventdelExecute(); });
    on("eventnewstage", [this] { m_views.eventnewstageExecute(); });
    on("eventdelstage", [this] { m_views.eventdelstageExecute(); });
    on("eventduplicatestage", [this] { m_rosters->eventduplicatestageExecute(); });
    on("eventAdd2NewStage", [this] { m_rosters->eventAdd2NewStageExecute(); });
    on("eventdelpilot", [this] { m_rosters->eventdelpilotExecute(); });
    on("eventclearpilots", [this] { m_rosters->eventclearpilotsExecute(); });
    on("eventsend2race", [this] {
        // A finished race not yet exported is offered for export first.
        if (!m_services.race->noLapsWaiting() || !m_services.finishedRace->confirmReplace())
            return;
        // Stopped by a "No" or a pilot already there: the rows sent before it
        // are in the race list and are shown, in the list's present order.
        if (!m_groups->eventsend2raceExecute() && m_race)
            m_race->refreshRaceList();
    });
    on("eventGroup", [this] { m_groups->eventGroupExecute(); });
    on("eventsAutogroup", [this] { m_groups->eventsAutogroupExecute(); });
    on("eventCheckList", [this] { m_groups->eventCheckListExecute(); });
    on("eventexporthtml", [this] { eventexporthtmlExecute(); });

    m_brackets->setChooser([this](const BracketChoices &choices, BracketRequest *request) {
        return m_bracketDialog->run(choices.fromName, choices.seeding, choices.stages, request);
    });
    m_groups->hooks().showGroupDialog = [this](GroupDialogModel &model) { return m_groupDialog->run(model); };
    // The race list holds a race of the stage it was sent from, whatever is
    // looked at later.
    m_groups->hooks().raceSent = [this](int stageId, const QString &group) {
        m_services.raceStage->sent(stageId, group);
    };

    connect(findChild<QPushButton *>(QStringLiteral("btsendtoAerolist")), &QPushButton::clicked,
            m_aerolistExport.get(), &TfrmAerolistExport::btsendtoAerolistClick);
    connect(findChild<QPushButton *>(QStringLiteral("Button25")), &QPushButton::clicked, this,
            &EventsPage::Button25Click);
    connect(findChild<QPushButton *>(QStringLiteral("btfontplus")), &QPushButton::clicked, this,
            &EventsPage::btfontplusClick);
    connect(findChild<QPushButton *>(QStringLiteral("btfontless")), &QPushButton::clicked, this,
            &EventsPage::btfontlessClick);
    connect(findChild<QPushButton *>(QStringLiteral("btstageformat")), &QPushButton::clicked, this,
            &EventsPage::btstageformatClick);
    connect(findChild<QPushButton *>(QStringLiteral("btmakebracket")), &QPushButton::clicked, this,
            &EventsPage::btmakebracketClick);
}

bool EventsPage::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_shown && watched == window() && event->type() == QEvent::Show) {
        m_shown = true;
        // FormShow: the stage list of the current event; with no stage
        // selected the results view stays as it is.
        m_views.refreshstages();
        m_views.selectStages();
    }
    return QWidget::eventFilter(watched, event);
}

void EventsPage::attachRacePage(RacePage &race)
{
    m_race = &race;
    QTableView *compact = race.results();
    bindGrid(compact, m_views.resultsModel(), m_views.resultsSelection(), EventsViews::raceResultsColumns());
    connect(compact->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_views.resultsTitleClick(fieldOfColumn(m_views.resultsModel()->fieldNames(), column));
    });
    showNames();

    RaceListHooks &hooks = m_groups->hooks();
    hooks.currentRaceGroup = [&race] {
        RaceListModel *model = race.raceListModel();
        if (model->rowCount() == 0)
            return QString();
        const QModelIndex current = race.raceList()->currentIndex();
        return model->record(current.isValid() ? current.row() : 0).value(QStringLiteral("group")).toString();
    };
    hooks.locateInRaceList = [&race](int pilotId) {
        RaceListModel *model = race.raceListModel();
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->record(r).value(QStringLiteral("pilotid")).toInt() == pilotId) {
                race.raceList()->setCurrentIndex(
                    model->index(r, model->fieldIndex(QStringLiteral("pilotname"))));
                break;
            }
        }
        bringForward(race.raceList());
        race.raceList()->setFocus();
    };
    hooks.raceListChanged = [this](const QString &sortText) { raceListChanged(sortText); };
    hooks.channelNotes = [&race](const QStringList &lines) { race.showChannelNotes(lines); };
    hooks.confirmAll = [&race] {
        race.raceList()->selectAll();
        race.raceconfirmSelExecute();
    };
    if (TimingDevices *devices = m_services.devices.get()) {
        hooks.resetList = [devices] { devices->raceresetlistExecute(); };
        hooks.registerPilots = [devices] { devices->raceregpilotsExecute(); };
    }
    // hooks.voiceInvite is set by the announcer's wiring (wireAnnouncer).

    connect(race.findChild<QPushButton *>(QStringLiteral("btnextgroup")), &QPushButton::clicked, this,
            &EventsPage::btnextgroupClick);
}

} // namespace lapvane
