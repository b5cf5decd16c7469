// Reading WAV files into memory and writing 16-bit PCM WAV files.
#pragma once

#include "announce/pcmclip.h"

namespace lapvane {

// Reads a RIFF WAV file with PCM samples (8, 16, 24 or 32 bit) or 32-bit
// float samples into a clip of 16-bit samples. False with a reason in *error
// when the file is missing, unreadable or not such a WAV.
bool readWav(const QString &path, PcmClip *clip, QString *error);
bool parseWav(const QByteArray &bytes, PcmClip *clip, QString *error);

// The bytes of a 16-bit PCM WAV file of mono samples at sampleRate.
QByteArray wavBytes(const QByteArray &int16Samples, int sampleRate, int channels = 1);

} // namespace lapvane
