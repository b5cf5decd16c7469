// The whole program, started as the operator starts it, at the edges a race
// day meets:
// - a stop signal (SIGTERM: a logout, a shutdown, a service manager) while a
//   command asks its questions ends the command as if Cancel had been chosen
//   (nothing exported, nothing started, no lap deleted), shuts down and lets
//   go of its folder;
// - the disk of the data folder runs full during a race: no lap is lost, the
//   operator is told, and the laps are written with their own times once
//   there is room again.
//
// The program runs in a child process: this test program started again with
// LAPVANE_STOP_CHILD set runs the program's own start-up and is driven line by
// line on stdin (click a button, answer the box that is open), telling on
// stdout each message box it shows. The Lapvane gate is a simulator on a
// pseudo-terminal of the test's own.
#include "app/application.h"
#include "core/folderlock.h"
#include "core/inifile.h"
#include "store/database.h"
#include "tests/app/programfixture.h"
#include "tools/receiversim/receiversim.h"
#include "tools/receiversim/simonpty.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QSocketNotifier>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace lapvane;

using lapvane::test::logMessages;

namespace {

constexpr const char *kChildVariable = "LAPVANE_EDGES_CHILD";

// ---- the child: the program itself, driven from stdin

void reply(const QByteArray &line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

QWidget *widgetNamed(const QString &name)
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == name)
            return top;
        if (auto *w = top->findChild<QWidget *>(name))
            return w;
    }
    return nullptr;
}

QAction *actionNamed(const QString &name)
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (auto *a = top->findChild<QAction *>(name))
            return a;
    }
    return nullptr;
}

void runCommand(const QList<QByteArray> &words)
{
    const QByteArray verb = words.value(0);
    const QString name = QString::fromUtf8(words.value(1));
    if (verb == "click") {
        auto *button = qobject_cast<QAbstractButton *>(widgetNamed(name));
        if (!button) {
            reply("missing " + words.value(1));
            return;
        }
        // Queued: the command runs (and asks) after this line is answered.
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        reply("clicked " + words.value(1));
    } else if (verb == "trigger") {
        QAction *action = actionNamed(name);
        if (!action) {
            reply("missing " + words.value(1));
            return;
        }
        QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
        reply("triggered " + words.value(1));
    } else if (verb == "label") {
        auto *label = qobject_cast<QLabel *>(widgetNamed(name));
        reply("label " + (label ? label->text().toUtf8() : QByteArray("?")));
    } else if (verb == "answer") {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QAbstractButton *button =
            box ? box->button(name == "Yes" ? QMessageBox::Yes : QMessageBox::No) : nullptr;
        if (button)
            QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        reply(button ? "answered" : "no box");
    }
}

// Set up as the program's QApplication is made: the command reader and the
// watch that tells of every message box.
void driveTheProgram()
{
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
    auto *pending = new QByteArray;
    QObject::connect(input, &QSocketNotifier::activated, qApp, [pending] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            return;
        pending->append(buffer, int(n));
        int end;
        while ((end = pending->indexOf('\n')) >= 0) {
            const QList<QByteArray> words = pending->left(end).split(' ');
            pending->remove(0, end + 1);
            runCommand(words);
        }
    });
    auto *watch = new QTimer(qApp);
    auto *told = new QPointer<QWidget>;
    auto *ready = new bool(false);
    QObject::connect(watch, &QTimer::timeout, qApp, [told, ready] {
        if (!*ready) {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (qobject_cast<QMainWindow *>(top) && top->isVisible()) {
                    *ready = true;
                    reply("ready");
                }
            }
        }
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->isVisible() && *told != box) {
            *told = box;
            reply("box " + box->text().simplified().toUtf8());
        }
    });
    watch->start(30);
}

int runChild(int argc, char **argv, const QString &folder)
{
    qAddPreRoutine(driveTheProgram);
    QByteArray home = QFile::encodeName(folder);
    QByteArray homeFlag("--home");
    char *args[] = {argv[0], homeFlag.data(), home.data(), nullptr};
    Q_UNUSED(argc);
    return runApplication(3, args);
}

// ---- the test

struct Child
{
    QProcess process;
    QList<QByteArray> lines;

    // Waits for a line starting with prefix; returns it (empty after the time-out).
    QByteArray waitFor(const QByteArray &prefix, int timeoutMs = 30000)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            for (int i = 0; i < lines.size(); ++i) {
                if (lines.at(i).startsWith(prefix))
                    return lines.takeAt(i);
            }
            if (t.elapsed() > timeoutMs)
                return {};
            process.waitForReadyRead(100);
            while (process.canReadLine())
                lines << process.readLine().trimmed();
            QCoreApplication::processEvents(); // the gate simulator's pseudo-terminal
        }
    }
    QByteArray send(const QByteArray &command, const QByteArray &answer)
    {
        process.write(command + '\n');
        return waitFor(answer);
    }
};

