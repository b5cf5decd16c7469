// The pilot registry: the search filter (never SQL from the typed text),
// photo and name-file presence, adding and deleting pilots.
#include "events/pilotregistry.h"
#include "tests/events/eventsfixture.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

QStringList shownNames(PilotRegistry &r)
{
    QStringList names;
    for (int i = 0; i < r.visibleCount(); ++i)
        names << r.pilotAt(i)->name;
    return names;
}

} // namespace

class TestPilotRegistry : public QObject
{
    Q_OBJECT
private slots:
    void search_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QStringList everyone = {"Ann", "Joanna", "Hanna", "Bob", "O'Brien", "100%", "Fox_1"};
        QTest::newRow("ann in names") << "name" << "ann" << QStringList{"Ann", "Joanna", "Hanna"};
        QTest::newRow("a quote") << "name" << "'" << QStringList{"O'Brien"};
        QTest::newRow("O'Brien") << "name" << "O'Brien" << QStringList{"O'Brien"};
        QTest::newRow("injection attempt") << "name" << "%') OR 1=1 --" << QStringList{};
        QTest::newRow("percent is a letter") << "name" << "%" << QStringList{"100%"};
        QTest::newRow("underscore is a letter") << "name" << "_" << QStringList{"Fox_1"};
        QTest::newRow("empty text shows all") << "name" << "" << everyone;
        QTest::newRow("team") << "team" << "red" << QStringList{"Ann", "Bob"};
        QTest::newRow("unknown field shows all") << "nosuchfield" << "ann" << everyone;
    }
    void search()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        EventsFixture f;
        f.addPilot("Ann", 1, "Red");
        f.addPilot("Joanna", 2, "Blue");
        f.addPilot("Hanna", 3);
        f.addPilot("Bob", 4, "Red Devils");
        f.addPilot("O'Brien", 5);
        f.addPilot("100%", 6);
        f.addPilot("Fox_1", 7);
        PilotRegistry reg(f.db.db(), f.dir.path(), f.prompt);
        QVERIFY(reg.open());
        QSignalSpy counted(&reg, &PilotRegistry::visibleCountChanged);
        QCOMPARE(reg.edtsearchtextChange(text, field), field != "nosuchfield");
        QCOMPARE(shownNames(reg), expected);
        QVERIFY(f.prompt.notices.isEmpty()); // never a store error
        if (!text.isEmpty() && field != "nosuchfield")
            QCOMPARE(counted.last().first().toInt(), expected.size());
        reg.edtsearchtextClick();
        QCOMPARE(reg.visibleCount(), 7);
    }

    void fieldChoiceTakesEffectWithNextText()
    {
        EventsFixture f;
        f.addPilot("Ann", 1, "Zed");
        f.addPilot("Zoe", 2, "Annex");
        PilotRegistry reg(f.db.db(), f.dir.path(), f.prompt);
        QVERIFY(reg.open());
        QVERIFY(reg.edtsearchtextChange("an", "name"));
        QCOMPARE(shownNames(reg), QStringList{"Ann"});
        // The window passes cbb1's text at each change; only a change re-filters.
        QVERIFY(reg.edtsearchtextChange("ann", "team"));
        QCOMPARE(shownNames(reg), QStringList{"Zoe"});
    }

    void photoAndNamePresence()
    {
        EventsFixture f;
        const int ann = f.addPilot("Ann");
        const int bob = f.addPilot("Bob");
        QDir(f.dir.path()).mkpath("photos");
        QDir(f.dir.path()).mkpath("wavpilots");
        QFile(f.dir.filePath(QString("photos/%1.jpg").arg(ann))).open(QIODevice::WriteOnly);
        QFile(f.dir.filePath(QString("wavpilots/%1.wav").arg(bob))).open(QIODevice::WriteOnly);
        PilotRegistry reg(f.db.db(), f.dir.path(), f.prompt);
        QVERIFY(reg.open());
        reg.setCurrentViewRow(0);
        QVERIFY(reg.currentHasPhoto());
        QVERIFY(!reg.currentHasNameSound());
        QCOMPARE(reg.pilotshowphotoExecute(), f.dir.filePath(QString("photos/%1.jpg").arg(ann)));
        reg.setCurrentViewRow(1);
        QVERIFY(!reg.currentHasPhoto());
        QVERIFY(reg.currentHasNameSound());
        QCOMPARE(reg.nameSoundPath(bob), f.dir.filePath(QString("wavpilots/%1.wav").arg(bob)));
    }

    void addNewGivesEmptyPilotsWithLogins()
    {
        EventsFixture f;
        PilotRegistry reg(f.db.db(), f.dir.path(), f.prompt);
        QVERIFY(reg.open());
        const int a = reg.pilotsaddnewExecute();
        const int b = reg.pilotsaddnewExecute();
        QVERIFY(a > 0 && b > a);
        QCOMPARE(reg.visibleCount(), 2);
        QCOMPARE(reg.currentPilot()->id, b);
        const auto rows = f.rows("SELECT * FROM pilots ORDER BY id");
        const QRegularExpression login("^pilot\\d{1,4}@" + QRegularExpression::escape(PilotRegistry::placeholderMailDomain()) + "$");
        for (const auto &r : rows) {
            QVERIFY2(login.match(r["login"].toString()).hasMatch(), qPrintable(r["login"].toString()));
            QVERIFY(r["name"].isNull());
            QCOMPARE(r["trans"].toInt(), 0);
        }
    }

    void deleteAsksAndKeepsRaceRows()
    {
        EventsFixture f;
        const int ann = f.addPilot("Ann");
        f.addPilot("Bob");
        f.addPilot("Cid");
        f.addRaceRow(ann, "Ann", 11);
        f.addResult(1, ann, "Ann", 11);
        PilotRegistry reg(f.db.db(), f.dir.path(), f.prompt);
        QVERIFY(reg.open());
        reg.setCurrentViewRow(0);
        f.prompt.answers = {false, true};
        QVERIFY(!reg.pilotsdeleteExecute());
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete pilot \"Ann\"?"));
        QVERIFY(reg.pilotsdeleteExecute());
        QCOMPARE(shownNames(reg), (QStringList{"Bob", "Cid"}));
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM onerace WHERE pilotid=?", {ann}).toInt(), 1);
        QCOMPARE(f.scalar("SELECT COUNT(*) FROM results WHERE pilotid=?", {ann}).toInt(), 1);

        // Several selected through the filter: view rows map to the right pilots.
        f.addPilot("Cyd");
        QVERIFY(reg.reread());
        reg.edtsearchtextChange("c", "name");
        reg.selection()->select(reg.view()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        reg.selection()->select(reg.view()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        f.prompt.answers = {true};
        QVERIFY(reg.pilotsdeleteExecute());
        QCOMPARE(f.prompt.questions.last(), QString("Are you sure to delete 2 records?"));
        reg.edtsearchtextClick();
        QCOMPARE(shownNames(reg), QStringList{"Bob"});
    }
};

QTEST_MAIN(TestPilotRegistry)
#include "tst_pilotregistry.moc"
