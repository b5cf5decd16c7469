// The command list: one action per operator command, with its caption,
// category and shortcut, the context menus that carry them, and the rule that
// decides which command a shared shortcut runs.
#pragma once

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QWidget;

namespace lapvane {

class CommandList : public QObject
{
    Q_OBJECT
public:
    // Creates every command as an action of window, named by its command name.
    explicit CommandList(QWidget *window);

    QAction *action(const QString &name) const;
    QList<QAction *> actions() const { return m_ordered; }

    // Builds a context menu from command names ("-" is a separator) and
    // attaches it to each carrier. The menu's shortcuts act while the focus is
    // on a carrier or inside it. Returns the menu; submenus are added by the
    // caller.
    QMenu *attachMenu(const QString &menuName, const QList<QWidget *> &carriers, const QStringList &items);

private:
    void focusChanged(QWidget *now);

    QWidget *m_window;
    QHash<QString, QAction *> m_actions;
    QList<QAction *> m_ordered;
    // Carriers whose menus claim the key of a window-wide command.
    struct Claim
    {
        QKeySequence key;
        QPointer<QWidget> carrier;
    };
    QList<Claim> m_claims;
    // Window-wide commands and their keys.
    QHash<QAction *, QKeySequence> m_windowWide;
};

} // namespace lapvane
