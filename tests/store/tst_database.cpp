// The database file: a new file gets the seven tables, data survives a reopen
// and a killed program, and a file that is not a database is never touched.
#include "store/database.h"
#include "store/transaction.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace lapvane;

namespace {

QVariant scalar(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return {};
    return q.value(0);
}

// Run as a child process: posts one lap row, says so, then waits to be killed.
int childWritesAndWaits(const QString &path)
{
    Database db;
    if (!db.open(path))
        return 2;
    QSqlQuery q(db.db());
    q.prepare(QStringLiteral("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, ?)"));
    q.addBindValue(7);
    q.addBindValue(1);
    q.addBindValue(30000);
    q.addBindValue(QStringLiteral("000:30.000"));
    if (!q.exec())
        return 3;
    std::printf("posted\n");
    std::fflush(stdout);
    for (;;)
        QThread::sleep(1);
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT
private slots:
    void newFileHasSevenTables()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY2(db.open(dir.filePath(kDatabaseFileName)), qPrintable(db.error()));
        QStringList tables = db.db().tables();
        tables.removeAll(QStringLiteral("sqlite_sequence"));
        QStringList expected = Database::tableNames();
        tables.sort();
        expected.sort();
        QCOMPARE(tables, expected);
        QCOMPARE(db.fieldNames(QStringLiteral("onerace")),
                 QStringList({"id", "pilotid", "pilotname", "nickname", "pilotteam", "coptercolor",
                              "pilottrans", "group", "vtx", "place", "lapno", "besttime", "besttimetxt",
                              "totaltime", "totaltimetxt", "confirmed"}));
        QCOMPARE(db.fieldNames(QStringLiteral("lastrace")), db.fieldNames(QStringLiteral("onerace")));
        QCOMPARE(db.fieldNames(QStringLiteral("results")),
                 QStringList({"id", "stage", "pilotid", "pilotname", "nickname", "pilotteam",
                              "coptercolor", "pilottrans", "group", "vtx", "place", "wins", "lapno",
                              "besttime", "besttimetxt", "totaltime", "totaltimetxt", "qualtime",
                              "qualtimetxt"}));
        QCOMPARE(db.fieldNames(QStringLiteral("pilots")),
                 QStringList({"id", "name", "nickname", "trans", "team", "copter", "coptercolor",
                              "licfai", "licfasr", "login", "telegaid", "city", "country", "phone",
                              "datebirth", "about"}));
        QCOMPARE(db.fieldNames(QStringLiteral("events")),
                 QStringList({"num", "eventname", "date", "city", "organizer", "aerolist", "fpvsport"}));
        QCOMPARE(db.fieldNames(QStringLiteral("stages")),
                 QStringList({"id", "events", "stagename", "laplimit", "timelimit", "tracklen", "starttime"}));
        QCOMPARE(db.fieldNames(QStringLiteral("laps")),
                 QStringList({"id", "pilotid", "lapn", "laptime", "laptimetxt"}));
    }

