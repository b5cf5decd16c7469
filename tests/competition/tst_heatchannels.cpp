// Channels of a heat: own channels kept where free, clashes given a free
// channel of the set in seed order, a set that runs out, pilots without a
// channel, and the sentences that name pilots sharing a channel.
#include "competition/heatchannels.h"

#include <QtTest>

using namespace lapvane;

namespace {

// "Anna=R6" is a pilot with his own channel, "Anna=" one without, and a
// leading "*" marks a pilot already in the race list.
QList<HeatPilot> heat(const QStringList &pilots)
{
    QList<HeatPilot> out;
    for (QString s : pilots) {
        HeatPilot p;
        p.fixed = s.startsWith('*');
        if (p.fixed)
            s.remove(0, 1);
        p.name = s.section('=', 0, 0);
        p.channel = s.section('=', 1);
        out << p;
    }
    return out;
}

} // namespace

class TestHeatChannels : public QObject
{
    Q_OBJECT
private slots:
    void assign_data()
    {
        QTest::addColumn<QStringList>("pilots");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QStringList>("channels");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("unresolved");
        const QString eight = "R1 R2 R3 R4 R5 R6 R7 R8";

        QTest::newRow("distinct channels stay") << QStringList{"Anna=R6", "Boris=R1", "Clara=F4"} << eight
                                                << QStringList{"R6", "R1", "F4"} << QStringList{} << 0;
        QTest::newRow("the earlier pilot keeps a shared channel")
            << QStringList{"Anna=R6", "Boris=R6"} << eight << QStringList{"R6", "R1"}
            << QStringList{"Channel: Boris flies on R1 instead of R6 (R6 is Anna's)."} << 0;
        // R2 is Clara's own channel: Boris is given R3, not R2, though Clara comes after him.
        QTest::newRow("a clash never takes a later pilot's own channel")
            << QStringList{"Anna=R1", "Boris=R1", "Clara=R2"} << "R1 R2 R3" << QStringList{"R1", "R3", "R2"}
            << QStringList{"Channel: Boris flies on R3 instead of R1 (R1 is Anna's)."} << 0;
        QTest::newRow("three on one channel, the other set")
            << QStringList{"Anna=R1", "Boris=R1", "Clara=R1"} << "R1 R2 F2 F4 R7 R8"
            << QStringList{"R1", "R2", "F2"}
            << QStringList{"Channel: Boris flies on R2 instead of R1 (R1 is Anna's).",
                           "Channel: Clara flies on F2 instead of R1 (R1 is Anna's)."}
            << 0;
        QTest::newRow("set exhausted: the clash is left and said")
            << QStringList{"Anna=R1", "Boris=R1", "Clara=R2"} << "R1 R2" << QStringList{"R1", "R1", "R2"}
            << QStringList{"Channel: no free channel for Boris (every channel of the set R1 R2 is taken): "
                           "Anna "
                           "and Boris are both on R1."}
            << 1;
        QTest::newRow("empty set") << QStringList{"Anna=R1", "Boris=R1"} << "" << QStringList{"R1", "R1"}
                                   << QStringList{"Channel: no free channel for Boris (the channel set is "
                                                  "empty): Anna and Boris are "
                                                  "both on R1."}
                                   << 1;
        QTest::newRow("a pilot without a channel is given one")
            << QStringList{"Anna=R1", "Boris=", "Clara=R2"} << eight << QStringList{"R1", "R3", "R2"}
            << QStringList{"Channel: Boris flies on R3 (no channel of his own given)."} << 0;
        QTest::newRow("without a channel, set exhausted")
            << QStringList{"Anna=R1", "Boris="} << "R1" << QStringList{"R1", ""}
            << QStringList{"Channel: no free channel for Boris, who has none of his own (every channel of "
                           "the "
                           "set R1 is taken)."}
            << 1;
        QTest::newRow("no pilot has a channel: left alone")
            << QStringList{"Anna=", "Boris= "} << eight << QStringList{"", ""} << QStringList{} << 0;
        // A channel outside the set is still the pilot's own; case and blanks do not make channels differ.
        QTest::newRow("own channel outside the set, compared without case")
            << QStringList{"Anna=E4", "Boris= e4 ", "Clara=R1"} << eight << QStringList{"E4", "R2", "R1"}
            << QStringList{"Channel: Boris flies on R2 instead of e4 (e4 is Anna's)."} << 0;
        // Pilots already in the race list keep theirs, even a clash among them;
        // a newcomer is the one who moves, even listed before them.
        QTest::newRow("pilots in the race list keep their channels")
            << QStringList{"Clara=R2", "*Anna=R2", "*Boris=R2"} << "R1 R2 R3" << QStringList{"R1", "R2", "R2"}
            << QStringList{"Channel: Clara flies on R1 instead of R2 (R2 is Anna's)."} << 0;
    }

    void assign()
    {
        QFETCH(QStringList, pilots);
        QFETCH(QString, set);
        const HeatChannels got = assignHeatChannels(heat(pilots), parseChannelSet(set));
        QTEST(got.channels, "channels");
        QTEST(got.lines(), "lines");
        QTEST(got.unresolved, "unresolved");
        QCOMPARE(got.notes.size(), pilots.size());
    }

    void channelSetText()
    {
        QCOMPARE(parseChannelSet(" R1, R2;F2\tr1  F4 "), QStringList({"R1", "R2", "F2", "F4"}));
        QVERIFY(parseChannelSet(" ,; ").isEmpty());
    }

    void sharedChannels()
    {
        QCOMPARE(sharedChannelLines(heat({"Anna=R6", "Clara=R1", "Boris=r6 ", "Denis=R1", "Elena=R1",
                                          "Felix=", "Galina=", "Hugo=R8"})),
                 QStringList({"Anna and Boris are both on R6.", "Clara, Denis and Elena are all on R1."}));
        QVERIFY(sharedChannelLines(heat({"Anna=R6", "Boris=R1"})).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHeatChannels)
#include "tst_heatchannels.moc"
