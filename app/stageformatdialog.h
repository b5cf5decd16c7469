// The "Stage format" dialog: a stage's race format, grace time and
// hole-shot. It only gathers the choice; the Events page writes it.
#pragma once

#include "competition/stageformat.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

namespace lapvane {

class StageFormatDialog : public QDialog
{
    Q_OBJECT
public:
    explicit StageFormatDialog(QWidget *parent = nullptr);

    // Shows the rules of stage stageName (modal); true for OK, then *rules
    // holds the choice (format, grace, hole-shot).
    bool run(const QString &stageName, StageRules *rules);

    QComboBox *formatBox() const { return m_format; }
    QSpinBox *graceEdit() const { return m_grace; }
    QCheckBox *holeShotBox() const { return m_holeShot; }

private:
    void formatChosen();

    QLabel *m_stage;
    QComboBox *m_format;
    QSpinBox *m_grace;
    QCheckBox *m_holeShot;
    QLabel *m_hint;
};

} // namespace lapvane
