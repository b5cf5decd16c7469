// The "Events" page frame.
#include "app/eventspage.h"

#include "app/commands.h"
#include "app/programcontext.h"
#include "app/settingwidgets.h"
#include "app/widgets.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSplitter>
#include <QVBoxLayout>

namespace lapvane {

namespace {

QHBoxLayout *counterRow(const QString &caption, const QString &counterName, QWidget *parent)
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(caption, parent));
    row->addStretch();
    row->addWidget(new QLabel(QStringLiteral("Count:"), parent));
    row->addWidget(namedLabel(counterName, QStringLiteral("n/a"), parent));
    return row;
}

} // namespace

EventsPage::EventsPage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent)
    : QWidget(parent), m_ctx(ctx), m_services(services)
{
    setObjectName(QStringLiteral("tsevents"));

    auto *eventsBox = new QWidget(this);
    auto *eventsLayout = new QVBoxLayout(eventsBox);
    eventsLayout->setContentsMargins(0, 0, 0, 0);
    eventsLayout->addLayout(counterRow(QStringLiteral("Events:"), QStringLiteral("lbeventscount"), eventsBox));
    m_events = namedGrid(QStringLiteral("tblEventsList"), QAbstractItemView::SingleSelection, eventsBox);
    eventsLayout->addWidget(m_events);
    auto *eventButtons = new QHBoxLayout;
    eventButtons->addWidget(commandButton(QStringLiteral("bteventnew"), commands.action(QStringLiteral("eventnew")), eventsBox));
    eventButtons->addWidget(commandButton(QStringLiteral("bteventdel"), commands.action(QStringLiteral("eventdel")), eventsBox));
    eventButtons->addStretch();
    eventsLayout->addLayout(eventButtons);

    auto *stagesBox = new QWidget(this);
    auto *stagesLayout = new QVBoxLayout(stagesBox);
    stagesLayout->setContentsMargins(0, 0, 0, 0);
    stagesLayout->addLayout(counterRow(QStringLiteral("Stages:"), QStringLiteral("lbstagescount"), stagesBox));
    m_stages = namedGrid(QStringLiteral("tblEventsStages"), QAbstractItemView::ExtendedSelection, stagesBox);
    stagesLayout->addWidget(m_stages);
    auto *dup = new QGroupBox(QStringLiteral("Duplicate with:"), stagesBox);
    auto *dupLayout = new QGridLayout(dup);
    const char *dupOptions[] = {"chdupgroup", "chdupvtx", "chkdupplace", "chkdupwins",
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
    resultsLayout->addLayout(counterRow(QStringLiteral("Results:"), QStringLiteral("lbresultscount"), resultsBox));
    m_results = namedGrid(QStringLiteral("tblEventsResults"), QAbstractItemView::ExtendedSelection, resultsBox);
    resultsLayout->addWidget(m_results);

    auto *tools = new QHBoxLayout;
    tools->addWidget(commandButton(QStringLiteral("btgroup"), commands.action(QStringLiteral("eventGroup")), resultsBox));
    tools->addWidget(commandButton(QStringLiteral("btautogroup"), commands.action(QStringLiteral("eventsAutogroup")), resultsBox));
    tools->addWidget(commandButton(QStringLiteral("btchecklist"), commands.action(QStringLiteral("eventCheckList")), resultsBox));
    tools->addWidget(createSettingControl(ctx.settings, QStringLiteral("chlockresults"), resultsBox));
    tools->addWidget(namedButton(QStringLiteral("Button25"), QStringLiteral("Name+Qual to Clpbrd"), resultsBox));
    tools->addWidget(new QLabel(QStringLiteral("Font size:"), resultsBox));
    tools->addWidget(namedButton(QStringLiteral("btfontplus"), QStringLiteral("More"), resultsBox));
    tools->addWidget(namedButton(QStringLiteral("btfontless"), QStringLiteral("Less"), resultsBox));
    tools->addStretch();
    resultsLayout->addLayout(tools);

    auto *publish = new QHBoxLayout;
    publish->addWidget(namedButton(QStringLiteral("btsavehtml"), QStringLiteral("Export Results to HTML"), resultsBox));
    publish->addWidget(namedButton(QStringLiteral("Button16"), QStringLiteral("Export Groups to TXT"), resultsBox));
    publish->addWidget(new QLabel(QStringLiteral("Telegram"), resultsBox));
    publish->addWidget(namedButton(QStringLiteral("btntelegaSendGroups"), QStringLiteral("send Groups"), resultsBox));
    publish->addWidget(namedButton(QStringLiteral("btnTelegaSendResults"), QStringLiteral("send Results"), resultsBox));
    publish->addWidget(commandButton(QStringLiteral("btracetelegramSend"), commands.action(QStringLiteral("racetelegramSend")), resultsBox));
    publish->addWidget(namedButton(QStringLiteral("btsendtoAerolist"), QStringLiteral("Send to Aerolist"), resultsBox));
    publish->addWidget(commandButton(QStringLiteral("SpeedButton2"), commands.action(QStringLiteral("settsave")), resultsBox));
    publish->addStretch();
    resultsLayout->addLayout(publish);

    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(top);
    split->addWidget(resultsBox);
    split->setStretchFactor(1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split);
}

} // namespace lapvane

namespace lapvane {

void EventsPage::attachRacePage(RacePage &race)
{
    Q_UNUSED(race);
}

} // namespace lapvane
