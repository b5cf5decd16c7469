// The "Pilots" page frame.
#include "app/pilotspage.h"

#include "app/commands.h"
#include "app/programcontext.h"
#include "app/settingwidgets.h"
#include "app/widgets.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace lapvane {

PilotsPage::PilotsPage(ProgramContext &ctx, ProgramServices &services, CommandList &commands, QWidget *parent)
    : QWidget(parent), m_ctx(ctx), m_services(services)
{
    setObjectName(QStringLiteral("tsPilots"));
    auto *search = new QHBoxLayout;
    search->addWidget(new QLabel(QStringLiteral("Search:"), this));
    auto *text = new QLineEdit(this);
    text->setObjectName(QStringLiteral("edsearch"));
    text->setClearButtonEnabled(true);
    search->addWidget(text, 1);
    search->addWidget(new QLabel(QStringLiteral("in"), this));
    search->addWidget(createSettingControl(ctx.settings, QStringLiteral("cbb1"), this));
    search->addStretch();
    search->addWidget(new QLabel(QStringLiteral("Count:"), this));
    search->addWidget(namedLabel(QStringLiteral("lbpilotscount"), QStringLiteral("n/a"), this));

    m_registry = namedGrid(QStringLiteral("dbgrd1"), QAbstractItemView::ExtendedSelection, this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(commandButton(QStringLiteral("btpilotsaddnew"), commands.action(QStringLiteral("pilotsaddnew")), this));
    buttons->addWidget(commandButton(QStringLiteral("btpilotsdelete"), commands.action(QStringLiteral("pilotsdelete")), this));
    buttons->addWidget(commandButton(QStringLiteral("btaddtostage"), commands.action(QStringLiteral("eventAdd2CurStage")), this));
    buttons->addWidget(commandButton(QStringLiteral("btshowphoto"), commands.action(QStringLiteral("pilotshowphoto")), this));
    buttons->addWidget(commandButton(QStringLiteral("btplayname"), commands.action(QStringLiteral("pilotplayname")), this));
    buttons->addStretch();
    buttons->addWidget(namedButton(QStringLiteral("BitBtn1"), QStringLiteral("Load pilots from Aerolist"), this));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(search);
    layout->addWidget(m_registry, 1);
    layout->addLayout(buttons);
}

} // namespace lapvane
