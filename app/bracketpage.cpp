// The "Bracket" page: rounds as columns, heats as boxes.
#include "app/bracketpage.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace lapvane {

namespace {

QString heatTitle(const BracketViewHeat &h)
{
    QString title = QStringLiteral("Group %1: %2").arg(h.group, h.name);
    if (h.next)
        title += QStringLiteral(" (next)");
    else if (h.stale)
        title += QStringLiteral(" (fly again)");
    else if (h.bye)
        title += QStringLiteral(" (not flown)");
    return title;
}

QStringList heatLines(const BracketViewHeat &h)
{
    QStringList lines;
    for (const BracketViewPilot &p : h.pilots) {
        QString line = p.place > 0 ? QStringLiteral("%1. %2").arg(p.place).arg(p.name) : p.name;
        if (p.goesOn && h.advance > 0)
            line += QStringLiteral("  \u2192 on");
        lines << line;
    }
    for (int i = 0; i < h.waitingSeats; ++i)
        lines << QStringLiteral("(waiting)");
    for (int i = 0; i < h.emptySeats; ++i)
        lines << QStringLiteral("(bye)");
    return lines;
}

} // namespace

BracketPage::BracketPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsbracket"));
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("lbbrackettitle"));
    QFont f = m_title->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    m_title->setFont(f);
    m_notes = new QLabel(this);
    m_notes->setObjectName(QStringLiteral("lbbracketnotes"));
    m_notes->setWordWrap(true);
    m_notes->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("sbbracket"));
    m_scroll->setWidgetResizable(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_notes);
    layout->addWidget(m_scroll, 1);
    showBracket(BracketView{}, QString());
}

void BracketPage::clear()
{
    delete m_scroll->takeWidget();
    m_canvas = new QWidget;
    m_canvas->setObjectName(QStringLiteral("bracketcanvas"));
    m_scroll->setWidget(m_canvas);
}

void BracketPage::showProblem(const QString &text)
{
    clear();
    m_title->setText(QStringLiteral("The bracket cannot be shown."));
    m_notes->setText(text);
}

void BracketPage::showBracket(const BracketView &view, const QString &stageName)
{
    clear();
    m_notes->setText(view.notes.join(QLatin1Char('\n')));
    m_notes->setVisible(!view.notes.isEmpty());
    if (!view.exists) {
        m_title->setText(
            stageName.isEmpty()
                ? QStringLiteral("No stage is chosen.")
                : QStringLiteral("Stage \"%1\" is no bracket. \"Make Bracket\" makes the next stage one "
                                 "from a stage's standing.")
                      .arg(stageName));
        return;
    }
    m_title->setText(
        QStringLiteral("%1: %2 of %3 pilots. %4")
            .arg(view.stageName, view.kindName)
            .arg(view.pilots)
            .arg(view.nextGroup.isEmpty()
                     ? QStringLiteral("No heat is ready to fly.")
                     : QStringLiteral("Next: group %1, %2.").arg(view.nextGroup, view.nextHeatName)));

    auto *columns = new QHBoxLayout(m_canvas);
    for (const BracketViewRound &round : view.rounds) {
        auto *column = new QVBoxLayout;
        auto *heading = new QLabel(QStringLiteral("<b>%1</b>").arg(round.name.toHtmlEscaped()), m_canvas);
        column->addWidget(heading);
        for (const BracketViewHeat &heat : round.heats) {
            auto *box = new QGroupBox(heatTitle(heat), m_canvas);
            box->setObjectName(QStringLiteral("gbheat%1").arg(heat.group));
            if (heat.next)
                box->setStyleSheet(
                    QStringLiteral("QGroupBox { border: 2px solid #d08000; font-weight: bold; }"));
            else if (heat.stale)
                box->setStyleSheet(QStringLiteral("QGroupBox { border: 2px solid #b00000; }"));
            auto *lines = new QVBoxLayout(box);
            auto *pilots = new QLabel(heatLines(heat).join(QLatin1Char('\n')), box);
            pilots->setObjectName(QStringLiteral("lbheatpilots%1").arg(heat.group));
            pilots->setTextFormat(Qt::PlainText);
            lines->addWidget(pilots);
            column->addWidget(box);
        }
        column->addStretch();
        columns->addLayout(column);
    }
    columns->addStretch();
}

} // namespace lapvane
