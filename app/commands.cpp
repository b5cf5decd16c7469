// The command list, its context menus and shortcut resolution by focus.
#include "app/commands.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

namespace lapvane {

namespace {

struct CommandDef
{
    const char *name;
    const char *category;
    const char *caption;
    const char *shortcut;
};

// In the order of the command list.
constexpr CommandDef kCommands[] = {
    {"comdisconnect", "com", "Disconnect", ""},
    {"comconnect", "com", "Connect", ""},
    {"racelistpilots", "race", "List pilots", ""},
    {"raceregpilots", "race", "Register pilots", ""},
    {"raceresetlist", "race", "Reset list", "Ctrl+R"},
    {"racestartrace", "race", "Start Race", ""},
    {"racestoprace", "race", "Finish", ""},
    {"pilotsdelete", "pilots", "Delete", "Ctrl+Del"},
    {"eventnew", "events", "New event", ""},
    {"eventdel", "events", "Delete event", ""},
    {"eventdelpilot", "events", "Delete selected", "Ctrl+Del"},
    {"eventclearpilots", "events", "Clear all", ""},
    {"eventsend2race", "events", "Send to Race", "Ctrl+S"},
    {"eventAdd2NewStage", "events", "Add to new stage", "Ctrl+N"},
    {"eventnewstage", "events", "New stage", "Ctrl+N"},
    {"eventdelstage", "events", "Delete stage", "Ctrl+Del"},
    {"eventAdd2CurStage", "events", "Add to current stage", "Ctrl+S"},
    {"raceexporttoevent", "race", "Export to Event Results", "Ctrl+E"},
    {"eventduplicatestage", "events", "Duplcate", "Ctrl+D"},
    {"raceconfirmSel", "race", "Confirm Selected", "Ctrl+Y"},
    {"pilotsaddnew", "pilots", "Add new", "Ctrl+N"},
    {"settsave", "setts", "Save settings", ""},
    {"settrestore", "setts", "Restore saved", ""},
    {"eventupdatefromDB", "events", "Update all from DB", ""},
    {"eventexporthtml", "events", "Export to HTML", "Ctrl+E"},
    {"racetelegramSend", "events", "to Telegram", ""},
    {"raceunconfirmSel", "race", "Unconfirm Selected", "Ctrl+N"},
    {"racedeletepilots", "race", "Delete", "Ctrl+Del"},
    {"eventGroup", "events", "Group", "Ctrl+G"},
    {"eventsAutogroup", "events", "Auto group", ""},
    {"pilotplayname", "pilots", "Play name", ""},
    {"pilotshowphoto", "pilots", "Show photo", ""},
    {"eventCheckList", "events", "Check list", ""},
};

// Commands whose shortcut acts anywhere in the window, unless the focused
// control's menu claims the same key.
const QStringList kWindowWide = {QStringLiteral("raceunconfirmSel")};

// Commands without an operation stay disabled.
const QStringList kWithoutOperation = {QStringLiteral("settrestore"), QStringLiteral("eventupdatefromDB")};

} // namespace

CommandList::CommandList(QWidget *window) : QObject(window), m_window(window)
{
    for (const CommandDef &c : kCommands) {
        auto *a = new QAction(QString::fromLatin1(c.caption), window);
        a->setObjectName(QLatin1String(c.name));
        a->setProperty("category", QLatin1String(c.category));
        if (*c.shortcut)
            a->setShortcut(QKeySequence(QLatin1String(c.shortcut)));
        if (kWithoutOperation.contains(a->objectName()))
            a->setEnabled(false);
        if (kWindowWide.contains(a->objectName())) {
            a->setShortcutContext(Qt::WindowShortcut);
            window->addAction(a);
            m_windowWide.insert(a, a->shortcut());
        } else {
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        m_actions.insert(a->objectName(), a);
        m_ordered << a;
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { focusChanged(now); });
}

QAction *CommandList::action(const QString &name) const
{
    return m_actions.value(name);
}

QMenu *CommandList::attachMenu(const QString &menuName, const QList<QWidget *> &carriers, const QStringList &items)
{
    auto *menu = new QMenu(m_window);
    menu->setObjectName(menuName);
    for (const QString &item : items) {
        if (item == QLatin1String("-")) {
            menu->addSeparator();
            continue;
        }
        QAction *a = action(item);
        Q_ASSERT(a);
        menu->addAction(a);
        if (a->shortcut().isEmpty() || m_windowWide.contains(a))
            continue;
        for (QWidget *carrier : carriers) {
            carrier->addAction(a);
            for (const QKeySequence &wideKey : std::as_const(m_windowWide)) {
                if (wideKey == a->shortcut())
                    m_claims << Claim{a->shortcut(), carrier};
            }
        }
    }
    for (QWidget *carrier : carriers) {
        carrier->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(carrier, &QWidget::customContextMenuRequested, menu,
                [menu, carrier](const QPoint &pos) { menu->popup(carrier->mapToGlobal(pos)); });
    }
    return menu;
}

void CommandList::focusChanged(QWidget *now)
{
    // A window-wide shortcut steps back while the focus is in a control whose
    // own menu uses the same key, so that control's command runs instead.
    for (auto it = m_windowWide.cbegin(); it != m_windowWide.cend(); ++it) {
        bool claimed = false;
        for (const Claim &c : std::as_const(m_claims)) {
            if (c.key == it.value() && c.carrier && now && (c.carrier == now || c.carrier->isAncestorOf(now)))
                claimed = true;
        }
        it.key()->setShortcut(claimed ? QKeySequence() : it.value());
    }
}

} // namespace lapvane
