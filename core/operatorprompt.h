// Questions and notices for the operator. The window answers with message
// boxes; tests answer from a script.
#pragma once

#include <QString>
#include <QtGlobal>

namespace lapvane {

// How a Yes/No question looks, and the answer Enter gives.
enum class QuestionKind {
    Warning,  // warning icon, No on Enter: ask()
    Adding,   // information icon, Yes on Enter: before adding a pilot
    Deleting, // error icon, No on Enter: before deleting
};

// The answer to a Yes/No/Cancel question.
enum class Choice { Yes, No, Cancel };

class OperatorPrompt
{
public:
    virtual ~OperatorPrompt() = default;
    // A Yes/No question; true for Yes.
    virtual bool ask(const QString &question) = 0;
    // A Yes/No question of the given kind; true for Yes. Asks plainly unless
    // the prompt shows kinds apart.
    virtual bool askAs(QuestionKind kind, const QString &question)
    {
        Q_UNUSED(kind);
        return ask(question);
    }
    // A question with Yes, No and Cancel (Yes on Enter, Cancel on Escape).
    // Asks Yes/No unless the prompt offers Cancel.
    virtual Choice askYesNoCancel(const QString &question)
    {
        return ask(question) ? Choice::Yes : Choice::No;
    }
    // A refusal or notice the operator must acknowledge.
    virtual void notice(const QString &text) = 0;
    // A line of text, with a starting value; false when cancelled.
    virtual bool askText(const QString &title, const QString &prompt, QString *text) = 0;
    // The program is being ended (a stop signal, a logout): every question
    // from then on is answered No or Cancel without being shown, and one open
    // when it came ends the same way. A command that asks several questions
    // checks this after each one and ends as if Cancel had been chosen, so
    // nothing is half done on the way out.
    virtual bool stopRequested() const { return false; }
};

} // namespace lapvane
