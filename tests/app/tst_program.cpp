// The program as a process: start-up in a fresh folder, SIGTERM shutdown, the
// window placement kept between runs, and a database file it must not use.
#include "core/inifile.h"

#include <QProcess>
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
        // The message box waits for the operator; the program has not started.
        p->kill();
        p->waitForFinished();
        QVERIFY(!QFile::exists(dir.filePath("lapvaneadmin.ini")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), notes);
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
