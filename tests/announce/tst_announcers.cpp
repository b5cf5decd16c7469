// The two speaking threads with real espeak-ng speech on a recording output:
// the lap announcer fed by the race's announcement ring, and the voice
// invitation with its countdown on a hand-moved clock.
#include "announce/announcer.h"
#include "announce/espeakengine.h"
#include "tests/announce/fakesound.h"
#include "tests/race/racefixture.h"

#include <QSignalSpy>
#include <QTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

const QString kFinal = QString::fromUtf8("Время окончено. Приготовьтесь к старту.");

// What the engine is given for a lap: the number in words.
QString lap(const char *name, int n)
{
    return LapAnnouncer::lapSpeech(QString::fromUtf8(name), n);
}

QString countdown(int seconds)
{
    return QString::fromUtf8("До старта ") + QString::number(seconds) + QString::fromUtf8("  секунд. ");
}

// A race list, real speech and an announcer; holdAfterMs stops the
// invitation's clock there until the test stops it.
struct Speaking
{
    explicit Speaking(qint64 holdAfterMs = -1)
        : engine(output),
          announcer(f.settings, *f.log, engine, f.engine->ring(), f.dbPath,
                    [holdAfterMs] { return std::make_unique<FakeCountdownClock>(holdAfterMs); })
    {
        // The calls in Russian, as an existing settings file has them.
        f.settings.set("cbpageslanguage", "ru");
        QObject::connect(f.engine.get(), &RaceEngine::lapsChanged, &announcer, &Announcer::lapWritten);
        QObject::connect(&announcer, &Announcer::countdownChanged, &announcer,
                         [this](int s) { shown << s; });
        QObject::connect(&announcer, &Announcer::inviteEnabledChanged, &announcer,
                         [this](bool on) { inviteEnabled << on; });
    }
    ~Speaking() { announcer.shutdown(); }

    void switchOn()
    {
        f.settings.set("chksoundnames", false);
        f.settings.set("chksoundnames", true);
        f.lines->lines.clear();
    }

    RaceFixture f;
    FakeSoundOutput output;
    EspeakEngine engine;
    Announcer announcer;
    QList<int> shown;
    QList<bool> inviteEnabled;
};

QList<int> range(int from, int to)
{
    QList<int> r;
    for (int i = from; i >= to; --i)
        r << i;
    return r;
}

} // namespace

class TestAnnouncers : public QObject
{
    Q_OBJECT
private slots:
    void threeQuickLapsOneAfterTheOther()
    {
        Speaking s;
        s.f.addPilot(1, QString::fromUtf8("Анна"), 100);
        s.f.addPilot(2, QString::fromUtf8("Борис"), 200);
        s.f.addPilot(3, QString::fromUtf8("Вера"), 300);
        s.switchOn();
        QVERIFY(s.f.start());
        s.f.pass(100, 30000);
        s.f.pass(200, 30400);
        s.f.pass(300, 30800);
        QTRY_COMPARE(s.output.names(), QStringList{lap("Анна", 1)});
        // The next phrase waits for the first to end.
        QTest::qWait(100);
        QCOMPARE(s.output.names().size(), 1);
        QVERIFY(s.engine.isSpeaking());
        QVERIFY(s.output.finishOldest());
        QTRY_COMPARE(s.output.names(), QStringList({lap("Анна", 1), lap("Борис", 1)}));
        QVERIFY(s.output.finishOldest());
        QTRY_COMPARE(s.output.names(), QStringList({lap("Анна", 1), lap("Борис", 1), lap("Вера", 1)}));
        for (const PcmClip &clip : s.output.clips())
            QVERIFY(clip.durationMs() > 500);
        QVERIFY(s.output.finishOldest());
        for (int slot = 0; slot < AnnouncementRing::kSlots; ++slot)
            QVERIFY(!s.f.engine->ring().at(slot).pending());
    }

