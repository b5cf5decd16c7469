// Start-up decisions made before any window exists: the command line, the
// program folder rule and the first window size.
#include "app/startoptions.h"
#include "app/version.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using namespace lapvane;

class TestStartOptions : public QObject
{
    Q_OBJECT
private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("home");
        QTest::addColumn<bool>("demo");
        QTest::newRow("none") << QStringList{} << true << QString() << false;
        QTest::newRow("home") << QStringList{"--home", "/data/cup"} << true << "/data/cup" << false;
        QTest::newRow("home=") << QStringList{"--home=/data/cup"} << true << "/data/cup" << false;
        QTest::newRow("demo") << QStringList{"--demo"} << true << QString() << true;
        QTest::newRow("demo in a folder") << QStringList{"--demo", "--home", "d"} << true << "d" << true;
        QTest::newRow("unknown option") << QStringList{"--bogus"} << false << QString() << false;
        QTest::newRow("home without folder") << QStringList{"--home"} << false << QString() << false;
        QTest::newRow("empty home") << QStringList{"--home", ""} << false << QString() << false;
        QTest::newRow("stray argument") << QStringList{"data"} << false << QString() << false;
        // Qt's own options are its application object's business.
        QTest::newRow("Qt's options") << QStringList{"-platform", "offscreen", "--home", "d", "-style=fusion",
                                                     "-reverse", "--stylesheet", "s.qss"}
                                      << true << "d" << false;
        QTest::newRow("Qt's options do not take --home's value")
            << QStringList{"-platform", "offscreen", "--home"} << false << QString() << false;
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, ok);
        StartOptions options;
        QString error;
        QCOMPARE(parseStartOptions(QStringList{"lapvaneadmin"} + args, &options, &error), ok);
        QCOMPARE(error.isEmpty(), ok);
        if (ok) {
            QTEST(options.home, "home");
            QTEST(options.demo, "demo");
        }
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("request");
        QTest::newRow("--version") << QStringList{"--version"} << "version";
        QTest::newRow("-v") << QStringList{"-v"} << "version";
        QTest::newRow("--help") << QStringList{"--help"} << "help";
        QTest::newRow("-h after --home") << QStringList{"--home", "x", "-h"} << "help";
        QTest::newRow("folder named --help") << QStringList{"--home", "--help"} << QString();
        QTest::newRow("after --") << QStringList{"--", "--version"} << QString();
        QTest::newRow("none") << QStringList{"--demo"} << QString();
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, args);
        QTEST(infoRequest(QStringList{"lapvaneadmin"} + args), "request");
    }

    void versionIsTheProjectVersion()
    {
        QCOMPARE(programVersion(), QStringLiteral(LAPVANE_EXPECTED_VERSION));
        QCOMPARE(versionText(), QStringLiteral("Lapvane Admin " LAPVANE_EXPECTED_VERSION "\n"));
        for (const char *option : {"--home DIR", "--demo", "--help", "--version"})
            QVERIFY2(helpText().contains(QLatin1String(option)), option);
    }

    // The three cases of the program folder, and the ways they can fail.
    void programFolder()
    {
        QTemporaryDir tmp;
        const QString exe = tmp.filePath("portable");
        const QString user = tmp.filePath("user");
        QVERIFY(QDir().mkpath(exe));
        QVERIFY(QDir().mkpath(user));
        const auto writable = [](const QString &) { return true; };
        const auto readOnly = [](const QString &) { return false; };
        const QString data = QDir(user).filePath("LapvaneAdmin");

        // A writable folder of the program (build folder, USB stick) keeps the data.
        FolderChoice c = chooseProgramFolder({}, exe, user, writable);
        QCOMPARE(c.folder, exe);
        QVERIFY(c.note.isEmpty());
        QVERIFY(!QFileInfo::exists(data));

        // A read-only one: ~/LapvaneAdmin, made on the first start and said so.
        c = chooseProgramFolder({}, exe, user, readOnly);
        QCOMPARE(c.folder, data);
        QVERIFY(QFileInfo(data).isDir());
        QVERIFY2(c.note.contains(data) && c.note.contains("created now") && c.note.contains(exe), qPrintable(c.note));
        // The next start finds it.
        c = chooseProgramFolder({}, exe, user, readOnly);
        QCOMPARE(c.folder, data);
        QVERIFY2(c.note.contains("kept from earlier runs"), qPrintable(c.note));

        // Installed among the system's programs: never there, even for root.
        c = chooseProgramFolder({}, "/usr/bin", user, writable);
        QCOMPARE(c.folder, data);

        // --home wins in every case, and is made when missing.
        const QString home = tmp.filePath("cup/2026");
        for (const auto &probe : {std::function<bool(const QString &)>(writable), std::function<bool(const QString &)>(readOnly)}) {
            c = chooseProgramFolder(home, exe, user, probe);
            QCOMPARE(c.folder, home);
            QVERIFY(c.note.isEmpty());
            QVERIFY(QFileInfo(home).isDir());
        }

        // Failures name the folder.
        c = chooseProgramFolder({}, "/usr/bin", QString(), writable);
        QVERIFY(c.folder.isEmpty());
        QVERIFY2(c.error.contains("--home"), qPrintable(c.error));
        QFile blocker(tmp.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        c = chooseProgramFolder(tmp.filePath("file/sub"), exe, user, writable);
        QVERIFY(c.folder.isEmpty());
        QVERIFY2(c.error.contains(tmp.filePath("file/sub")), qPrintable(c.error));
        c = chooseProgramFolder({}, exe, tmp.filePath("file"), readOnly);
        QVERIFY(c.folder.isEmpty());
        QVERIFY(!c.error.isEmpty());
    }

    void writeProbe()
    {
        QTemporaryDir tmp;
        QVERIFY(canWriteFolder(tmp.path()));
        QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(!canWriteFolder("/proc")); // not even root makes files there
        QVERIFY(!canWriteFolder(tmp.filePath("missing")));
        if (::geteuid() != 0) {
            QVERIFY(QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::ExeOwner));
            QVERIFY(!canWriteFolder(tmp.path()));
            QVERIFY(QFile::setPermissions(tmp.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        QVERIFY(isSystemFolder("/usr/bin"));
        QVERIFY(isSystemFolder("/usr/local/bin"));
        QVERIFY(isSystemFolder("/bin"));
        QVERIFY(!isSystemFolder("/usrdata/bin"));
        QVERIFY(!isSystemFolder(tmp.path()));
    }

    void firstStartSize_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("full HD") << QRect(0, 0, 1920, 1040) << QSize(1280, 800);
        QTest::newRow("second screen") << QRect(1920, 0, 2560, 1400) << QSize(1280, 800);
        QTest::newRow("small laptop") << QRect(0, 27, 1366, 741) << QSize(1280, 701);
        QTest::newRow("netbook") << QRect(0, 0, 1024, 600) << QSize(1008, 560);
    }
    void firstStartSize()
    {
        QFETCH(QRect, available);
        QFETCH(QSize, expected);
        const QRect g = firstStartGeometry(available, QSize(600, 400));
        QCOMPARE(g.size(), expected);
        // The window and its frame stay inside the available area, centred.
        QVERIFY(available.contains(g.adjusted(-8, -32, 8, 8)));
        QVERIFY(qAbs((g.left() - available.left()) - (available.right() - g.right())) <= 1);
    }

    void firstStartSizeNeverUnderTheMinimum()
    {
        const QRect g = firstStartGeometry(QRect(0, 0, 640, 400), QSize(600, 400));
        QCOMPARE(g.size(), QSize(624, 400));
        QVERIFY(g.top() >= 0);
    }
};

QTEST_GUILESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"
