// The "Pilots" page: the registry grid, its search and commands.
#include "app/pilotspage.h"

#include "app/aerolistbrowser.h"
#include "app/commands.h"
#include "app/csvcommands.h"
#include "app/gridcolumns.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/settingwidgets.h"
#include "app/widgets.h"
#include "events/pilotregistry.h"
#include "events/stagerosters.h"

#include <QAction>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace lapvane {

namespace {

const QString kNotYet = QStringLiteral("Not available yet");

// A mark that shows only while its file exists; clicking it runs the command.
QLabel *fileMark(const QString &name, const QString &caption, QWidget *parent)
{
    QLabel *l = namedLabel(name, QStringLiteral("<a href=\"open\">%1</a>").arg(caption), parent);
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    l->setVisible(false);
    return l;
}

} // namespace

PilotsPage::PilotsPage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent)
    : QWidget(parent), m_ctx(ctx), m_services(services),
      m_pilots(std::make_unique<PilotRegistry>(ctx.db.db(), ctx.folder, services.prompt)),
      m_rosters(std::make_unique<StageRosters>(*services.events)),
      m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("tsPilots"));
    auto *search = new QHBoxLayout;
    search->addWidget(new QLabel(QStringLiteral("Search:"), this));
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("edsearch"));
    m_search->setClearButtonEnabled(true);
    search->addWidget(m_search, 1);
    search->addWidget(new QLabel(QStringLiteral("in"), this));
    search->addWidget(createSettingControl(ctx.settings, QStringLiteral("cbb1"), this));
    search->addStretch();
    m_hasPhoto = fileMark(QStringLiteral("lbhasphoto"), QStringLiteral("Photo"), this);
    m_hasSound = fileMark(QStringLiteral("lbhassound"), QStringLiteral("Sound"), this);
    search->addWidget(m_hasPhoto);
    search->addWidget(m_hasSound);
    search->addWidget(new QLabel(QStringLiteral("Count:"), this));
    search->addWidget(namedLabel(QStringLiteral("lbpilotscount"), QStringLiteral("n/a"), this));

    m_registry = namedGrid(QStringLiteral("dbgrd1"), QAbstractItemView::ExtendedSelection, this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(commandButton(QStringLiteral("btpilotsaddnew"), commands.action(QStringLiteral("pilotsaddnew")), this));
    buttons->addWidget(commandButton(QStringLiteral("btpilotsdelete"), commands.action(QStringLiteral("pilotsdelete")), this));
    buttons->addWidget(commandButton(QStringLiteral("btaddtostage"), commands.action(QStringLiteral("eventAdd2CurStage")), this));
    buttons->addWidget(commandButton(QStringLiteral("btshowphoto"), commands.action(QStringLiteral("pilotshowphoto")), this));
    buttons->addWidget(commandButton(QStringLiteral("btplayname"), commands.action(QStringLiteral("pilotplayname")), this));
    buttons->addWidget(csvImportButton(ctx.db.db(), ctx.log, services.prompt, [this] { m_pilots->reread(); }, this));
    buttons->addStretch();
    QPushButton *service = namedButton(QStringLiteral("BitBtn1"), QStringLiteral("Load pilots from Aerolist"), this);
    buttons->addWidget(service);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(search);
    layout->addWidget(m_registry, 1);
    layout->addLayout(buttons);

    // The registry grid.
    m_pilots->open();
    m_registry->setModel(m_pilots->view());
    QItemSelectionModel *own = m_registry->selectionModel();
    m_registry->setSelectionModel(m_pilots->selection());
    delete own;
    showGridColumns(m_registry, m_pilots->model()->fieldNames(), PilotRegistry::columns());
    connect(m_registry->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
        m_pilots->titleClick(fieldOfColumn(m_pilots->model()->fieldNames(), column));
    });
    // The marks follow the current pilot, and a click looks at the files again.
    connect(m_pilots->selection(), &QItemSelectionModel::currentRowChanged, this, &PilotsPage::dbgrd1CellClick);
    connect(m_registry, &QTableView::clicked, this, &PilotsPage::dbgrd1CellClick);
    connect(m_pilots.get(), &PilotRegistry::visibleCountChanged, this, &PilotsPage::showCount);
    showCount();

    connect(m_search, &QLineEdit::textChanged, this, &PilotsPage::edtsearchtextChange);
    m_search->installEventFilter(this);
    connect(m_hasPhoto, &QLabel::linkActivated, this, &PilotsPage::pilotshowphotoExecute);

    // The registry browser: its own window over this registry.
    m_aerolist = std::make_unique<TfrmAerolist>(ctx, *m_pilots, *services.events, services.prompt);
    connect(service, &QPushButton::clicked, this, &PilotsPage::BitBtn1Click);
    connect(m_aerolist.get(), &TfrmAerolist::locateRequested, this, &PilotsPage::setSearchText);
    connect(m_aerolist.get(), &TfrmAerolist::localPilotChanged, this, &PilotsPage::dbgrd1CellClick);

    auto on = [this, &commands](const char *name, const std::function<void()> &run) {
        connect(commands.action(QLatin1String(name)), &QAction::triggered, this, run);
    };
    on("eventAdd2CurStage", [this] { eventAdd2CurStageExecute(); });
    on("pilotshowphoto", [this] { pilotshowphotoExecute(); });
    on("pilotsaddnew", [this] { m_pilots->pilotsaddnewExecute(); });
    on("pilotsdelete", [this] { m_pilots->pilotsdeleteExecute(); });
    // Disabled until the announcer is wired in (wireAnnouncer).
    QAction *play = commands.action(QStringLiteral("pilotplayname"));
    play->setEnabled(false);
    play->setToolTip(kNotYet);
    m_hasSound->setToolTip(kNotYet);
}

