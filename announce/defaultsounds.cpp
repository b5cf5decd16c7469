// Cue sounds the program makes itself.
#include "announce/defaultsounds.h"

#include "announce/cuesounds.h"
#include "announce/wavfile.h"

#include <QDir>
#include <QSaveFile>

#include <cmath>
#include <vector>

namespace lapvane {

namespace {

constexpr int kRate = 22050;

struct Tone
{
    int startMs;
    int lengthMs;
    double hz;
};

QByteArray render(const std::vector<Tone> &tones)
{
    int totalMs = 0;
    for (const Tone &t : tones)
        totalMs = qMax(totalMs, t.startMs + t.lengthMs);
    const int count = kRate * (totalMs + 20) / 1000;
    std::vector<double> mix(size_t(count), 0.0);
    constexpr double kPi = 3.14159265358979323846;
    for (const Tone &t : tones) {
        const int from = kRate * t.startMs / 1000;
        const int n = kRate * t.lengthMs / 1000;
        const int fade = kRate * 8 / 1000; // no clicks at the edges
        for (int i = 0; i < n && from + i < count; ++i) {
            double env = 1.0;
            if (i < fade)
                env = double(i) / fade;
            else if (n - i < fade)
                env = double(n - i) / fade;
            const double x = 2 * kPi * t.hz * i / kRate;
            // A little of the octave makes the beep carry over wind and props.
            mix[size_t(from + i)] += env * (0.8 * std::sin(x) + 0.2 * std::sin(2 * x));
        }
    }
    QByteArray samples(count * 2, Qt::Uninitialized);
    auto *out = reinterpret_cast<qint16 *>(samples.data());
    for (int i = 0; i < count; ++i)
        out[i] = qint16(qBound(-1.0, mix[size_t(i)] * 0.7, 1.0) * 32767);
    return samples;
}

} // namespace

QString defaultSoundFileName(Cue cue)
{
    switch (cue) {
    case Cue::StartCountdown: return QStringLiteral("countdown.wav");
    case Cue::StartSignal: return QStringLiteral("start.wav");
    case Cue::LapPass: return QStringLiteral("lap.wav");
    case Cue::FinishOther: return QStringLiteral("finish.wav");
    case Cue::FinishFirst: return QStringLiteral("finish1st.wav");
    case Cue::FinishAll: return QStringLiteral("finishall.wav");
    case Cue::RegisterCheck: return QStringLiteral("regcheck.wav");
    }
    return {};
}

QByteArray defaultSoundWav(Cue cue)
{
    std::vector<Tone> tones;
    switch (cue) {
    case Cue::StartCountdown:
        // Five beeps a second apart: with the usual 5000 ms start delay the
        // start signal falls on the sixth beat.
        for (int s = 0; s < 5; ++s)
            tones.push_back({s * 1000, 150, 880});
        break;
    case Cue::StartSignal: tones = {{0, 700, 1320}}; break;
    case Cue::LapPass: tones = {{0, 90, 1760}}; break;
    case Cue::FinishOther: tones = {{0, 150, 784}, {170, 250, 1047}}; break;
    case Cue::FinishFirst: tones = {{0, 150, 523}, {160, 150, 659}, {320, 150, 784}, {480, 400, 1047}}; break;
    case Cue::FinishAll:
        tones = {{0, 200, 523}, {220, 200, 659}, {440, 200, 784}, {660, 200, 1047}, {900, 700, 1047},
                 {900, 700, 784}};
        break;
    case Cue::RegisterCheck: tones = {{0, 60, 2093}, {100, 60, 2093}}; break;
    }
    return wavBytes(render(tones), kRate);
}

bool useDefaultSounds(const QString &programFolder, CueSounds &cues, QString *error)
{
    const QDir folder(QDir(programFolder).filePath(QStringLiteral("sounds")));
    if (!QDir().mkpath(folder.path())) {
        *error = QStringLiteral("Cannot create the folder %1.").arg(folder.path());
        return false;
    }
    for (Cue cue : CueSounds::openingOrder()) {
        const QString path = folder.filePath(defaultSoundFileName(cue));
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(defaultSoundWav(cue)) < 0 || !file.commit()) {
            *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
            return false;
        }
        // Loaded on the cue loader; a failure would be logged there.
        cues.choose(cue, path);
    }
    return true;
}

} // namespace lapvane
