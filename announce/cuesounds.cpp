// The seven sound cues over the sound output, their files read on a loader thread.
#include "announce/cuesounds.h"

#include "announce/soundoutput.h"
#include "announce/wavfile.h"
#include "core/clock.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "core/wait.h"

#include <QFileInfo>
#include <QThread>

namespace lapvane {

namespace {

bool isFinishCue(Cue cue)
{
    return cue == Cue::FinishFirst || cue == Cue::FinishOther || cue == Cue::FinishAll;
}

// Only regular files are read: a pipe or a device chosen by mistake would
// hold the loader for ever.
bool readCueFile(const QString &path, PcmClip *clip, QString *error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        if (error)
            *error = QStringLiteral("not a regular file");
        return false;
    }
    return readWav(path, clip, error);
}

} // namespace

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

QString CueSounds::caption(Cue cue)
{
    switch (cue) {
    case Cue::StartCountdown: return QStringLiteral("Start countdown");
    case Cue::StartSignal: return QStringLiteral("Start sound");
    case Cue::LapPass: return QStringLiteral("Lap pass");
    case Cue::FinishOther: return QStringLiteral("Pilot finished other");
    case Cue::FinishFirst: return QStringLiteral("Pilot finished 1st");
    case Cue::FinishAll: return QStringLiteral("All finished");
    case Cue::RegisterCheck: return QStringLiteral("Register check");
    }
    return {};
}

CueSounds::CueSounds(Settings &settings, OperatorLog &log, SoundOutput &output, Reader reader, QObject *parent)
    : QObject(parent), m_settings(settings), m_log(log), m_output(output), m_reader(std::move(reader))
{
    if (!m_reader)
        m_reader = readCueFile;
    m_loader = QThread::create([this] { runLoader(); });
    m_loader->setObjectName(QStringLiteral("cueloader"));
    m_loader->start();
    connect(&m_output, &SoundOutput::finished, this, [this](quint64 id) {
        QMutexLocker lock(&m_lock);
        m_finishPlaying.remove(id);
    }, Qt::DirectConnection);
    // A path typed or filled in is loaded as it changes, not when the cue plays.
    connect(&m_settings, &Settings::changed, this, [this](const QString &control, const QVariant &value) {
        for (Cue cue : openingOrder()) {
            if (control != pathControl(cue))
                continue;
            QMutexLocker lock(&m_lock);
            const Player &p = m_players[index(cue)];
            if (p.state != State::Unbound && p.path != value.toString())
                requestLoadLocked(cue, value.toString(), Origin::Changed);
        }
    });
}

CueSounds::~CueSounds()
{
    {
        QMutexLocker lock(&m_lock);
        m_quit = true;
        m_jobs.clear();
    }
    m_jobsWaiting.wakeAll();
    m_loader->wait();
    delete m_loader;
}

void CueSounds::requestLoadLocked(Cue cue, const QString &path, Origin origin)
{
    Player &p = m_players[index(cue)];
    const bool keepTry = p.tryWhenLoaded && p.path == path;
    const quint64 generation = p.generation + 1;
    p = Player{};
    p.path = path;
    p.generation = generation;
    p.tryWhenLoaded = keepTry;
    p.state = State::Loading;
    m_jobs.push_back({index(cue), path, generation, origin});
    ++m_outstanding;
    m_jobsWaiting.wakeAll();
}

void CueSounds::runLoader()
{
    for (;;) {
        Job job;
        {
            QMutexLocker lock(&m_lock);
            while (m_jobs.empty() && !m_quit)
                m_jobsWaiting.wait(&m_lock);
            if (m_quit)
                return;
            job = m_jobs.front();
            m_jobs.pop_front();
            // A newer request for the same cue makes this one useless: its
            // result is still handed over, so the counts stay right.
            if (job.cue >= 0 && m_players[job.cue].generation != job.generation) {
                lock.unlock();
                QMetaObject::invokeMethod(this, [this, job] { loaded(job, false, {}, {}); }, Qt::QueuedConnection);
                continue;
            }
        }
        PcmClip clip;
        QString error;
        bool ok = false;
        if (job.path.isEmpty())
            error = QStringLiteral("no file chosen");
        else
            ok = m_reader(job.path, &clip, &error);
        if (ok)
            clip.name = job.path;
        // The result is taken over on the main thread.
        QMetaObject::invokeMethod(this, [this, job, ok, clip, error] { loaded(job, ok, clip, error); },
                                  Qt::QueuedConnection);
    }
}

