// The sound output on the sound server's default sink: a silent server of the
// test's own (a null sink) stands in for the speakers, its monitor is what the
// crowd would hear. Cues, tones and speech are heard whole, overlap, stop at
// once, and a race's finish cue and call follow each other; the output finds
// a restarted server again. Skipped where the server cannot be started.
#include "announce/announcer.h"
#include "announce/cuesounds.h"
#include "announce/defaultsounds.h"
#include "announce/espeakengine.h"
#include "announce/pulsesoundoutput.h"
#include "announce/wavfile.h"
#include "tests/common/privatesoundserver.h"
#include "tests/race/racefixture.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace lapvane;
using lapvane::test::loudStretchesMs;
using lapvane::test::PrivateSoundServer;
using lapvane::test::spanMs;

namespace {

constexpr int kRate = PrivateSoundServer::kRecordRate;

// A loud tone of 16-bit mono samples.
PcmClip tone(int ms)
{
    PcmClip clip;
    clip.format.setSampleFormat(QAudioFormat::Int16);
    clip.format.setSampleRate(kRate);
    clip.format.setChannelCount(1);
    const int n = kRate * ms / 1000;
    clip.samples.resize(n * 2);
    auto *s = reinterpret_cast<qint16 *>(clip.samples.data());
    for (int i = 0; i < n; ++i)
        s[i] = qint16(12000 * std::sin(2 * M_PI * 440 * i / kRate));
    clip.name = QStringLiteral("tone");
    return clip;
}

PcmClip cue(Cue c)
{
    PcmClip clip;
    if (!parseWav(defaultSoundWav(c), &clip, nullptr))
        qFatal("the default sound of a cue does not parse");
    clip.name = defaultSoundFileName(c);
    return clip;
}

// An output nobody hears, for synthesising only.
class NoOutput : public SoundOutput
{
public:
    quint64 play(const PcmClip &) override { return 0; }
    void stop(quint64) override {}
    bool hasDevice() const override { return false; }
};

} // namespace

class TestPulseOutput : public QObject
{
    Q_OBJECT
private:
    PrivateSoundServer m_server;

