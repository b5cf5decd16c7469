// The "Race" page: its widgets and models, built once, and their wiring to
// the commands and the race modules.
#include "app/racepage.h"

#include "app/columnlayout.h"
#include "app/commands.h"
#include "app/logobar.h"
#include "app/newlapdialog.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/racemodels.h"
#include "app/settingwidgets.h"
#include "app/teamswindow.h"
#include "app/widgets.h"
#include "core/streamchannels.h"
#include "events/eventsviews.h"
#include "race/lapcorrections.h"
#include "race/raceengine.h"
#include "race/raceexport.h"
#include "race/racelist.h"
#include "race/racestage.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QSqlError>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace lapvane {

RacePage::RacePage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent)
    : QWidget(parent), m_ctx(ctx), m_services(services)
{
    setObjectName(QStringLiteral("tsrace"));
    auto *top = new QHBoxLayout;
    top->addWidget(buildRegisterGroup(ctx, commands));
    top->addWidget(buildRaceGroup(ctx, commands), 1);

    // Race and stage names, large and bold, above the race list.
    auto *names = new QHBoxLayout;
    names->addWidget(new QLabel(QStringLiteral("Race name:"), this));
    QLabel *eventName = namedLabel(QStringLiteral("lbraceeventname"), QString(), this);
    names->addWidget(eventName);
    names->addSpacing(20);
    names->addWidget(new QLabel(QStringLiteral("Stage:"), this));
    QLabel *stageName = namedLabel(QStringLiteral("lbracestagename"), QString(), this);
    names->addWidget(stageName);
    names->addStretch();
    for (QLabel *l : {eventName, stageName}) {
        QFont f = l->font();
        f.setBold(true);
        f.setPointSize(f.pointSize() + 6);
        l->setFont(f);
    }

    // The race list and its sub-pages.
    auto *listTabs = new QTabWidget(this);
    listTabs->setObjectName(QStringLiteral("pcrace"));
    auto *current = new QWidget(listTabs);
    current->setObjectName(QStringLiteral("tscurrentrace"));
    auto *currentLayout = new QVBoxLayout(current);
    // Counted laps waiting for the database (a full disk): shown until written.
    QLabel *waiting = namedLabel(QStringLiteral("lbllapswaiting"), QString(), current);
    waiting->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    waiting->setWordWrap(true);
    waiting->hide();
    currentLayout->addWidget(waiting);
    // Which stage and group the race in the list belongs to.
    QLabel *raceStage = namedLabel(QStringLiteral("lblracestage"), QString(), current);
    raceStage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long stage name never widens the page.
    raceStage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    currentLayout->addWidget(raceStage);
    m_raceList = namedGrid(QStringLiteral("tableonerace"), QAbstractItemView::ExtendedSelection, current);
    currentLayout->addWidget(m_raceList);
    // Who of the group sent last flies on another channel than his own.
    QLabel *channels = namedLabel(QStringLiteral("lbchannels"), QString(), current);
    channels->setWordWrap(true);
    channels->hide();
    currentLayout->addWidget(channels);
    auto *listButtons = new QHBoxLayout;
    listButtons->addWidget(actionButton(QStringLiteral("btconfirmSel"),
                                        commands.action(QStringLiteral("raceconfirmSel")), current));
    listButtons->addWidget(commandButton(QStringLiteral("btndelpilot"),
                                         commands.action(QStringLiteral("racedeletepilots")), current));
    QLabel *totalPilots = namedLabel(QStringLiteral("lbltotalpilots"), QStringLiteral("X"), current);
    auto *totalCaption = new QLabel(QStringLiteral("Total pilots:"), current);
    totalCaption->setBuddy(totalPilots);
    listButtons->addWidget(totalCaption);
    listButtons->addWidget(totalPilots);
    listButtons->addStretch();
    listButtons->addWidget(namedButton(QStringLiteral("bt2"), QStringLiteral("More"), current));
    listButtons->addWidget(namedButton(QStringLiteral("bt3"), QStringLiteral("Less"), current));
    currentLayout->addLayout(listButtons);
    listTabs->addTab(current, QStringLiteral("Current Race"));

    auto *last = new QWidget(listTabs);
    last->setObjectName(QStringLiteral("tslastrace"));
    auto *lastLayout = new QVBoxLayout(last);
    auto *lastHeader = new QHBoxLayout;
    lastHeader->addWidget(new QLabel(QStringLiteral("Last results. Stage: "), last));
    lastHeader->addWidget(namedLabel(QStringLiteral("lblaststagename"), QStringLiteral("Laststage"), last));
    lastHeader->addStretch();
    lastLayout->addLayout(lastHeader);
    m_lastRace = namedGrid(QStringLiteral("dbgridlastrace"), QAbstractItemView::SingleSelection, last);
    lastLayout->addWidget(m_lastRace);
    listTabs->addTab(last, QStringLiteral("Last results"));

    auto *charts = new QWidget(listTabs);
    charts->setObjectName(QStringLiteral("tscharts"));
    auto *chartsLayout = new QVBoxLayout(charts);
    auto *chartButtons = new QHBoxLayout;
    chartButtons->addWidget(namedButton(QStringLiteral("Button11"), QStringLiteral("Measure"), charts));
    chartButtons->addWidget(namedButton(QStringLiteral("Button15"), QStringLiteral("Stop"), charts));
    chartButtons->addWidget(
        namedButton(QStringLiteral("Button14"), QStringLiteral("Send to Telega"), charts));
    chartButtons->addStretch();
    chartsLayout->addLayout(chartButtons);
    chartsLayout->addStretch();
    listTabs->addTab(charts, QStringLiteral("Charts"));

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addLayout(top);
    leftLayout->addLayout(names);
    leftLayout->addWidget(listTabs, 1);

    // Laps of the selected pilot, the log pane and the compact results.
    auto *right = new QWidget(this);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(new QLabel(QStringLiteral("LAPS:"), right));
    m_laps = namedGrid(QStringLiteral("table1"), QAbstractItemView::SingleSelection, right);
    rightLayout->addWidget(m_laps, 2);
    auto *lapButtons = new QHBoxLayout;
    lapButtons->addWidget(namedButton(QStringLiteral("btdellap"), QStringLiteral("Delete"), right));
    lapButtons->addWidget(namedButton(QStringLiteral("Button26"), QStringLiteral("Add"), right));
    lapButtons->addWidget(namedButton(QStringLiteral("btlapsrecalc"), QStringLiteral("Recalc"), right));
    // The race board of the built-in web server in the browser (wired with the server).
    // It sits here, apart from the lap corrections, where the row has room at 1280 px.
    lapButtons->addStretch();
    lapButtons->addWidget(namedButton(QStringLiteral("btnboard"), QStringLiteral("Board"), right));
    rightLayout->addLayout(lapButtons);

    auto *logHeader = new QHBoxLayout;
    logHeader->addWidget(new QLabel(QStringLiteral("LOG:"), right));
    logHeader->addStretch();
    QPushButton *clear = namedButton(QStringLiteral("btnlogclear"), QStringLiteral("X"), right);
    clear->setFixedWidth(28);
    logHeader->addWidget(clear);
    rightLayout->addLayout(logHeader);
    m_log = new QPlainTextEdit(right);
    m_log->setObjectName(QStringLiteral("log1"));
    m_log->setReadOnly(true);
    m_log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The pane keeps the last lines only, so a long run or line noise cannot
    // grow memory; "log.txt" keeps everything.
    m_log->setMaximumBlockCount(kLogPaneLines);
    m_log->setPlainText(QStringLiteral("hello"));
    // Following the newest line: an operator's scroll while the pane is shown
    // decides it; lines added while it is hidden, or a layout done late,
    // keep it at the end.
    QScrollBar *logBar = m_log->verticalScrollBar();
    connect(logBar, &QScrollBar::valueChanged, this, [this, logBar](int value) {
        if (!m_logScrolling && m_log->isVisible())
            m_logFollows = value >= logBar->maximum();
    });
    connect(logBar, &QScrollBar::rangeChanged, this, &RacePage::followLog);
    rightLayout->addWidget(m_log, 3);
    connect(clear, &QPushButton::clicked, this, &RacePage::btnlogclearClick);

    m_results = namedGrid(QStringLiteral("tableresults"), QAbstractItemView::ExtendedSelection, right);
    rightLayout->addWidget(m_results, 3);
    auto *next = new QHBoxLayout;
    next->addWidget(namedButton(QStringLiteral("btnextgroup"), QStringLiteral("Next Group >>"), right));
    for (const char *c : {"chautoconfirm", "chautoreg", "chvoiceinvite"})
        next->addWidget(createSettingControl(ctx.settings, QLatin1String(c), right));
    // Disabled until the announcer is wired in (wireAnnouncer).
    for (QPushButton *b :
         {namedButton(QStringLiteral("btvoiceinvite"), QStringLiteral("Voice invite"), right),
          namedButton(QStringLiteral("btvoiceinvitestop"), QStringLiteral("X"), right)}) {
        b->setEnabled(false);
        b->setToolTip(QStringLiteral("Not available yet"));
        next->addWidget(b);
    }
    next->addStretch();
    rightLayout->addLayout(next);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new LogoBar(ctx, right));
    bottom->addStretch();
    bottom->addWidget(namedLabel(QStringLiteral("lbversion"), QStringLiteral("....."), right));
    rightLayout->addLayout(bottom);

    auto *split = new QSplitter(this);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split);

    m_teams = new TfrmTeams(
        services.race->teamTable(), services.prompt, ctx.db.db(), [this] { return m_raceModel->orderBy(); },
        this);
    m_newLap = new Tfrmnewlap(this);
    m_frame = new QTimer(this);
    m_frame->setSingleShot(true);
    m_frame->setTimerType(Qt::PreciseTimer);
    connect(m_frame, &QTimer::timeout, this, &RacePage::showFrame);
    buildModels();
    wireCommands(commands);
}

