// Speech synthesised by espeak-ng into memory and played through the sound
// output, so that "speaking" is exactly that playback running.
#pragma once

#include "announce/pcmclip.h"
#include "announce/speechengine.h"

#include <QList>
#include <QMutex>

namespace lapvane {

class SoundOutput;

class EspeakEngine : public SpeechEngine
{
    Q_OBJECT
public:
    explicit EspeakEngine(SoundOutput &output, QObject *parent = nullptr);
    ~EspeakEngine() override;

    // Russian voices first (the public texts are Russian), then the others in
    // espeak-ng's order; empty when espeak-ng has no data.
    QStringList voices() override;
    bool setVoiceIndex(int index) override;
    void setRate(int rate) override;
    bool speak(const QString &text) override;
    void stop() override;
    bool isSpeaking() const override;

    // The phrase as sound, without playing it: 16-bit mono samples.
    PcmClip synthesise(const QString &text);
    // The phonemes the selected voice speaks for the text (espeak-ng's
    // mnemonics), to check what a listener hears.
    QString phonemes(const QString &text);

    // espeak-ng's words per minute for a rate from -10 to 10: 175 at 0,
    // three times faster at 10 and three times slower at -10, within the
    // 80 to 450 espeak-ng accepts.
    static int wordsPerMinute(int rate);

private:
    void playbackEnded(quint64 id);
    void startNextLocked();

    SoundOutput &m_output;
    mutable QMutex m_lock; // voice, rate, queue and current playback
    QStringList m_voiceNames;
    QList<QByteArray> m_voiceIds;
    int m_voiceIndex = 0;
    int m_rate = 0;
    quint64 m_current = 0;
    QList<PcmClip> m_waiting;
};

} // namespace lapvane
