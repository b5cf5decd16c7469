// The program as a process: start-up in a fresh folder, SIGTERM shutdown, the
// window placement kept between runs, and a database file it must not use.
#include "core/inifile.h"
#include "store/database.h"

#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QProcess *startProgram(const QString &home, QObject *parent)
{
    auto *p = new QProcess(parent);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p->setProcessEnvironment(env);
    p->start(QStringLiteral(LAPVANE_PROGRAM), {"--home", home});
    return p;
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

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT
private slots:
    void freshFolderStartAndSigterm()
    {
        QTemporaryDir dir;
        const QString home = dir.filePath("data");
        QProcess *p = startProgram(home, this);
        QVERIFY(p->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(home).contains("Checks finished."), 30000);
        QCOMPARE(logMessages(home),
                 QStringList({// "Play names and laps" is on before the settings load: the file's
                              // "off" runs the sound-name check, with no announcer to stop.
                              "can't kill name and laps thread",
                              "WAV player didn't open files, check manually!", "===", "Checking waves...",
                              "No START wav file!", "No LAP PASS wav file!", "No FINISH 1ST PILOT wav file!",
                              "No FINISH OTHERS wav file!", "No REG CHECK wav file!", "No FINISH ALL wav file!",
                              "Checking sound names...", "can't kill name and laps thread", "Checks finished."}));
        ::kill(pid_t(p->processId()), SIGTERM);
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QVERIFY(logMessages(home).contains("Chorus Com closed"));
        lapvane::IniFile ini(QDir(home).filePath("lapvaneadmin.ini"));
        QCOMPARE(ini.readInteger("Size", "Width", 0), 600);
        QCOMPARE(ini.readInteger("Position", "X", 0), 10);
        QVERIFY(QFile::exists(QDir(home).filePath("dbpilots.db")));

        // The next run appends to the same log and opens where the last one closed.
        QFile iniFile(QDir(home).filePath("lapvaneadmin.ini"));
        lapvane::IniFile edit(iniFile.fileName());
        QVERIFY(edit.writeInteger("Size", "Width", 777));
        QProcess *second = startProgram(home, this);
        QVERIFY(second->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(home).count("Checks finished.") == 2, 30000);
        ::kill(pid_t(second->processId()), SIGINT);
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(lapvane::IniFile(iniFile.fileName()).readInteger("Size", "Width", 0), 777);
        QCOMPARE(logMessages(home).count("==="), 2);
    }

    void databaseThatIsNotOneStopsTheStart()
    {
        QTemporaryDir dir;
        const QByteArray notes("race notes, not a database\n");
        QFile f(dir.filePath("dbpilots.db"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(notes);
        f.close();
        QProcess *p = startProgram(dir.path(), this);
        QVERIFY(p->waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(p->readAllStandardError())).contains("dbpilots.db"), 30000);
        QVERIFY2(err.contains("not a database"), qPrintable(err));
        // The message box waits for the operator; SIGTERM ends it (a service,
        // nobody at the screen). The program has not started.
        ::kill(pid_t(p->processId()), SIGTERM);
        QVERIFY(p->waitForFinished(20000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 1);
        QVERIFY(!QFile::exists(dir.filePath("lapvaneadmin.ini")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), notes);
    }

    // A database whose table lost a column is refused by name and left as it
    // is; one that lost a table gets it back empty and says so in the log.
    void damagedDatabase()
    {
        QTemporaryDir dir;
        const QString home = dir.filePath("data");
        {
            lapvane::Database db;
            QVERIFY(QDir().mkpath(home));
            QVERIFY(db.open(QDir(home).filePath("dbpilots.db"), "prep"));
            QSqlQuery q(db.db());
            QVERIFY(q.exec("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (1, 1, 1000, 'x')"));
            QVERIFY(q.exec("DROP TABLE laps"));
            QVERIFY(q.exec("INSERT INTO pilots (name) VALUES ('Ann')"));
            QVERIFY(q.exec("CREATE TABLE onerace2 AS SELECT id, pilotid, pilotname, nickname, pilotteam, coptercolor, "
                           "pilottrans, \"group\", vtx, place, lapno, besttime, besttimetxt, totaltime, totaltimetxt "
                           "FROM onerace"));
            QVERIFY(q.exec("DROP TABLE onerace"));
            QVERIFY(q.exec("ALTER TABLE onerace2 RENAME TO onerace"));
        }
        QFile file(QDir(home).filePath("dbpilots.db"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QProcess *p = startProgram(home, this);
        QVERIFY(p->waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(p->readAllStandardError())).contains("no column"), 30000);
        QVERIFY2(err.contains("table \"onerace\" has no column \"confirmed\""), qPrintable(err));
        ::kill(pid_t(p->processId()), SIGINT);
        QVERIFY(p->waitForFinished(20000));
        QCOMPARE(p->exitCode(), 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before); // nothing altered, not even the missing table
        file.close();

        // The column back: the start goes on, the missing laps table is made.
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "raw");
            raw.setDatabaseName(file.fileName());
            QVERIFY(raw.open());
            QSqlQuery q(raw);
            QVERIFY(q.exec("ALTER TABLE onerace ADD COLUMN confirmed TEXT"));
            raw.close();
        }
        QSqlDatabase::removeDatabase("raw");
        QProcess *second = startProgram(home, this);
        QVERIFY(second->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(home).contains("Checks finished."), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(home).join('\n').contains("had no table \"laps\": it was created empty."),
                                 10000);
        ::kill(pid_t(second->processId()), SIGTERM);
        QVERIFY(second->waitForFinished(30000));
        QCOMPARE(second->exitCode(), 0);
        lapvane::Database db;
        QVERIFY(db.open(file.fileName(), "check"));
        QSqlQuery q(db.db());
        QVERIFY(q.exec("SELECT name FROM pilots") && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("Ann"));
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
