// The labels of the RSSI chart's points: the time of day each reading was
// taken, shown when the pointer rests on a point.
#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

class QLineSeries;

namespace lapvane {

class RssiPointLabels : public QObject
{
    Q_OBJECT
public:
    // series: the chart's lines "CH 1" to "CH 4", in channel order.
    RssiPointLabels(const QList<QLineSeries *> &series, QObject *parent = nullptr);

    // A point was appended to the line of channel (1 to 4) with this label.
    void add(int channel, const QString &label);
    // The chart was reset: no points, no labels.
    void clear();
    // The label of point index of channel; empty when there is none.
    QString labelAt(int channel, int index) const;

private:
    void showLabel(int channel, const QPointF &point, bool hovering);

    QList<QLineSeries *> m_series;
    QList<QStringList> m_labels;
};

} // namespace lapvane