void CueSounds::loaded(const Job &job, bool ok, const PcmClip &clip, const QString &error)
{
    bool playNow = false;
    {
        QMutexLocker lock(&m_lock);
        --m_outstanding;
        if (job.cue >= 0) {
            Player &p = m_players[job.cue];
            if (p.generation != job.generation) {
                // Superseded: only the start-up count needs it.
                lock.unlock();
                if (job.origin == Origin::Startup && --m_startupPending == 0)
                    startupDone();
                return;
            }
            p.state = ok ? State::Open : State::Failed;
            p.clip = ok ? clip : PcmClip{};
            p.error = error;
            playNow = ok && p.tryWhenLoaded;
            p.tryWhenLoaded = false;
        }
    }
    if (job.cue < 0) {
        if (ok)
            m_output.play(clip);
        return;
    }
    const Cue cue = Cue(job.cue);
    if (playNow)
        playClip(cue, clip);
    switch (job.origin) {
    case Origin::Startup:
        // A cue without a file is left to the start-up file check.
        if (!ok)
            m_startupFailures << qMakePair(cue, job.path.isEmpty() ? QString() : error);
        if (--m_startupPending == 0)
            startupDone();
        break;
    case Origin::Choice:
        if (!ok) {
            reportFailure(cue, job.path, error);
            emit chooseFailed(cue, job.path, error);
        }
        break;
    case Origin::Changed:
    case Origin::PlayOnce:
        break; // a failure is told when the cue is first played
    }
}

void CueSounds::reportFailure(Cue cue, const QString &path, const QString &reason)
{
    {
        QMutexLocker lock(&m_lock);
        Player &p = m_players[index(cue)];
        if (p.path == path)
            p.failureTold = true;
    }
    m_log.savelog(QStringLiteral("%1: the sound file %2 cannot be played: %3").arg(caption(cue), path, reason));
}

void CueSounds::startupDone()
{
    const auto failures = std::exchange(m_startupFailures, {});
    for (const auto &f : failures) {
        if (!f.second.isEmpty())
            reportFailure(f.first, boundPath(f.first), f.second);
    }
    if (!failures.isEmpty())
        m_log.savelog(QStringLiteral("WAV player didn't open files, check manually!"));
}

void CueSounds::openPlayers()
{
    QMutexLocker lock(&m_lock);
    m_startupFailures.clear();
    m_startupPending = kCueCount;
    for (Cue cue : openingOrder())
        requestLoadLocked(cue, m_settings.text(pathControl(cue)), Origin::Startup);
}

void CueSounds::choose(Cue cue, const QString &path)
{
    {
        QMutexLocker lock(&m_lock);
        requestLoadLocked(cue, path, Origin::Choice);
    }
    // Bound first, so the change notice finds the player on this path.
    m_settings.set(pathControl(cue), path);
}

bool CueSounds::isOpen(Cue cue) const
{
    QMutexLocker lock(&m_lock);
    return m_players[index(cue)].state == State::Open;
}

QString CueSounds::boundPath(Cue cue) const
{
    QMutexLocker lock(&m_lock);
    return m_players[index(cue)].path;
}

bool CueSounds::waitForLoads(int timeoutMs)
{
    return waitUntil(
               [this] {
                   QMutexLocker lock(&m_lock);
                   return m_outstanding == 0;
               },
               nullptr, timeoutMs)
        == WaitResult::Done;
}

void CueSounds::playClip(Cue cue, const PcmClip &clip)
{
    // Held under the lock, so a finish that comes at once is not missed.
    QMutexLocker lock(&m_lock);
    const quint64 id = m_output.play(clip);
    if (id != 0 && isFinishCue(cue))
        m_finishPlaying.insert(id);
}

void CueSounds::play(Cue cue)
{
    const QString path = m_settings.text(pathControl(cue));
    PcmClip clip;
    QString told;
    {
        QMutexLocker lock(&m_lock);
        Player &p = m_players[index(cue)];
        if (p.state == State::Unbound || p.path != path) {
            if (!path.isEmpty())
                requestLoadLocked(cue, path, Origin::Changed);
            return;
        }
        if (p.state == State::Failed && !p.failureTold && !path.isEmpty()) {
            p.failureTold = true;
            told = p.error;
        }
        if (p.state != State::Open) {
            lock.unlock();
            if (!told.isEmpty())
                m_log.savelog(
                    QStringLiteral("%1: the sound file %2 cannot be played: %3").arg(caption(cue), path, told));
            return;
        }
        clip = p.clip;
    }
    playClip(cue, clip);
}

void CueSounds::tryCue(Cue cue)
{
    {
        QMutexLocker lock(&m_lock);
        Player &p = m_players[index(cue)];
        const QString path = m_settings.text(pathControl(cue));
        if (p.state == State::Unbound || p.path != path)
            requestLoadLocked(cue, path, Origin::Changed);
        if (p.state == State::Loading) {
            p.tryWhenLoaded = true;
            return;
        }
    }
    play(cue);
}

void CueSounds::playPath(const QString &path)
{
    QMutexLocker lock(&m_lock);
    m_jobs.push_back({-1, path, 0, Origin::PlayOnce});
    ++m_outstanding;
    m_jobsWaiting.wakeAll();
}

bool CueSounds::finishCuePlaying() const
{
    QMutexLocker lock(&m_lock);
    return !m_finishPlaying.isEmpty();
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
