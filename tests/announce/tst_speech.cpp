// Speech: espeak-ng synthesis into memory, the rate, the voice list, phrases
// following each other on the output, the "speaking" flag without a sound
// server, and `speaktext`, "Play name" and the "Play names and laps" switch.
#include "announce/announcer.h"
#include "announce/espeakengine.h"
#include "announce/lapannouncer.h"
#include "announce/pulsesoundoutput.h"
#include "announce/spokennumbers.h"
#include "tests/announce/fakesound.h"
#include "tests/common/privatesoundserver.h"
#include "tests/race/racefixture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace lapvane;
using namespace lapvane::test;

namespace {

struct Loudness
{
    int peak = 0;
    double rms = 0;
};

Loudness loudness(const PcmClip &clip)
{
    const auto *s = reinterpret_cast<const qint16 *>(clip.samples.constData());
    const qsizetype n = clip.samples.size() / 2;
    Loudness l;
    double sum = 0;
    for (qsizetype i = 0; i < n; ++i) {
        l.peak = qMax(l.peak, qAbs(int(s[i])));
        sum += double(s[i]) * s[i];
    }
    l.rms = n ? std::sqrt(sum / n) : 0;
    return l;
}

} // namespace

class TestSpeech : public QObject
{
    Q_OBJECT
private slots:
    void russianPhraseIsSynthesised()
    {
        FakeSoundOutput output;
        EspeakEngine engine(output);
        const QStringList voices = engine.voices();
        QVERIFY(voices.size() > 50);
        // A fresh machine speaks Russian with the first voice.
        QCOMPARE(voices.first(), QStringLiteral("Russian"));
        QVERIFY(voices.contains("English (Great Britain)"));
        QVERIFY(engine.setVoiceIndex(0));
        QVERIFY(!engine.setVoiceIndex(voices.size()));

        const PcmClip clip = engine.synthesise(QString::fromUtf8("Иван Петров 3-й круг"));
        QCOMPARE(clip.format.sampleFormat(), QAudioFormat::Int16);
        QCOMPARE(clip.format.channelCount(), 1);
        QCOMPARE(clip.format.sampleRate(), 22050);
        // Six or seven syllables and a number at 175 words a minute.
        QVERIFY2(clip.durationMs() > 900 && clip.durationMs() < 4000, qPrintable(QString::number(clip.durationMs())));
        const Loudness l = loudness(clip);
        QVERIFY2(l.peak > 5000 && l.rms > 500, qPrintable(QString("peak %1 rms %2").arg(l.peak).arg(l.rms)));

        // The rate slider: faster is shorter.
        engine.setRate(10);
        const qint64 fast = engine.synthesise(QString::fromUtf8("Иван Петров 3-й круг")).durationMs();
        engine.setRate(-10);
        const qint64 slow = engine.synthesise(QString::fromUtf8("Иван Петров 3-й круг")).durationMs();
        QVERIFY2(fast < clip.durationMs() && clip.durationMs() < slow,
                 qPrintable(QString("%1 %2 %3").arg(fast).arg(clip.durationMs()).arg(slow)));
        QVERIFY(engine.synthesise("   ").isEmpty());
    }

    void lapNumbersAreSpokenAsWords()
    {
        FakeSoundOutput output;
        EspeakEngine engine(output);
        QVERIFY(engine.setVoiceIndex(0));
        // The written phrase keeps its digits; the engine is given words. As
        // written, "3-й" is read as the digit and the name of the letter.
        QCOMPARE(LapAnnouncer::lapPhrase(QString::fromUtf8("Анна"), 3), QString::fromUtf8("Анна 3-й круг"));
        QCOMPARE(LapAnnouncer::lapSpeech(QString::fromUtf8("Анна"), 3), QString::fromUtf8("Анна, третий круг"));
        const QString letterName = QStringLiteral("'Atk"); // "краткий"
        QVERIFY(engine.phonemes(QString::fromUtf8("Анна 3-й круг")).contains(letterName));
        for (int lap = 1; lap <= 200; ++lap) {
            const QString spoken = LapAnnouncer::lapSpeech(QString::fromUtf8("Анна"), lap);
            QVERIFY2(!spoken.contains(QRegularExpression("[0-9-]")), qPrintable(spoken));
            const QString phonemes = engine.phonemes(spoken);
            QVERIFY2(!phonemes.isEmpty() && !phonemes.contains(letterName) && !phonemes.contains("(en)"),
                     qPrintable(spoken + " -> " + phonemes));
        }
    }