RacePage::~RacePage() = default;

QWidget *RacePage::buildRegisterGroup(ProgramContext &, CommandList &commands)
{
    auto *box = new QGroupBox(QStringLiteral("1. Register pilots: "), this);
    auto *layout = new QVBoxLayout(box);
    auto *lamps = new QHBoxLayout;
    lamps->addWidget(
        portLamp(QStringLiteral("shplapvanerace"), QStringLiteral("Lapvane status"), Qt::green, box));
    lamps->addWidget(
        portLamp(QStringLiteral("shpvstimerace"), QStringLiteral("VS TimeMachine status"), Qt::yellow, box));
    lamps->addWidget(
        portLamp(QStringLiteral("shpchorusrace"), QStringLiteral("Chorus RF status"), Qt::blue, box));
    QPushButton *check = namedButton(QStringLiteral("btCheckCom"), QStringLiteral("?"), box);
    check->setToolTip(QStringLiteral("Check all COM ports before start"));
    check->setFixedWidth(28);
    lamps->addWidget(check);
    lamps->addStretch();
    layout->addLayout(lamps);
    auto *reg = new QHBoxLayout;
    reg->addWidget(
        actionButton(QStringLiteral("btnregpilots"), commands.action(QStringLiteral("raceregpilots")), box));
    reg->addWidget(namedButton(QStringLiteral("btn1"), QStringLiteral("Done"), box));
    layout->addLayout(reg);
    auto *list = new QHBoxLayout;
    list->addWidget(actionButton(QStringLiteral("btnracelistpilots"),
                                 commands.action(QStringLiteral("racelistpilots")), box));
    list->addWidget(
        actionButton(QStringLiteral("btnclearlist"), commands.action(QStringLiteral("raceresetlist")), box));
    layout->addLayout(list);
    auto *counter = new QHBoxLayout;
    counter->addWidget(new QLabel(QStringLiteral("Race counter:"), box));
    counter->addWidget(namedLabel(QStringLiteral("lblcnt"), QStringLiteral("n/a"), box));
    counter->addStretch();
    layout->addLayout(counter);
    QPushButton *b24 = namedButton(QStringLiteral("Button24"), QStringLiteral("Button24"), box);
    layout->addWidget(b24);
    return box;
}

