// The real sound output on a sound device: a silent PulseAudio server of the
// test's own (a null sink) stands in for the speakers. Skipped where the
// server cannot be started.
#include "announce/defaultsounds.h"
#include "announce/devicesoundoutput.h"
#include "announce/espeakengine.h"
#include "announce/wavfile.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace lapvane;

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
        m_server.start();
        if (!m_server.waitForStarted(5000))
            QSKIP("pulseaudio did not start");
        if (!QTest::qWaitFor([this] { return QFile::exists(m_runtime.filePath("pulse/native")); }, 5000))
            QSKIP("pulseaudio did not open its socket");
    }
    void cleanupTestCase()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
            m_server.waitForFinished(2000);
        }
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
