// The program as a process: start-up in a fresh folder, SIGTERM shutdown, the
// window placement kept between runs, a database file it must not use, the
// data folder it picks without --home, and --version and --help.
#include "core/inifile.h"
#include "store/database.h"
#include "tests/app/programfixture.h"

#include <QProcess>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using lapvane::test::logMessages;

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

// The program copied into a folder of its own, started there without --home,
// with the given home folder; as user "nobody" when the tests run as root, so
// that a read-only program folder is read-only for it too.
QProcess *startCopy(const QString &programFolder, const QString &userHome, QObject *parent)
{
    const QString copy = QDir(programFolder).filePath("lapvaneadmin");
    if (!QFile::exists(copy) && !QFile::copy(QStringLiteral(LAPVANE_PROGRAM), copy))
        qFatal("cannot copy the program to %s", qPrintable(copy));
    auto *p = new QProcess(parent);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", userHome);
    env.remove("XDG_RUNTIME_DIR");
    p->setProcessEnvironment(env);
    p->setChildProcessModifier([] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(99);
    });
    p->start(copy, {});
    return p;
}

void stopProgram(QProcess *p)
{
    ::kill(pid_t(p->processId()), SIGTERM);
    QVERIFY(p->waitForFinished(30000));
    QCOMPARE(p->exitCode(), 0);
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
        // The cue files are read on their loader: its summary comes once, when they are.
        const QString players = "WAV player didn't open files, check manually!";
        QTRY_COMPARE_WITH_TIMEOUT(logMessages(home).count(players), 1, 10000);
        QStringList startup = logMessages(home);
        startup.removeAll(players);
        QCOMPARE(
            startup,
            QStringList({// "Play names and laps" is on before the settings load: the file's
                         // "off" runs the sound-name check, with no announcer to stop.
                         "can't kill name and laps thread", "===", "Checking waves...", "No START wav file!",
                         "No LAP PASS wav file!", "No FINISH 1ST PILOT wav file!",
                         "No FINISH OTHERS wav file!", "No REG CHECK wav file!", "No FINISH ALL wav file!",
                         "Checking sound names...", "can't kill name and laps thread", "Checks finished."}));
        ::kill(pid_t(p->processId()), SIGTERM);
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QVERIFY(logMessages(home).contains("Chorus Com closed"));
        // The first start opens larger than the minimum, within the (offscreen,
        // 800 pixels wide) screen and centred on it.
        lapvane::IniFile ini(QDir(home).filePath("lapvaneadmin.ini"));
        const int width = ini.readInteger("Size", "Width", 0);
        QVERIFY2(width > 600 && width <= 800, qPrintable(QString::number(width)));
        QVERIFY(ini.readInteger("Size", "Height", 0) > 400);
        // (X is the frame's corner.)
        QVERIFY(qAbs(ini.readInteger("Position", "X", 0) - (800 - width) / 2) <= 8);
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

    // Answered at once and without a display: nothing else starts.
    void versionAndHelp()
    {
        QTemporaryDir dir;
        for (const char *option : {"--version", "--help"}) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char *var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(var);
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(LAPVANE_PROGRAM), {"--home", dir.filePath("data"), option});
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 0);
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            if (QByteArray(option) == "--version")
                QCOMPARE(out, QStringLiteral("Lapvane Admin " LAPVANE_EXPECTED_VERSION "\n"));
            else
                QVERIFY2(out.contains("--home DIR") && out.contains("--demo") && out.contains("--version"),
                         qPrintable(out));
        }
        QVERIFY(!QFileInfo::exists(dir.filePath("data")));
    }

    // A portable copy keeps its data beside itself.
    void dataBesideAWritableProgram()
    {
        QTemporaryDir dir;
        QCOMPARE(::chmod(qPrintable(dir.path()), 0755), 0);
        const QString portable = dir.filePath("stick");
        const QString user = dir.filePath("user");
        QVERIFY(QDir().mkpath(portable) && QDir().mkpath(user));
        for (const QString &f : {portable, user})
            ::chmod(qPrintable(f), 0777);
        QProcess *p = startCopy(portable, user, this);
        QVERIFY(p->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(portable).contains("Checks finished."), 30000);
        stopProgram(p);
        QVERIFY(QFile::exists(QDir(portable).filePath("dbpilots.db")));
        QVERIFY(QFile::exists(QDir(portable).filePath("lapvaneadmin.ini")));
        QVERIFY(!QFileInfo::exists(QDir(user).filePath("LapvaneAdmin")));
        QVERIFY(!logMessages(portable).join('\n').contains("Data folder:"));
    }

    // Installed where it cannot write: ~/LapvaneAdmin, made on the first
    // start and said so in the log; the next start finds everything there.
    void dataInHomeWhenTheProgramFolderIsReadOnly()
    {
        QTemporaryDir dir;
        QCOMPARE(::chmod(qPrintable(dir.path()), 0755), 0);
        const QString installed = dir.filePath("bin");
        const QString user = dir.filePath("user");
        QVERIFY(QDir().mkpath(installed) && QDir().mkpath(user));
        ::chmod(qPrintable(user), 0777);
        QVERIFY(QFile::copy(QStringLiteral(LAPVANE_PROGRAM), QDir(installed).filePath("lapvaneadmin")));
        ::chmod(qPrintable(installed), 0555);
        const QString data = QDir(user).filePath("LapvaneAdmin");

        QProcess *p = startCopy(installed, user, this);
        QVERIFY(p->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(data).contains("Checks finished."), 30000);
        const QStringList first = logMessages(data);
        QCOMPARE(first.first(),
                 QStringLiteral("Data folder: %1 (created now; the program's own folder %2 is not for data).")
                     .arg(data, installed));
        stopProgram(p);
        QVERIFY(QFile::exists(QDir(data).filePath("dbpilots.db")));
        QCOMPARE(QDir(installed).entryList(QDir::Files), QStringList({"lapvaneadmin"}));
        QVERIFY(lapvane::IniFile(QDir(data).filePath("lapvaneadmin.ini")).contains("Size", "Width"));

        QProcess *second = startCopy(installed, user, this);
        QVERIFY(second->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(data).count("Checks finished.") == 2, 30000);
        stopProgram(second);
        QVERIFY(logMessages(data).filter("Data folder:").last().contains("kept from earlier runs"));
        ::chmod(qPrintable(installed), 0755);
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
        QTRY_VERIFY_WITH_TIMEOUT(
            (err += QString::fromUtf8(p->readAllStandardError())).contains("dbpilots.db"), 30000);
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

    // A second start on a folder in use says so and stops; a run killed
    // without a shutdown leaves no lock behind.
    void oneProgramPerFolder()
    {
        QTemporaryDir dir;
        const QString home = dir.filePath("data");
        QProcess *first = startProgram(home, this);
        QVERIFY(first->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(home).contains("Checks finished."), 30000);

        QProcess *second = startProgram(home, this);
        QVERIFY(second->waitForStarted());
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT(
            (err += QString::fromUtf8(second->readAllStandardError())).contains("already"), 30000);
        QVERIFY2(err.contains(QStringLiteral("Lapvane Admin is already running with this folder (pid %1).")
                                  .arg(first->processId())),
                 qPrintable(err));
        ::kill(pid_t(second->processId()), SIGTERM); // its message box waits for nobody
        QVERIFY(second->waitForFinished(20000));
        QVERIFY(second->exitCode() != 0);
        QCOMPARE(logMessages(home).count("Checks finished."), 1); // it never started

        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(20000));
        QProcess *third = startProgram(home, this);
        QVERIFY(third->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(home).count("Checks finished.") == 2, 30000);
        stopProgram(third);
    }

    // A box shown while the program starts (here: its web server's port is
    // taken) ends on SIGTERM, and the program shuts down.
    void sigtermEndsABoxAtStartUp()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        QTemporaryDir dir;
        const QString home = dir.filePath("data");
        QVERIFY(QDir().mkpath(home));
        lapvane::IniFile ini(QDir(home).filePath("lapvaneadmin.ini"));
        QVERIFY(ini.writeInteger("WWWSERVER", "wwwServer", 1));
        QVERIFY(ini.writeInteger("WWWSERVER", "wwwServerPort", taken.serverPort()));
        QProcess *p = startProgram(home, this);
        QVERIFY(p->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logMessages(home).join('\n').contains("Web server not started"), 30000);
        QTest::qWait(500); // the box is up
        ::kill(pid_t(p->processId()), SIGTERM);
        QVERIFY(p->waitForFinished(20000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QVERIFY(logMessages(home).contains("Chorus Com closed")); // shutdown ran
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
            QVERIFY(q.exec(
                "CREATE TABLE onerace2 AS SELECT id, pilotid, pilotname, nickname, pilotteam, coptercolor, "
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
        QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(p->readAllStandardError())).contains("no column"),
                                 30000);
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
        QTRY_VERIFY_WITH_TIMEOUT(
            logMessages(home).join('\n').contains("had no table \"laps\": it was created empty."), 10000);
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