    void russianOrdinals_data()
    {
        QTest::addColumn<qint64>("n");
        QTest::addColumn<QString>("words");
        const struct
        {
            qint64 n;
            const char *words;
        } rows[] = {{1, "первый"},
                    {2, "второй"},
                    {3, "третий"},
                    {10, "десятый"},
                    {11, "одиннадцатый"},
                    {20, "двадцатый"},
                    {21, "двадцать первый"},
                    {40, "сороковой"},
                    {99, "девяносто девятый"},
                    {100, "сотый"},
                    {101, "сто первый"},
                    {140, "сто сороковой"},
                    {200, "двухсотый"},
                    {1000, "тысячный"},
                    {1001, "тысяча первый"},
                    {2000, "двухтысячный"},
                    {2022, "две тысячи двадцать второй"},
                    {21000, "двадцатиоднотысячный"},
                    {1000000, "миллионный"},
                    {0, "нулевой"}};
        for (const auto &r : rows)
            QTest::newRow(r.words) << r.n << QString::fromUtf8(r.words);
    }
    void russianOrdinals()
    {
        QFETCH(qint64, n);
        QFETCH(QString, words);
        QCOMPARE(russianOrdinal(n), words);
    }

    void rateToWordsPerMinute_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("wpm");
        QTest::newRow("-10, at espeak's floor") << -10 << 80;
        QTest::newRow("-5") << -5 << 101;
        QTest::newRow("0") << 0 << 175;
        QTest::newRow("5") << 5 << 303;
        QTest::newRow("10, at espeak's ceiling") << 10 << 450;
        QTest::newRow("out of range") << 99 << 450;
    }
    void rateToWordsPerMinute()
    {
        QFETCH(int, rate);
        QFETCH(int, wpm);
        QCOMPARE(EspeakEngine::wordsPerMinute(rate), wpm);
    }

    void phrasesFollowEachOther()
    {
        FakeSoundOutput output;
        EspeakEngine engine(output);
        QSignalSpy finished(&engine, &SpeechEngine::speechFinished);
        QVERIFY(!engine.isSpeaking());
        QVERIFY(engine.speak("one"));
        QVERIFY(engine.speak("two"));
        QVERIFY(engine.isSpeaking());
        QCOMPARE(output.names(), QStringList{"one"});
        QVERIFY(output.finishOldest());
        QCOMPARE(output.names(), QStringList({"one", "two"}));
        QVERIFY(engine.isSpeaking());
        QCOMPARE(finished.count(), 0);
        QVERIFY(output.finishOldest());
        QVERIFY(!engine.isSpeaking());
        QCOMPARE(finished.count(), 1);

        // stop() cuts the phrase and drops the waiting ones.
        engine.speak("three");
        engine.speak("four");
        engine.stop();
        QTRY_VERIFY(!engine.isSpeaking());
        QCOMPARE(output.names().last(), "three");
    }

    void noSoundServer()
    {
        // Without a sound server nothing waits: the first phrase ends at once,
        // the next is skipped, with one line in the log however often it happens.
        PrivateSoundServer neverStarted;
        PulseSoundOutput output;
        QStringList lines;
        connect(&output, &SoundOutput::logLine, this, [&](const QString &l) { lines << l; });
        EspeakEngine engine(output);
        QElapsedTimer t;
        t.start();
        engine.speak(QString::fromUtf8("Проверка связи"));
        QTRY_VERIFY_WITH_TIMEOUT(!engine.isSpeaking(), 1000);
        QVERIFY(!engine.speak(QString::fromUtf8("ещё раз")));
        QVERIFY(!engine.isSpeaking());
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(lines, QStringList{"No sound output device: sound cues and speech are skipped."});
    }

    void speaktextAndPlayName()
    {
        RaceFixture f;
        RecordingSpeech engine;
        Announcer a(f.settings, *f.log, engine, f.engine->ring(), f.dbPath);
        QSignalSpy notices(&a, &Announcer::noticeRequested);
        QSignalSpy forward(&a, &Announcer::voiceSettingsRequested);
        f.settings.set("chksoundnames", false);
        // With the switch off "say" refuses and points at the switch; "Play name" stays silent.
        a.Button13Click();
        a.pilotplaynameExecute("Anna");
        QVERIFY(engine.spoken().isEmpty());
        QCOMPARE(notices.count(), 1);
        QCOMPARE(notices.at(0).at(0).toString(), QString("Voice not started in settings!"));
        QCOMPARE(forward.count(), 1);

        f.settings.set("chksoundnames", true);
        f.settings.set("cbVoices", 1);
        a.Button13Click();
        a.pilotplaynameExecute("Anna");
        QCOMPARE(engine.spoken(), QStringList({"voice test", "Anna"}));
        QCOMPARE(engine.voiceIndex(), 1);
        QCOMPARE(notices.count(), 1);
        f.settings.set("trvoicerate", -4);
        QCOMPARE(engine.rate(), -4);
    }

    void switchingTheAnnouncer()
    {
        RaceFixture f;
        RecordingSpeech engine;
        Announcer a(f.settings, *f.log, engine, f.engine->ring(), f.dbPath);
        QSignalSpy voices(&a, &Announcer::voicesChanged);
        f.settings.set("cbVoices", 1);
        f.settings.set("trvoicerate", 3);
        f.engine->ring().write(1, 1); // left over: a new start clears the ring
        // The switch is on before the settings are loaded; a file saying off
        // runs the check, which has nothing to stop.
        f.settings.set("chksoundnames", false);
        QCOMPARE(f.lines->lines, QStringList{"can't kill name and laps thread"});
        f.lines->lines.clear();

        f.settings.set("chksoundnames", true);
        QVERIFY(a.isAnnouncing());
        QCOMPARE(f.lines->lines, QStringList{"Voice name/laps started"});
        QCOMPARE(voices.count(), 1);
        QCOMPARE(voices.at(0).at(0).toStringList(), engine.voiceList);
        // "Refresh" selected the first voice.
        QCOMPARE(f.settings.integer("cbVoices"), 0);
        QCOMPARE(engine.rate(), 3);
        QVERIFY(!f.engine->ring().at(0).pending());

        f.settings.set("chksoundnames", false);
        QVERIFY(!a.isAnnouncing());
        a.checksoundnames();
        QCOMPARE(f.lines->lines,
                 QStringList({"Voice name/laps started", "Voice name/laps stopped", "can't kill name and laps thread"}));

        // No voices: said, and the switch turns itself off.
        engine.voiceList.clear();
        QSignalSpy notices(&a, &Announcer::noticeRequested);
        f.lines->lines.clear();
        f.settings.set("chksoundnames", true);
        QVERIFY(!f.settings.flag("chksoundnames"));
        QVERIFY(!a.isAnnouncing());
        QCOMPARE(notices.count(), 1);
        QCOMPARE(notices.at(0).at(0).toString(), QString("No voice installed"));
        QCOMPARE(f.lines->lines, QStringList{"can't kill name and laps thread"});
    }
};

QTEST_GUILESS_MAIN(TestSpeech)
#include "tst_speech.moc"
