// CSV: the results table written exactly (a name with a comma, a quote and
// Cyrillic), read back, and pilots imported: added, skipped, or a malformed
// file refused without any change.
#include "publish/csvtable.h"
#include "publish/pilotcsvimport.h"
#include "store/database.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;

namespace {

QStringList pilots(QSqlDatabase db)
{
    QStringList out;
    QSqlQuery q(db);
    q.exec("SELECT name, nickname, team, city, login, telegaid, trans FROM pilots ORDER BY id");
    while (q.next()) {
        QStringList fields;
        for (int i = 0; i < 7; ++i)
            fields << q.value(i).toString();
        out << fields.join('|');
    }
    return out;
}

} // namespace

class TestCsv : public QObject
{
    Q_OBJECT
private slots:
    void resultsTableIsExact()
    {
        const QStringList header{"Pilot's name", "Team", "Best Lap"};
        const QList<QStringList> rows{
            {QString::fromUtf8("Иванов, Пётр \"Ас\""), "Team \"Fast\"", "000:28.000"},
            {"Plain", "", "999:59.999"},
            {"Line\nbreak", " lead blank", "a;b"},
        };
        const QByteArray csv = csvTable(header, rows);
        const QByteArray expected = "\xEF\xBB\xBF"
                                    "Pilot's name,Team,Best Lap\r\n"
                                    + QString::fromUtf8("\"Иванов, Пётр \"\"Ас\"\"\"").toUtf8()
                                    + ",\"Team \"\"Fast\"\"\",000:28.000\r\n"
                                      "Plain,,999:59.999\r\n"
                                      "\"Line\nbreak\",\" lead blank\",\"a;b\"\r\n";
        QCOMPARE(csv, expected);

        QList<QStringList> back;
        QString error;
        QVERIFY2(parseCsv(csv, &back, &error), qPrintable(error));
        QCOMPARE(back, QList<QStringList>{header} + rows);
    }

