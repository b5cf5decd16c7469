// The CSV commands of the Events and Pilots pages: the results grid as shown
// (columns, headings, order) into a CSV file, and pilots imported from one
// into the registry grid with a short report.
#include "app/csvcommands.h"
#include "app/eventspage.h"
#include "app/pilotspage.h"
#include "events/eventsviews.h"
#include "publish/pilotcsvimport.h"
#include "tests/app/programfixture.h"

#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::Program;

class TestCsvPages : public QObject
{
    Q_OBJECT
private slots:
    void resultsAsShownToCsv()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        QSqlQuery q(p.ctx.db.db());
        QVERIFY(q.exec("INSERT INTO events (eventname) VALUES ('Cup')"));
        QVERIFY(q.exec("INSERT INTO stages (events, stagename) VALUES (1, 'Final')"));
        QVERIFY(q.exec(QString::fromUtf8(
            "INSERT INTO results (stage, pilotid, pilotname, nickname, pilotteam, \"group\", vtx, coptercolor, "
            "pilottrans, place, wins, lapno, besttime, besttimetxt, totaltime, totaltimetxt, qualtime, qualtimetxt) "
            "VALUES (1, 5, 'Пётр \"Ас\", мл.', 'Ace', 'Red', '1', 'R1', 'red', 101, 1, 2, 5, 28000, '000:28.000', "
            "150000, '002:30.000', 28000, '000:28.000')")));
        QVERIFY(p.services->events->open());
        QVERIFY(p.services->events->selectStageRows({0}));
        QTableView *grid = p.window->eventsPage()->results();
        QCOMPARE(grid->model()->rowCount(), 1);
        QVERIFY(p.window->findChild<QPushButton *>("btsavecsv")->isEnabled());

        // The columns shown, in the order shown: one hidden, one moved first.
        auto column = [grid](const QString &heading) {
            for (int c = 0; c < grid->model()->columnCount(); ++c) {
                if (grid->model()->headerData(c, Qt::Horizontal).toString() == heading)
                    return c;
            }
            return -1;
        };
        const int team = column("Team"), qual = column("Qual Time");
        grid->setColumnHidden(team, true);
        grid->horizontalHeader()->moveSection(grid->horizontalHeader()->visualIndex(qual), 0);
        const QString path = dir.filePath("results.csv");
        QVERIFY(exportGridCsv(grid, path, p.ctx.log, p.prompt));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.at(0), QByteArray("\xEF\xBB\xBFQual Time,Pilot's name,Nick/OSD,Group,VTX (CH),Copter Color,"
                                         "Transponder,Place,Wins,Laps,Best Lap,Total Time,pid,besttime,totaltime,"
                                         "qualtime\r"));
        QCOMPARE(lines.at(1), QString::fromUtf8("000:28.000,\"Пётр \"\"Ас\"\", мл.\",Ace,1,R1,red,101,1,2,5,000:28.000,"
                                                "002:30.000,5,28000,150000,28000\r")
                                  .toUtf8());
        QVERIFY(p.prompt.notices.isEmpty());

        // A file that cannot be written is said so.
        QVERIFY(!exportGridCsv(grid, dir.filePath("no/such/folder/x.csv"), p.ctx.log, p.prompt));
        QCOMPARE(p.prompt.notices.size(), 1);
        QVERIFY(p.prompt.notices.first().startsWith("Cannot write the results to"));
    }

    void pilotsFromCsvIntoTheRegistry()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        QSqlQuery q(p.ctx.db.db());
        QVERIFY(q.exec("INSERT INTO pilots (name) VALUES ('Ann')"));
        QVERIFY(p.window->findChild<QPushButton *>("btimportcsv")->isEnabled());
        const QString path = dir.filePath("pilots.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Team,Name\nRed,ANN\nBlue,Bob\n");
        file.close();
        QVERIFY(importPilotsFile(path, p.ctx.db.db(), p.ctx.log, p.prompt).ok);
        QCOMPARE(p.prompt.notices, QStringList{"1 added, 1 skipped"});

        file.open(QIODevice::WriteOnly);
        file.write("Team,Name\n\"Red,Bob\n");
        file.close();
        QVERIFY(!importPilotsFile(path, p.ctx.db.db(), p.ctx.log, p.prompt).ok);
        QVERIFY(p.prompt.notices.last().startsWith("No pilots imported from"));
        QSqlQuery count(p.ctx.db.db());
        QVERIFY(count.exec("SELECT COUNT(*) FROM pilots") && count.next());
        QCOMPARE(count.value(0).toInt(), 2);
    }
};

QTEST_MAIN(TestCsvPages)
#include "tst_csvpages.moc"