QWidget *RacePage::buildRaceGroup(ProgramContext &ctx, CommandList &commands)
{
    auto *box = new QGroupBox(QStringLiteral("2. Race:"), this);
    auto *layout = new QGridLayout(box);
    layout->addWidget(new QLabel(Settings::definition(QStringLiteral("edtlaps"))->caption, box), 0, 0);
    layout->addWidget(createSettingControl(ctx.settings, QStringLiteral("edtlaps"), box), 0, 1);
    layout->addWidget(new QLabel(Settings::definition(QStringLiteral("edttimelimit"))->caption, box), 1, 0);
    layout->addWidget(createSettingControl(ctx.settings, QStringLiteral("edttimelimit"), box), 1, 1);
    layout->addWidget(createSettingControl(ctx.settings, QStringLiteral("chracecontinue"), box), 0, 2);
    layout->addWidget(createSettingControl(ctx.settings, QStringLiteral("chkteamrace"), box), 1, 2);
    layout->addWidget(createSettingControl(ctx.settings, QStringLiteral("chautoexport"), box), 2, 0);
    layout->addWidget(createSettingControl(ctx.settings, QStringLiteral("chautotelegram"), box), 2, 1);
    auto *qual = new QHBoxLayout;
    qual->addWidget(new QLabel(QStringLiteral("to qual:"), box));
    qual->addWidget(new QLabel(QStringLiteral("best"), box));
    qual->addWidget(createSettingControl(ctx.settings, QStringLiteral("chkbest2qual"), box));
    qual->addWidget(new QLabel(QStringLiteral("total"), box));
    qual->addWidget(createSettingControl(ctx.settings, QStringLiteral("chktotal2qual"), box));
    qual->addStretch();
    layout->addLayout(qual, 2, 2);

    auto *buttons = new QHBoxLayout;
    // Only the button is disabled while a race runs; the menu command stays
    // and the engine refuses a second start itself.
    m_start =
        actionButton(QStringLiteral("btnstartrace"), commands.action(QStringLiteral("racestartrace")), box);
    buttons->addWidget(m_start);
    buttons->addWidget(
        actionButton(QStringLiteral("btnstoprace"), commands.action(QStringLiteral("racestoprace")), box));
    buttons->addWidget(actionButton(QStringLiteral("btexporttoevent"),
                                    commands.action(QStringLiteral("raceexporttoevent")), box));
    QToolButton *save =
        commandButton(QStringLiteral("SpeedButton1"), commands.action(QStringLiteral("settsave")), box);
    buttons->addWidget(save);
    buttons->addStretch();
    layout->addLayout(buttons, 3, 0, 1, 3);

    auto *clock = new QHBoxLayout;
    QLabel *time = namedLabel(QStringLiteral("lbltime"), QStringLiteral("00:00:00"), box);
    QLabel *ms = namedLabel(QStringLiteral("lblracems"), QStringLiteral("000"), box);
    QFont f = time->font();
    f.setPointSize(f.pointSize() + 14);
    f.setBold(true);
    time->setFont(f);
    f.setPointSize(f.pointSize() - 8);
    ms->setFont(f);
    clock->addWidget(time);
    clock->addWidget(ms);
    clock->addStretch();
    clock->addWidget(namedLabel(QStringLiteral("lbtimemachinetime"), QStringLiteral("xx:xxx.xxx"), box));
    layout->addLayout(clock, 4, 0, 1, 3);
    return box;
}

