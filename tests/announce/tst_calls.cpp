// The race calls beyond the lap phrase: their texts in Russian and English
// (checked against the speech engine's phonemes), the lap time in the lap
// call, the finish place after the finish cue and the winner, the time left
// in a timed race, lap calls that came too late, and the English voice.
#include "announce/announcer.h"
#include "announce/callphrases.h"
#include "announce/cuesounds.h"
#include "announce/defaultsounds.h"
#include "announce/espeakengine.h"
#include "tests/announce/fakesound.h"
#include "tests/race/racefixture.h"

#include <QRegularExpression>
#include <QTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

// The race wired to the announcer as the program does it.
void wireRace(RaceEngine &race, Announcer &a)
{
    QObject::connect(&race, &RaceEngine::pilotLapsChanged, &a, &Announcer::lapWritten);
    QObject::connect(&race, &RaceEngine::lapCounted, &a, &Announcer::lapCounted);
    QObject::connect(&race, &RaceEngine::raceCompleted, &a, &Announcer::raceCompleted);
    QObject::connect(&race, &RaceEngine::runningChanged, &a, [&a](bool on) {
        if (on)
            a.raceStarted();
    });
}

// A race with real speech and real cues on one recording output that plays
// each sound until the test ends it.
struct CalledRace
{
    CalledRace() : engine(output), cues(f.settings, *f.log, output)
    {
        QString error;
        if (!useDefaultSounds(f.dir.path(), cues, &error) || !cues.waitForLoads())
            qFatal("default sounds: %s", qPrintable(error));
        RaceServices s = f.services();
        f.engine = std::make_unique<RaceEngine>(RaceServices{s.db, s.settings, s.log, s.prompt, s.receivers, cues,
                                                             s.clock, s.stop, s.selection, s.raceStateFile});
        f.engine->setTimerDriven(false);
        announcer = std::make_unique<Announcer>(f.settings, *f.log, engine, f.engine->ring(), f.dbPath);
        announcer->setFinishCueCheck([this] { return cues.finishCuePlaying(); });
        wireRace(*f.engine, *announcer);
        f.settings.set("cbpageslanguage", "ru");
        f.settings.set("edstartdelay", "0");
    }
    ~CalledRace() { announcer->shutdown(); }

    void switchOn()
    {
        f.settings.set("chksoundnames", false);
        f.settings.set("chksoundnames", true);
    }
    QString cue(Cue c) const { return f.settings.text(CueSounds::pathControl(c)); }
    // Ends every sound that plays.
    void quiet()
    {
        while (output.finishOldest()) {
        }
    }

    RaceFixture f;
    FakeSoundOutput output;
    EspeakEngine engine;
    CueSounds cues;
    std::unique_ptr<Announcer> announcer;
};

} // namespace

