// Questions and notices for the operator. The window answers with message
// boxes; tests answer from a script.
#pragma once

#include <QString>

namespace lapvane {

class OperatorPrompt
{
public:
    virtual ~OperatorPrompt() = default;
    // A Yes/No question; true for Yes.
    virtual bool ask(const QString &question) = 0;
    // A refusal or notice the operator must acknowledge.
    virtual void notice(const QString &text) = 0;
    // A line of text, with a starting value; false when cancelled.
    virtual bool askText(const QString &title, const QString &prompt, QString *text) = 0;
};

} // namespace lapvane
