// An operator that answers from a script and records what it was asked.
#pragma once

#include "core/operatorprompt.h"

#include <QStringList>

namespace lapvane::test {

class ScriptedPrompt : public OperatorPrompt
{
public:
    // Answers given to ask(), in order; when they run out, the default answer.
    QList<bool> answers;
    bool defaultAnswer = true;
    // Texts given to askText(), in order; when they run out, askText() is cancelled.
    QStringList textAnswers;
    // Answers given to askYesNoCancel(), in order; when they run out, the
    // default answer of ask() as Yes or No.
    QList<Choice> choices;

    QStringList questions;
    // The kind of each Yes/No question, in order (plain ones are Warning).
    QList<QuestionKind> kinds;
    QStringList notices;

    bool ask(const QString &question) override;
    bool askAs(QuestionKind kind, const QString &question) override;
    // Recorded with questions, as a Warning kind.
    Choice askYesNoCancel(const QString &question) override;
    void notice(const QString &text) override;
    bool askText(const QString &title, const QString &prompt, QString *text) override;
};

} // namespace lapvane::test
