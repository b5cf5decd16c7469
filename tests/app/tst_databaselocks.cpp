// The database stays in use for other processes while the program runs: its
// file dialogs leave SQLite's locks in place, and even when something in the
// program opens and closes the database files, an outside reader leaves the
// write-ahead log alone and a kill -9 afterwards loses no lap.
//
// The program runs in a child process (this test program started again with
// LAPVANE_LOCKS_CHILD set), so that its locks are seen, and its laps read, by
// another process, as an organiser's database browser or a backup would.
#include "app/eventspage.h"
#include "app/filedialogs.h"
#include "race/raceengine.h"
#include "tests/app/programfixture.h"

#include <QApplication>
#include <QFileDialog>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lapvane;

namespace {

constexpr const char *kChildVariable = "LAPVANE_LOCKS_CHILD";

// ---- the child: the program's window over the folder, driven line by line on stdin

// Shows the program's dialog that action opens, lets it list the program
// folder for a while (long enough to look at every file it lists), then
// cancels it. True when a file dialog showed.
bool showAndCancel(const QString &folder, const std::function<void()> &action)
{
    bool seen = false;
    QTimer poll;
    QElapsedTimer shown;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (!seen) {
            seen = true;
            dialog->setDirectory(folder);
            shown.start();
        } else if (shown.elapsed() > 1500) {
            dialog->reject();
        }
    });
    poll.start(50);
    action();
    return seen;
}

int runChild(const QString &folder)
{
    test::Program p(folder);
    QSqlDatabase db = p.ctx.db.db();
    QSqlQuery q(db);
    for (int pilot : {1, 2}) {
        q.prepare("INSERT INTO onerace (pilotid, pilotname, pilottrans, vtx, confirmed, place, lapno, besttime, "
                  "besttimetxt, totaltime, totaltimetxt, \"group\") VALUES (?, ?, ?, 'R1', 'Y', 999, 0, 59999999, "
                  "'-', 59999999, '-', '1')");
        q.addBindValue(pilot);
        q.addBindValue(QStringLiteral("Pilot %1").arg(pilot));
        q.addBindValue(100 + pilot);
        if (!q.exec())
            qFatal("cannot fill the race list");
    }
    p.ctx.settings.set("edtlaps", "0"); // no lap limit
    RaceEngine &race = *p.services->race;
    race.setTimerDriven(false);
    if (!race.racestartraceExecute())
        qFatal("the race did not start");

    int passes = 0;
    auto lapCount = [&db] {
        QSqlQuery count(db);
        count.exec("SELECT count(*) FROM laps");
        return count.next() ? count.value(0).toInt() : -1;
    };
    auto reply = [](const QByteArray &line) {
        std::fputs((line + '\n').constData(), stdout);
        std::fflush(stdout);
    };

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::exit(0);
            return;
        }
        pending.append(buffer, int(n));
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QList<QByteArray> words = pending.left(end).split(' ');
            pending.remove(0, end + 1);
            if (words.value(0) == "laps") {
                for (int i = 0, n = words.value(1).toInt(); i < n; ++i, ++passes) {
                    // Each pilot every 30 s, the two 1 s apart.
                    p.receivers.queuePass(101 + passes % 2, 30000 * (passes / 2 + 1) + 1000 * (passes % 2));
                    race.tmrraceTimer();
                }
                reply("laps " + QByteArray::number(lapCount()));
            } else if (words.value(0) == "dialogs") {
                QStringList shown;
                auto tryOne = [&](const QString &name, const std::function<void()> &action) {
                    if (showAndCancel(folder, action))
                        shown << name;
                };
                for (const char *button : {"Select", "Button10", "Button18", "Button19", "Button16", "btsavecsv",
                                           "btimportcsv"}) {
                    auto *b = p.window->findChild<QPushButton *>(QLatin1String(button));
                    if (b)
                        tryOne(QLatin1String(button), [b] { b->click(); });
                }
                tryOne("export", [&] { p.window->eventsPage()->exportHooks().chooseFile("results.htm"); });
                tryOne("open", [&] { chooseOpenFile(p.window.get(), "Sound file", folder, "All files (*)"); });
                reply("dialogs " + shown.join(',').toUtf8());
            } else if (words.value(0) == "touch") {
                // Something in the program reads the database's files and closes them.
                for (const char *suffix : {"", "-wal", "-shm"}) {
                    QFile f(QDir(folder).filePath(QLatin1String("dbpilots.db") + QLatin1String(suffix)));
                    if (f.open(QIODevice::ReadOnly))
                        f.read(16);
                }
                reply("touched");
            }
        }
    });
    reply("ready");
    return QCoreApplication::exec();
}

// ---- the test: another process

struct Child
{
    QProcess process;
    QByteArray ask(const QByteArray &command)
    {
        process.write(command + '\n');
        for (QElapsedTimer t; !t.isValid() || t.elapsed() < 60000;) {
            if (!t.isValid())
                t.start();
            if (process.canReadLine())
                return process.readLine().trimmed();
            process.waitForReadyRead(200);
        }
        return QByteArray();
    }
};

void startChild(Child &child, const QString &folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVariable, folder);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.process.setProcessEnvironment(env);
    child.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.process.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(child.process.canReadLine(), 60000);
    QCOMPARE(child.process.readLine().trimmed(), QByteArray("ready"));
}

