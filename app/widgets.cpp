// Small builders shared by the pages.
#include "app/widgets.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTabWidget>

namespace lapvane {

QLabel *namedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QPushButton *namedButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

QDialogButtonBox *okCancelButtons(QDialog *dialog)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btcancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

void bringForward(QWidget *target)
{
    for (QWidget *w = target->parentWidget(); w; w = w->parentWidget()) {
        auto *tabs = qobject_cast<QTabWidget *>(w);
        if (!tabs)
            continue;
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i) == target || tabs->widget(i)->isAncestorOf(target))
                tabs->setCurrentIndex(i);
        }
    }
}

QToolButton *commandButton(const QString &name, QAction *action, QWidget *parent)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(name);
    b->setDefaultAction(action);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return b;
}

QPushButton *actionButton(const QString &name, QAction *action, QWidget *parent)
{
    QPushButton *b = namedButton(name, action->text(), parent);
    QObject::connect(b, &QPushButton::clicked, action, &QAction::trigger);
    return b;
}

QTableView *namedGrid(const QString &name, QAbstractItemView::SelectionMode mode, QWidget *parent)
{
    auto *t = new QTableView(parent);
    t->setObjectName(name);
    t->setSelectionMode(mode);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                       | QAbstractItemView::AnyKeyPressed);
    t->verticalHeader()->setDefaultSectionSize(22);
    return t;
}

QAction *gridDeleteAction(QTableView *grid, const QString &name, const std::function<void()> &remove)
{
    auto *del = new QAction(QStringLiteral("Delete record"), grid);
    del->setObjectName(name);
    del->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    del->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    grid->addAction(del);
    QObject::connect(del, &QAction::triggered, grid, remove);
    return del;
}

QLabel *portLamp(const QString &name, const QString &hint, const QColor &color, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    l->setToolTip(hint);
    l->setFixedSize(16, 16);
    l->setProperty("lampColor", color.name());
    setLampLit(l, false);
    return l;
}

void setLampLit(QLabel *lamp, bool lit)
{
    lamp->setProperty("lit", lit);
    const QString color = lit ? lamp->property("lampColor").toString() : QStringLiteral("#606060");
    lamp->setStyleSheet(QStringLiteral("background:%1; border:1px solid #202020; border-radius:8px;").arg(color));
}

} // namespace lapvane
