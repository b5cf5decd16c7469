// Small builders shared by the pages: named labels, buttons and grids.
#pragma once

#include <QAbstractItemView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

#include <functional>

class QAction;
class QDialog;
class QDialogButtonBox;

namespace lapvane {

// A label with an object name, for indicators other code writes to.
QLabel *namedLabel(const QString &name, const QString &text, QWidget *parent);
QPushButton *namedButton(const QString &name, const QString &text, QWidget *parent);
// A button that runs a command and follows its caption and enabled state.
QToolButton *commandButton(const QString &name, QAction *action, QWidget *parent);
// A push button that runs a command; its enabled state is its own, so a
// command can stay reachable from a menu while the button is disabled.
QPushButton *actionButton(const QString &name, QAction *action, QWidget *parent);
// A grid, editable in place, with one or several selected rows.
QTableView *namedGrid(const QString &name, QAbstractItemView::SelectionMode mode, QWidget *parent);
// Ctrl+Del on a grid without a menu of its own: runs remove while the focus
// is on the grid.
QAction *gridDeleteAction(QTableView *grid, const QString &name, const std::function<void()> &remove);
// A widget of type W with an object name.
template <typename W> W *namedWidget(const char *name, QWidget *parent)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}
// OK ("btok") and Cancel ("btcancel") of a dialog, accepting and rejecting it.
QDialogButtonBox *okCancelButtons(QDialog *dialog);
// Brings every page and sub-page that holds target to the front.
void bringForward(QWidget *target);
// A port lamp: lit while its receiver's port is open.
QLabel *portLamp(const QString &name, const QString &hint, const QColor &color, QWidget *parent);
void setLampLit(QLabel *lamp, bool lit);

} // namespace lapvane
