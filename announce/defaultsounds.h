// Cue sounds the program makes itself, for an operator without WAV files.
#pragma once

#include "core/cues.h"

#include <QString>

namespace lapvane {

class CueSounds;

// The file name of a cue's own sound ("countdown.wav", ...).
QString defaultSoundFileName(Cue cue);

// The cue's sound: tones and beeps as 16-bit PCM WAV bytes.
QByteArray defaultSoundWav(Cue cue);

// "Use default sounds": writes the seven sounds into folder/"sounds" and
// chooses each for its cue (the paths reach the settings file with "Save
// settings"). False, with the reason, when a file could not be written; the
// cues chosen before it keep their new files.
bool useDefaultSounds(const QString &programFolder, CueSounds &cues, QString *error);

} // namespace lapvane
