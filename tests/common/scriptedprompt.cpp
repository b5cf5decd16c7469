// An operator that answers from a script.
#include "tests/common/scriptedprompt.h"

namespace lapvane::test {

bool ScriptedPrompt::ask(const QString &question)
{
    return askAs(QuestionKind::Warning, question);
}

bool ScriptedPrompt::stopsAt(const QString &question)
{
    if (!stopAt.isEmpty() && question.contains(stopAt))
        stopped = true;
    return stopped;
}

bool ScriptedPrompt::askAs(QuestionKind kind, const QString &question)
{
    questions << question;
    kinds << kind;
    if (stopsAt(question))
        return false;
    return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
}

Choice ScriptedPrompt::askYesNoCancel(const QString &question)
{
    questions << question;
    kinds << QuestionKind::Warning;
    if (stopsAt(question))
        return Choice::Cancel;
    if (!choices.isEmpty())
        return choices.takeFirst();
    return defaultAnswer ? Choice::Yes : Choice::No;
}

void ScriptedPrompt::notice(const QString &text)
{
    notices << text;
}

bool ScriptedPrompt::askText(const QString &title, const QString &prompt, QString *text)
{
    questions << title + QLatin1String(": ") + prompt;
    if (stopsAt(questions.last()) || textAnswers.isEmpty())
        return false;
    *text = textAnswers.takeFirst();
    return true;
}

} // namespace lapvane::test
