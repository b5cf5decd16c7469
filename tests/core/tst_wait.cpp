// Waiting while events go on: condition, stop flag and time-out.
#include "core/wait.h"

#include <QTimer>
#include <QtTest>

using namespace lapvane;

class TestWait : public QObject
{
    Q_OBJECT
private slots:
    void endsWhenConditionHoldsWhileTimersRun()
    {
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(1);
        QCOMPARE(waitUntil([&ticks] { return ticks >= 5; }), WaitResult::Done);
    }
    void endsOnStopFlag()
    {
        StopFlag stop;
        QTimer::singleShot(20, [&stop] { stop.raise(); });
        QCOMPARE(waitUntil([] { return false; }, &stop), WaitResult::Stopped);
    }
    void endsOnTimeout()
    {
        QElapsedTimer t;
        t.start();
        QCOMPARE(waitUntil([] { return false; }, nullptr, 50), WaitResult::TimedOut);
        QVERIFY(t.elapsed() >= 50);
    }
};

QTEST_GUILESS_MAIN(TestWait)
#include "tst_wait.moc"
