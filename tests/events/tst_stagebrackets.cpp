// "Make Bracket..." from the Events page: what the operator is offered (the
// standing, the event's other stages, the next ones first), the bracket made
// and shown, the question before a bracket is made again, and the refusals
// and failures that leave the stages as they were.
#include "events/stagebrackets.h"
#include "tests/events/eventsfixture.h"

#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

// Event "Cup": stages Practice, Qualifying (five pilots, P1 fastest) and
// Finals; Qualifying is shown.
struct Cup
{
    Cup()
    {
        const int ev = f.addEvent("Cup");
        practice = f.addStage(ev, "Practice");
        qualifying = f.addStage(ev, "Qualifying");
        finals = f.addStage(ev, "Finals");
        for (int i = 1; i <= 5; ++i)
            f.addResult(qualifying, i, QString("P%1").arg(i), 100 + i, QString(),
                        {{"qualtime", 60000 + 1000 * i}, {"qualtimetxt", QString("01:0%1.000").arg(i)}});
        f.showStage(qualifying);
    }

    // Makes a bracket with the given choice; the choices offered are kept.
    bool make(int toStage, BracketSetup setup, const QString &newName = QString())
    {
        StageBrackets brackets(*f.views, [&](const BracketChoices &c, BracketRequest *request) {
            offered = c;
            fromStage = request->fromStage;
            request->toStage = toStage;
            request->newStageName = newName;
            request->setup = setup;
            return true;
        });
        return brackets.makeBracketExecute();
    }

    QString kindOf(int stage)
    {
        return f.scalar("SELECT kind FROM stagebracket WHERE stage=?", {stage}).toString();
    }

    EventsFixture f;
    int practice = 0, qualifying = 0, finals = 0;
    BracketChoices offered;
    int fromStage = 0;
};

} // namespace

class TestStageBrackets : public QObject
{
    Q_OBJECT
private slots:
    void madeIntoANewStageAndShown()
    {
        Cup cup;
        QVERIFY(cup.make(0, {BracketKind::Mains, 4, 0}, "A and B mains"));
        // Offered: the standing with what placed each pilot, the stages after
        // the seeding one first.
        QCOMPARE(cup.fromStage, cup.qualifying);
        QCOMPARE(cup.offered.fromName, QString("Qualifying"));
        QStringList standing;
        for (const SeedRow &r : cup.offered.seeding)
            standing << r.name + " " + r.deciding;
        QCOMPARE(standing.first(), QString("P1 qual 01:01.000"));
        QCOMPARE(standing.size(), 5);
        QStringList stages;
        for (const BracketStageChoice &s : cup.offered.stages)
            stages << QString("%1 %2").arg(s.id).arg(s.name);
        QCOMPARE(stages, (QStringList{QString("%1 Finals").arg(cup.finals),
                                      QString("%1 Practice").arg(cup.practice)}));

        // What was made is in the log, and the new stage is shown with its groups.
        QVERIFY(cup.f.logLines->lines.filter("Stage \"A and B mains\" is now a mains of 5 pilots").size() ==
                1);
        QCOMPARE(cup.f.views->currentStageName(), QString("A and B mains"));
        QCOMPARE(cup.f.column("pilotname").size(), 5);
        QVERIFY(!cup.f.column("group").contains(QString()));
        QVERIFY(cup.f.prompt.notices.isEmpty());
    }

    void madeAgainOnlyAfterTheQuestion()
    {
        Cup cup;
        QVERIFY(cup.make(cup.finals, {BracketKind::Mains, 4, 0}));
        // Finals was no bracket: nobody was asked.
        QVERIFY(cup.f.prompt.questions.isEmpty());
        QCOMPARE(cup.kindOf(cup.finals), QString("mains"));

        cup.f.showStage(cup.qualifying);
        cup.f.prompt.answers = {false, true};
        QVERIFY(!cup.make(cup.finals, {BracketKind::SingleElimination, 6, 0}));
        QCOMPARE(
            cup.f.prompt.questions,
            QStringList{"Stage \"Finals\" is a bracket already. Make it again and forget its heat results?"});
        QCOMPARE(cup.kindOf(cup.finals), QString("mains"));
        QCOMPARE(cup.f.views->currentStageName(), QString("Qualifying"));

        QVERIFY(cup.make(cup.finals, {BracketKind::SingleElimination, 6, 0}));
        QCOMPARE(cup.kindOf(cup.finals), QString("single"));
        QCOMPARE(cup.f.views->currentStageName(), QString("Finals"));
    }

    // Nothing is made, and the operator hears why (or chose so).
    void nothingMade_data()
    {
        QTest::addColumn<QString>("when");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<bool>("offered");
        QTest::newRow("no stage") << "no stage"
                                  << "Choose the stage whose standing seeds the bracket." << false;
        QTest::newRow("locked") << "locked"
                                << "The stage is locked. Untick \"lock stage\" first." << false;
        QTest::newRow("cancelled") << "cancelled" << QString() << true;
        QTest::newRow("refused") << "refused"
                                 << "No bracket was made: A stage cannot be seeded from its own standing."
                                 << true;
    }
    void nothingMade()
    {
        QFETCH(QString, when);
        QFETCH(QString, notice);
        QFETCH(bool, offered);
        Cup cup;
        if (when == "no stage")
            cup.f.views->stagesSelection()->clearCurrentIndex();
        if (when == "locked")
            cup.f.views->setLocked(true);
        bool asked = false;
        StageBrackets brackets(*cup.f.views, [&](const BracketChoices &, BracketRequest *request) {
            asked = true;
            request->toStage = cup.qualifying; // refused by the bracket making
            return when != "cancelled";
        });
        const int stagesBefore = cup.f.scalar("SELECT COUNT(*) FROM stages").toInt();
        QVERIFY(!brackets.makeBracketExecute());
        QCOMPARE(asked, offered);
        QCOMPARE(cup.f.prompt.notices, notice.isEmpty() ? QStringList() : QStringList{notice});
        // A failure is kept in the log as well.
        QCOMPARE(cup.f.logLines->lines.filter("No bracket was made").size(), when == "refused" ? 1 : 0);
        QCOMPARE(cup.f.scalar("SELECT COUNT(*) FROM stages").toInt(), stagesBefore);
        QVERIFY(!cup.f.db.db().tables().contains("stagebracket"));
    }
};

QTEST_GUILESS_MAIN(TestStageBrackets)
#include "tst_stagebrackets.moc"
