// The text-to-speech engine the announcer speaks with: a voice list, a voice,
// a rate and a "speaking" flag. Any thread may use it.
#pragma once

#include <QObject>
#include <QStringList>

namespace lapvane {

class SpeechEngine : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The voices' names, in the engine's order.
    virtual QStringList voices() = 0;
    // Selects a voice by its index in voices(); false when there is none.
    virtual bool setVoiceIndex(int index) = 0;
    // The rate, a position from -10 (slowest) to 10 (fastest).
    virtual void setRate(int rate) = 0;
    // Starts speaking the text and returns without waiting for the speech to
    // end; a phrase given while another plays follows it. False when nothing
    // will be heard (no output device, no voice, an empty text).
    virtual bool speak(const QString &text) = 0;
    // Cuts the current phrase and every waiting one short.
    virtual void stop() = 0;
    // A phrase is playing or waiting to play.
    virtual bool isSpeaking() const = 0;

signals:
    // Speech has ended and nothing waits to be spoken. Sent from any thread.
    void speechFinished();
};

} // namespace lapvane
