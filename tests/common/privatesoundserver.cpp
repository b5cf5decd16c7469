// The private silent sound server of the sound tests and benchmarks.
#include "tests/common/privatesoundserver.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

namespace lapvane::test {

namespace {

QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

// The root mean square of each 5 ms window of 16-bit mono samples.
QList<double> windowLoudness(const QByteArray &samples, int rate)
{
    const auto *s = reinterpret_cast<const qint16 *>(samples.constData());
    const qsizetype n = samples.size() / 2;
    const int window = rate / 200;
    QList<double> out;
    for (qsizetype w = 0; w + window <= n; w += window) {
        double sum = 0;
        for (int i = 0; i < window; ++i)
            sum += double(s[w + i]) * s[w + i];
        out << std::sqrt(sum / window);
    }
    return out;
}

// Where the window of that number starts, in whole ms.
int windowStartMs(qsizetype window, int rate)
{
    return int(qint64(window) * (rate / 200) * 1000 / rate);
}

} // namespace

PrivateSoundServer::PrivateSoundServer()
    : m_oldRuntimeDir(qgetenv("XDG_RUNTIME_DIR")), m_oldServer(qgetenv("PULSE_SERVER"))
{
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + m_runtime.filePath("pulse/native")).toLocal8Bit());
    m_server.setProgram(tool("pulseaudio"));
    m_server.setArguments({"--daemonize=no", "-n", "--exit-idle-time=-1", "--use-pid-file=no",
                           "--load=module-null-sink sink_name=nullsink",
                           "--load=module-native-protocol-unix"});
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

PrivateSoundServer::~PrivateSoundServer()
{
    stop();
    const auto restore = [](const char *name, const QByteArray &value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("XDG_RUNTIME_DIR", m_oldRuntimeDir);
    restore("PULSE_SERVER", m_oldServer);
}

QString PrivateSoundServer::missingTools()
{
    QStringList missing;
    for (const char *name : {"pulseaudio", "parec", "pacat"}) {
        if (tool(name).isEmpty())
            missing << QLatin1String(name);
    }
    return missing.join(QStringLiteral(", "));
}

bool PrivateSoundServer::start()
{
    const QString socket = m_runtime.filePath("pulse/native");
    QFile::remove(socket);
    m_server.start();
    if (!m_server.waitForStarted(5000) || !QTest::qWaitFor([&] { return QFile::exists(socket); }, 5000))
        return false;
    // An idle null sink sleeps for up to two seconds and drops the start of
    // the first sound after it; speakers keep running. A stream of silence
    // keeps this sink running the same way.
    m_silence.setStandardInputFile(QStringLiteral("/dev/zero"));
    m_silence.start(tool("pacat"), {"--playback", "--raw", "--latency-msec=20"});
    if (!m_silence.waitForStarted(3000))
        return false;
    QTest::qWait(300);
    // The first stream to join the running sink loses its start on the
    // monitor: a short stream of silence takes that place.
    const QString zeros = m_runtime.filePath("zeros.raw");
    QFile file(zeros);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(8820, '\0')) != 8820)
        return false;
    file.close();
    QProcess warmUp;
    warmUp.setStandardInputFile(zeros);
    warmUp.start(tool("pacat"), {"--playback", "--raw"});
    return warmUp.waitForFinished(5000) && warmUp.exitCode() == 0;
}

void PrivateSoundServer::stop()
{
    m_silence.kill();
    m_silence.waitForFinished(3000);
    // Asked to end first, so it leaves nothing behind in its folder.
    m_server.terminate();
    if (!m_server.waitForFinished(5000))
        m_server.kill();
    m_server.waitForFinished(2000);
}

QByteArray PrivateSoundServer::record(const std::function<void()> &act)
{
    QProcess recorder;
    recorder.start(tool("parec"),
                   {"--device=nullsink.monitor", "--raw", "--format=s16le",
                    QStringLiteral("--rate=%1").arg(kRecordRate), "--channels=1", "--latency-msec=10"});
    if (!recorder.waitForStarted(3000))
        return {};
    QTest::qWait(300);
    act();
    QTest::qWait(300);
    recorder.terminate();
    recorder.waitForFinished(3000);
    return recorder.readAllStandardOutput();
}

QList<int> loudStretchesMs(const QByteArray &samples, int rate)
{
    const QList<double> loudness = windowLoudness(samples, rate);
    QList<int> stretches;
    int start = -1, lastLoud = -1;
    for (qsizetype w = 0; w < loudness.size(); ++w) {
        if (loudness[w] <= 1000)
            continue;
        const int ms = windowStartMs(w, rate);
        if (start < 0) {
            start = ms;
        } else if (ms - lastLoud > 15) {
            stretches << lastLoud + 5 - start;
            start = ms;
        }
        lastLoud = ms;
    }
    if (start >= 0)
        stretches << lastLoud + 5 - start;
    return stretches;
}

int spanMs(const QByteArray &samples, int rate)
{
    const QList<double> loudness = windowLoudness(samples, rate);
    int first = -1, last = -1;
    for (qsizetype w = 0; w < loudness.size(); ++w) {
        if (loudness[w] > 300) {
            if (first < 0)
                first = windowStartMs(w, rate);
            last = windowStartMs(w, rate) + 5;
        }
    }
    return first < 0 ? 0 : last - first;
}

} // namespace lapvane::test
