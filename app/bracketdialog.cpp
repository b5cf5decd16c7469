// The "Make Bracket" dialog.
#include "app/bracketdialog.h"

#include "app/widgets.h"
#include "competition/bracketview.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lapvane {

BracketDialog::BracketDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmbracket"));
    setWindowTitle(QStringLiteral("Make Bracket"));
    setModal(true);
    m_from = namedWidget<QLabel>("lbbracketfrom", this);
    m_kind = namedWidget<QComboBox>("cbbracketkind", this);
    for (BracketKind k : {BracketKind::Mains, BracketKind::SingleElimination, BracketKind::DoubleElimination})
        m_kind->addItem(bracketKindName(k), int(k));
    m_mainSize = namedWidget<QSpinBox>("edmainsize", this);
    m_mainSize->setRange(2, 32);
    m_mainSize->setValue(6);
    m_bumpUp = namedWidget<QSpinBox>("edbumpup", this);
    m_bumpUp->setRange(0, 31);
    m_seedCount = namedWidget<QSpinBox>("edseedcount", this);
    m_seedCount->setRange(0, 999);
    m_seedCount->setSpecialValueText(QStringLiteral("all"));
    m_stage = namedWidget<QComboBox>("cbbracketstage", this);
    m_stageName = namedWidget<QLineEdit>("edbracketstagename", this);
    m_seeding = namedWidget<QLabel>("lbseeding", this);
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
    layout->addWidget(okCancelButtons(this));
    connect(m_kind, &QComboBox::currentIndexChanged, this, &BracketDialog::kindChosen);
    connect(m_stage, &QComboBox::currentIndexChanged, this,
            [this] { m_stageName->setEnabled(m_stage->currentData().toInt() <= 0); });
}

void BracketDialog::kindChosen()
{
    const bool mains = BracketKind(m_kind->currentData().toInt()) == BracketKind::Mains;
    m_mainSize->setEnabled(mains);
    m_bumpUp->setEnabled(mains);
    if (m_stageName->isEnabled())
        m_stageName->setText(m_kind->currentText());
}

bool BracketDialog::run(const QString &fromName, const QList<SeedRow> &seeding,
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
