// Benchmark of the lap announcer with real espeak-ng speech: the time from a
// recorded lap to its phrase reaching the sound output with the engine idle,
// the announcer's cost while idle, and the pass loop tick while phrases are
// synthesised on the announcer thread.
#include "announce/announcer.h"
#include "announce/espeakengine.h"
#include "announce/pulsesoundoutput.h"
#include "announce/soundoutput.h"
#include "bench/common/benchstats.h"
#include "bench/common/benchworld.h"
#include "tests/common/privatesoundserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QThread>

#include <cstdio>
#include <optional>
#include <vector>

using namespace lapvane;
using lapvane::bench::percentile;
using lapvane::bench::processCpuNs;

namespace {

constexpr int kPilots = 16;

// Notes when each phrase arrives; a phrase is over at the next turn of the
// main event loop.
class TimingOutput : public SoundOutput
{
public:
    QElapsedTimer since;
    quint64 play(const PcmClip &clip) override
    {
        QMutexLocker lock(&m_lock);
        m_arrivedNs.push_back(since.nsecsElapsed());
        m_audioMs += clip.durationMs();
        const quint64 id = ++m_next;
        QMetaObject::invokeMethod(this, [this, id] { emit finished(id); }, Qt::QueuedConnection);
        return id;
    }
    void stop(quint64) override {}
    bool hasDevice() const override { return true; }
    size_t count() const
    {
        QMutexLocker lock(&m_lock);
        return m_arrivedNs.size();
    }
    qint64 arrivedNs(size_t i) const
    {
        QMutexLocker lock(&m_lock);
        return m_arrivedNs[i];
    }

private:
    mutable QMutex m_lock;
    std::vector<qint64> m_arrivedNs;
    qint64 m_audioMs = 0;
    quint64 m_next = 0;
};

// 16 pilots with Russian names in a running race, ticks driven by hand, and
// the announcer speaking their laps to the timing output (or a device).
struct Setup : bench::BenchWorld
{
    TimingOutput output;
    SoundOutput *sound = &output; // where the phrases go
    std::unique_ptr<EspeakEngine> speech;
    std::unique_ptr<Announcer> announcer;

    // calls: the race calls on (lap time in each lap call, finish places and
    // the winner, the time left, late lap calls left out), wired as the program does.
    explicit Setup(SoundOutput *device = nullptr, bool calls = false)
    {
        if (device)
            sound = device;
        const QStringList names = QString::fromUtf8("Иван Петров,Анна Смирнова,Борис Кузнецов,Вера Попова")
                                      .split(',');
        addRacePilots(kPilots, 1001, 0, [&names](int p) { return names[p % names.size()]; });
        makeEngine().setTimerDriven(false);
        startRace();
        output.since.start();
        speech = std::make_unique<EspeakEngine>(*sound);
        announcer = std::make_unique<Announcer>(settings, *log, *speech, engine->ring(), db.filePath());
        QObject::connect(engine.get(), &RaceEngine::pilotLapsChanged, announcer.get(), &Announcer::lapWritten);
        settings.set("cbpageslanguage", "ru");
        if (calls) {
            for (const char *c : {"chkcalllaptime", "chkcallfinish", "chkcalltimeleft", "chkcallstale"})
                settings.set(c, true);
            Announcer *a = announcer.get();
            QObject::connect(engine.get(), &RaceEngine::lapCounted, a, &Announcer::lapCounted);
            QObject::connect(engine.get(), &RaceEngine::raceCompleted, a, &Announcer::raceCompleted);
        }
    }
    ~Setup()
    {
        announcer.reset();
        engine.reset();
    }