// The POSIX record locks process pid holds on file, from /proc/locks, as
// "type start end" (the kernel forgets them all when any descriptor of the
// file in that process is closed).
QStringList recordLocks(qint64 pid, const QString &file)
{
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return {};
    const QString inode = QStringLiteral(":%1").arg(st.st_ino);
    QFile locks("/proc/locks");
    if (!locks.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList held;
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QStringList f = QString::fromLatin1(line).simplified().split(' ');
        // "1: POSIX  ADVISORY  READ 1234 08:01:5678 1073741826 1073742335"
        if (f.size() >= 8 && f.at(1) == "POSIX" && f.at(4) == QString::number(pid) && f.at(5).endsWith(inode))
            held << QStringList{f.at(3), f.at(6), f.at(7)}.join(' ');
    }
    held.sort();
    return held;
}

// The locks the program keeps, without the short ones it takes and drops
// around each read or write (a timer of the running race may be in one at
// the moment of a look, and a write lock may be held for long while the disk
// is busy): the read locks held in every one of several looks.
QStringList keptLocks(qint64 pid, const QString &file)
{
    QStringList kept = recordLocks(pid, file);
    kept.removeIf([](const QString &lock) { return !lock.startsWith(QLatin1String("READ ")); });
    for (int look = 1; look < 8 && !kept.isEmpty(); ++look) {
        QThread::msleep(15);
        const QStringList now = recordLocks(pid, file);
        kept.removeIf([&now](const QString &lock) { return !now.contains(lock); });
    }
    return kept;
}

// Whether another process could take the database for itself (what SQLite
// does to checkpoint and delete the log when it thinks it is the last user).
bool someoneElseCouldTakeIt(const QString &dbFile)
{
    const int fd = ::open(QFile::encodeName(dbFile).constData(), O_RDONLY);
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0x40000002;
    lock.l_len = 510;
    const bool ok = ::fcntl(fd, F_GETLK, &lock) == 0;
    ::close(fd);
    return ok && lock.l_type == F_UNLCK;
}

int lapsOnDisk(const QString &dbFile)
{
    int count = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "outside");
        db.setDatabaseName(dbFile);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec("SELECT count(*) FROM laps") && q.next())
                count = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase("outside");
    return count;
}

} // namespace

class TestDatabaseLocks : public QObject
{
    Q_OBJECT
private slots:
    void fileDialogsLeaveTheLocksInPlace()
    {
        QTemporaryDir dir;
        // With these the results export asks for a file.
        for (const char *name : {"header.html", "bottom.html", "results.csv", "notes.txt"}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<p>x</p>\n");
        }
        Child child;
        startChild(child, dir.path());
        QCOMPARE(child.ask("laps 4"), QByteArray("laps 4"));
        const QString db = dir.filePath("dbpilots.db");
        const QStringList before = keptLocks(child.process.processId(), db);
        const QStringList shmBefore = keptLocks(child.process.processId(), db + "-shm");
        QVERIFY(!before.isEmpty());
        QVERIFY(!shmBefore.isEmpty());

        QCOMPARE(child.ask("dialogs"),
                 QByteArray("dialogs Select,Button10,Button18,Button19,Button16,btsavecsv,btimportcsv,export,open"));
        const QStringList after = keptLocks(child.process.processId(), db);
        QVERIFY2(after == before, qPrintable(before.join(", ") + " before, now " + after.join(", ")));
        const QStringList shmAfter = keptLocks(child.process.processId(), db + "-shm");
        QVERIFY2(shmAfter == shmBefore, qPrintable(shmBefore.join(", ") + " before, now " + shmAfter.join(", ")));
        QVERIFY(!someoneElseCouldTakeIt(db));

        // An outside reader comes and goes; the log stays and holds the laps.
        QCOMPARE(lapsOnDisk(db), 4);
        QVERIFY(QFile::exists(db + "-wal"));
        QCOMPARE(child.ask("laps 6"), QByteArray("laps 10"));
        child.process.kill();
        QVERIFY(child.process.waitForFinished());
        QCOMPARE(lapsOnDisk(db), 10);
    }

    // Even when the locks are gone (something read the files and closed
    // them), the database stays in use: the outside reader neither
    // checkpoints nor deletes the log, and the laps counted after it survive
    // a kill -9.
    void aStrayCloseLosesNothing()
    {
        QTemporaryDir dir;
        Child child;
        startChild(child, dir.path());
        QCOMPARE(child.ask("laps 10"), QByteArray("laps 10"));
        QCOMPARE(child.ask("touch"), QByteArray("touched"));
        const QString db = dir.filePath("dbpilots.db");
        QVERIFY(!someoneElseCouldTakeIt(db));

        QCOMPARE(lapsOnDisk(db), 10);
        QVERIFY(QFile::exists(db + "-wal"));
        QCOMPARE(child.ask("laps 30"), QByteArray("laps 40"));
        ::kill(pid_t(child.process.processId()), SIGKILL);
        QVERIFY(child.process.waitForFinished());
        QCOMPARE(lapsOnDisk(db), 40);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString childFolder = qEnvironmentVariable(kChildVariable);
    if (!childFolder.isEmpty())
        return runChild(childFolder);
    TestDatabaseLocks test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_databaselocks.moc"