int count(const QString &dbFile, const QString &sql)
{
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "reader");
    db.setDatabaseName(dbFile);
    int n = -1;
    if (db.open()) {
        QSqlQuery q(db);
        if (q.exec(sql) && q.next())
            n = q.value(0).toInt();
    }
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("reader");
    return n;
}

// The data folder as a race day leaves it: an event, a stage with Anna in it,
// and Anna and Boris in the race list, confirmed; the gate on the simulator.
void seedFolder(const QString &home, const QString &gatePort)
{
    QVERIFY(QDir().mkpath(home));
    {
        Database db;
        QVERIFY(db.open(QDir(home).filePath(kDatabaseFileName)));
        QSqlQuery q(db.db());
        QVERIFY(q.exec("INSERT INTO events (num, eventname) VALUES (1, 'Cup')"));
        QVERIFY(q.exec("INSERT INTO stages (id, events, stagename) VALUES (1, 1, 'Round 1')"));
        QVERIFY(q.exec("INSERT INTO results (stage, pilotid, pilotname, wins, place, qualtime) "
                       "VALUES (1, 1, 'Anna', 0, 999, 59999999)"));
        for (int pilot : {1, 2}) {
            q.prepare("INSERT INTO onerace (pilotid, pilotname, pilottrans, vtx, confirmed, place, lapno, "
                      "\"group\") VALUES (?, ?, ?, ?, 'Y', 999, 0, '1')");
            q.addBindValue(pilot);
            q.addBindValue(pilot == 1 ? "Anna" : "Boris");
            q.addBindValue(100 + pilot);
            q.addBindValue(pilot == 1 ? "R1" : "R2");
            QVERIFY(q.exec());
        }
    }
    IniFile ini(QDir(home).filePath("lapvaneadmin.ini"));
    QVERIFY(ini.writeString("SETTINGS", "Com", gatePort));
    QVERIFY(ini.writeString("RACE", "LapsLimit", "0"));
    QVERIFY(ini.writeString("SETTINGS", "SoundEnabled", "0"));
    QVERIFY(ini.writeString("SETTINGS", "AntiDoubleRead", "100"));
}

// Lets the test's own events (the gate's pseudo-terminal) run while waiting.
bool waitUntil(Child &child, const std::function<bool()> &done, int timeoutMs = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        child.waitFor("-", 100);
    }
    return true;
}

// The program started on home, the gate connected from the window and a
// race started from its button.
void startRace(Child &child, const QString &home, sim::SimOnPty &gate)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVariable, home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.process.setProcessEnvironment(env);
    child.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.process.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.process.waitForStarted());
    QVERIFY(!child.waitFor("ready", 60000).isEmpty());
    QVERIFY(!child.send("trigger comconnect", "triggered").isEmpty());
    QVERIFY(waitUntil(child,
                      [&] { return child.send("label lblcomLapvanestat", "label").contains("Connected"); }));
    QVERIFY(!child.send("click btnstartrace", "clicked").isEmpty());
    QVERIFY(waitUntil(child, [&] { return gate.sim->mode() == sim::ReceiverSim::Mode::Race; }));
}

void stopChild(Child &child)
{
    ::kill(pid_t(child.process.processId()), SIGTERM);
    QVERIFY2(child.process.waitForFinished(20000), "the program did not end");
    QCOMPARE(child.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.process.exitCode(), 0);
}

} // namespace

class TestRaceEdges : public QObject
{
    Q_OBJECT
private slots:
    // A finished race of two pilots, Boris not in the current stage. Start
    // Race: "not exported … Export it now?" Yes; then, while "Pilot "Boris"
    // is not found in … Add him?" is open, SIGTERM.
    void stopWhileStartRaceAsksKeepsTheFinishedRace()
    {
        QTemporaryDir dir;
        const QString home = dir.filePath("data");
        const QString dbFile = QDir(home).filePath(kDatabaseFileName);
        sim::SimOnPty gate(std::make_unique<sim::GateSim>());
        seedFolder(home, gate.pty.slavePath());
        Child child;
        startRace(child, home, gate);
        const quint32 start = gate.sim->clockMs();
        for (int lap = 1; lap <= 10; ++lap) {
            gate.sim->pass(101, start + 200 * lap);
            gate.sim->pass(102, start + 200 * lap + 50);
        }
        const int laps = 20;
        QVERIFY2(waitUntil(child, [&] { return count(dbFile, "SELECT COUNT(*) FROM laps") == laps; }),
                 "the laps were not counted");
        QVERIFY(!child.send("click btnstoprace", "clicked").isEmpty());
        QVERIFY(waitUntil(
            child, [&] { return !logMessages(home).filter(QRegularExpression("^Finished at ")).isEmpty(); }));

        // Start Race again: the finished race was not exported.
        QVERIFY(!child.send("click btnstartrace", "clicked").isEmpty());
        const QByteArray first = child.waitFor("box ");
        QVERIFY2(first.contains("was not exported"), first.constData());
        QCOMPARE(child.send("answer Yes", "answered"), QByteArray("answered"));
        const QByteArray second = child.waitFor("box ");
        QVERIFY2(second.contains("\"Boris\" is not found in") && second.contains("Add him?"),
                 second.constData());
        stopChild(child);

        // Nothing exported, nothing started, nothing deleted.
        const QStringList log = logMessages(home);
        QVERIFY(log.contains("Exiting.."));
        QVERIFY(!log.contains("Exported to Results"));
        QCOMPARE(log.filter(QRegularExpression("^Race \\(.*\\) started")).size(), 1);
        QCOMPARE(count(dbFile, "SELECT COUNT(*) FROM laps"), laps);
        QCOMPARE(count(dbFile, "SELECT SUM(lapno) FROM onerace"), laps);
        QCOMPARE(count(dbFile, "SELECT COUNT(*) FROM results"), 1);
        QCOMPARE(count(dbFile, "SELECT wins FROM results"), 0);
        QCOMPARE(count(dbFile, "SELECT COUNT(*) FROM lastrace"), 0);
        // The race state still says: finished, not exported.
        QFile stateFile(QDir(home).filePath("racestate.json"));
        QVERIFY(stateFile.open(QIODevice::ReadOnly));
        const QJsonObject state = QJsonDocument::fromJson(stateFile.readAll()).object();
        QCOMPARE(state.value("resultsFinished").toBool(), true);
        QCOMPARE(state.value("resultsExportedSinceFinish").toBool(), false);
        // The folder is free for the next start.
        FolderLock next;
        qint64 holder = 0;
        QString error;
        QCOMPARE(next.take(home, &holder, &error), FolderLock::Result::Taken);
    }

