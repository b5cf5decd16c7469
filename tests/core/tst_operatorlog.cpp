// The operator log: pane lines, the "log.txt" file and its switch.
#include "core/operatorlog.h"
#include "core/settings.h"
#include "tests/common/logcapture.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

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
