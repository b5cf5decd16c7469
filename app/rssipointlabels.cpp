// The RSSI chart's point labels.
#include "app/rssipointlabels.h"

#include <QCursor>
#include <QLineSeries>
#include <QToolTip>

namespace lapvane {

RssiPointLabels::RssiPointLabels(const QList<QLineSeries *> &series, QObject *parent)
    : QObject(parent), m_series(series), m_labels(series.size())
{
    for (int i = 0; i < series.size(); ++i) {
        connect(series[i], &QLineSeries::hovered, this,
                [this, i](const QPointF &point, bool state) { showLabel(i + 1, point, state); });
    }
}

void RssiPointLabels::add(int channel, const QString &label)
{
    if (channel >= 1 && channel <= m_labels.size())
        m_labels[channel - 1] << label;
}

void RssiPointLabels::clear()
{
    for (QStringList &l : m_labels)
        l.clear();
}

QString RssiPointLabels::labelAt(int channel, int index) const
{
    if (channel < 1 || channel > m_labels.size())
        return {};
    return m_labels.at(channel - 1).value(index);
}

void RssiPointLabels::showLabel(int channel, const QPointF &point, bool hovering)
{
    if (!hovering) {
        QToolTip::hideText();
        return;
    }
    // The point nearest along the time axis: readings follow each other in time.
    const QLineSeries *s = m_series.at(channel - 1);
    int nearest = -1;
    qreal best = 0;
    for (int i = 0; i < s->count(); ++i) {
        const qreal d = qAbs(s->at(i).x() - point.x());
        if (nearest < 0 || d < best) {
            nearest = i;
            best = d;
        }
    }
    if (nearest >= 0)
        QToolTip::showText(QCursor::pos(),
                           QStringLiteral("%1: %2").arg(s->name(), labelAt(channel, nearest)));
}

} // namespace lapvane
