// The operator log: pane lines, the "log.txt" file and its switch.
#include "core/clock.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "tests/common/logcapture.h"
#include "tests/common/testfiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::readFile;

class TestOperatorLog : public QObject
{
    Q_OBJECT
private slots:
    void createsAppendsNeverTruncates()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("log.txt");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier run\r\n");
        }
        Settings settings;
        OperatorLog log(settings, dir.path());
        test::LogCapture pane(log);
        log.savelog("===");
        log.savelog(QString::fromUtf8("Пилот finished"));
        QCOMPARE(pane.lines, QStringList({"===", QString::fromUtf8("Пилот finished")}));
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 4); // three lines and the empty rest after the last line end
        QCOMPARE(lines[0], QByteArray("earlier run\r"));
        QVERIFY(lines[1].endsWith(": ===\r"));
        QVERIFY(lines[2].endsWith(QString::fromUtf8(": Пилот finished\r").toUtf8()));
        // date, blank, time, colon, blank, message
        const QString stamp = QString::fromUtf8(lines[1]).chopped(QStringLiteral(": ===\r").size());
        QVERIFY2(QRegularExpression("^.+ \\d{1,2}:\\d\\d:\\d\\d$").match(stamp).hasMatch(), qPrintable(stamp));
    }

    // Bytes from a noisy line are shown escaped, in the pane and the file.
    void controlCharactersEscaped()
    {
        QTemporaryDir dir;
        Settings settings;
        OperatorLog log(settings, dir.path());
        test::LogCapture pane(log);
        log.savelog(QString::fromLatin1("from Chorus :S1\x17\x00Z\x7F", 19));
        log.savelog(QString::fromUtf8("vstime packet:\r\n #:7 Пилот \u200B\U0001F600"));
        QCOMPARE(pane.lines.at(0), QStringLiteral("from Chorus :S1\\x17\\x00Z\\x7F"));
        QCOMPARE(pane.lines.at(1), QString::fromUtf8("vstime packet:\r\n #:7 Пилот \\u200B\U0001F600"));
        const QByteArray file = readFile(dir.filePath("log.txt"));
        QVERIFY(file.contains("from Chorus :S1\\x17\\x00Z\\x7F\r\n"));
        for (const char c : file)
            QVERIFY(uchar(c) >= 0x20 || c == '\r' || c == '\n');
    }

    // A flood of one kind of line: 30 in 10 s, then one summary line for the
    // rest; other kinds are not held back, and the next 10 s start afresh.
    void repeatsSummarised()
    {
        QTemporaryDir dir;
        Settings settings;
        OperatorLog log(settings, dir.path());
        ManualClock clock(1000000);
        log.setClock(clock);
        test::LogCapture pane(log);
        for (int i = 0; i < 1000; ++i) {
            log.savelog(QStringLiteral("from Chorus :junk%1 \x01").arg(i * 7919));
            log.savelog(QStringLiteral("some shit in buffer"));
            if (i == 500)
                log.savelog(QStringLiteral("Ann finished"));
            clock.advance(9);
        }
        QCOMPARE(pane.lines.count(QStringLiteral("some shit in buffer")), 30);
        QCOMPARE(pane.lines.filter(QStringLiteral("from Chorus :")).size(), 30);
        QVERIFY(pane.lines.contains(QStringLiteral("Ann finished")));
        QCOMPARE(pane.lines.size(), 61);
        clock.advance(1000); // 10 s since the first line
        log.flushRepeats();
        QCOMPARE(pane.lines.size(), 63);
        QVERIFY(pane.lines.contains(QStringLiteral("... 970 more like this in the last 10 s (some shit in buffer)")));
        QVERIFY2(pane.lines.filter(QStringLiteral("... 970 more like this in the last 10 s (from Chorus :junk")).size() == 1,
                 qPrintable(pane.lines.join('\n')));
        log.savelog(QStringLiteral("some shit in buffer"));
        QCOMPARE(pane.lines.last(), QStringLiteral("some shit in buffer"));
        // The file holds what the pane showed.
        QCOMPARE(readFile(dir.filePath("log.txt")).count("\r\n"), 64);
        // Lines of different pilots and passes are not one kind.
        QVERIFY(OperatorLog::kindOf(QStringLiteral("vstime packet:\r\n #:7")) != OperatorLog::kindOf(QStringLiteral("racems - 15500")));
        QCOMPARE(OperatorLog::kindOf(QStringLiteral("racems - 15500")), OperatorLog::kindOf(QStringLiteral("racems - 7")));
    }

    void missingFileIsCreated()
    {
        QTemporaryDir dir;
        Settings settings;
        OperatorLog log(settings, dir.path());
        QVERIFY(!QFile::exists(dir.filePath("log.txt")));
        log.savelog("hello");
        QVERIFY(readFile(dir.filePath("log.txt")).endsWith(": hello\r\n"));
    }

    void fileSwitchOffWritesNothing()
    {
        QTemporaryDir dir;
        Settings settings;
        OperatorLog log(settings, dir.path());
        settings.set("chsavelogfile", false);
        log.savelog("not saved");
        QVERIFY(!QFile::exists(dir.filePath("log.txt")));
        settings.set("chsavelogfile", true);
        log.savelog("saved");
        const QByteArray file = readFile(dir.filePath("log.txt"));
        QVERIFY(!file.contains("not saved"));
        QVERIFY(file.contains(": saved\r\n"));
    }

    void unwritableFileKeepsPaneLineAndTellsOnce()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("log.txt")); // a folder in the file's place
        Settings settings;
        OperatorLog log(settings, dir.path());
        test::LogCapture pane(log);
        QSignalSpy failed(&log, &OperatorLog::fileWriteFailed);
        log.savelog("first");
        log.savelog("second");
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), dir.filePath("log.txt"));
        QCOMPARE(pane.lines.size(), 3);
        QCOMPARE(pane.lines[0], QStringLiteral("first"));
        QVERIFY(pane.lines[1].startsWith("Cannot write the log file"));
        QCOMPARE(pane.lines[2], QStringLiteral("second"));
    }
};

QTEST_GUILESS_MAIN(TestOperatorLog)
#include "tst_operatorlog.moc"
