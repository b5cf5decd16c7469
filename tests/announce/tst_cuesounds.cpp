// Sound cues: WAV files into memory, the seven players and their start-up
// opening, choosing and trying a file, the countdown measurement, the
// program's own default sounds, and the cue moments of a whole race.
#include "announce/cuesounds.h"
#include "announce/defaultsounds.h"
#include "announce/wavfile.h"
#include "tests/announce/fakesound.h"
#include "tests/common/testfiles.h"
#include "tests/race/racefixture.h"

#include <QtEndian>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace lapvane;
using namespace lapvane::test;

namespace {

QByteArray int16Tone(int count, double hz = 440, int rate = 22050)
{
    QByteArray s(count * 2, Qt::Uninitialized);
    auto *p = reinterpret_cast<qint16 *>(s.data());
    for (int i = 0; i < count; ++i)
        p[i] = qint16(10000 * std::sin(2 * 3.14159265 * hz * i / rate));
    return s;
}

// A WAV file with a hand-made header: format tag, bits, channels and the
// sample bytes as given.
QByteArray rawWav(quint16 tag, quint16 bits, quint16 channels, const QByteArray &data, quint32 declared = 0)
{
    QByteArray out("RIFF....WAVE");
    auto put16 = [&out](quint16 v) { char b[2]; qToLittleEndian(v, b); out.append(b, 2); };
    auto put32 = [&out](quint32 v) { char b[4]; qToLittleEndian(v, b); out.append(b, 4); };
    // An odd-sized chunk before the format, padded to an even length.
    out.append("LIST");
    put32(3);
    out.append("abc");
    out.append('\0');
    out.append("fmt ");
    put32(16);
    put16(tag);
    put16(channels);
    put32(8000);
    put32(8000 * channels * bits / 8);
    put16(quint16(channels * bits / 8));
    put16(bits);
    out.append("data");
    put32(declared ? declared : quint32(data.size()));
    out.append(data);
    return out;
}

qint16 sampleAt(const PcmClip &clip, int i)
{
    return reinterpret_cast<const qint16 *>(clip.samples.constData())[i];
}

struct Cues
{
    explicit Cues(RaceFixture &f) : cues(f.settings, *f.log, output) {}
    FakeSoundOutput output;
    CueSounds cues;
};

} // namespace

