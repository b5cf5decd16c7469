// The program's window over a temporary folder.
#include "tests/app/programfixture.h"

#include "app/racepage.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QtTest>

namespace lapvane::test {

Program::Program(const QString &folder, bool realReceivers) : ctx(folder)
{
    if (!ctx.db.open(QDir(folder).filePath(kDatabaseFileName)))
        qFatal("%s", qPrintable(ctx.db.error()));
    services =
        std::make_unique<ProgramServices>(ctx, cues, clock, realReceivers ? nullptr : &receivers, &prompt);
    window = std::make_unique<MainWindow>(ctx, *services);
    window->FormCreate();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("window not exposed");
}

QStringList paneLines(const MainWindow &w)
{
    w.racePage()->showPendingChanges(); // lines reach the pane once per frame
    return w.findChild<QPlainTextEdit *>("log1")->toPlainText().split('\n');
}

QStringList logMessages(const QString &home)
{
    QFile f(QDir(home).filePath("log.txt"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList messages;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const int at = line.indexOf(": ");
        if (at >= 0)
            messages << QString::fromUtf8(line.mid(at + 2)).remove('\r');
    }
    return messages;
}

Program::~Program()
{
    // The window and the race objects go before the database closes.
    window.reset();
    services.reset();
}

} // namespace lapvane::test
