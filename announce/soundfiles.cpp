// The check that the operator's sound cue files exist.
#include "announce/soundfiles.h"

#include "core/operatorlog.h"
#include "core/settings.h"

#include <QFileInfo>

namespace lapvane {

int checkSoundFiles(const Settings &settings, OperatorLog &log)
{
    static const struct
    {
        const char *control;
        const char *missing;
    } kFiles[] = {
        {"edstartwavepath", "No START wav file!"},
        {"edlappasspath", "No LAP PASS wav file!"},
        {"edfin1path", "No FINISH 1ST PILOT wav file!"},
        {"edfinishpath", "No FINISH OTHERS wav file!"},
        {"edregcheckpath", "No REG CHECK wav file!"},
        {"edfinallpath", "No FINISH ALL wav file!"},
    };
    int missing = 0;
    for (const auto &f : kFiles) {
        const QString path = settings.text(QLatin1String(f.control));
        if (path.isEmpty() || !QFileInfo(path).isFile()) {
            log.savelog(QLatin1String(f.missing));
            ++missing;
        }
    }
    return missing;
}

} // namespace lapvane
