// Grid columns by field: which fields a grid shows, in which order, under
// which headings, when several grids share one model with other headings.
#pragma once

#include "events/eventsviews.h"

#include <QHash>
#include <QHeaderView>

class QTableView;

namespace lapvane {

// A header that shows its own heading for a column where it has one, so two
// grids over one model can head the same field differently.
class HeadingHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit HeadingHeader(QWidget *parent = nullptr);
    void setHeading(int logicalIndex, const QString &heading) { m_headings.insert(logicalIndex, heading); }
    QString heading(int logicalIndex) const;

protected:
    void initStyleOptionForIndex(QStyleOptionHeader *option, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    QHash<int, QString> m_headings;
};

// Shows the fields named, left to right, with their headings; hides the
// other columns of the model. The grid's model must already be set; a
// HeadingHeader replaces its horizontal header. fieldNames are the model's
// columns in order.
void showGridColumns(QTableView *grid, const QStringList &fieldNames, const QList<GridColumn> &columns);

// The field under a model column, empty when out of range.
QString fieldOfColumn(const QStringList &fieldNames, int column);

} // namespace lapvane
