// The real sound output on a sound device: a silent PulseAudio server of the
// test's own (a null sink) stands in for the speakers. Skipped where the
// server cannot be started.
#include "announce/announcer.h"
#include "announce/cuesounds.h"
#include "announce/defaultsounds.h"
#include "announce/devicesoundoutput.h"
#include "announce/espeakengine.h"
#include "announce/wavfile.h"
#include "tests/race/racefixture.h"

#include <QProcess>

#include <cmath>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace lapvane;

namespace {

constexpr int kRecordRate = 22050;

// The loud stretches of 16-bit mono samples, in ms: 5 ms windows louder than
// a whisper, gaps shorter than 15 ms bridged.
QList<int> loudStretchesMs(const QByteArray &samples)
{
    const auto *s = reinterpret_cast<const qint16 *>(samples.constData());
    const qsizetype n = samples.size() / 2;
    const int window = kRecordRate / 200;
    QList<int> stretches;
    int start = -1, lastLoud = -1;
    for (qsizetype w = 0; w + window <= n; w += window) {
        double sum = 0;
        for (int i = 0; i < window; ++i)
            sum += double(s[w + i]) * s[w + i];
        const bool loud = std::sqrt(sum / window) > 1000;
        const int ms = int(w * 1000 / kRecordRate);
        if (loud) {
            if (start < 0)
                start = ms;
            else if (ms - lastLoud > 15) {
                stretches << lastLoud + 5 - start;
                start = ms;
            }
            lastLoud = ms;
        }
    }
    if (start >= 0)
        stretches << lastLoud + 5 - start;
    return stretches;
}

// From the first loud 5 ms window to the end of the last one, in ms.
int spanMs(const QByteArray &samples)
{
    const auto *s = reinterpret_cast<const qint16 *>(samples.constData());
    const qsizetype n = samples.size() / 2;
    const int window = kRecordRate / 200;
    int first = -1, last = -1;
    for (qsizetype w = 0; w + window <= n; w += window) {
        double sum = 0;
        for (int i = 0; i < window; ++i)
            sum += double(s[w + i]) * s[w + i];
        if (std::sqrt(sum / window) > 300) {
            const int ms = int(w * 1000 / kRecordRate);
            if (first < 0)
                first = ms;
            last = ms + 5;
        }
    }
    return first < 0 ? 0 : last - first;
}

// An output nobody hears, for synthesising only.
class FakeSilence : public SoundOutput
{
public:
    quint64 play(const PcmClip &) override { return 0; }
    void stop(quint64) override {}
    bool hasDevice() const override { return false; }
};

} // namespace

class TestDeviceOutput : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_runtime;
    QProcess m_server;

    static PcmClip cue(Cue c)
    {
        PcmClip clip;
        parseWav(defaultSoundWav(c), &clip, nullptr);
        clip.name = defaultSoundFileName(c);
        return clip;
    }

    // The null sink's monitor while the clip plays on a fresh output.
    QByteArray recorded(const PcmClip &clip)
    {
        const QString parec = QStandardPaths::findExecutable(QStringLiteral("parec"));
        QProcess recorder;
        recorder.start(parec, {"--device=nullsink.monitor", "--raw", "--format=s16le",
                               QString("--rate=%1").arg(kRecordRate), "--channels=1", "--latency-msec=10"});
        if (!recorder.waitForStarted(3000))
            return {};
        QTest::qWait(300);
        DeviceSoundOutput output;
        QSignalSpy finished(&output, &SoundOutput::finished);
        output.play(clip);
        if (!QTest::qWaitFor([&] { return finished.count() == 1; }, 10000))
            qWarning("the playback did not end");
        QTest::qWait(300);
        recorder.terminate();
        recorder.waitForFinished(3000);
        return recorder.readAllStandardOutput();
    }

    bool startServer()
    {
        QFile::remove(m_runtime.filePath("pulse/native"));
        m_server.start();
        return m_server.waitForStarted(5000)
               && QTest::qWaitFor([this] { return QFile::exists(m_runtime.filePath("pulse/native")); }, 5000);
    }
    void stopServer()
    {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        m_server.waitForFinished(2000);
    }

