// A stage's race format in the database: the default without the table, the
// table made only when a format is chosen, limits from the stage itself, an
// unknown stored format, and a file reopened with the table in it.
#include "competition/stageformat.h"
#include "store/database.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;

namespace {

int addStage(QSqlDatabase db, int lapLimit, int timeLimitMin)
{
    QSqlQuery q(db);
    q.prepare(
        "INSERT INTO stages (events, stagename, laplimit, timelimit, tracklen) VALUES (1, 'Q', ?, ?, '0')");
    q.addBindValue(lapLimit);
    q.addBindValue(timeLimitMin);
    if (!q.exec())
        return 0;
    return q.lastInsertId().toInt();
}

} // namespace

class TestStageFormat : public QObject
{
    Q_OBJECT
private slots:
    void chooseAndReadBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("dbpilots.db");
        int stage = 0, other = 0;
        {
            Database db;
            QVERIFY(db.open(path, "fmt1"));
            stage = addStage(db.db(), 5, 2);
            other = addStage(db.db(), 0, 3);
            QVERIFY(stage > 0 && other > 0);

            // Nothing chosen: the default format with the stage's limits, and
            // reading makes no table.
            StageRules rules;
            QString error;
            QVERIFY2(readStageRules(db.db(), stage, &rules, &error), qPrintable(error));
            QCOMPARE(rules.format, RaceFormat::LapsAndTime);
            QCOMPARE(rules.options.lapLimit, 5);
            QCOMPARE(rules.options.timeLimitMs, qint64(120000));
            QVERIFY(!rules.options.holeShot);
            QVERIFY(!db.db().tables().contains("stageformat"));

            QVERIFY2(writeStageFormat(db.db(), stage, RaceFormat::MostLaps, 20000, true, &error),
                     qPrintable(error));
            QVERIFY(readStageRules(db.db(), stage, &rules, &error));
            QCOMPARE(rules.format, RaceFormat::MostLaps);
            QCOMPARE(rules.options.graceMs, qint64(20000));
            QVERIFY(rules.options.holeShot);
            QCOMPARE(rules.options.timeLimitMs, qint64(120000));
            // Choosing again replaces; the other stage keeps the default.
            QVERIFY(writeStageFormat(db.db(), stage, RaceFormat::Fastest3, 30000, false, &error));
            QVERIFY(readStageRules(db.db(), stage, &rules, &error));
            QCOMPARE(rules.format, RaceFormat::Fastest3);
            QVERIFY(!rules.options.holeShot);
            QVERIFY(readStageRules(db.db(), other, &rules, &error));
            QCOMPARE(rules.format, RaceFormat::LapsAndTime);
            QCOMPARE(rules.options.timeLimitMs, qint64(180000));

            // No such stage.
            QVERIFY(!writeStageFormat(db.db(), 999, RaceFormat::FastestLap, 0, false, &error));
            QVERIFY(error.contains("999"));
            QVERIFY(!readStageRules(db.db(), 999, &rules, &error));
        }
        {
            // The file opens again as it stands, with the chosen format.
            Database db;
            QVERIFY2(db.open(path, "fmt2"), qPrintable(db.error()));
            StageRules rules;
            QString error;
            QVERIFY(readStageRules(db.db(), stage, &rules, &error));
            QCOMPARE(rules.format, RaceFormat::Fastest3);

            // A format this program does not know: said plainly, raced as the default.
            QSqlQuery q(db.db());
            QVERIFY(q.exec(QString("UPDATE stageformat SET format='relay' WHERE stage=%1").arg(stage)));
            QVERIFY(!readStageRules(db.db(), stage, &rules, &error));
            QVERIFY2(error.contains("unknown race format \"relay\""), qPrintable(error));
            QCOMPARE(rules.format, RaceFormat::LapsAndTime);
            QCOMPARE(rules.options.lapLimit, 5);
        }
    }
};

QTEST_GUILESS_MAIN(TestStageFormat)
#include "tst_stageformat.moc"
