// A stop request closes the window only once the command under way has
// ended: not from inside its wait, its box or a menu open meanwhile.
#include "app/signalwatcher.h"
#include "core/wait.h"

#include <QApplication>
#include <QEventLoop>
#include <QMenu>
#include <QTimer>
#include <QtTest>

using namespace lapvane;

class TestSignalWatcher : public QObject
{
    Q_OBJECT
private slots:
    void closesOnceTheCommandHasEnded()
    {
        QWidget window;
        window.show();
        int looks = 0;
        bool visibleAfterTheWait = false;
        // Run as the program runs: inside its own event loop.
        QEventLoop program;
        QTimer::singleShot(0, &window, [&] {
            // A command waits (a start countdown); the stop comes during it.
            QTimer::singleShot(10, &window, [&] { SignalWatcher::closeWhenFree(&window, [&] { ++looks; }); });
            pause(300);
            visibleAfterTheWait = window.isVisible();
            program.quit();
        });
        program.exec();
        QVERIFY(visibleAfterTheWait);
        QVERIFY(looks > 0); // its waits were told to end meanwhile
        QTRY_VERIFY(!window.isVisible());
    }

    void aMenuOpenClosesFirst()
    {
        QWidget window;
        window.show();
        QMenu menu;
        menu.addAction(QStringLiteral("Start Race"));
        bool menuEnded = false;
        QEventLoop program;
        QTimer::singleShot(0, &window, [&] {
            QTimer::singleShot(50, &window, [&] { SignalWatcher::closeWhenFree(&window); });
            menu.exec(QPoint(0, 0));
            menuEnded = true;
            program.quit();
        });
        program.exec();
        QVERIFY(menuEnded);
        QTRY_VERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestSignalWatcher)
#include "tst_signalwatcher.moc"
