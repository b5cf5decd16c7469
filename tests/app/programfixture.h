// The program's window with its working parts over a temporary folder, as
// start-up builds them, with scripted receivers and silent cues.
#pragma once

#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "core/cues.h"
#include "tests/common/fakereceivers.h"
#include "tests/common/scriptedprompt.h"

#include <memory>

namespace lapvane::test {

// The messages of the program's log file in home, without their date and time.
QStringList logMessages(const QString &home);
// The lines of the window's log pane, as the next frame shows them.
QStringList paneLines(const MainWindow &w);

struct Program
{
    // With realReceivers the program's own receivers are made (on serial
    // ports the test points the settings at); otherwise the scripted ones.
    explicit Program(const QString &folder, bool realReceivers = false);
    ~Program();
    ProgramContext ctx;
    test::FakeReceivers receivers;
    // Answers every question; what was asked is recorded.
    test::ScriptedPrompt prompt;
    SilentCuePlayer cues;
    SystemClock clock;
    std::unique_ptr<ProgramServices> services;
    std::unique_ptr<MainWindow> window;
};

} // namespace lapvane::test