    // What is heard while the clip plays to its end on a fresh output.
    QByteArray heardWhole(const PcmClip &clip)
    {
        PulseSoundOutput output;
        QSignalSpy finished(&output, &SoundOutput::finished);
        return m_server.record([&] {
            if (output.play(clip) == 0 || !QTest::qWaitFor([&] { return finished.count() == 1; }, 10000))
                qWarning("the playback did not end");
        });
    }

private slots:
    void initTestCase()
    {
        const QString missing = PrivateSoundServer::missingTools();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing + " is not installed"));
        if (!m_server.start())
            QSKIP("pulseaudio did not start or open its socket");
    }

    // Every sample reaches the speakers: a short cue's, the gaps inside a cue
    // and a long tone's.
    void clipIsHeardWhole_data()
    {
        QTest::addColumn<int>("cue"); // -1: a 400 ms tone
        QTest::addColumn<QList<int>>("tonesMs");
        QTest::newRow("lap pass") << int(Cue::LapPass) << QList<int>{90};
        QTest::newRow("registration check") << int(Cue::RegisterCheck) << QList<int>{60, 60};
        QTest::newRow("other finisher") << int(Cue::FinishOther) << QList<int>{150, 250};
        QTest::newRow("tone") << -1 << QList<int>{400};
    }
    void clipIsHeardWhole()
    {
        QFETCH(int, cue);
        QFETCH(QList<int>, tonesMs);
        const PcmClip clip = cue < 0 ? tone(tonesMs.first()) : ::cue(Cue(cue));
        PulseSoundOutput output;
        QSignalSpy started(&output, &SoundOutput::started);
        QSignalSpy finished(&output, &SoundOutput::finished);
        quint64 id = 0;
        const QByteArray heard = m_server.record([&] {
            id = output.play(clip);
            QVERIFY(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
        });
        QVERIFY(id > 0);
        QCOMPARE(started.count(), 1);
        QCOMPARE(finished.at(0).at(0).value<quint64>(), id);
        QCOMPARE(output.playing(), 0);
        const QList<int> stretches = loudStretchesMs(heard);
        QCOMPARE(stretches.size(), tonesMs.size());
        // Every tone as long as written, give or take its fades.
        for (int i = 0; i < stretches.size(); ++i)
            QVERIFY2(
                qAbs(stretches[i] - tonesMs[i]) <= 15,
                qPrintable(QString("tone %1: heard %2 ms of %3").arg(i).arg(stretches[i]).arg(tonesMs[i])));
    }

    void clipsOverlap()
    {
        PulseSoundOutput output;
        QSignalSpy started(&output, &SoundOutput::started);
        QSignalSpy finished(&output, &SoundOutput::finished);
        const quint64 lap = output.play(cue(Cue::LapPass));
        const quint64 reg = output.play(cue(Cue::RegisterCheck));
        QVERIFY(lap > 0 && reg > lap);
        QCOMPARE(output.playing(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 5000);
        QCOMPARE(started.count(), 2);
        QCOMPARE(output.playing(), 0);
    }

    void stopCutsTheSound()
    {
        PulseSoundOutput output;
        QSignalSpy started(&output, &SoundOutput::started);
        QSignalSpy finished(&output, &SoundOutput::finished);
        qint64 stopToEndMs = -1;
        quint64 id = 0;
        const QByteArray heard = m_server.record([&] {
            id = output.play(tone(3000));
            QVERIFY(QTest::qWaitFor([&] { return started.count() == 1; }, 3000));
            QTest::qWait(300);
            QElapsedTimer t;
            t.start();
            output.stop(id);
            QVERIFY(QTest::qWaitFor([&] { return finished.count() == 1; }, 3000));
            stopToEndMs = t.elapsed();
        });
        QCOMPARE(finished.at(0).at(0).value<quint64>(), id);
        QVERIFY2(stopToEndMs < 100, qPrintable(QString("ended %1 ms after the stop").arg(stopToEndMs)));
        const QList<int> stretches = loudStretchesMs(heard);
        QCOMPARE(stretches.size(), 1);
        QVERIFY2(stretches[0] < 600, qPrintable(QString("heard %1 ms after a stop at 300 ms").arg(stretches[0])));
    }

    void phraseIsHeardToItsLastSound()
    {
        NoOutput none;
        EspeakEngine engine(none);
        const PcmClip phrase = engine.synthesise(QString::fromUtf8("Анна, третий круг"));
        QCOMPARE(phrase.format.sampleRate(), kRate);
        const QByteArray heard = heardWhole(phrase);
        QVERIFY2(!heard.isEmpty(), "nothing recorded");
        // From the first loud window to the last: the whole phrase, its final
        // consonant included.
        const int written = spanMs(phrase.samples);
        const int heardMs = spanMs(heard);
        QVERIFY2(qAbs(heardMs - written) <= 20,
                 qPrintable(QString("heard %1 ms of %2").arg(heardMs).arg(written)));
    }

    void speakingLastsWhileThePhrasePlays()
    {
        PulseSoundOutput output;
        EspeakEngine engine(output);
        QSignalSpy done(&engine, &SpeechEngine::speechFinished);
        QElapsedTimer t;
        t.start();
        QVERIFY(engine.speak(QString::fromUtf8("Анна, 2-й круг")));
        QVERIFY(engine.isSpeaking());
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 8000);
        QVERIFY(!engine.isSpeaking());
        // The phrase is about a second long: "speaking" lasted that long, not
        // for ever and not for nothing.
        QVERIFY2(t.elapsed() > 500, qPrintable(QString::number(t.elapsed())));
    }

    void finishCallIsHeardAfterTheFinishCue()
    {
        // A pilot's finish with the finish calls on: the cue and the place,
        // on one output, heard one after the other.
        test::RaceFixture f;
        PulseSoundOutput output;
        CueSounds cues(f.settings, *f.log, output);
        QString error;
        QVERIFY(useDefaultSounds(f.dir.path(), cues, &error));
        QVERIFY(cues.waitForLoads());
        EspeakEngine engine(output);
        Announcer announcer(f.settings, *f.log, engine, f.engine->ring(), f.dbPath);
        announcer.setFinishCueCheck([&cues] { return cues.finishCuePlaying(); });
        f.addPilot(1, QString::fromUtf8("Анна"), 100);
        f.settings.set("cbpageslanguage", "ru");
        f.settings.set("chkcallfinish", true);
        f.settings.set("chksoundnames", false);
        f.settings.set("chksoundnames", true);
        QSignalSpy spoken(&engine, &SpeechEngine::speechFinished);
        // The engine's first phrase loads its data: not what is measured here.
        QVERIFY(!engine.synthesise(QString::fromUtf8("Анна")).isEmpty());

        const QByteArray heard = m_server.record([&] {
            // As the race does it: the cue, then the place.
            cues.play(Cue::FinishFirst);
            announcer.pilotFinished(1, 3, 1);
            announcer.lapWritten();
            QTRY_COMPARE_WITH_TIMEOUT(spoken.count(), 1, 10000);
        });
        announcer.shutdown();

        // From the cue's first tone to the call's last sound: both whole, one
        // after the other. Spoken over the cue, the call's start would be
        // hidden under it and the span no longer than the call alone.
        QVERIFY2(!heard.isEmpty(), "nothing recorded");
        const int cueMs = spanMs(cue(Cue::FinishFirst).samples);
        const int callMs = spanMs(engine.synthesise(QString::fromUtf8("Анна — первое место")).samples);
        const int heardMs = spanMs(heard);
        QVERIFY2(heardMs >= cueMs + callMs - 20,
                 qPrintable(QString("heard %1 ms; the cue is %2 ms, the call %3 ms")
                                .arg(heardMs)
                                .arg(cueMs)
                                .arg(callMs)));
        QVERIFY(loudStretchesMs(heard).size() >= 2);
    }

    // The server goes away and comes back: the same output plays again.
    // Last: it stops and restarts the server.
    void soundReturnsAfterTheServerRestarts()
    {
        PulseSoundOutput output;
        QSignalSpy finished(&output, &SoundOutput::finished);
        QSignalSpy log(&output, &SoundOutput::logLine);
        const auto lines = [&](const QString &text) {
            int n = 0;
            for (const auto &args : log)
                n += args.at(0).toString() == text ? 1 : 0;
            return n;
        };
        const QString gone = QStringLiteral("No sound output device: sound cues and speech are skipped.");
        const QString back = QStringLiteral("Sound output device is back: sound cues and speech play again.");

        m_server.stop();
        // A sound with no server ends at once, and says so once.
        QElapsedTimer t;
        t.start();
        const quint64 lost = output.play(tone(2000));
        QVERIFY(lost > 0);
        QVERIFY(QTest::qWaitFor([&] { return finished.count() == 1; }, 1000));
        QVERIFY2(t.elapsed() < 500, qPrintable(QString("ended after %1 ms").arg(t.elapsed())));
        QVERIFY(!output.hasDevice());
        QCOMPARE(output.play(tone(2000)), quint64(0)); // skipped until the next look
        QCOMPARE(lines(gone), 1);

        QVERIFY(m_server.start());
        QTest::qWait(PulseSoundOutput::kRecheckMs + 100);
        const QByteArray heard = m_server.record([&] {
            QVERIFY(output.play(tone(300)) > 0);
            QVERIFY(QTest::qWaitFor([&] { return finished.count() == 2; }, 5000));
        });
        QVERIFY(output.hasDevice());
        const QList<int> stretches = loudStretchesMs(heard);
        QCOMPARE(stretches.size(), 1);
        QVERIFY2(qAbs(stretches[0] - 300) <= 15, qPrintable(QString("heard %1 ms of 300").arg(stretches[0])));
        QCOMPARE(lines(gone), 1);
        QCOMPARE(lines(back), 1);
        QCOMPARE(log.count(), 2);
    }
};

QTEST_GUILESS_MAIN(TestPulseOutput)
#include "tst_pulseoutput.moc"
