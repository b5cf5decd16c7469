// The "Make Bracket" dialog: the kind of bracket, its sizes, how many of the
// standing go in and the stage it goes into. It only gathers the choice;
// events/ makes the bracket.
#pragma once

#include "competition/bracketmaking.h"
#include "events/stagebrackets.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace lapvane {

class BracketDialog : public QDialog
{
    Q_OBJECT
public:
    explicit BracketDialog(QWidget *parent = nullptr);

    // One stage the bracket can go into.
    using StageChoice = BracketStageChoice;
    // Shows the seeding from stage fromName and the stages it may go into
    // (besides a new one), modal. True for OK, then *request holds the choice
    // (its fromStage is left as it came in).
    bool run(const QString &fromName, const QList<SeedRow> &seeding, const QList<StageChoice> &stages,
             BracketRequest *request);

    QComboBox *kindBox() const { return m_kind; }
    QSpinBox *mainSizeEdit() const { return m_mainSize; }
    QSpinBox *bumpUpEdit() const { return m_bumpUp; }
    QSpinBox *seedCountEdit() const { return m_seedCount; }
    QComboBox *stageBox() const { return m_stage; }
    QLineEdit *stageNameEdit() const { return m_stageName; }
    QLabel *seedingLabel() const { return m_seeding; }

private:
    void kindChosen();

    QLabel *m_from;
    QComboBox *m_kind;
    QSpinBox *m_mainSize;
    QSpinBox *m_bumpUp;
    QSpinBox *m_seedCount;
    QComboBox *m_stage;
    QLineEdit *m_stageName;
    QLabel *m_seeding;
};

} // namespace lapvane