private slots:
    void initTestCase()
    {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (server.isEmpty())
            QSKIP("pulseaudio is not installed");
        // Set before Qt Multimedia first looks for devices.
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        qputenv("PULSE_SERVER", ("unix:" + m_runtime.filePath("pulse/native")).toLocal8Bit());
        m_server.setProgram(server);
        m_server.setArguments({"--daemonize=no", "-n", "--exit-idle-time=-1", "--use-pid-file=no",
                               "--load=module-null-sink sink_name=nullsink",
                               "--load=module-native-protocol-unix"});
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!startServer())
            QSKIP("pulseaudio did not start or open its socket");
    }
    void cleanupTestCase()
    {
        if (m_server.state() != QProcess::NotRunning)
            stopServer();
    }

    void cuesPlayToTheirEndAndOverlap()
    {
        DeviceSoundOutput output;
        QVERIFY(output.hasDevice());
        QSignalSpy started(&output, &SoundOutput::started);
        QSignalSpy finished(&output, &SoundOutput::finished);
        const quint64 lap = output.play(cue(Cue::LapPass));
        const quint64 reg = output.play(cue(Cue::RegisterCheck));
        QVERIFY(lap > 0 && reg > lap);
        QCOMPARE(output.playing(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 5000);
        QCOMPARE(started.count(), 2);
        QCOMPARE(output.playing(), 0);

        // A long cue stopped early ends at once.
        const quint64 countdown = output.play(cue(Cue::StartCountdown));
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 3, 3000);
        QElapsedTimer t;
        t.start();
        output.stop(countdown);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, 3000);
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(finished.last().at(0).value<quint64>(), countdown);
    }

    // What reaches the speakers: the sink's monitor recorded while cues play.
    void cuesArePlayedToTheirLastSample_data()
    {
        QTest::addColumn<int>("cue");
        QTest::addColumn<QList<int>>("tonesMs");
        QTest::newRow("lap pass") << int(Cue::LapPass) << QList<int>{90};
        QTest::newRow("registration check") << int(Cue::RegisterCheck) << QList<int>{60, 60};
        QTest::newRow("other finisher") << int(Cue::FinishOther) << QList<int>{150, 250};
    }
    void cuesArePlayedToTheirLastSample()
    {
        QFETCH(int, cue);
        QFETCH(QList<int>, tonesMs);
        if (QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
            QSKIP("parec is not installed");
        const QByteArray recording = recorded(this->cue(Cue(cue)));
        QVERIFY2(!recording.isEmpty(), "nothing recorded");
        const QList<int> heard = loudStretchesMs(recording);
        QCOMPARE(heard.size(), tonesMs.size());
        // Every tone as long as written, give or take its fades.
        for (int i = 0; i < heard.size(); ++i)
            QVERIFY2(qAbs(heard[i] - tonesMs[i]) <= 15,
                     qPrintable(QString("tone %1: heard %2 ms of %3").arg(i).arg(heard[i]).arg(tonesMs[i])));
    }

    void phraseIsPlayedToItsLastSound()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
            QSKIP("parec is not installed");
        FakeSilence silence;
        EspeakEngine engine(silence);
        const PcmClip phrase = engine.synthesise(QString::fromUtf8("Анна, третий круг"));
        QCOMPARE(phrase.format.sampleRate(), kRecordRate);
        const QByteArray recording = recorded(phrase);
        QVERIFY2(!recording.isEmpty(), "nothing recorded");
        // From the first loud window to the last: the whole phrase, its final
        // consonant included.
        const int written = spanMs(phrase.samples);
        const int heard = spanMs(recording);
        QVERIFY2(qAbs(heard - written) <= 20, qPrintable(QString("heard %1 ms of %2").arg(heard).arg(written)));
    }

    void finishCallIsHeardAfterTheFinishCue()
    {
        // A pilot's finish with the finish calls on: the cue and the place,
        // on one device, heard one after the other.
        if (QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
            QSKIP("parec is not installed");
        test::RaceFixture f;
        DeviceSoundOutput output;
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

        QProcess recorder;
        recorder.start(QStandardPaths::findExecutable(QStringLiteral("parec")),
                       {"--device=nullsink.monitor", "--raw", "--format=s16le", QString("--rate=%1").arg(kRecordRate),
                        "--channels=1", "--latency-msec=10"});
        QVERIFY(recorder.waitForStarted(3000));
        QTest::qWait(300);
        // As the race does it: the cue, then the place.
        cues.play(Cue::FinishFirst);
        announcer.pilotFinished(1, 3, 1);
        announcer.lapWritten();
        QTRY_COMPARE_WITH_TIMEOUT(spoken.count(), 1, 10000);
        QTest::qWait(300);
        recorder.terminate();
        recorder.waitForFinished(3000);
        announcer.shutdown();

        // From the cue's first tone to the call's last sound: both whole, one
        // after the other. Spoken over the cue, the call's start would be
        // hidden under it and the span no longer than the call alone.
        const QByteArray recording = recorder.readAllStandardOutput();
        QVERIFY2(!recording.isEmpty(), "nothing recorded");
        const int cueMs = spanMs(cue(Cue::FinishFirst).samples);
        const int callMs = spanMs(engine.synthesise(QString::fromUtf8("Анна — первое место")).samples);
        const int heardMs = spanMs(recording);
        QVERIFY2(heardMs >= cueMs + callMs - 20,
                 qPrintable(QString("heard %1 ms; the cue is %2 ms, the call %3 ms").arg(heardMs).arg(cueMs).arg(callMs)));
        QVERIFY(loudStretchesMs(recording).size() >= 2);
    }

    void deviceListThatNeverSaysTheDeviceIsBack()
    {
        DeviceSoundOutput output;
        QStringList lines;
        connect(&output, &SoundOutput::logLine, this, [&](const QString &l) { lines << l; });
        QSignalSpy started(&output, &SoundOutput::started);
        std::atomic_bool there{false};
        output.setDeviceProbe([&there] { return there.load(); });
        output.updateDevices();
        QVERIFY(!output.hasDevice());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(output.play(cue(Cue::LapPass)), quint64(0));
        QCOMPARE(lines, QStringList{"No sound output device: sound cues and speech are skipped."});

        // The device is back but nobody says so: a sound soon after is still
        // skipped (the list is not asked at every lap), a later one plays.
        there = true;
        QCOMPARE(output.play(cue(Cue::LapPass)), quint64(0));
        QTest::qWait(DeviceSoundOutput::kRecheckMs + 100);
        QVERIFY(output.play(cue(Cue::LapPass)) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 3000);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().contains("back"));
    }

    void speakingLastsWhileThePhrasePlays()
    {
        DeviceSoundOutput output;
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
};

QTEST_GUILESS_MAIN(TestDeviceOutput)
#include "tst_deviceoutput.moc"