    // The data folder on a small filesystem of its own; the disk runs full
    // mid-race for a while, 10 passes a second.
    void fullDiskMidRaceLosesNoLap()
    {
        QTemporaryDir dir;
        const QString home = dir.filePath("data");
        QVERIFY(QDir().mkpath(home));
        const QByteArray mountPoint = QFile::encodeName(home);
        if (::geteuid() != 0 ||
            QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4m", "tmpfs", home}) != 0)
            QSKIP("a small filesystem cannot be mounted here (needs root)");
        struct Unmount
        {
            QString path;
            ~Unmount() { QProcess::execute("umount", {"-l", path}); }
        } unmount{home};
        const QString dbFile = QDir(home).filePath(kDatabaseFileName);
        sim::SimOnPty gate(std::make_unique<sim::GateSim>());
        seedFolder(home, gate.pty.slavePath());
        Child child;
        startRace(child, home, gate);
        const quint32 start = gate.sim->clockMs();
        int sent = 0;
        auto fly = [&](int passes) {
            for (int i = 0; i < passes; ++i, ++sent) {
                // Anna and Boris in turn, each every 200 ms of gate time.
                gate.sim->pass(101 + sent % 2, start + 1000 + 100 * quint32(sent));
                child.waitFor("-", 100);
            }
        };
        fly(10);
        QVERIFY(waitUntil(child, [&] { return count(dbFile, "SELECT COUNT(*) FROM laps") == 10; }));

        // The disk runs full.
        const QString filler = QDir(home).filePath("filler");
        QVERIFY(QProcess::execute(
                    "sh", {"-c", QString("dd if=/dev/zero of='%1' bs=64k 2>/dev/null; true").arg(filler)}) ==
                0);
        fly(30);
        QVERIFY(waitUntil(child, [&] {
            return child.send("label lbllapswaiting", "label")
                .contains("wait to be written to the database: the "
                          "disk is full");
        }));
        QVERIFY(!child.waitFor("box ", 5000).isEmpty()); // told once, in a box
        QVERIFY(count(dbFile, "SELECT COUNT(*) FROM laps") < 40);

        // Room again: every lap goes in, each with its own time.
        QVERIFY(QFile::remove(filler));
        fly(10);
        QVERIFY2(waitUntil(child, [&] { return count(dbFile, "SELECT COUNT(*) FROM laps") == 50; }),
                 qPrintable(QString::number(count(dbFile, "SELECT COUNT(*) FROM laps"))));
        QCOMPARE(count(dbFile, "SELECT COUNT(*) FROM laps WHERE lapn > 1 AND laptimetxt <> '000:00.200'"), 0);
        QCOMPARE(count(dbFile, "SELECT MAX(lapn) FROM laps WHERE pilotid = 1"), 25);
        QCOMPARE(count(dbFile, "SELECT SUM(lapno) FROM onerace"), 50);
        QVERIFY(waitUntil(child, [&] { return child.send("label lbllapswaiting", "label") == "label"; }));
        stopChild(child);
        QVERIFY(logMessages(home).join('\n').contains("the disk is full"));
    }
};

int main(int argc, char **argv)
{
    const QString childFolder = qEnvironmentVariable(kChildVariable);
    if (!childFolder.isEmpty())
        return runChild(argc, argv, childFolder);
    QApplication app(argc, argv);
    TestRaceEdges test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_raceedges.moc"
