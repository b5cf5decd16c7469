// The "Stage format" dialog.
#include "app/stageformatdialog.h"

#include "app/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lapvane {

namespace {

QString formatHint(RaceFormat format)
{
    switch (format) {
    case RaceFormat::LapsAndTime:
        return QStringLiteral(
            "The race ends at the lap or time limit; more laps, then the earlier last pass.");
    case RaceFormat::MostLaps:
        return QStringLiteral("The race ends at the time limit; each pilot's next pass within the grace time "
                              "still counts. More laps, then the earlier last pass.");
    case RaceFormat::FirstToLaps:
        return QStringLiteral(
            "The first pilot to the lap limit ends the race; the others finish the lap they are "
            "on (at most the grace time). Finish order.");
    case RaceFormat::FastestLap:
        return QStringLiteral("The race ends at the time limit; the best single lap.");
    case RaceFormat::Fastest3:
        return QStringLiteral(
            "The race ends at the time limit; the best 3 consecutive laps, then pilots with "
            "fewer laps by laps.");
    }
    return QString();
}

} // namespace

StageFormatDialog::StageFormatDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmstageformat"));
    setWindowTitle(QStringLiteral("Stage format"));
    setModal(true);
    m_stage = namedWidget<QLabel>("lbformatstage", this);
    m_format = namedWidget<QComboBox>("cbstageformat", this);
    for (RaceFormat f : allFormats())
        m_format->addItem(formatName(f), formatKey(f));
    m_grace = namedWidget<QSpinBox>("edgraceseconds", this);
    m_grace->setRange(0, 600);
    m_grace->setSuffix(QStringLiteral(" s"));
    m_holeShot = namedWidget<QCheckBox>("chholeshot", this);
    m_holeShot->setText(QStringLiteral("First pass starts the clock (hole-shot)"));
    m_hint = namedWidget<QLabel>("lbformathint", this);
    m_hint->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Stage:"), m_stage);
    form->addRow(QStringLiteral("Format:"), m_format);
    form->addRow(QStringLiteral("Grace time:"), m_grace);
    form->addRow(QString(), m_holeShot);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_hint);
    layout->addWidget(okCancelButtons(this));
    connect(m_format, &QComboBox::currentIndexChanged, this, &StageFormatDialog::formatChosen);
}

void StageFormatDialog::formatChosen()
{
    const RaceFormat f = formatFromKey(m_format->currentData().toString()).value_or(RaceFormat::LapsAndTime);
    // The grace time bounds the last lap of the two formats that wait for one;
    // the hole-shot belongs to the lap-counting formats.
    m_grace->setEnabled(f == RaceFormat::MostLaps || f == RaceFormat::FirstToLaps);
    const bool lapBased =
        f == RaceFormat::LapsAndTime || f == RaceFormat::MostLaps || f == RaceFormat::FirstToLaps;
    m_holeShot->setEnabled(lapBased);
    if (!lapBased)
        m_holeShot->setChecked(false);
    m_hint->setText(formatHint(f));
}

bool StageFormatDialog::run(const QString &stageName, StageRules *rules)
{
    m_stage->setText(stageName);
    m_format->setCurrentIndex(std::max(0, m_format->findData(formatKey(rules->format))));
    m_grace->setValue(int(std::min<qint64>(600, rules->options.graceMs / 1000)));
    m_holeShot->setChecked(rules->options.holeShot);
    formatChosen();
    m_format->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    rules->format = formatFromKey(m_format->currentData().toString()).value_or(RaceFormat::LapsAndTime);
    rules->options.graceMs = qint64(m_grace->value()) * 1000;
    rules->options.holeShot = m_holeShot->isEnabled() && m_holeShot->isChecked();
    return true;
}

} // namespace lapvane
