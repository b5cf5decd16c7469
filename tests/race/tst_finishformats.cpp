// The finish's places by a race format other than the default, over the laps
// on record.
#include "race/standings.h"
#include "tests/race/racefixture.h"

#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

class TestFinishFormats : public QObject
{
    Q_OBJECT
private slots:
    void placesFollowTheFormat()
    {
        RaceFixture f;
        f.addPilot(1, "Anna", 101);
        f.addPilot(2, "Boris", 102);
        f.addPilot(3, "Clara", 103);
        // Anna: laps of 30, 28, 32 s; Boris: 27 s once; Clara: none.
        for (const auto &[pilot, times] :
             QList<QPair<int, QList<qint64>>>{{1, {30000, 58000, 90000}}, {2, {27000}}}) {
            for (int i = 0; i < times.size(); ++i)
                f.addLap(pilot, i + 1, times.at(i));
        }
        QSqlQuery q(f.db.db());
        QVERIFY(q.exec("UPDATE onerace SET lapno=(SELECT COUNT(*) FROM laps WHERE laps.pilotid=onerace.pilotid)"));

        QString error;
        QVERIFY2(assignPlaces(f.db.db(), 3, RaceFormat::FastestLap, FormatOptions{}, &error), qPrintable(error));
        QCOMPARE(f.row(2).place, 1);
        QCOMPARE(f.row(1).place, 2);
        QCOMPARE(f.row(3).place, 3);

        // The default gives the laps first.
        QVERIFY2(assignPlaces(f.db.db(), 3, &error), qPrintable(error));
        QCOMPARE(f.row(1).place, 1);
        QCOMPARE(f.row(2).place, 2);
        QCOMPARE(f.row(3).place, 3);
    }
};

QTEST_GUILESS_MAIN(TestFinishFormats)
#include "tst_finishformats.moc"