PilotsPage::~PilotsPage() = default;

void PilotsPage::showCount()
{
    findChild<QLabel *>(QStringLiteral("lbpilotscount"))->setText(QString::number(m_pilots->visibleCount()));
}

void PilotsPage::edtsearchtextChange(const QString &text)
{
    // The field chosen in the list at this moment; changing the field alone
    // takes effect with the next change of the text.
    const QString field = m_ctx.settings.text(QStringLiteral("cbb1"));
    if (!m_pilots->edtsearchtextChange(text, field))
        m_services.prompt.notice(QStringLiteral("Cannot search in \"%1\": choose one of %2.")
                                     .arg(field, PilotRegistry::searchFields().join(QStringLiteral(", "))));
    dbgrd1CellClick();
}

bool PilotsPage::eventFilter(QObject *watched, QEvent *event)
{
    // A click into the search text empties it, which shows every pilot.
    if (watched == m_search && event->type() == QEvent::MouseButtonPress)
        m_search->clear();
    return QWidget::eventFilter(watched, event);
}

void PilotsPage::dbgrd1CellClick()
{
    m_hasPhoto->setVisible(m_pilots->currentHasPhoto());
    m_hasSound->setVisible(m_pilots->currentHasNameSound());
}

void PilotsPage::BitBtn1Click()
{
    m_aerolist->show();
    m_aerolist->raise();
    m_aerolist->activateWindow();
}

void PilotsPage::setSearchText(const QString &text)
{
    m_search->setText(text);
}

void PilotsPage::eventAdd2CurStageExecute()
{
    const auto pilot = m_pilots->currentPilot();
    if (!pilot) {
        m_services.prompt.notice(QStringLiteral("Choose a pilot in the list first."));
        return;
    }
    m_rosters->eventAdd2CurStageExecute(*pilot);
}

void PilotsPage::pilotshowphotoExecute()
{
    const auto pilot = m_pilots->currentPilot();
    if (!pilot)
        return;
    const QString path = m_pilots->pilotshowphotoExecute();
    if (!QFileInfo(path).isFile()) {
        m_services.prompt.notice(QStringLiteral("No photo of \"%1\": %2 does not exist.").arg(pilot->name, path));
        return;
    }
    if (!m_openUrl(QUrl::fromLocalFile(path)))
        m_services.prompt.notice(QStringLiteral("The photo %1 could not be opened.").arg(path));
}

} // namespace lapvane