    void reopenKeepsDataAndNumbersKeys()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kDatabaseFileName);
        {
            Database db;
            QVERIFY(db.open(path));
            QSqlQuery q(db.db());
            QVERIFY(q.exec(QString::fromUtf8("INSERT INTO pilots (name, trans) VALUES ('Иван Петров', 4660)")));
            QVERIFY(q.exec("INSERT INTO pilots (name, trans) VALUES ('Ann', 17)"));
            QVERIFY(q.exec("DELETE FROM pilots WHERE name='Ann'"));
            QVERIFY(q.exec("INSERT INTO pilots (name) VALUES ('Bob')"));
        }
        Database db;
        QVERIFY2(db.open(path), qPrintable(db.error()));
        QCOMPARE(scalar(db.db(), "SELECT name FROM pilots WHERE trans=4660").toString(),
                 QString::fromUtf8("Иван Петров"));
        // Keys are never reused: a deleted pilot's number (and his photo file) stays his.
        QCOMPARE(scalar(db.db(), "SELECT id FROM pilots WHERE name='Bob'").toInt(), 3);
        QCOMPARE(scalar(db.db(), "SELECT trans FROM pilots WHERE name='Bob'").toInt(), 0);
    }

    // The statements the program issues work as written, with the reserved
    // column name quoted.
    void statementsAsWritten()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.open(dir.filePath(kDatabaseFileName)));
        QSqlQuery q(db.db());
        QVERIFY(q.exec("INSERT INTO results (stage, pilotid, \"group\", vtx, qualtime) VALUES (4, 1, '2', 'R2', 500)"));
        QVERIFY(q.exec("INSERT INTO results (stage, pilotid, \"group\", vtx, qualtime) VALUES (4, 2, '1', 'R8', 700)"));
        QVERIFY(q.exec("INSERT INTO results (stage, pilotid, \"group\", vtx, qualtime) VALUES (4, 3, '1', 'R3', 600)"));
        QVERIFY(q.exec("INSERT INTO onerace (pilotid, pilottrans, confirmed, lapno, totaltime) VALUES (1, 100, 'N', 2, 900)"));
        QVERIFY(q.exec("INSERT INTO onerace (pilotid, pilottrans, confirmed, lapno, totaltime) VALUES (2, 200, 'Y', 3, 950)"));

        QVERIFY(q.exec("SELECT * FROM results WHERE stage=4 ORDER BY \"group\",vtx ASC;"));
        QList<int> order;
        while (q.next())
            order << q.value("pilotid").toInt();
        QCOMPARE(order, QList<int>({3, 2, 1}));

        const QStringList statements = {
            "SELECT * FROM onerace",
            "SELECT * FROM onerace ",
            "SELECT confirmed FROM onerace WHERE onerace.confirmed='N';",
            "SELECT * FROM onerace WHERE pilottrans=100",
            "SELECT * FROM onerace ORDER BY lapno DESC,totaltime ASC",
            "SELECT * FROM onerace ORDER BY place ASC",
            "SELECT * FROM onerace ORDER BY vtx ASC;",
            "SELECT pilotid,pilotname FROM onerace",
            "SELECT * FROM laps WHERE laps.pilotid=1 ORDER BY lapN ASC",
            "SELECT * FROM laps WHERE pilotid=1 ORDER BY lapn ASC;",
            "SELECT * FROM laps WHERE pilotid=1 ORDER BY laptimetxt ASC;",
            "SELECT * FROM lastrace ORDER BY place ASC;",
            "SELECT * FROM stages WHERE stages.events=1 ORDER BY id ASC;",
            "SELECT * FROM results WHERE stage=0;",
            "SELECT * FROM results WHERE results.stage IN (4,5);",
            "SELECT * FROM results WHERE stage=4 ORDER BY qualtime ASC",
            "SELECT * FROM results WHERE stage=4 ORDER BY \"group\" ASC",
            "SELECT * FROM pilots WHERE id=1",
        };
        for (const QString &sql : statements)
            QVERIFY2(q.exec(sql), qPrintable(sql + ": " + q.lastError().text()));
        QVERIFY(q.exec("SELECT * FROM onerace ORDER BY lapno DESC,totaltime ASC"));
        QVERIFY(q.next());
        QCOMPARE(q.value("pilotid").toInt(), 2);
    }

    void transactionRollsBackUnlessCommitted()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.open(dir.filePath(kDatabaseFileName)));
        {
            Transaction tx(db.db());
            QSqlQuery(db.db()).exec("INSERT INTO events (eventname) VALUES ('dropped')");
        }
        {
            Transaction tx(db.db());
            QSqlQuery(db.db()).exec("INSERT INTO events (eventname) VALUES ('kept')");
            QVERIFY(tx.commit());
        }
        QCOMPARE(scalar(db.db(), "SELECT group_concat(eventname) FROM events").toString(), QStringLiteral("kept"));
    }

    void refusesWithoutTouching_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("text file") << QByteArray("these are my notes, not a database\n") << "not a database";
        QByteArray damaged("SQLite format 3\0", 16);
        damaged += QByteArray(300, '\xff');
        QTest::newRow("damaged database") << damaged << "";
    }
    void refusesWithoutTouching()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(kDatabaseFileName);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        Database db;
        QVERIFY(!db.open(path));
        QVERIFY2(db.error().contains(path), qPrintable(db.error()));
        QVERIFY2(db.error().contains(reason), qPrintable(db.error()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }

    // A table gone from a file the program made is created again, empty, and
    // reported; the other tables and their rows stay as they were.
    void missingTableIsCreated()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kDatabaseFileName);
        {
            Database db;
            QVERIFY(db.open(path));
            QSqlQuery q(db.db());
            QVERIFY(q.exec("INSERT INTO onerace (pilotid, pilotname) VALUES (5, 'Ann')"));
            QVERIFY(q.exec("DROP TABLE laps"));
        }
        Database db;
        QVERIFY2(db.open(path), qPrintable(db.error()));
        QCOMPARE(db.repairs().size(), 1);
        QVERIFY(db.repairs().first().contains("no table \"laps\""));
        QCOMPARE(scalar(db.db(), "SELECT COUNT(*) FROM laps").toInt(), 0);
        QCOMPARE(scalar(db.db(), "SELECT pilotname FROM onerace WHERE pilotid=5").toString(), QStringLiteral("Ann"));
        QSqlQuery q(db.db());
        QVERIFY(q.exec("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (5, 1, 30000, '000:30.000')"));
        db.close();
        QVERIFY(db.open(path));
        QVERIFY(db.repairs().isEmpty());
    }

    // A column gone from a table stops the start with the table and the
    // column named; the file is not changed in any way.
    void missingColumnIsRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kDatabaseFileName);
        {
            Database db;
            QVERIFY(db.open(path));
            QSqlQuery q(db.db());
            QVERIFY(q.exec("ALTER TABLE onerace DROP COLUMN confirmed"));
            QVERIFY(q.exec("DROP TABLE lastrace"));
            QVERIFY(q.exec("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        Database db;
        QVERIFY(!db.open(path));
        QVERIFY2(db.error().contains("table \"onerace\" has no column \"confirmed\""), qPrintable(db.error()));
        QVERIFY(db.error().contains(path));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    void refusesMissingFolder()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(!db.open(dir.filePath("no/such/folder/dbpilots.db")));
        QVERIFY(db.error().contains("folder does not exist"));
    }

    void committedRowSurvivesKill()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kDatabaseFileName);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LAPVANE_STORE_CHILD_DB", path);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(child.waitForReadyRead(100) || child.canReadLine(), 20000);
        QCOMPARE(child.readLine().trimmed(), QByteArray("posted"));
        child.kill(); // SIGKILL: no clean-up of any kind
        QVERIFY(child.waitForFinished());

        Database db;
        QVERIFY2(db.open(path), qPrintable(db.error()));
        QCOMPARE(scalar(db.db(), "SELECT laptimetxt FROM laps WHERE pilotid=7").toString(),
                 QStringLiteral("000:30.000"));
    }

    // While open, the file is held in use by locks that no stray close in
    // this process drops: nobody can take it for themselves (to checkpoint
    // and delete the log). Closed, it is checkpointed and the log removed.
    void openFileStaysInUseForOthers()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(kDatabaseFileName);
        auto exclusiveFree = [&path] {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            struct flock lock = {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_start = 0x40000002; // the bytes SQLite's shared and exclusive locks take
            lock.l_len = 510;
            const bool ok = ::fcntl(fd, F_GETLK, &lock) == 0;
            ::close(fd); // (drops this process's record locks, as any stray close does)
            return ok && lock.l_type == F_UNLCK;
        };
        {
            Database db;
            QVERIFY2(db.open(path), qPrintable(db.error()));
            QVERIFY(db.repairs().isEmpty());
            QSqlQuery q(db.db());
            QVERIFY(q.exec("INSERT INTO pilots (name) VALUES ('Ann')"));
            QVERIFY(!exclusiveFree());
            QVERIFY(!exclusiveFree()); // the stray close above changed nothing
            QVERIFY(QFile::exists(path + "-wal"));
        }
        QVERIFY(exclusiveFree());
        QVERIFY(!QFile::exists(path + "-wal"));
        Database again;
        QVERIFY(again.open(path));
        QCOMPARE(scalar(again.db(), "SELECT name FROM pilots").toString(), QStringLiteral("Ann"));
    }
};

int main(int argc, char **argv)
{
    const QString childDb = qEnvironmentVariable("LAPVANE_STORE_CHILD_DB");
    QCoreApplication app(argc, argv);
    if (!childDb.isEmpty())
        return childWritesAndWaits(childDb);
    TestDatabase test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_database.moc"