class TestCalls : public QObject
{
    Q_OBJECT
private slots:
    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto ru = CallLanguage::Russian;
        const auto en = CallLanguage::English;
        const LapCallParts all{true, true, true};
        QTest::newRow("ru lap, all parts") << lapCall(ru, u("Анна"), 3, 12440, all)
                                           << u("Анна, третий круг, двенадцать и четыре");
        QTest::newRow("en lap, all parts") << lapCall(en, "Anna", 3, 12440, all) << "Anna, lap three, twelve point four";
        QTest::newRow("ru name and time") << lapCall(ru, u("Анна"), 3, 9960, {true, false, true})
                                          << u("Анна, десять и ноль");
        QTest::newRow("ru lap only") << lapCall(ru, u("Анна"), 21, 9960, {false, true, false})
                                     << u("двадцать первый круг");
        QTest::newRow("time unknown") << lapCall(ru, u("Анна"), 2, 0, all) << u("Анна, второй круг");
        QTest::newRow("nothing chosen") << lapCall(en, "Anna", 2, 5000, {false, false, false}) << QString();
        QTest::newRow("ru over a minute") << lapTimeWords(ru, 125049) << u("две минуты пять и ноль");
        QTest::newRow("ru one minute") << lapTimeWords(ru, 61000) << u("одна минута один и ноль");
        QTest::newRow("en over a minute") << lapTimeWords(en, 61950) << "one minute two point zero";
        QTest::newRow("ru finish") << finishCall(ru, u("Анна"), 2) << u("Анна — второе место");
        QTest::newRow("ru finish third") << finishCall(ru, u("Анна"), 3) << u("Анна — третье место");
        QTest::newRow("en finish") << finishCall(en, "Anna", 2) << "Anna finished second";
        QTest::newRow("en finish 23rd") << finishCall(en, "Anna", 23) << "Anna finished twenty-third";
        QTest::newRow("en finish 12th") << finishCall(en, "Anna", 12) << "Anna finished twelfth";
        QTest::newRow("ru winner") << winnerCall(ru, u("Анна")) << u("Победитель — Анна");
        QTest::newRow("en winner") << winnerCall(en, "Anna") << "Winner: Anna";
        QTest::newRow("ru 60") << timeLeftCall(ru, 60) << u("Осталась одна минута");
        QTest::newRow("ru 30") << timeLeftCall(ru, 30) << u("Осталось тридцать секунд");
        QTest::newRow("ru 10") << timeLeftCall(ru, 10) << u("Осталось десять секунд");
        QTest::newRow("ru 5") << timeLeftCall(ru, 5) << u("пять");
        QTest::newRow("en 60") << timeLeftCall(en, 60) << "One minute left";
        QTest::newRow("en 30") << timeLeftCall(en, 30) << "Thirty seconds left";
        QTest::newRow("en 1") << timeLeftCall(en, 1) << "one";
        QTest::newRow("en cardinal") << englishCardinal(1105) << "one thousand one hundred and five";
        QTest::newRow("en ordinal") << englishOrdinal(100) << "one hundredth";
    }
    void texts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void everyCallIsWordsTheEngineSpeaks()
    {
        // Russian with the Russian voice: no digit, no letter name, no
        // switch to another language; English with an English voice.
        FakeSoundOutput output;
        EspeakEngine engine(output);
        const QStringList voices = engine.voices();
        const int english = voices.indexOf("English (Great Britain)");
        QVERIFY(english > 0);
        const QString letterName = QStringLiteral("'Atk");
        for (CallLanguage language : {CallLanguage::Russian, CallLanguage::English}) {
            const bool ru = language == CallLanguage::Russian;
            QVERIFY(engine.setVoiceIndex(ru ? 0 : english));
            const QString name = ru ? u("Анна") : QStringLiteral("Anna");
            QStringList calls;
            for (int lap = 1; lap <= 40; ++lap)
                calls << lapCall(language, name, lap, lap * 1537 + 800, {true, true, true});
            for (int place = 1; place <= 30; ++place)
                calls << finishCall(language, name, place);
            calls << winnerCall(language, name) << lapTimeWords(language, 125049);
            for (int mark : Announcer::timeLeftMarks())
                calls << timeLeftCall(language, mark);
            for (const QString &call : calls) {
                QVERIFY2(!call.contains(QRegularExpression("[0-9]")), qPrintable(call));
                const QString phonemes = engine.phonemes(call);
                QVERIFY2(!phonemes.isEmpty() && !phonemes.contains(letterName) && !phonemes.contains("("),
                         qPrintable(call + " -> " + phonemes));
            }
        }
    }

    void lapTimeFinishAfterItsCueAndTheWinner()
    {
        CalledRace r;
        r.f.addPilot(1, u("Анна"), 100);
        r.f.addPilot(2, u("Борис"), 200);
        r.f.settings.set("chksounds", true);
        r.f.settings.set("chkcalllaptime", true);
        r.f.settings.set("chkcallfinish", true);
        r.f.settings.set("edtlaps", "2");
        r.switchOn();
        QVERIFY(r.f.start());
        r.quiet();
        const QStringList cues = {r.cue(Cue::StartCountdown), r.cue(Cue::StartSignal)};
        QCOMPARE(r.output.names(), cues);

        r.f.pass(100, 30000);
        QTRY_COMPARE(r.output.names().mid(2),
                     QStringList({r.cue(Cue::LapPass), u("Анна, первый круг, тридцать и ноль")}));
        r.quiet();

        // Her finishing lap: the cue, and her place only once it has ended.
        r.f.pass(100, 42400);
        QCOMPARE(r.output.names().mid(4), QStringList{r.cue(Cue::FinishFirst)});
        QTest::qWait(150);
        QCOMPARE(r.output.names().size(), 5);
        QVERIFY(r.output.finishOldest());
        QTRY_COMPARE(r.output.names().mid(5), QStringList{u("Анна — первое место")});
        r.quiet();

        r.f.pass(200, 31000);
        QTRY_COMPARE(r.output.names().mid(6),
                     QStringList({r.cue(Cue::LapPass), u("Борис, первый круг, тридцать один и ноль")}));
        r.quiet();

        // The last finisher ends the race: both cues, then his place, then the winner.
        r.f.pass(200, 60500);
        QVERIFY(!r.f.engine->isRunning());
        QCOMPARE(r.output.names().mid(8), QStringList({r.cue(Cue::FinishOther), r.cue(Cue::FinishAll)}));
        QVERIFY(r.output.finishOldest());
        QTest::qWait(150);
        QCOMPARE(r.output.names().size(), 10);
        QVERIFY(r.output.finishOldest());
        QTRY_COMPARE(r.output.names().mid(10), QStringList{u("Борис — второе место")});
        QVERIFY(r.output.finishOldest());
        QTRY_COMPARE(r.output.names().mid(11), QStringList{u("Победитель — Анна")});
        r.quiet();
        QTest::qWait(50);
        QCOMPARE(r.output.names().size(), 12);
    }

    void withTheCallsOffTheLapPhraseStaysAsBefore()
    {
        // An existing settings file: nothing new is said.
        Settings defaults;
        for (const char *c : {"chkcalllaptime", "chkcallfinish", "chkcalltimeleft", "chkcallstale"})
            QVERIFY(!defaults.flag(c));
        QVERIFY(defaults.flag("chkcallname") && defaults.flag("chkcalllap"));
        CalledRace r;
        r.output.autoFinish = true;
        r.f.addPilot(1, u("Анна"), 100);
        r.f.settings.set("edtlaps", "1");
        r.switchOn();
        QVERIFY(r.f.start());
        r.f.pass(100, 30000);
        QTRY_COMPARE(r.output.names(), QStringList{LapAnnouncer::lapSpeech(u("Анна"), 1)});
        QTest::qWait(100);
        QCOMPARE(r.output.names().size(), 1);
    }

    void lateLapCallsAreLeftOutFinishCallsNever()
    {
        CalledRace r;
        std::atomic<qint64> now{1000};
        r.announcer->callBook().setClock([&now] { return now.load(); });
        r.f.addPilot(1, u("Анна"), 100);
        r.f.addPilot(2, u("Борис"), 200);
        r.f.settings.set("chkcallfinish", true);
        r.f.settings.set("chkcallstale", true);
        r.f.settings.set("edcallstalesec", "5");
        r.f.settings.set("edtlaps", "3");
        r.switchOn();
        QVERIFY(r.f.start());
        r.f.pass(100, 30000);
        QTRY_COMPARE(r.output.names(), QStringList{u("Анна, первый круг")});
        // While it is spoken, three more laps; Anna's third finishes her race.
        r.f.pass(200, 31000);
        r.f.pass(100, 45000);
        r.f.pass(100, 60000);
        now = 7000;
        r.f.lines->lines.clear();
        QVERIFY(r.output.finishOldest());
        QTRY_COMPARE(r.output.names(), QStringList({u("Анна, первый круг"), u("Анна — первое место")}));
        QVERIFY(r.output.finishOldest());
        QTRY_COMPARE(r.f.logCount("Lap call left out, 6 s late:"), 2);
        QCOMPARE(r.f.logCount(u("Lap call left out, 6 s late: Борис 1-й круг")), 1);
        // A lap on time is said.
        r.f.pass(200, 61000);
        QTRY_COMPARE(r.output.names().mid(2), QStringList{u("Борис, второй круг")});
    }

    void timeLeftInATimedRace_data()
    {
        QTest::addColumn<qint64>("limitMs");
        QTest::addColumn<qint64>("fromMs");
        QTest::addColumn<QStringList>("said");
        const QStringList count = {u("пять"), u("четыре"), u("три"), u("два"), u("один")};
        QTest::newRow("two minutes") << qint64(120000) << qint64(0)
                                     << QStringList({u("Осталась одна минута"), u("Осталось тридцать секунд"),
                                                     u("Осталось десять секунд")})
                                            + count;
        QTest::newRow("one minute: not said at the start")
            << qint64(60000) << qint64(0)
            << QStringList({u("Осталось тридцать секунд"), u("Осталось десять секунд")}) + count;
        QTest::newRow("continued with 45 s left") << qint64(120000) << qint64(75000)
                                                  << QStringList({u("Осталось тридцать секунд"),
                                                                  u("Осталось десять секунд")})
                + count;
    }
    void timeLeftInATimedRace()
    {
        QFETCH(qint64, limitMs);
        QFETCH(qint64, fromMs);
        QFETCH(QStringList, said);
        RaceFixture f;
        RecordingSpeech engine;
        Announcer a(f.settings, *f.log, engine, f.engine->ring(), f.dbPath);
        std::atomic<qint64> now{0};
        a.callBook().setClock([&now] { return now.load(); });
        f.settings.set("cbpageslanguage", "ru");
        f.settings.set("chksoundnames", false);
        f.settings.set("chksoundnames", true);
        a.raceStarted();
        // Off: nothing.
        for (qint64 t = fromMs; t <= limitMs; t += 100)
            a.raceClock(t, limitMs);
        QTest::qWait(50);
        QVERIFY(engine.spoken().isEmpty());

        f.settings.set("chkcalltimeleft", true);
        a.raceStarted();
        for (qint64 t = fromMs; t <= limitMs; t += 100) {
            now = t;
            a.raceClock(t, limitMs);
            // Each call is taken before the clock moves on.
            QTRY_COMPARE(a.callBook().waiting(), 0);
        }
        QTRY_COMPARE(engine.spoken(), said);
        a.shutdown();
    }

    void aTimeCallPastItsMomentIsDropped()
    {
        qint64 now = 0;
        CallBook book([&now] { return now; });
        CallBook::Call c;
        c.kind = CallBook::Call::TimeLeft;
        c.seconds = 3;
        c.atMs = 0;
        c.expiresAtMs = 900;
        book.addCall(c);
        CallBook::Call finish;
        finish.kind = CallBook::Call::Finish;
        finish.pilotId = 1;
        book.addCall(finish);
        now = 1000;
        bool hold = false;
        // The finish waits for its cue (at most the given time), the count is gone.
        QVERIFY(!book.takeCall([] { return true; }, 5000, &hold));
        QVERIFY(hold);
        now = 7000;
        const auto call = book.takeCall([] { return true; }, 5000, &hold);
        QVERIFY(call && call->kind == CallBook::Call::Finish);
    }

    void englishCallsWithAnEnglishVoice()
    {
        RaceFixture f;
        RecordingSpeech engine;
        Announcer a(f.settings, *f.log, engine, f.engine->ring(), f.dbPath);
        wireRace(*f.engine, a);
        f.addPilot(1, "Anna", 100);
        f.settings.set("cbpageslanguage", "en");
        f.settings.set("chkcalllaptime", true);
        f.settings.set("edtlaps", "3");
        f.settings.set("chksoundnames", false);
        f.settings.set("chksoundnames", true);
        QCOMPARE(f.settings.integer("cbVoices"), 0); // "Russian"
        QVERIFY(f.start());
        f.pass(100, 12400);
        QTRY_COMPARE(engine.spoken(), QStringList{"Anna, lap one, twelve point four"});
        QCOMPARE(engine.voiceIndex(), 1); // "English"
        // The operator's own texts keep the chosen voice.
        a.Button13Click();
        QCOMPARE(engine.voiceIndex(), 0);
        a.shutdown();
    }

    void englishInvitationWhereTheTextsAreTheDefaults()
    {
        RaceFixture f;
        RecordingSpeech engine;
        Announcer a(f.settings, *f.log, engine, f.engine->ring(), f.dbPath,
                    [] { return std::make_unique<FakeCountdownClock>(); });
        QList<bool> enabled;
        connect(&a, &Announcer::inviteEnabledChanged, this, [&enabled](bool on) { enabled << on; });
        f.addPilot(1, "Anna", 100, "2");
        f.addPilot(2, "Ben", 200, "2");
        f.settings.set("cbpageslanguage", "en");
        f.settings.set("chvoicecountdown", true);
        f.settings.set("edvoicecountdownsec", "15");
        f.settings.set("chksoundnames", false);
        f.settings.set("chksoundnames", true);
        // The final phrase was changed by the operator: it is said as typed,
        // with the chosen voice.
        f.settings.set("edprepare2start", u("Время!"));
        a.btvoiceinviteClick();
        QTRY_COMPARE(enabled, QList<bool>({false, true}));
        QCOMPARE(engine.spoken(), QStringList({"To the start: group  2. Anna, Ben. ", "Start in 15  seconds. ",
                                               u("Время!")}));
        QCOMPARE(engine.spokenVoices(), QList<int>({1, 1, 0})); // "English", "English", "Russian"
        // In Russian the defaults are said as they are.
        f.settings.set("cbpageslanguage", "ru");
        enabled.clear();
        a.btvoiceinviteClick();
        QTRY_COMPARE(enabled, QList<bool>({false, true}));
        QCOMPARE(engine.spoken().mid(3, 2), QStringList({u("На старт приглашается группа  2. Anna, Ben. "),
                                                        u("До старта 15  секунд. ")}));
        a.shutdown();
    }
};

QTEST_GUILESS_MAIN(TestCalls)
#include "tst_calls.moc"
