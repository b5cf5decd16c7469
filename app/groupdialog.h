// The "Auto sort by groups" dialog over the group dialog values: groups,
// pilots per group (each follows the other) and the VTX channel lines.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace lapvane {

class GroupDialogModel;

class Tfrmgroup : public QDialog
{
    Q_OBJECT
public:
    explicit Tfrmgroup(QWidget *parent = nullptr);

    // Shows the dialog over the model (modal); on OK the channel lines go
    // back into the model. True for OK.
    bool run(GroupDialogModel &model);

    QLineEdit *groupsEdit() const { return m_groups; }
    QLineEdit *pilotsPerGroupEdit() const { return m_pilots; }
    QPlainTextEdit *channelsEdit() const { return m_channels; }

private:
    QLabel *m_records;
    QLineEdit *m_groups;
    QLineEdit *m_pilots;
    QPlainTextEdit *m_channels;
};

} // namespace lapvane