class TestCueSounds : public QObject
{
    Q_OBJECT
private slots:
    void wavSampleFormats_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("second"); // the second sample, as 16 bit
        const char u8[] = {char(0x80), char(0xC0), char(0x00)};
        QTest::newRow("8-bit unsigned") << rawWav(1, 8, 1, QByteArray(u8, 3)) << 1 << 3 << 0x4000;
        QByteArray s16;
        for (qint16 v : {qint16(0), qint16(-1234), qint16(32767), qint16(-32768)}) {
            char b[2];
            qToLittleEndian(v, b);
            s16.append(b, 2);
        }
        QTest::newRow("16-bit stereo") << rawWav(1, 16, 2, s16) << 2 << 2 << -1234;
        const char s24[] = {0, 0, 0, 0x00, 0x34, char(0x92)};
        QTest::newRow("24-bit") << rawWav(1, 24, 1, QByteArray(s24, 6)) << 1 << 2 << int(qint16(0x9234));
        const char s32[] = {0, 0, 0, 0, 0, 0, 0x10, 0x20};
        QTest::newRow("32-bit") << rawWav(1, 32, 1, QByteArray(s32, 8)) << 1 << 2 << 0x2010;
        float floats[] = {0.0f, -0.5f, 2.0f};
        QTest::newRow("32-bit float, clipped")
            << rawWav(3, 32, 1, QByteArray(reinterpret_cast<const char *>(floats), 12)) << 1 << 3 << -16383;
        // A recorder that never wrote the length: the samples that are there.
        QTest::newRow("data longer than the file") << rawWav(1, 16, 1, s16, 0xFFFFFFF0u) << 1 << 4 << -1234;
        // Half a frame at the end is dropped.
        QTest::newRow("odd byte at the end") << rawWav(1, 16, 1, s16 + "x") << 1 << 4 << -1234;
    }
    void wavSampleFormats()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, channels);
        QFETCH(int, frames);
        QFETCH(int, second);
        PcmClip clip;
        QString error;
        QVERIFY2(parseWav(file, &clip, &error), qPrintable(error));
        QCOMPARE(clip.format.sampleFormat(), QAudioFormat::Int16);
        QCOMPARE(clip.format.channelCount(), channels);
        QCOMPARE(clip.format.sampleRate(), 8000);
        QCOMPARE(clip.samples.size(), frames * channels * 2);
        QCOMPARE(int(sampleAt(clip, 1)), second);
    }

    void notPlayableWavs_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("an MP3") << QByteArray("ID3\x03\x00\x00\x00\x00\x00\x00 and more bytes of the song");
        QTest::newRow("no samples") << rawWav(1, 16, 1, QByteArray());
        QTest::newRow("ADPCM") << rawWav(2, 4, 1, QByteArray(100, 'a'));
        QTest::newRow("no channels") << rawWav(1, 16, 0, QByteArray(100, 'a'));
        QTest::newRow("header cut off") << rawWav(1, 16, 1, QByteArray(100, 'a')).left(30);
    }
    void notPlayableWavs()
    {
        QFETCH(QByteArray, file);
        PcmClip clip;
        QString error;
        QVERIFY(!parseWav(file, &clip, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(clip.isEmpty());
    }

    void startupLoadsEveryCueAFailingOneToldOnce()
    {
        RaceFixture f;
        Cues c(f);
        // A fresh machine: no files at all. The start-up file check lists
        // them; the players add only the summary.
        c.cues.openPlayers();
        QVERIFY(c.cues.waitForLoads());
        QCOMPARE(f.lines->lines, QStringList{"WAV player didn't open files, check manually!"});
        for (Cue cue : CueSounds::openingOrder())
            QVERIFY(!c.cues.isOpen(cue));

        // "Finish others" cannot be played: the cues after it load all the same.
        const QString good = writeFile(f.dir.filePath("beep.wav"), wavBytes(int16Tone(2205), 22050));
        const QString broken = writeFile(f.dir.filePath("other.wav"), "RIFF, but not a wave");
        for (Cue cue : CueSounds::openingOrder())
            f.settings.set(CueSounds::pathControl(cue), good);
        f.settings.set("edfinishpath", broken);
        f.lines->lines.clear();
        c.cues.openPlayers();
        QVERIFY(c.cues.waitForLoads());
        QCOMPARE(f.lines->lines,
                 QStringList({"Pilot finished other: the sound file " + broken + " cannot be played: not a WAV file",
                              "WAV player didn't open files, check manually!"}));
        for (Cue cue : CueSounds::openingOrder())
            QCOMPARE(c.cues.isOpen(cue), cue != Cue::FinishOther);
        // Playing it later says nothing more; the others play.
        c.cues.play(Cue::FinishOther);
        c.cues.play(Cue::FinishFirst);
        c.cues.play(Cue::RegisterCheck);
        QCOMPARE(c.output.names(), QStringList({good, good}));
        QCOMPARE(f.lines->lines.size(), 2);

        f.settings.set("edfinishpath", good);
        f.lines->lines.clear();
        c.cues.openPlayers();
        QVERIFY(c.cues.waitForLoads());
        QVERIFY(f.lines->lines.isEmpty());
    }

    void thePassLoopNeverReadsACueFile()
    {
        // A large lap sound still being read when the first lap comes: the
        // reads are counted by thread, and one off the main thread is held
        // until the test lets it go, as a slow disk would.
        RaceFixture f;
        std::atomic_int mainThreadReads{0};
        QSemaphore release;
        std::atomic_bool holding{false};
        const QString big = writeFile(f.dir.filePath("big.wav"), wavBytes(int16Tone(22050), 22050));
        auto reader = [&](const QString &path, PcmClip *clip, QString *error) {
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                ++mainThreadReads;
            else if (path == big) {
                holding = true;
                release.acquire();
            }
            return readWav(path, clip, error);
        };
        FakeSoundOutput output;
        CueSounds cues(f.settings, *f.log, output, reader);
        RaceServices s = f.services();
        f.engine = std::make_unique<RaceEngine>(RaceServices{s.db, s.settings, s.log, s.prompt, s.receivers, cues,
                                                             s.clock, s.stop, s.selection, s.raceStateFile});
        f.engine->setTimerDriven(false);
        f.settings.set("chksounds", true);
        f.settings.set("edstartdelay", "0");
        f.settings.set("edtlaps", "5");
        f.addPilot(1, "Anna", 100);
        // Start-up left the lap cue unbound (an earlier cue failed there once);
        // the race plays it with its path set.
        f.settings.set("edlappasspath", big);
        QVERIFY(f.start());
        f.pass(100, 30000);
        QCOMPARE(f.lapCount(), 1);
        QCOMPARE(f.logCount("ID:100 Anna"), 1);
        QTRY_VERIFY(holding);
        // The lap was logged while the file was still being read.
        QCOMPARE(f.lapCount(), 1);
        f.pass(100, 60000);
        QCOMPARE(f.lapCount(), 2);
        QVERIFY(output.names().isEmpty());
        release.release(10);
        QVERIFY(cues.waitForLoads());
        f.pass(100, 90000);
        QCOMPARE(output.names(), QStringList{big});
        // "...", "Try" and "Play" read off the main thread as well.
        cues.choose(Cue::FinishAll, big);
        cues.tryCue(Cue::FinishAll);
        cues.playPath(big);
        QVERIFY(cues.waitForLoads());
        QCOMPARE(output.names(), QStringList({big, big, big}));
        QCOMPARE(mainThreadReads.load(), 0);
    }

    void playChooseTryAndThePlayCommand()
    {
        RaceFixture f;
        Cues c(f);
        const QString lap = writeFile(f.dir.filePath("lap.wav"), wavBytes(int16Tone(1000), 22050));
        const QString other = writeFile(f.dir.filePath("other.wav"), wavBytes(int16Tone(3000), 22050));
        const QString broken = writeFile(f.dir.filePath("song.mp3"), "ID3 not a wave");

        // A cue without a file is skipped quietly: the race goes on.
        c.cues.play(Cue::LapPass);
        QVERIFY(c.output.clips().isEmpty());

        c.cues.choose(Cue::LapPass, lap);
        QCOMPARE(f.settings.text("edlappasspath"), lap);
        QVERIFY(c.cues.waitForLoads());
        // "Try" plays whatever "Enable sounds" says (it is off here).
        QVERIFY(!f.settings.flag("chksounds"));
        c.cues.tryCue(Cue::LapPass);
        c.cues.play(Cue::LapPass);
        QCOMPARE(c.output.names(), QStringList({lap, lap}));
        QCOMPARE(c.output.clips().at(0).samples.size(), 2000);

        // A file that cannot be played: said once in the log, the cue silent.
        QSignalSpy failed(&c.cues, &CueSounds::chooseFailed);
        c.cues.choose(Cue::LapPass, broken);
        QVERIFY(c.cues.waitForLoads());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(2).toString(), QString("not a WAV file"));
        QCOMPARE(f.logCount("Lap pass: the sound file " + broken + " cannot be played: not a WAV file"), 1);
        QVERIFY(!c.cues.isOpen(Cue::LapPass));
        c.cues.play(Cue::LapPass);
        QCOMPARE(c.output.clips().size(), 2);

        // A start-signal path typed by hand is loaded as it changes.
        c.cues.openPlayers();
        QVERIFY(c.cues.waitForLoads());
        f.settings.set("edstartsound", other);
        QVERIFY(c.cues.waitForLoads());
        c.cues.play(Cue::StartSignal);
        QCOMPARE(c.output.names().last(), other);
        QCOMPARE(c.cues.boundPath(Cue::StartSignal), other);

        // "Play " + path: the file once, a missing one ignored.
        c.cues.playPath(lap);
        c.cues.playPath(f.dir.filePath("nothing.wav"));
        QVERIFY(c.cues.waitForLoads());
        QCOMPARE(c.output.names().last(), lap);
        QCOMPARE(c.output.clips().size(), 4);
    }

    void countdownMeasurement()
    {
        RaceFixture f;
        Cues c(f);
        c.cues.choose(Cue::StartCountdown, writeFile(f.dir.filePath("cd.wav"), wavBytes(int16Tone(100), 22050)));
        QVERIFY(c.cues.waitForLoads());
        f.stop.raise(); // left over from an earlier wait
        QTimer::singleShot(10, [&] {
            f.clock.advance(3200);
            f.stop.raise(); // "Stop"
        });
        const qint64 measured = c.cues.measureCountdown(f.stop, f.clock);
        QCOMPARE(measured, 3200);
        QCOMPARE(c.output.clips().size(), 1);
    }

    void defaultSounds()
    {
        RaceFixture f;
        Cues c(f);
        QString error;
        QVERIFY2(useDefaultSounds(f.dir.path(), c.cues, &error), qPrintable(error));
        QVERIFY(c.cues.waitForLoads());
        QStringList paths;
        for (Cue cue : CueSounds::openingOrder()) {
            const QString path = f.settings.text(CueSounds::pathControl(cue));
            QCOMPARE(QFileInfo(path).absolutePath(), QDir(f.dir.filePath("sounds")).absolutePath());
            QVERIFY(c.cues.isOpen(cue));
            paths << path;
            PcmClip clip;
            QVERIFY(readWav(path, &clip, &error));
            QCOMPARE(clip.format.sampleFormat(), QAudioFormat::Int16);
            QCOMPARE(clip.format.channelCount(), 1);
            int peak = 0;
            for (int i = 0; i < clip.samples.size() / 2; ++i)
                peak = qMax(peak, qAbs(int(sampleAt(clip, i))));
            QVERIFY2(peak > 8000, qPrintable(path));
            QVERIFY2(clip.durationMs() >= 80 && clip.durationMs() <= 5000, qPrintable(path));
        }
        QCOMPARE(paths.removeDuplicates(), 0);
        // The countdown lasts about the default start delay.
        PcmClip countdown;
        readWav(f.settings.text("edstartwavepath"), &countdown, nullptr);
        QVERIFY(countdown.durationMs() > 4000 && countdown.durationMs() <= 5000);
        // The start-up check is content.
        f.lines->lines.clear();
        c.cues.openPlayers();
        QVERIFY(c.cues.waitForLoads());
        QVERIFY(f.lines->lines.isEmpty());
    }

    void cueMomentsOfAWholeRace_data()
    {
        QTest::addColumn<bool>("sounds");
        QTest::newRow("Enable sounds on") << true;
        QTest::newRow("Enable sounds off") << false;
    }
    void cueMomentsOfAWholeRace()
    {
        QFETCH(bool, sounds);
        RaceFixture f;
        Cues c(f);
        QString error;
        QVERIFY(useDefaultSounds(f.dir.path(), c.cues, &error));
        QVERIFY(c.cues.waitForLoads());
        RaceServices s = f.services();
        f.engine = std::make_unique<RaceEngine>(RaceServices{s.db, s.settings, s.log, s.prompt, s.receivers, c.cues,
                                                             s.clock, s.stop, s.selection, s.raceStateFile});
        f.engine->setTimerDriven(false);
        f.settings.set("chksounds", sounds);
        f.settings.set("edtlaps", "2");
        f.settings.set("edstartdelay", "0");
        f.addPilot(1, "Anna", 100);
        f.addPilot(2, "Boris", 200);
        QVERIFY(f.start());
        f.pass(100, 30000);
        f.pass(200, 31000);
        f.pass(200, 60000);
        f.pass(100, 61000);
        QVERIFY(!f.engine->isRunning());
        auto file = [&](Cue cue) { return f.settings.text(CueSounds::pathControl(cue)); };
        const QStringList expected = {file(Cue::StartCountdown), file(Cue::StartSignal), file(Cue::LapPass),
                                      file(Cue::LapPass),        file(Cue::FinishFirst), file(Cue::FinishOther),
                                      file(Cue::FinishAll)};
        QCOMPARE(c.output.names(), sounds ? expected : QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCueSounds)
#include "tst_cuesounds.moc"
