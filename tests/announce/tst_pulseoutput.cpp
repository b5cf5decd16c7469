// The sound output on the sound server's default sink: a silent server of the
// test's own (a null sink) stands in for the speakers, its monitor is what the
// crowd would hear. Skipped where the server cannot be started.
#include "announce/defaultsounds.h"
#include "announce/pulsesoundoutput.h"
#include "announce/wavfile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace lapvane;

namespace {

constexpr int kRate = 22050;

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

// The loud stretches of 16-bit mono samples, in ms: 5 ms windows louder than
// a whisper, gaps shorter than 15 ms bridged.
QList<int> loudStretchesMs(const QByteArray &samples)
{
    const auto *s = reinterpret_cast<const qint16 *>(samples.constData());
    const qsizetype n = samples.size() / 2;
    const int window = kRate / 200;
    QList<int> stretches;
    int start = -1, lastLoud = -1;
    for (qsizetype w = 0; w + window <= n; w += window) {
        double sum = 0;
        for (int i = 0; i < window; ++i)
            sum += double(s[w + i]) * s[w + i];
        const bool loud = std::sqrt(sum / window) > 1000;
        const int ms = int(w * 1000 / kRate);
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

} // namespace

class TestPulseOutput : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_runtime;
    QProcess m_server;
    QProcess m_silence;

    // The null sink's monitor while `act` plays on the output; `act` returns
    // once its playbacks have ended.
    template<typename Act>
    QByteArray recorded(Act act)
    {
        QProcess recorder;
        recorder.start(QStandardPaths::findExecutable(QStringLiteral("parec")),
                       {"--device=nullsink.monitor", "--raw", "--format=s16le", QString("--rate=%1").arg(kRate),
                        "--channels=1", "--latency-msec=10"});
        if (!recorder.waitForStarted(3000))
            return {};
        QTest::qWait(300);
        act();
        QTest::qWait(300);
        recorder.terminate();
        recorder.waitForFinished(3000);
        return recorder.readAllStandardOutput();
    }

    bool startServer()
    {
        QFile::remove(m_runtime.filePath("pulse/native"));
        m_server.start();
        if (!m_server.waitForStarted(5000)
            || !QTest::qWaitFor([this] { return QFile::exists(m_runtime.filePath("pulse/native")); }, 5000))
            return false;
        // An idle null sink sleeps for up to two seconds and drops the start
        // of the first sound after it; speakers keep running. A stream of
        // silence keeps the test's sink running the same way.
        m_silence.setStandardInputFile(QStringLiteral("/dev/zero"));
        m_silence.start(QStandardPaths::findExecutable(QStringLiteral("pacat")),
                        {"--playback", "--raw", "--latency-msec=20"});
        if (!m_silence.waitForStarted(3000))
            return false;
        QTest::qWait(300);
        // The first stream to join the running sink loses its start on the
        // monitor: a short stream of silence takes that place.
        QFile zeros(m_runtime.filePath("zeros.raw"));
        if (!zeros.open(QIODevice::WriteOnly) || zeros.write(QByteArray(8820, '\0')) != 8820)
            return false;
        zeros.close();
        QProcess warmUp;
        warmUp.setStandardInputFile(zeros.fileName());
        warmUp.start(QStandardPaths::findExecutable(QStringLiteral("pacat")), {"--playback", "--raw"});
        return warmUp.waitForFinished(5000) && warmUp.exitCode() == 0;
    }
    void stopServer()
    {
        m_silence.kill();
        m_silence.waitForFinished(3000);
        m_server.kill();
        m_server.waitForFinished(5000);
    }

private slots:
    void initTestCase()
    {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (server.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("pacat")).isEmpty())
            QSKIP("pulseaudio, parec or pacat is not installed");
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

    // Every sample reaches the speakers, a short cue's as well as a long tone's.
    void clipIsHeardWhole_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<bool>("cue");
        QTest::newRow("lap cue") << 90 << true;
        QTest::newRow("tone") << 400 << false;
    }
    void clipIsHeardWhole()
    {
        QFETCH(int, ms);
        QFETCH(bool, cue);
        PcmClip clip = tone(ms);
        if (cue) {
            QVERIFY(parseWav(defaultSoundWav(Cue::LapPass), &clip, nullptr));
            clip.name = defaultSoundFileName(Cue::LapPass);
        }
        PulseSoundOutput output;
        QSignalSpy started(&output, &SoundOutput::started);
        QSignalSpy finished(&output, &SoundOutput::finished);
        quint64 id = 0;
        const QByteArray heard = recorded([&] {
            id = output.play(clip);
            QVERIFY(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000));
        });
        QVERIFY(id > 0);
        QCOMPARE(started.count(), 1);
        QCOMPARE(finished.at(0).at(0).value<quint64>(), id);
        QCOMPARE(output.playing(), 0);
        const QList<int> stretches = loudStretchesMs(heard);
        QCOMPARE(stretches.size(), 1);
        QVERIFY2(qAbs(stretches[0] - ms) <= 15, qPrintable(QString("heard %1 ms of %2").arg(stretches[0]).arg(ms)));
    }

    void stopCutsTheSound()
    {
        PulseSoundOutput output;
        QSignalSpy started(&output, &SoundOutput::started);
        QSignalSpy finished(&output, &SoundOutput::finished);
        qint64 stopToEndMs = -1;
        const QByteArray heard = recorded([&] {
            const quint64 id = output.play(tone(3000));
            QVERIFY(QTest::qWaitFor([&] { return started.count() == 1; }, 3000));
            QTest::qWait(300);
            QElapsedTimer t;
            t.start();
            output.stop(id);
            QVERIFY(QTest::qWaitFor([&] { return finished.count() == 1; }, 3000));
            stopToEndMs = t.elapsed();
        });
        QVERIFY2(stopToEndMs < 100, qPrintable(QString("ended %1 ms after the stop").arg(stopToEndMs)));
        const QList<int> stretches = loudStretchesMs(heard);
        QCOMPARE(stretches.size(), 1);
        QVERIFY2(stretches[0] < 600, qPrintable(QString("heard %1 ms after a stop at 300 ms").arg(stretches[0])));
    }

    // The server goes away and comes back: the same output plays again.
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

        stopServer();
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

        QVERIFY(startServer());
        QTest::qWait(PulseSoundOutput::kRecheckMs + 100);
        const QByteArray heard = recorded([&] {
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