    void twentyLapsWhileSpeakingOverwriteTheOldest()
    {
        Speaking s;
        s.f.addPilot(1, QString::fromUtf8("Анна"), 100);
        s.switchOn();
        AnnouncementRing &ring = s.f.engine->ring();
        ring.write(1, 1);
        s.announcer.lapWritten();
        QTRY_COMPARE(s.output.names().size(), 1);
        // Twenty-one laps while the first is spoken: the 22nd takes the slot of the 2nd.
        for (int n = 2; n <= 22; ++n) {
            ring.write(1, n);
            s.announcer.lapWritten();
        }
        QList<int> expected = {1, 22};
        for (int n = 3; n <= 21; ++n)
            expected << n;
        QStringList phrases;
        for (int n : expected)
            phrases << lap("Анна", n);
        for (int i = 1; i < expected.size(); ++i) {
            QVERIFY(s.output.finishOldest());
            QTRY_COMPARE(s.output.names().size(), i + 1);
        }
        QVERIFY(s.output.finishOldest());
        QTest::qWait(50);
        QCOMPARE(s.output.names(), phrases);
    }

    void pilotsWhoJoinedOrLeftTheRaceList()
    {
        Speaking s;
        s.output.autoFinish = true;
        s.f.addPilot(1, QString::fromUtf8("Анна"), 100);
        s.switchOn();
        // Added after the announcer took its list: his name is read when his lap comes.
        s.f.addPilot(2, QString::fromUtf8("Борис"), 200);
        AnnouncementRing &ring = s.f.engine->ring();
        ring.write(2, 1);
        // Gone from the race list: skipped with one line, the ring goes on.
        ring.write(99, 4);
        ring.write(1, 2);
        s.announcer.lapWritten();
        QTRY_COMPARE(s.output.names(), QStringList({lap("Борис", 1), lap("Анна", 2)}));
        QTRY_COMPARE(s.f.logCount("Error saying name id 99"), 1);
        QTest::qWait(50);
        QCOMPARE(s.f.logCount("Error saying name id"), 1);
    }

    void invitationOfGroupTwo()
    {
        Speaking s;
        s.output.autoFinish = true;
        s.f.addPilot(1, "A", 100, "2");
        s.f.addPilot(2, "B", 200, "2");
        s.switchOn();
        s.f.settings.set("chvoicecountdown", false);
        s.announcer.btvoiceinviteClick();
        QCOMPARE(s.f.lines->lines, QStringList{"VoiceInvite started"});
        QTRY_COMPARE(s.inviteEnabled, QList<bool>({false, true}));
        QCOMPARE(s.output.names(),
                 QStringList{QString::fromUtf8("На старт приглашается группа  2. A, B. ")});
        QCOMPARE(VoiceInvitation::invitationText(QString::fromUtf8("На старт приглашается группа "), "2", {"A", "B"}),
                 QString::fromUtf8("На старт приглашается группа  2. A,B,. "));
        QVERIFY(s.shown.isEmpty());
        // A finished invitation is released by the next stop request.
        QVERIFY(s.announcer.btvoiceinvitestopClick());
        QCOMPARE(s.f.logCount("VoiceInvite terminated manually"), 1);
        QVERIFY(!s.announcer.btvoiceinvitestopClick());
        QCOMPARE(s.f.logCount("could not stop VoiceInvite manually"), 1);
    }

    void countdownAnnouncements_data()
    {
        QTest::addColumn<QString>("length");
        QTest::addColumn<QList<int>>("announced");
        QTest::newRow("120 s") << "120" << QList<int>{120, 60, 30, 15};
        QTest::newRow("60 s") << "60" << QList<int>{60, 30, 15};
        QTest::newRow("20 s") << "20" << QList<int>{20, 15};
    }
    void countdownAnnouncements()
    {
        QFETCH(QString, length);
        QFETCH(QList<int>, announced);
        Speaking s;
        s.output.autoFinish = true;
        s.f.addPilot(1, "A", 100, "1");
        s.switchOn();
        s.f.settings.set("chvoicecountdown", true);
        s.f.settings.set("edvoicecountdownsec", length);
        s.announcer.btvoiceinviteClick();
        QTRY_COMPARE(s.inviteEnabled, QList<bool>({false, true}));
        QStringList expected = {QString::fromUtf8("На старт приглашается группа  1. A. ")};
        for (int sec : announced)
            expected << countdown(sec);
        expected << kFinal;
        QCOMPARE(s.output.names(), expected);
        QCOMPARE(s.shown, range(length.toInt(), 0));
    }

