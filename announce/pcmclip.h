// A sound held in memory as raw PCM samples, ready for the sound output.
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QString>

namespace lapvane {

struct PcmClip
{
    QAudioFormat format;
    QByteArray samples;
    QString name; // the file or phrase it came from, for the log

    bool isEmpty() const { return samples.isEmpty() || !format.isValid(); }
    qint64 durationMs() const
    {
        const int frame = format.bytesPerFrame();
        if (frame <= 0 || format.sampleRate() <= 0)
            return 0;
        return qint64(samples.size() / frame) * 1000 / format.sampleRate();
    }
};

} // namespace lapvane
