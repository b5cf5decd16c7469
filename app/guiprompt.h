// Operator questions and notices as message boxes.
#pragma once

#include "core/operatorprompt.h"

#include <QPointer>
#include <QWidget>

namespace lapvane {

class GuiPrompt : public OperatorPrompt
{
public:
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    // Warning box with Yes and No; true for Yes.
    bool ask(const QString &question) override;
    // Adding: information icon, Yes on Enter. Deleting: error icon, No on Enter.
    bool askAs(QuestionKind kind, const QString &question) override;
    // Warning box with Yes, No and Cancel; Yes on Enter, Cancel on Escape.
    Choice askYesNoCancel(const QString &question) override;
    void notice(const QString &text) override;
    bool askText(const QString &title, const QString &prompt, QString *text) override;
    bool stopRequested() const override { return m_stopRequested; }

    // The program is being ended: no box is shown from now on, and the box
    // open now (ended by the caller) is taken as Cancel.
    void requestStop() { m_stopRequested = true; }

private:
    QPointer<QWidget> m_parent;
    bool m_stopRequested = false;
};

} // namespace lapvane
