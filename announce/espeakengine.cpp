// Speech with espeak-ng, synthesised to memory and played through the sound output.
#include "announce/espeakengine.h"

#include "announce/soundoutput.h"

#include <espeak-ng/speak_lib.h>

#include <cmath>

namespace lapvane {

namespace {

// espeak-ng keeps one synthesiser per process: every engine shares it, one
// phrase at a time.
QMutex &synthLock()
{
    static QMutex lock;
    return lock;
}
int g_sampleRate = 0; // 0: not initialised yet; < 0: failed
QByteArray *g_target = nullptr;

int collect(short *wav, int count, espeak_EVENT *)
{
    if (wav && count > 0 && g_target)
        g_target->append(reinterpret_cast<const char *>(wav), qsizetype(count) * 2);
    return 0;
}

// Under synthLock.
bool initialised()
{
    if (g_sampleRate == 0) {
        // Synchronous: the sound comes back through the callback and no
        // audio device is touched.
        g_sampleRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (g_sampleRate <= 0)
            g_sampleRate = -1;
        else
            espeak_SetSynthCallback(collect);
    }
    return g_sampleRate > 0;
}

} // namespace

EspeakEngine::EspeakEngine(SoundOutput &output, QObject *parent) : SpeechEngine(parent), m_output(output)
{
    connect(&m_output, &SoundOutput::finished, this, &EspeakEngine::playbackEnded, Qt::DirectConnection);
}

EspeakEngine::~EspeakEngine()
{
    disconnect(&m_output, nullptr, this, nullptr);
    stop();
}

int EspeakEngine::wordsPerMinute(int rate)
{
    const int r = qBound(-10, rate, 10);
    return qBound(80, int(std::lround(175.0 * std::pow(3.0, r / 10.0))), 450);
}

QStringList EspeakEngine::voices()
{
    QStringList names;
    QList<QByteArray> ids;
    {
        QMutexLocker synth(&synthLock());
        if (initialised()) {
            QStringList others;
            QList<QByteArray> otherIds;
            for (const espeak_VOICE **v = espeak_ListVoices(nullptr); v && *v; ++v) {
                // languages: a priority byte, then the language name.
                const QByteArray language((*v)->languages ? (*v)->languages + 1 : "");
                const bool russian = language == "ru" || language.startsWith("ru-");
                (russian ? names : others) << QString::fromUtf8((*v)->name);
                (russian ? ids : otherIds) << QByteArray((*v)->name);
            }
            names << others;
            ids << otherIds;
        }
    }
    QMutexLocker lock(&m_lock);
    m_voiceNames = names;
    m_voiceIds = ids;
    return names;
}

bool EspeakEngine::setVoiceIndex(int index)
{
    QMutexLocker lock(&m_lock);
    if (m_voiceIds.isEmpty()) {
        lock.unlock();
        voices();
        lock.relock();
    }
    if (index < 0 || index >= m_voiceIds.size())
        return false;
    m_voiceIndex = index;
    return true;
}

void EspeakEngine::setRate(int rate)
{
    QMutexLocker lock(&m_lock);
    m_rate = qBound(-10, rate, 10);
}

PcmClip EspeakEngine::synthesise(const QString &text)
{
    PcmClip clip;
    clip.name = text;
    QByteArray voice;
    int rate = 0;
    {
        QMutexLocker lock(&m_lock);
        if (m_voiceIds.isEmpty()) {
            lock.unlock();
            voices();
            lock.relock();
        }
        if (m_voiceIndex < m_voiceIds.size())
            voice = m_voiceIds.at(m_voiceIndex);
        rate = m_rate;
    }
    if (voice.isEmpty() || text.trimmed().isEmpty())
        return clip;
    const QByteArray utf8 = text.toUtf8();
    QMutexLocker synth(&synthLock());
    if (!initialised())
        return clip;
    if (espeak_SetVoiceByName(voice.constData()) != EE_OK)
        return clip;
    espeak_SetParameter(espeakRATE, wordsPerMinute(rate), 0);
    QByteArray samples;
    g_target = &samples;
    espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                 nullptr);
    g_target = nullptr;
    QAudioFormat format;
    format.setSampleRate(g_sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    clip.format = format;
    clip.samples = samples;
    return clip;
}

QString EspeakEngine::phonemes(const QString &text)
{
    QByteArray voice;
    {
        QMutexLocker lock(&m_lock);
        if (m_voiceIds.isEmpty()) {
            lock.unlock();
            voices();
            lock.relock();
        }
        if (m_voiceIndex < m_voiceIds.size())
            voice = m_voiceIds.at(m_voiceIndex);
    }
    const QByteArray utf8 = text.toUtf8();
    QMutexLocker synth(&synthLock());
    if (voice.isEmpty() || !initialised() || espeak_SetVoiceByName(voice.constData()) != EE_OK)
        return {};
    QString out;
    const void *rest = utf8.constData();
    // One clause per call; rest becomes null after the last.
    while (rest) {
        const char *clause = espeak_TextToPhonemes(&rest, espeakCHARS_UTF8, 0);
        if (clause && *clause)
            out += (out.isEmpty() ? QString() : QStringLiteral(" ")) + QString::fromUtf8(clause);
    }
    return out;
}

bool EspeakEngine::speak(const QString &text)
{
    PcmClip clip = synthesise(text);
    if (clip.isEmpty())
        return false;
    QMutexLocker lock(&m_lock);
    if (m_current != 0) {
        m_waiting << clip;
        return true;
    }
    m_current = m_output.play(clip);
    return m_current != 0;
}

void EspeakEngine::startNextLocked()
{
    while (m_current == 0 && !m_waiting.isEmpty())
        m_current = m_output.play(m_waiting.takeFirst());
}

void EspeakEngine::stop()
{
    quint64 current = 0;
    {
        QMutexLocker lock(&m_lock);
        m_waiting.clear();
        current = m_current;
    }
    if (current != 0)
        m_output.stop(current);
}

bool EspeakEngine::isSpeaking() const
{
    QMutexLocker lock(&m_lock);
    return m_current != 0;
}

void EspeakEngine::playbackEnded(quint64 id)
{
    bool idle = false;
    {
        QMutexLocker lock(&m_lock);
        if (id != m_current)
            return;
        m_current = 0;
        startNextLocked();
        idle = m_current == 0;
    }
    if (idle)
        emit speechFinished();
}

} // namespace lapvane
