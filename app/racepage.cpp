// The "Race" page frame.
#include "app/racepage.h"

#include "app/commands.h"
#include "app/programcontext.h"
#include "app/settingwidgets.h"
#include "app/widgets.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lapvane {

RacePage::RacePage(ProgramContext &ctx, CommandList &commands, QWidget *parent) : QWidget(parent)
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
    m_raceList = namedGrid(QStringLiteral("tableonerace"), QAbstractItemView::ExtendedSelection, current);
    currentLayout->addWidget(m_raceList);
    auto *listButtons = new QHBoxLayout;
    listButtons->addWidget(new QLabel(QStringLiteral("Total pilots:"), current));
    listButtons->addWidget(namedLabel(QStringLiteral("lbltotalpilots"), QStringLiteral("X"), current));
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
    chartButtons->addWidget(namedButton(QStringLiteral("Button14"), QStringLiteral("Send to Telega"), charts));
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
    m_log->setPlainText(QStringLiteral("hello"));
    rightLayout->addWidget(m_log, 3);
    connect(clear, &QPushButton::clicked, this, &RacePage::btnlogclearClick);

    m_results = namedGrid(QStringLiteral("tableresults"), QAbstractItemView::ExtendedSelection, right);
    rightLayout->addWidget(m_results, 3);
    auto *next = new QHBoxLayout;
    next->addWidget(namedButton(QStringLiteral("btnextgroup"), QStringLiteral("Next Group >>"), right));
    for (const char *c : {"chautoconfirm", "chautoreg", "chvoiceinvite"})
        next->addWidget(createSettingControl(ctx.settings, QLatin1String(c), right));
    next->addWidget(namedButton(QStringLiteral("btvoiceinvite"), QStringLiteral("Voice invite"), right));
    next->addWidget(namedButton(QStringLiteral("btvoiceinvitestop"), QStringLiteral("X"), right));
    next->addStretch();
    rightLayout->addLayout(next);
    auto *bottom = new QHBoxLayout;
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
}

QWidget *RacePage::buildRegisterGroup(ProgramContext &, CommandList &commands)
{
    auto *box = new QGroupBox(QStringLiteral("1. Register pilots: "), this);
    auto *layout = new QVBoxLayout(box);
    auto *lamps = new QHBoxLayout;
    lamps->addWidget(portLamp(QStringLiteral("shplapvanerace"), QStringLiteral("Lapvane status"), Qt::green, box));
    lamps->addWidget(portLamp(QStringLiteral("shpvstimerace"), QStringLiteral("VS TimeMachine status"), Qt::yellow, box));
    lamps->addWidget(portLamp(QStringLiteral("shpchorusrace"), QStringLiteral("Chorus RF status"), Qt::blue, box));
    QPushButton *check = namedButton(QStringLiteral("btCheckCom"), QStringLiteral("?"), box);
    check->setToolTip(QStringLiteral("Check all COM ports before start"));
    check->setFixedWidth(28);
    lamps->addWidget(check);
    lamps->addStretch();
    layout->addLayout(lamps);
    auto *reg = new QHBoxLayout;
    reg->addWidget(commandButton(QStringLiteral("btregpilots"), commands.action(QStringLiteral("raceregpilots")), box));
    reg->addWidget(namedButton(QStringLiteral("btn1"), QStringLiteral("Done"), box));
    layout->addLayout(reg);
    auto *list = new QHBoxLayout;
    list->addWidget(commandButton(QStringLiteral("btlistpilots"), commands.action(QStringLiteral("racelistpilots")), box));
    list->addWidget(commandButton(QStringLiteral("btresetlist"), commands.action(QStringLiteral("raceresetlist")), box));
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
    buttons->addWidget(commandButton(QStringLiteral("btnstartrace"), commands.action(QStringLiteral("racestartrace")), box));
    buttons->addWidget(commandButton(QStringLiteral("btnstoprace"), commands.action(QStringLiteral("racestoprace")), box));
    QToolButton *save = commandButton(QStringLiteral("SpeedButton1"), commands.action(QStringLiteral("settsave")), box);
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

void RacePage::btnlogclearClick()
{
    m_log->clear();
}

void RacePage::contextMenuEvent(QContextMenuEvent *event)
{
    emit stopRequested();
    event->accept();
}

} // namespace lapvane