    void stoppedCountdown_data()
    {
        QTest::addColumn<bool>("byRaceStart");
        QTest::newRow("X") << false;
        QTest::newRow("Start Race") << true;
    }
    void stoppedCountdown()
    {
        QFETCH(bool, byRaceStart);
        Speaking s(10000);
        s.output.autoFinish = true;
        s.f.addPilot(1, "A", 100, "1");
        s.switchOn();
        s.f.settings.set("chvoicecountdown", true);
        s.f.settings.set("edvoicecountdownsec", "120");
        s.announcer.btvoiceinviteClick();
        QTRY_VERIFY(s.shown.contains(110));
        QVERIFY(s.announcer.isInviting());
        if (byRaceStart)
            s.announcer.stopInvitationForRaceStart();
        else
            QVERIFY(s.announcer.btvoiceinvitestopClick());
        QVERIFY(!s.announcer.isInviting());
        QCOMPARE(s.f.logCount("VoiceInvite terminated manually"), 1);
        QCOMPARE(s.inviteEnabled.last(), true);
        // The final phrase is still spoken.
        QTRY_COMPARE(s.output.names().last(), kFinal);
        QCOMPARE(s.output.names().size(), 3);
        QVERIFY(s.shown.last() >= 109);
        // Nothing left to stop: a race start says nothing, "X" says so.
        s.f.lines->lines.clear();
        s.announcer.stopInvitationForRaceStart();
        QVERIFY(s.f.lines->lines.isEmpty());
        QVERIFY(!s.announcer.btvoiceinvitestopClick());
        QCOMPARE(s.f.lines->lines, QStringList{"could not stop VoiceInvite manually"});
    }

    void raceStartAfterAnInvitationThatEnded()
    {
        Speaking s;
        s.output.autoFinish = true;
        s.f.addPilot(1, "A", 100, "1");
        s.switchOn();
        s.announcer.btvoiceinviteClick();
        QTRY_COMPARE(s.inviteEnabled, QList<bool>({false, true}));
        // Nothing was running: nothing was terminated.
        s.f.lines->lines.clear();
        s.announcer.stopInvitationForRaceStart();
        QVERIFY(s.f.lines->lines.isEmpty());
        QCOMPARE(s.inviteEnabled.last(), true);
        QVERIFY(!s.announcer.btvoiceinvitestopClick());
    }

    void shutdownDuringACountdown()
    {
        Speaking s(5000);
        s.output.autoFinish = true;
        s.f.addPilot(1, "A", 100, "1");
        s.switchOn();
        s.f.settings.set("chvoicecountdown", true);
        s.announcer.btvoiceinviteClick();
        QTRY_VERIFY(s.shown.contains(55));
        QVERIFY(s.announcer.shutdown());
        QVERIFY(!s.announcer.isInviting());
        QVERIFY(!s.announcer.isAnnouncing());
        QVERIFY(!s.output.names().contains(kFinal));
    }

    void emptyRaceList()
    {
        Speaking s;
        s.switchOn();
        s.announcer.btvoiceinviteClick();
        QTRY_COMPARE(s.inviteEnabled, QList<bool>({false, true}));
        QCOMPARE(s.f.logCount("Invite pilot error!"), 1);
        QVERIFY(s.output.names().isEmpty());
    }

    void invitationWithTheSwitchOff()
    {
        Speaking s;
        s.f.addPilot(1, "A", 100, "1");
        s.f.settings.set("chksoundnames", false);
        s.f.settings.set("chvoicecountdown", true);
        s.f.settings.set("edvoicecountdownsec", "15");
        QSignalSpy notices(&s.announcer, &Announcer::noticeRequested);
        s.announcer.btvoiceinviteClick();
        QTRY_COMPARE(s.inviteEnabled, QList<bool>({false, true}));
        // Said at the start and at each of the three phrases; nothing spoken,
        // the label still counts.
        QTRY_COMPARE(notices.count(), 4);
        QVERIFY(s.output.names().isEmpty());
        QCOMPARE(s.shown, range(15, 0));
    }
};

QTEST_GUILESS_MAIN(TestAnnouncers)
#include "tst_announcers.moc"
