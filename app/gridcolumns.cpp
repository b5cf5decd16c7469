// Grid columns by field, with per-grid headings.
#include "app/gridcolumns.h"

#include <QStyleOptionHeader>
#include <QTableView>

namespace lapvane {

HeadingHeader::HeadingHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(true);
}

QString HeadingHeader::heading(int logicalIndex) const
{
    if (m_headings.contains(logicalIndex))
        return m_headings.value(logicalIndex);
    return model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
}

void HeadingHeader::initStyleOptionForIndex(QStyleOptionHeader *option, int logicalIndex) const
{
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (m_headings.contains(logicalIndex))
        option->text = m_headings.value(logicalIndex);
}

QSize HeadingHeader::sectionSizeFromContents(int logicalIndex) const
{
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    if (m_headings.contains(logicalIndex)) {
        const int wanted = fontMetrics().horizontalAdvance(m_headings.value(logicalIndex)) + 16;
        size.setWidth(qMax(size.width(), wanted));
    }
    return size;
}

QString fieldOfColumn(const QStringList &fieldNames, int column)
{
    return column >= 0 && column < fieldNames.size() ? fieldNames.at(column) : QString();
}

void showGridColumns(QTableView *grid, const QStringList &fieldNames, const QList<GridColumn> &columns)
{
    auto *header = new HeadingHeader(grid);
    grid->setHorizontalHeader(header);
    for (int c = 0; c < fieldNames.size(); ++c)
        grid->setColumnHidden(c, true);
    int visual = 0;
    for (const GridColumn &column : columns) {
        int c = -1;
        for (int i = 0; i < fieldNames.size() && c < 0; ++i) {
            if (fieldNames.at(i).compare(column.field, Qt::CaseInsensitive) == 0)
                c = i;
        }
        if (c < 0)
            continue;
        grid->setColumnHidden(c, false);
        header->setHeading(c, column.heading);
        header->moveSection(header->visualIndex(c), visual++);
    }
}

} // namespace lapvane