void RacePage::buildModels()
{
    QSqlDatabase db = m_ctx.db.db();
    m_raceModel = new RaceListModel(db, m_services.raceList->channel(), this);
    // The race runs by the current stage's format (as the race engine reads it).
    m_raceModel->setRaceStage(
        [this] { return m_services.raceStage ? m_services.raceStage->currentStageId() : 0; });
    m_raceModel->select();
    m_raceList->setModel(m_raceModel);
    showColumns(m_raceList, m_raceModel,
                {{"confirmed", "Confirmed"},
                 {"pilotname", "Pilot's name"},
                 {"nickname", "Nick/OSD"},
                 {"pilotteam", "Team"},
                 {"coptercolor", "Copter Color"},
                 {"pilottrans", "Transponder"},
                 {"group", "Group"},
                 {"vtx", "VTX(CH)"},
                 {"place", "Place"},
                 {"lapno", "Laps"},
                 {"besttimetxt", "Best lap"},
                 {"totaltimetxt", "Total time"}});
    // All twelve fit a 1280 wide window: short columns narrow, the name takes
    // what is left and elides; the operator may hide, show and widen them.
    m_raceColumns = new ColumnLayout(m_raceList, m_raceModel,
                                     {{QStringLiteral("confirmed"), QStringLiteral("Conf")},
                                      {QStringLiteral("pilotname"), QStringLiteral("Pilot's name")},
                                      {QStringLiteral("nickname"), QStringLiteral("Nickname")},
                                      {QStringLiteral("pilotteam"), QStringLiteral("Team nam")},
                                      {QStringLiteral("coptercolor"), QStringLiteral("Colour")},
                                      {QStringLiteral("pilottrans"), QStringLiteral("99999")},
                                      {QStringLiteral("group"), QStringLiteral("Group")},
                                      {QStringLiteral("vtx"), QStringLiteral("VTX")},
                                      {QStringLiteral("place"), QStringLiteral("Plac")},
                                      {QStringLiteral("lapno"), QStringLiteral("Laps")},
                                      {QStringLiteral("besttimetxt"), QStringLiteral("000:00.000")},
                                      {QStringLiteral("totaltimetxt"), QStringLiteral("000:00.000")}},
                                     QStringLiteral("pilotname"), &m_ctx.ini);
    m_raceList->horizontalHeader()->setSectionsClickable(true);
    connect(m_raceList->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &RacePage::tableoneraceTitleClick);

    m_lapsModel = new LapsModel(db, this);
    m_laps->setModel(m_lapsModel);
    showColumns(m_laps, m_lapsModel, {{"lapn", "Lap N"}, {"laptimetxt", "Lap time"}, {"laptime", "laptime"}});
    m_lapColumns = new ColumnLayout(m_laps, m_lapsModel,
                                    {{QStringLiteral("lapn"), QStringLiteral("Lap N")},
                                     {QStringLiteral("laptimetxt"), QStringLiteral("000:00.000")},
                                     {QStringLiteral("laptime"), QStringLiteral("99999999")}},
                                    QString(), &m_ctx.ini);

    m_lastRaceModel = new QSqlTableModel(this, db);
    m_lastRaceModel->setTable(QStringLiteral("lastrace"));
    m_lastRaceModel->setEditStrategy(QSqlTableModel::OnFieldChange);
    m_lastRaceModel->select();
    m_lastRace->setModel(m_lastRaceModel);
    QList<QPair<QString, QString>> lastColumns;
    for (const char *f :
         {"pilotname", "nickname", "pilotteam", "coptercolor", "pilottrans", "group", "vtx", "place", "lapno",
          "besttimetxt", "totaltimetxt", "pilotid", "besttime", "totaltime", "confirmed", "id"})
        lastColumns.append({QLatin1String(f), QLatin1String(f)});
    showColumns(m_lastRace, m_lastRaceModel, lastColumns);

    // The compact results grid is bound by the Events page (attachRacePage).

    connect(m_raceList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showCurrentPilotLaps(); });
    connect(m_raceModel, &QAbstractItemModel::modelReset, this, &RacePage::updateTotalPilots);
    connect(m_raceModel, &QAbstractItemModel::rowsRemoved, this, &RacePage::updateTotalPilots);
    updateTotalPilots();
    if (m_raceModel->rowCount() > 0)
        m_raceList->setCurrentIndex(m_raceModel->index(0, m_raceModel->fieldIndex("pilotname")));
}