    // Cells a spreadsheet would run as formulas are written as text; numbers and times are
    // values and stay as they are.
    void formulaCells_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("written");
        QTest::newRow("hyperlink") << "=HYPERLINK(\"http://x\",\"y\")" << "'=HYPERLINK(\"http://x\",\"y\")";
        QTest::newRow("at") << "@cmd" << "'@cmd";
        QTest::newRow("minus text") << "-=Ace=-" << "'-=Ace=-";
        QTest::newRow("plus text") << "+7 Team" << "'+7 Team";
        QTest::newRow("sum") << "-2+3" << "'-2+3";
        QTest::newRow("tab") << "\t=1" << "'\t=1";
        QTest::newRow("carriage return") << "\r=1" << "'\r=1";
        QTest::newRow("already an apostrophe") << "'=1" << "''=1";
        QTest::newRow("apostrophe name") << "'Ace" << "'Ace";
        QTest::newRow("plain") << "Ann = Bob" << "Ann = Bob";
        QTest::newRow("negative number") << "-5" << "-5";
        QTest::newRow("signed decimal") << "+1.5e3" << "+1.5e3";
        QTest::newRow("decimal comma") << "-0,25" << "-0,25";
        QTest::newRow("negative lap time") << "-000:01.250" << "-000:01.250";
        QTest::newRow("apostrophe and number") << "'-5" << "''-5";
    }
    void formulaCells()
    {
        QFETCH(QString, cell);
        QFETCH(QString, written);
        QCOMPARE(csvSafeCell(cell), written);
        QCOMPARE(csvPlainCell(written), cell);
        // In the table, as a spreadsheet reads the file.
        QList<QStringList> back;
        QString error;
        QVERIFY(parseCsv(csvTable({"h"}, {{cell}}), &back, &error));
        QCOMPARE(back.value(1).value(0), written);
    }

    // Exported names that looked like formulas import as the same names.
    void formulaNamesImportBack()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.open(dir.filePath("dbpilots.db")));
        const QStringList names{"=HYPERLINK(\"http://x\",\"y\")", "@cmd", "-=Ace=-", "'=1", "+7", "-5"};
        QList<QStringList> rows;
        for (const QString &n : names)
            rows << QStringList{n, "@team", "x@y.org"};
        const PilotImport r = importPilotsCsv(db.db(), csvTable({"Pilot's name", "Team", "E-mail"}, rows));
        QVERIFY2(r.ok, qPrintable(r.error));
        QStringList expected;
        for (const QString &n : names)
            expected << n + "||@team||x@y.org||0";
        QCOMPARE(pilots(db.db()), expected);
    }

    void readingSeparatorsAndLineEnds()
    {
        QList<QStringList> rows;
        QString error;
        // Semicolons, as spreadsheets in some languages save; LF line ends; a blank line.
        QVERIFY(parseCsv("name;team\n\"A; B\";Red\n\nC;\n", &rows, &error));
        QCOMPARE(rows, (QList<QStringList>{{"name", "team"}, {"A; B", "Red"}, {"C", ""}}));
        // No line end after the last row; an empty quoted field.
        QVERIFY(parseCsv("a,b\r\n\"\",x", &rows, &error));
        QCOMPARE(rows, (QList<QStringList>{{"a", "b"}, {"", "x"}}));
    }

    void importAddsAndSkips()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.open(dir.filePath("dbpilots.db")));
        QSqlQuery q(db.db());
        QVERIFY(q.exec("INSERT INTO pilots (name, login, trans) VALUES ('Ann Smith', 'ann@x.org', 7)"));

        const QByteArray file = QString::fromUtf8(
                                    "\xEF\xBB\xBF" "E-mail,Team,Pilot's name,Nick,City,Telegram ID,Copter\r\n"
                                    "a2@x.org,Red,  ann  SMITH ,A,Riga,1,Quad\r\n"
                                    "petr@x.ru,\"Синие, Быстрые\",Пётр Иванов,Petya,Москва,@petr,Quad\r\n"
                                    ",,Carl,,,,\r\n"
                                    ",,carl,,,,\r\n"
                                    ",Solo,,,,,\r\n")
                                    .toUtf8();
        const PilotImport r = importPilotsCsv(db.db(), file);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.added, 2);
        QCOMPARE(r.skipped, 3);
        QCOMPARE(r.summary(), QStringLiteral("2 added, 3 skipped"));
        const QStringList all = pilots(db.db());
        QCOMPARE(all.size(), 3);
        QCOMPARE(all.at(0), QStringLiteral("Ann Smith||||ann@x.org||7"));
        QCOMPARE(all.at(1), QString::fromUtf8("Пётр Иванов|Petya|Синие, Быстрые|Москва|petr@x.ru|@petr|0"));
        QVERIFY(QRegularExpression("^Carl\\|\\|\\|\\|pilot\\d+@.+\\|\\|0$").match(all.at(2)).hasMatch());

        // The same file again adds nothing.
        const PilotImport again = importPilotsCsv(db.db(), file);
        QVERIFY(again.ok);
        QCOMPARE(again.summary(), QStringLiteral("0 added, 5 skipped"));
    }

    void malformedFileChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error");
        QTest::newRow("quote left open") << QByteArray("name,team\nNew One,Red\n\"Open,Red\n") << "Line 3";
        QTest::newRow("text after quote") << QByteArray("name,team\n\"New\"One,Red\n") << "Line 2";
        QTest::newRow("not utf-8") << QByteArray("name\n\xcf\xe5\xf2\xf0\n") << "not UTF-8";
        QTest::newRow("no name column") << QByteArray("nick,team\nNew,Red\n") << "no \"name\" column";
        QTest::newRow("two name columns") << QByteArray("name,FIO\nNew,Old\n") << "both name";
        QTest::newRow("row too long") << QByteArray("name,team\nNew One,Red\nOther,Blue,Extra\n") << "Row 3";
        QTest::newRow("empty") << QByteArray("") << "empty";
    }

    void malformedFileChangesNothing()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.open(dir.filePath("dbpilots.db")));
        QSqlQuery q(db.db());
        QVERIFY(q.exec("INSERT INTO pilots (name) VALUES ('Ann')"));
        const PilotImport r = importPilotsCsv(db.db(), file);
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains(error, Qt::CaseInsensitive), qPrintable(r.error));
        QCOMPARE(pilots(db.db()), QStringList{"Ann||||||0"});
    }
};

QTEST_GUILESS_MAIN(TestCsv)
#include "tst_csv.moc"
