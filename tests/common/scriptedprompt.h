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

    // The program is told to end while a question containing this text is
    // open: that question and every one after it is answered as a stop
    // answers them (No, Cancel), and stopRequested() holds from then on.
    QString stopAt;
    bool stopped = false;

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
    bool stopRequested() const override { return stopped; }

private:
    // Records the question; true when it is answered as a stop answers it.
    bool stopsAt(const QString &question);
};

} // namespace lapvane::test
