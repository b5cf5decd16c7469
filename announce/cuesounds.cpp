// The seven sound cues over the sound output.
#include "announce/cuesounds.h"

#include "announce/soundoutput.h"
#include "announce/wavfile.h"
#include "core/clock.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "core/wait.h"

namespace lapvane {

const std::array<Cue, CueSounds::kCueCount> &CueSounds::openingOrder()
{
    static const std::array<Cue, kCueCount> order = {Cue::StartCountdown, Cue::StartSignal, Cue::LapPass,
                                                     Cue::FinishOther,    Cue::FinishFirst, Cue::FinishAll,
                                                     Cue::RegisterCheck};
    return order;
}

QString CueSounds::pathControl(Cue cue)
{
    switch (cue) {
    case Cue::StartCountdown: return QStringLiteral("edstartwavepath");
    case Cue::StartSignal: return QStringLiteral("edstartsound");
    case Cue::LapPass: return QStringLiteral("edlappasspath");
    case Cue::FinishOther: return QStringLiteral("edfinishpath");
    case Cue::FinishFirst: return QStringLiteral("edfin1path");
    case Cue::FinishAll: return QStringLiteral("edfinallpath");
    case Cue::RegisterCheck: return QStringLiteral("edregcheckpath");
    }
    return {};
}

CueSounds::CueSounds(Settings &settings, OperatorLog &log, SoundOutput &output)
    : m_settings(settings), m_log(log), m_output(output)
{
}

bool CueSounds::openPlayer(Cue cue, const QString &path, QString *error)
{
    Player &p = m_players[index(cue)];
    p = Player{};
    p.path = path;
    p.open = readWav(path, &p.clip, error);
    return p.open;
}

bool CueSounds::openPlayers()
{
    for (Cue cue : openingOrder()) {
        if (!openPlayer(cue, m_settings.text(pathControl(cue)), nullptr)) {
            m_log.savelog(QStringLiteral("WAV player didn't open files, check manually!"));
            return false;
        }
    }
    return true;
}

bool CueSounds::choose(Cue cue, const QString &path, QString *error)
{
    m_settings.set(pathControl(cue), path);
    QString reason;
    const bool ok = openPlayer(cue, path, &reason);
    if (!ok) {
        m_log.savelog(QStringLiteral("The sound file %1 cannot be played: %2").arg(path, reason));
        if (error)
            *error = reason;
    }
    return ok;
}

void CueSounds::play(Cue cue)
{
    const QString path = m_settings.text(pathControl(cue));
    Player &p = m_players[index(cue)];
    if (path != p.path)
        openPlayer(cue, path, nullptr);
    if (p.open)
        m_output.play(p.clip);
}

void CueSounds::playPath(const QString &path)
{
    PcmClip clip;
    if (readWav(path, &clip, nullptr))
        m_output.play(clip);
}

qint64 CueSounds::measureCountdown(StopFlag &stop, const Clock &clock, const std::function<bool()> &abandoned)
{
    stop.clear();
    tryCue(Cue::StartCountdown);
    const qint64 started = clock.nowMs();
    waitUntil([&abandoned] { return abandoned && abandoned(); }, &stop);
    return clock.nowMs() - started;
}

} // namespace lapvane