    void announcerOn(bool on)
    {
        settings.set("chksoundnames", !on);
        settings.set("chksoundnames", on);
    }
};

void benchLatency(bool calls)
{
    Setup s(nullptr, calls);
    s.announcerOn(true);
    std::vector<double> ms;
    for (int i = 0; i < 60; ++i) {
        // The engine idle: the last phrase is over.
        waitUntil([&] { return !s.speech->isSpeaking(); }, nullptr, 5000);
        pause(20);
        const size_t before = s.output.count();
        s.queueLap(i);
        const qint64 t0 = s.output.since.nsecsElapsed();
        s.engine->tmrraceTimer();
        if (waitUntil([&] { return s.output.count() > before; }, nullptr, 5000) != WaitResult::Done)
            qFatal("lap %d was not announced", i);
        ms.push_back((s.output.arrivedNs(before) - t0) / 1e6);
    }
    std::printf("lap recorded -> phrase at the sound output (engine idle, 60 laps, race calls %s): median %.1f ms, "
                "p90 %.1f ms, max %.1f ms\n",
                calls ? "on" : "off", percentile(ms, 0.5), percentile(ms, 0.9), percentile(ms, 1.0));
}

// Whether the output reaches a sound server: it learns of one by its first
// sound, 20 ms of silence.
bool reachesServer(PulseSoundOutput &device)
{
    PcmClip probe;
    probe.format.setSampleRate(22050);
    probe.format.setChannelCount(1);
    probe.format.setSampleFormat(QAudioFormat::Int16);
    probe.samples = QByteArray(22050 / 50 * 2, '\0');
    bool probed = false;
    const QMetaObject::Connection probing =
        QObject::connect(&device, &SoundOutput::finished, &device, [&] { probed = true; });
    if (device.play(probe) != 0)
        waitUntil([&] { return probed; }, nullptr, 5000);
    QObject::disconnect(probing);
    return device.hasDevice();
}

// On the machine's sound device, or where it has none on a silent sound
// server of the benchmark's own (a null sink): lap recorded to the phrase's
// first samples leaving for the device.
void benchLatencyOnDevice(bool calls)
{
    std::optional<test::PrivateSoundServer> ownServer;
    auto output = std::make_unique<PulseSoundOutput>();
    if (!reachesServer(*output)) {
        ownServer.emplace();
        output = std::make_unique<PulseSoundOutput>();
        if (!ownServer->start() || !reachesServer(*output)) {
            std::printf("lap recorded -> audio starting: no sound device here and no pulseaudio to start, "
                        "not measured\n");
            return;
        }
    }
    PulseSoundOutput &device = *output;
    Setup s(&device, calls);
    s.announcerOn(true);
    QElapsedTimer clock;
    clock.start();
    qint64 startedNs = 0;
    QObject::connect(&device, &SoundOutput::started, &device, [&] { startedNs = clock.nsecsElapsed(); });
    std::vector<double> ms;
    for (int i = 0; i < 30; ++i) {
        waitUntil([&] { return !s.speech->isSpeaking(); }, nullptr, 10000);
        pause(50);
        startedNs = 0;
        s.queueLap(i);
        const qint64 t0 = clock.nsecsElapsed();
        s.engine->tmrraceTimer();
        if (waitUntil([&] { return startedNs != 0; }, nullptr, 5000) != WaitResult::Done)
            qFatal("lap %d did not reach the device", i);
        ms.push_back((startedNs - t0) / 1e6);
    }
    std::printf("lap recorded -> audio starting on the sound device%s (engine idle, 30 laps, race calls %s): "
                "median %.1f ms, p90 %.1f ms, max %.1f ms\n",
                ownServer ? " (a silent server of the benchmark's own)" : "", calls ? "on" : "off",
                percentile(ms, 0.5), percentile(ms, 0.9), percentile(ms, 1.0));
}

void benchIdle()
{
    Setup s;
    auto measure = [](int seconds) {
        const qint64 cpu0 = processCpuNs();
        QElapsedTimer wall;
        wall.start();
        QThread::sleep(seconds);
        return 100.0 * double(processCpuNs() - cpu0) / double(wall.nsecsElapsed());
    };
    const double without = measure(5);
    s.announcerOn(true);
    const double with = measure(5);
    std::printf("idle CPU over 5 s: %.3f %% of a core with the announcer waiting, %.3f %% without it\n", with,
                without);
}

void benchTickWhileSpeaking()
{
    auto run = [](bool speaking, size_t *phrases) {
        Setup s;
        s.announcerOn(speaking);
        std::vector<double> us;
        QElapsedTimer wall;
        wall.start();
        for (int i = 0; i < 1500; ++i) {
            s.queueLap(i);
            QElapsedTimer t;
            t.start();
            s.engine->tmrraceTimer();
            us.push_back(t.nsecsElapsed() / 1000.0);
            // The 3 ms race timer: the rest of the time the loop handles events.
            while (t.nsecsElapsed() < 3000000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        *phrases = s.output.count();
        return us;
    };
    size_t quietPhrases = 0, phrases = 0;
    const std::vector<double> quiet = run(false, &quietPhrases);
    const std::vector<double> busy = run(true, &phrases);
    std::printf("pass loop tick recording a lap, 1500 ticks 3 ms apart: median %.0f us, p99 %.0f us without "
                "speech; median %.0f us, p99 %.0f us while %zu phrases were synthesised\n",
                percentile(quiet, 0.5), percentile(quiet, 0.99), percentile(busy, 0.5), percentile(busy, 0.99),
                phrases);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    for (bool calls : {false, true}) {
        benchLatency(calls);
        benchLatencyOnDevice(calls);
    }
    benchIdle();
    benchTickWhileSpeaking();
    return 0;
}
