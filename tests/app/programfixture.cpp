// The program's window over a temporary folder.
#include "tests/app/programfixture.h"

#include <QDir>
#include <QtTest>

namespace lapvane::test {

Program::Program(const QString &folder, bool realReceivers) : ctx(folder)
{
    if (!ctx.db.open(QDir(folder).filePath(kDatabaseFileName)))
        qFatal("%s", qPrintable(ctx.db.error()));
    services = std::make_unique<ProgramServices>(ctx, cues, clock, realReceivers ? nullptr : &receivers, &prompt);
    window = std::make_unique<MainWindow>(ctx, *services);
    window->FormCreate();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("window not exposed");
}

Program::~Program()
{
    // The window and the race objects go before the database closes.
    window.reset();
    services.reset();
}

} // namespace lapvane::test