void RacePage::wireCommands(CommandList &commands)
{
    auto on = [this, &commands](const char *name, void (RacePage::*handler)()) {
        connect(commands.action(QLatin1String(name)), &QAction::triggered, this, handler);
    };
    on("racestartrace", &RacePage::racestartraceExecute);
    on("racestoprace", &RacePage::racestopraceExecute);
    on("raceconfirmSel", &RacePage::raceconfirmSelExecute);
    on("raceunconfirmSel", &RacePage::raceunconfirmSelExecute);
    on("racedeletepilots", &RacePage::racedeletepilotsExecute);
    on("raceexporttoevent", &RacePage::raceexporttoeventExecute);

    // Ctrl+G in the race list renames the group (the team) of the selected rows.
    auto *rename = new QAction(QStringLiteral("Group name..."), this);
    rename->setObjectName(QStringLiteral("racerenamegroup"));
    rename->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    rename->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_raceList->addAction(rename);
    connect(rename, &QAction::triggered, this, &RacePage::renameGroup);

    // The lap grid and the last race have no menu: Ctrl+Del deletes their current row.
    gridDeleteAction(m_laps, QStringLiteral("lapsdelete"), [this] { table1CtrlDel(); });
    gridDeleteAction(m_lastRace, QStringLiteral("lastracedelete"), [this] { dbgridlastraceCtrlDel(); });

    connect(findChild<QPushButton *>(QStringLiteral("btdellap")), &QPushButton::clicked, this,
            &RacePage::btdellapClick);
    connect(findChild<QPushButton *>(QStringLiteral("Button26")), &QPushButton::clicked, this,
            &RacePage::Button26Click);
    connect(findChild<QPushButton *>(QStringLiteral("btlapsrecalc")), &QPushButton::clicked, this,
            &RacePage::btlapsrecalcClick);
    connect(findChild<QPushButton *>(QStringLiteral("bt2")), &QPushButton::clicked, this,
            &RacePage::bt2Click);
    connect(findChild<QPushButton *>(QStringLiteral("bt3")), &QPushButton::clicked, this,
            &RacePage::bt3Click);

    RaceEngine &race = *m_services.race;
    connect(&race, &RaceEngine::raceListChanged, this, &RacePage::refreshRaceList);
    connect(&race, &RaceEngine::lapsChanged, this, &RacePage::refreshLaps);
    connect(&race, &RaceEngine::raceRowChanged, this, &RacePage::raceRowChanged);
    connect(&race, &RaceEngine::pilotLapsChanged, this, &RacePage::pilotLapsChanged);
    connect(&race, &RaceEngine::raceListSortRequested, m_raceModel, &RaceListModel::setOrderBy);
    connect(&race, &RaceEngine::startEnabledChanged, m_start, &QPushButton::setEnabled);
    connect(&race, &RaceEngine::clockChanged, this, [this](const QString &time, const QString &ms) {
        findChild<QLabel *>(QStringLiteral("lbltime"))->setText(time);
        findChild<QLabel *>(QStringLiteral("lblracems"))->setText(ms);
    });
    connect(&race, &RaceEngine::delayTextChanged, findChild<QLabel *>(QStringLiteral("lbtimemachinetime")),
            &QLabel::setText);
    connect(&race, &RaceEngine::settingsPageRequested, this, &RacePage::settingsPageRequested);
    connect(&race, &RaceEngine::lapsWaitingChanged, this, &RacePage::showLapsWaiting);
    connect(m_services.raceStage.get(), &RaceStage::changed, this, &RacePage::showRaceStage);
    m_raceModel->setWaitingLaps([&race](int rowId) { return race.lapsWaitingFor(rowId); });
    connect(m_services.raceList.get(), &RaceList::raceListChanged, this, &RacePage::refreshRaceList);
    connect(m_services.raceList.get(), &RaceList::settingsPageRequested, this,
            &RacePage::settingsPageRequested);
    connect(m_services.raceList.get(), &RaceList::channelsChanged, m_raceList->viewport(),
            qOverload<>(&QWidget::update));
    connect(m_services.laps.get(), &LapCorrections::lapsChanged, this, &RacePage::refreshLaps);
    connect(m_services.laps.get(), &LapCorrections::raceListChanged, this, &RacePage::refreshRaceList);
    connect(m_services.laps.get(), &LapCorrections::raceListSortRequested, m_raceModel,
            &RaceListModel::setOrderBy);
    connect(m_services.raceExport.get(), &RaceExport::lastraceChanged, this, &RacePage::refreshLastRace);
    connect(m_services.raceExport.get(), &RaceExport::lastStageNameChanged,
            findChild<QLabel *>(QStringLiteral("lblaststagename")), &QLabel::setText);

    // The team standings window follows the "Team race" switch.
    connect(&m_ctx.settings, &Settings::changed, this, [this](const QString &control, const QVariant &v) {
        if (control == QLatin1String("chkteamrace"))
            chkteamraceClick(v.toBool());
    });
}

