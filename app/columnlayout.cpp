// Column widths and visibility kept in the settings file.
#include "app/columnlayout.h"

#include "core/inifile.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <QTimer>

#include <memory>

namespace lapvane {

namespace {

const QString kWidthsKey = QStringLiteral("Widths");
const QString kHiddenKey = QStringLiteral("Hidden");

} // namespace

ColumnLayout::ColumnLayout(QTableView *grid, QSqlTableModel *model, QList<Column> columns, const QString &fill,
                           std::unique_ptr<IniFile> *ini)
    : QObject(grid), m_grid(grid), m_model(model), m_columns(std::move(columns)), m_fill(fill), m_ini(ini)
{
    QHeaderView *header = grid->horizontalHeader();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(16);
    header->setTextElideMode(Qt::ElideRight);
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideRight);

    m_menu = new QMenu(grid);
    m_menu->setObjectName(grid->objectName() + QStringLiteral("columns"));
    for (const Column &c : std::as_const(m_columns)) {
        const int logical = m_model->fieldIndex(c.field);
        const QString heading = m_model->headerData(logical, Qt::Horizontal).toString();
        // The whole heading where a narrow column cuts it.
        m_model->setHeaderData(logical, Qt::Horizontal, heading, Qt::ToolTipRole);
        QAction *a = m_menu->addAction(heading);
        a->setObjectName(QStringLiteral("column_") + c.field);
        a->setCheckable(true);
        a->setChecked(true);
        connect(a, &QAction::toggled, this, [this, field = c.field](bool on) { setHidden(field, !on); });
    }
    m_menu->addSeparator();
    QAction *reset = m_menu->addAction(QStringLiteral("Default widths"));
    reset->setObjectName(QStringLiteral("columnsdefault"));
    connect(reset, &QAction::triggered, this, &ColumnLayout::resetWidths);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this,
            [this, header](const QPoint &pos) { m_menu->popup(header->mapToGlobal(pos)); });

    m_storeTimer = new QTimer(this);
    m_storeTimer->setSingleShot(true);
    m_storeTimer->setInterval(400); // a drag ends before it is written
    connect(m_storeTimer, &QTimer::timeout, this, &ColumnLayout::store);
    connect(header, &QHeaderView::sectionResized, this, &ColumnLayout::sectionResized);

    restore();
    apply();
}

QString ColumnLayout::section() const
{
    return QStringLiteral("Grid ") + m_grid->objectName();
}

int ColumnLayout::defaultWidth(const QString &field) const
{
    const QFontMetrics fm(m_grid->font());
    for (const Column &c : m_columns) {
        if (c.field == field)
            return fm.horizontalAdvance(c.sample) + fm.averageCharWidth() * 2;
    }
    return 0;
}

void ColumnLayout::apply()
{
    m_applying = true;
    QHeaderView *header = m_grid->horizontalHeader();
    const QFontMetrics fm(m_grid->font());
    m_grid->verticalHeader()->setDefaultSectionSize(fm.height() + 8);
    for (const Column &c : std::as_const(m_columns)) {
        const int logical = m_model->fieldIndex(c.field);
        if (logical < 0)
            continue;
        const bool hidden = m_hidden.contains(c.field);
        m_grid->setColumnHidden(logical, hidden);
        if (c.field == m_fill && !m_widths.contains(c.field)) {
            header->setSectionResizeMode(logical, QHeaderView::Stretch);
            continue;
        }
        header->setSectionResizeMode(logical, QHeaderView::Interactive);
        header->resizeSection(logical, m_widths.value(c.field, defaultWidth(c.field)));
    }
    const QList<QAction *> actions = m_menu->actions();
    for (int i = 0; i < m_columns.size() && i < actions.size(); ++i) {
        const QSignalBlocker block(actions.at(i));
        actions.at(i)->setChecked(!m_hidden.contains(m_columns.at(i).field));
    }
    m_applying = false;
}

void ColumnLayout::sectionResized(int logical, int, int newSize)
{
    if (m_applying || newSize <= 0)
        return;
    const QString field = m_model->record().fieldName(logical);
    bool known = false;
    for (const Column &c : std::as_const(m_columns))
        known = known || c.field == field;
    if (!known || m_grid->horizontalHeader()->sectionResizeMode(logical) == QHeaderView::Stretch)
        return;
    m_widths.insert(field, newSize);
    m_storeTimer->start();
}

void ColumnLayout::setHidden(const QString &field, bool hidden)
{
    if (hidden)
        m_hidden.insert(field);
    else
        m_hidden.remove(field);
    apply();
    store();
}

void ColumnLayout::resetWidths()
{
    m_widths.clear();
    apply();
    store();
}

void ColumnLayout::restore()
{
    if (!m_ini || !*m_ini)
        return;
    const IniFile &ini = **m_ini;
    for (const QString &item : ini.readString(section(), kWidthsKey, QString()).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString field = item.section(QLatin1Char(':'), 0, 0).trimmed();
        bool ok = false;
        const int width = item.section(QLatin1Char(':'), 1).trimmed().toInt(&ok);
        if (ok && width > 0 && width < 5000)
            m_widths.insert(field, width);
    }
    for (const QString &field : ini.readString(section(), kHiddenKey, QString()).split(QLatin1Char(','), Qt::SkipEmptyParts))
        m_hidden.insert(field.trimmed());
}

void ColumnLayout::store()
{
    m_storeTimer->stop();
    if (!m_ini || !*m_ini)
        return;
    QStringList widths;
    QStringList hidden;
    for (const Column &c : std::as_const(m_columns)) {
        if (m_widths.contains(c.field))
            widths << c.field + QLatin1Char(':') + QString::number(m_widths.value(c.field));
        if (m_hidden.contains(c.field))
            hidden << c.field;
    }
    IniFile &ini = **m_ini;
    ini.writeString(section(), kWidthsKey, widths.join(QLatin1Char(',')));
    ini.writeString(section(), kHiddenKey, hidden.join(QLatin1Char(',')));
}

} // namespace lapvane
