// The "Stage format" and "Make Bracket" dialogs.
#include "app/formatdialogs.h"

#include "competition/bracketview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lapvane {

namespace {

QDialogButtonBox *okCancel(QDialog *dialog)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btcancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

template <typename W> W *named(const char *name, QWidget *parent)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

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

TfrmStageFormat::TfrmStageFormat(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmstageformat"));
    setWindowTitle(QStringLiteral("Stage format"));
    setModal(true);
    m_stage = named<QLabel>("lbformatstage", this);
    m_format = named<QComboBox>("cbstageformat", this);
    for (RaceFormat f : allFormats())
        m_format->addItem(formatName(f), formatKey(f));
    m_grace = named<QSpinBox>("edgraceseconds", this);
    m_grace->setRange(0, 600);
    m_grace->setSuffix(QStringLiteral(" s"));
    m_holeShot = named<QCheckBox>("chholeshot", this);
    m_holeShot->setText(QStringLiteral("First pass starts the clock (hole-shot)"));
    m_hint = named<QLabel>("lbformathint", this);
    m_hint->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Stage:"), m_stage);
    form->addRow(QStringLiteral("Format:"), m_format);
    form->addRow(QStringLiteral("Grace time:"), m_grace);
    form->addRow(QString(), m_holeShot);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_hint);
    layout->addWidget(okCancel(this));
    connect(m_format, &QComboBox::currentIndexChanged, this, &TfrmStageFormat::formatChosen);
}

void TfrmStageFormat::formatChosen()
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

bool TfrmStageFormat::run(const QString &stageName, StageRules *rules)
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

TfrmBracket::TfrmBracket(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmbracket"));
    setWindowTitle(QStringLiteral("Make Bracket"));
    setModal(true);
    m_from = named<QLabel>("lbbracketfrom", this);
    m_kind = named<QComboBox>("cbbracketkind", this);
    for (BracketKind k : {BracketKind::Mains, BracketKind::SingleElimination, BracketKind::DoubleElimination})
        m_kind->addItem(bracketKindName(k), int(k));
    m_mainSize = named<QSpinBox>("edmainsize", this);
    m_mainSize->setRange(2, 32);
    m_mainSize->setValue(6);
    m_bumpUp = named<QSpinBox>("edbumpup", this);
    m_bumpUp->setRange(0, 31);
    m_seedCount = named<QSpinBox>("edseedcount", this);
    m_seedCount->setRange(0, 999);
    m_seedCount->setSpecialValueText(QStringLiteral("all"));
    m_stage = named<QComboBox>("cbbracketstage", this);
    m_stageName = named<QLineEdit>("edbracketstagename", this);
    m_seeding = named<QLabel>("lbseeding", this);
    m_seeding->setWordWrap(true);
    m_seeding->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Seeded from:"), m_from);
    form->addRow(QStringLiteral("Kind:"), m_kind);
    form->addRow(QStringLiteral("Pilots per main:"), m_mainSize);
    form->addRow(QStringLiteral("Bump-up:"), m_bumpUp);
    form->addRow(QStringLiteral("Seed the top:"), m_seedCount);
    form->addRow(QStringLiteral("Into stage:"), m_stage);
    form->addRow(QStringLiteral("New stage's name:"), m_stageName);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_seeding);
    layout->addWidget(okCancel(this));
    connect(m_kind, &QComboBox::currentIndexChanged, this, &TfrmBracket::kindChosen);
    connect(m_stage, &QComboBox::currentIndexChanged, this,
            [this] { m_stageName->setEnabled(m_stage->currentData().toInt() <= 0); });
}

void TfrmBracket::kindChosen()
{
    const bool mains = BracketKind(m_kind->currentData().toInt()) == BracketKind::Mains;
    m_mainSize->setEnabled(mains);
    m_bumpUp->setEnabled(mains);
    if (m_stageName->isEnabled())
        m_stageName->setText(m_kind->currentText());
}

bool TfrmBracket::run(const QString &fromName, const QList<SeedRow> &seeding,
                      const QList<StageChoice> &stages, BracketRequest *request)
{
    m_from->setText(fromName);
    m_stage->clear();
    m_stage->addItem(QStringLiteral("a new stage"), 0);
    for (const StageChoice &s : stages)
        m_stage->addItem(s.name, s.id);
    m_stageName->setEnabled(true);
    m_seedCount->setMaximum(std::max(1, int(seeding.size())));
    m_seedCount->setValue(0);
    kindChosen();
    QStringList lines;
    for (qsizetype i = 0; i < seeding.size(); ++i)
        lines << QStringLiteral("%1. %2%3")
                     .arg(i + 1)
                     .arg(seeding.at(i).name, seeding.at(i).deciding.isEmpty()
                                                  ? QString()
                                                  : QStringLiteral(" (%1)").arg(seeding.at(i).deciding));
    m_seeding->setText(seeding.isEmpty()
                           ? QStringLiteral("The stage has no pilots.")
                           : QStringLiteral("Standing: %1").arg(lines.join(QStringLiteral("; "))));
    m_kind->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    request->toStage = m_stage->currentData().toInt();
    request->newStageName = m_stageName->text().trimmed();
    request->seedCount = m_seedCount->value();
    request->setup.kind = BracketKind(m_kind->currentData().toInt());
    request->setup.mainSize = m_mainSize->value();
    request->setup.bumpUp = m_bumpUp->value();
    return true;
}

} // namespace lapvane
