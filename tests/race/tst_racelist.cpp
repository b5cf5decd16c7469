// Race list operations (confirm, unconfirm, delete, group names, stream
// channels, column sort), the team table and the announcement ring.
#include "race/racelist.h"
#include "race/teamtable.h"
#include "tests/race/racefixture.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

#include <thread>

using namespace lapvane;
using namespace lapvane::test;

class TestRaceList : public QObject
{
    Q_OBJECT
private slots:
    void confirmSelected()
    {
        RaceFixture f;
        const int a = f.addPilot(1, "Anna", 100, "1", "R1", "N");
        const int b = f.addPilot(2, "Boris", 200, "1", "R2", "N");
        const int c = f.addPilot(3, "Clara", 300, "1", "R3", "N");
        RaceList list(f.services());
        QList<qint32> asked;
        list.setConfirmHandler([&](int, qint32 trans) {
            asked << trans;
            return trans != 200; // no receiver answers for Boris
        });

        f.rx.lapvane = false;
        QSignalSpy settingsPage(&list, &RaceList::settingsPageRequested);
        list.raceconfirmSelExecute({a, b});
        QCOMPARE(f.prompt.notices, QStringList{"Connect COM port or WiFi!"});
        QCOMPARE(settingsPage.count(), 1);
        QVERIFY(asked.isEmpty());
        QCOMPARE(f.row(1).confirmed, QString("N"));

        f.rx.vsWifi = true;
        list.raceconfirmSelExecute({c, a, b});
        QCOMPARE(asked, QList<qint32>({300, 100, 200}));
        QCOMPARE(f.row(1).confirmed, QString("Y"));
        QCOMPARE(f.row(2).confirmed, QString("N"));
        QCOMPARE(f.row(3).confirmed, QString("Y"));
    }

    void unconfirmedPilotsAreIgnoredByTheLoop()
    {
        RaceFixture f;
        QList<int> rows;
        for (int p = 1; p <= 3; ++p)
            rows << f.addPilot(p, QString("Pilot %1").arg(p), 100 + p);
        RaceList list(f.services());
        f.rx.lapvane = false; // no receiver needed
        list.raceunconfirmSelExecute(rows);
        for (int p = 1; p <= 3; ++p)
            QCOMPARE(f.row(p).confirmed, QString("N"));
        f.rx.lapvane = true;
        f.prompt.answers = {true};
        QVERIFY(f.start());
        f.pass(102, 30000);
        QCOMPARE(f.logCount("pilot switched off:"), 1);
        QCOMPARE(f.row(2).lapno, 0);
    }