void RacePage::attachChannelMenu(QMenu *pmonerace, QAction *before)
{
    // "Channel (for Stream)": CH 1 to CH 8 (Shift+1 to Shift+8), the channels
    // of the current row's pilot checked each time the menu opens.
    QMenu *channels = new QMenu(QStringLiteral("Channel (for Stream)"), pmonerace);
    channels->setObjectName(QStringLiteral("pmchannels"));
    static const Qt::Key digits[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4,
                                     Qt::Key_5, Qt::Key_6, Qt::Key_7, Qt::Key_8};
    for (int ch = 1; ch <= StreamChannels::kChannels; ++ch) {
        auto *a = new QAction(QStringLiteral("CH %1").arg(ch), channels);
        a->setObjectName(QStringLiteral("streamch%1").arg(ch));
        a->setCheckable(true);
        a->setShortcut(QKeySequence(Qt::SHIFT | digits[ch - 1]));
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_raceList->addAction(a);
        channels->addAction(a);
        connect(a, &QAction::triggered, this, [this, ch] { setstreamchannel(ch); });
        m_channelActions << a;
    }
    pmonerace->insertMenu(before, channels);
    connect(pmonerace, &QMenu::aboutToShow, this, [this] {
        const QModelIndex current = m_raceList->currentIndex();
        const int pilotId = current.isValid()
                                ? m_raceModel->record(current.row()).value(QStringLiteral("pilotid")).toInt()
                                : 0;
        for (int ch = 1; ch <= m_channelActions.size(); ++ch)
            m_channelActions[ch - 1]->setChecked(pilotId != 0 &&
                                                 m_services.raceList->channel().pilotOn(ch) == pilotId);
    });
}

} // namespace lapvane
