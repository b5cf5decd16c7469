// The one way sound leaves the program: cues and speech are clips played here.
#pragma once

#include "announce/pcmclip.h"

#include <QObject>

namespace lapvane {

class SoundOutput : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts the clip and returns at once; clips overlap. The id (> 0) names
    // this playback; 0 means nothing plays (no output device, an empty clip)
    // and no finished() follows. Any thread may call it.
    virtual quint64 play(const PcmClip &clip) = 0;
    // Cuts a playback short; its finished() follows. Unknown ids are ignored.
    virtual void stop(quint64 id) = 0;
    // An output device is there to play on.
    virtual bool hasDevice() const = 0;

signals:
    // A playback has reached the device (its first samples are out).
    void started(quint64 id);
    // A playback ended: played out, cut short or failed. Sent from the
    // output's own thread.
    void finished(quint64 id);
    // A line for the operator log (no device, a device that failed).
    void logLine(const QString &line);
};

} // namespace lapvane