    void deleteRows()
    {
        RaceFixture f;
        RaceList list(f.services());
        QVERIFY(!list.racedeletepilotsExecute({}));
        QVERIFY(f.prompt.questions.isEmpty()); // an empty list asks nothing

        const int a = f.addPilot(1, "Anna", 100);
        const int b = f.addPilot(2, "Boris", 200);
        const int c = f.addPilot(3, "Clara", 300);
        f.addLap(2, 1, 30000);

        f.prompt.answers = {true};
        QVERIFY(!list.racedeletepilotsExecute({}));
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete 0 records?"));
        QCOMPARE(list.rowCount(), 3);

        f.prompt.answers = {false};
        QVERIFY(!list.racedeletepilotsExecute({b}));
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete pilot \"Boris\"?"));
        QCOMPARE(list.rowCount(), 3);

        f.prompt.answers = {true};
        QSignalSpy changed(&list, &RaceList::raceListChanged);
        QVERIFY(list.racedeletepilotsExecute({a, b}));
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete 2 records?"));
        QCOMPARE(list.rowCount(), 1);
        QCOMPARE(f.rowId(3), c);
        QCOMPARE(changed.count(), 1);
        // Their laps stay.
        QCOMPARE(f.lapTimes(2), QList<qint64>{30000});
    }

    void groupRename()
    {
        RaceFixture f;
        const int a = f.addPilot(1, "Anna", 100);
        const int b = f.addPilot(2, "Boris", 200);
        f.addPilot(3, "Clara", 300, "7");
        RaceList list(f.services());
        QVERIFY(!list.renameGroup({a, b})); // cancelled
        QCOMPARE(f.prompt.questions.last(), QString("New name: New name:"));
        QCOMPARE(f.row(1).group, QString("1"));

        const QString team = "Red's \"Falcons\"; DROP TABLE onerace";
        f.prompt.textAnswers = {team};
        QVERIFY(list.renameGroup({a, b}));
        QCOMPARE(f.row(1).group, team);
        QCOMPARE(f.row(2).group, team);
        QCOMPARE(f.row(3).group, QString("7"));
    }

    void streamChannels()
    {
        RaceFixture f;
        const int a = f.addPilot(11, "Anna", 100);
        const int b = f.addPilot(12, "Boris", 200);
        RaceList list(f.services());
        QSignalSpy changed(&list, &RaceList::channelsChanged);
        list.setstreamchannel(3, a);
        list.setstreamchannel(5, a);
        QCOMPARE(f.lines->lines, QStringList({"ch 3 <- Anna", "ch 5 <- Anna"}));
        list.setstreamchannel(3, b);
        QCOMPARE(list.channel().pilotOn(3), 12);
        QCOMPARE(list.channel().pilotOn(5), 11);
        QVERIFY(list.channel().isShown(11));
        QVERIFY(list.channel().isShown(12));
        list.setstreamchannel(5, b);
        QVERIFY(!list.channel().isShown(11));
        list.setstreamchannel(9, a); // no such channel
        list.setstreamchannel(0, a);
        QCOMPARE(changed.count(), 4);
        const auto snapshot = list.channel().snapshot();
        QCOMPARE(snapshot[0], 0);
        QCOMPARE(snapshot[3], 12);
        QCOMPARE(snapshot[1], 0);
    }

    void columnSort_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("next");
        QTest::newRow("first click") << "" << "lapno ASC";
        QTest::newRow("second click") << "lapno ASC" << "lapno DESC";
        QTest::newRow("third click") << "lapno DESC" << "lapno ASC";
        QTest::newRow("another column") << "vtx ASC" << "lapno ASC";
    }
    void columnSort()
    {
        QFETCH(QString, current);
        QFETCH(QString, next);
        QCOMPARE(RaceList::nextSortOrder(current, "lapno"), next);
    }

    void teamTableRebuild_data()
    {
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QStringList>("teams");
        QTest::newRow("first appearance order") << QStringList{"Red", "Blue", "Red", "Green", "Blue", "Red"}
                                                << QStringList{"Red", "Blue", "Green"};
        QTest::newRow("1 and 10 are different teams") << QStringList{"1", "10", "1"} << QStringList{"1", "10"};
        QTest::newRow("pilots without a group") << QStringList{"", "Red", ""} << QStringList{"Red"};
        QTest::newRow("no teams: one empty row") << QStringList{"", ""} << QStringList{""};
    }
    void teamTableRebuild()
    {
        QFETCH(QStringList, groups);
        QFETCH(QStringList, teams);
        RaceFixture f;
        for (int i = 0; i < groups.size(); ++i)
            f.addPilot(i + 1, QString("P%1").arg(i), 100 + i, groups.at(i));
        TeamTable table;
        table.setLaps(0, 4);
        QVERIFY(table.rebuildFromRaceList(f.db.db()));
        QCOMPARE(table.teamCount(), teams.size());
        for (int row = 0; row < teams.size(); ++row) {
            QCOMPARE(table.teamName(row), teams.at(row));
            QCOMPARE(table.laps(row), 0);
            QCOMPARE(table.place(row), QString());
        }
        QCOMPARE(TeamTable::headerTexts(), QStringList({"Team", "Laps", "Place"}));
        QCOMPARE(table.headerData(1, Qt::Horizontal).toString(), QString("Laps"));
        QCOMPARE(table.columnCount(), 3);
    }

    void newRaceStartsTeamsAtZero()
    {
        RaceFixture f;
        f.settings.set("chkteamrace", true);
        f.addPilot(1, "Anna", 100, "Red");
        TeamTable &teams = f.engine->teamTable();
        teams.rebuild({"Red"});
        teams.setLaps(0, 7);
        teams.setPlace(0, "1");
        QVERIFY(f.start());
        QCOMPARE(teams.laps(0), 0);
        QCOMPARE(teams.place(0), QString());
        f.pass(100, 30000);
        QCOMPARE(teams.laps(0), 1);
        QCOMPARE(teams.data(teams.index(0, TeamTable::LapsColumn)).toString(), QString("1"));
    }

    void ringReaderNeverLosesANewerEntry()
    {
        AnnouncementRing ring;
        ring.write(7, 1);
        const AnnouncementRing::Entry seen = ring.at(0);
        QVERIFY(seen.pending());
        // The writer goes round the ring while the reader speaks.
        for (int i = 0; i < AnnouncementRing::kSlots; ++i)
            ring.write(8, i + 1);
        QVERIFY(!ring.release(0, seen));
        QCOMPARE(ring.at(0), (AnnouncementRing::Entry{8, AnnouncementRing::kSlots}));
        QVERIFY(ring.release(0, ring.at(0)));
        QVERIFY(!ring.at(0).pending());
        ring.clear();
        for (int i = 0; i < AnnouncementRing::kSlots; ++i)
            QVERIFY(!ring.at(i).pending());
    }

    void ringAcrossThreadsKeepsPairsWhole()
    {
        AnnouncementRing ring;
        std::atomic_bool done{false};
        int mismatches = 0;
        std::atomic_int taken{0};
        std::thread reader([&] {
            int currraw = 0;
            while (!done.load()) {
                const AnnouncementRing::Entry e = ring.at(currraw);
                if (e.pending()) {
                    if (e.lap != e.pilotId + 1000)
                        ++mismatches;
                    if (ring.release(currraw, e))
                        ++taken;
                }
                currraw = (currraw + 1) % AnnouncementRing::kSlots;
            }
        });
        // Write until the reader has taken a good number of entries.
        for (int i = 1; taken.load() < 1000 && i < 100000000; ++i)
            ring.write(i, i + 1000);
        done = true;
        reader.join();
        QCOMPARE(mismatches, 0);
        QVERIFY(taken.load() >= 1000);
    }
};

QTEST_GUILESS_MAIN(TestRaceList)
#include "tst_racelist.moc"
