// The real window over a program folder of its own, built as start-up builds
// it, for the benchmarks of what a race costs the window: the benchmark's own
// receivers, silent cues, an operator who answers Yes, pilots in the race
// list and no lap limit.
#pragma once

#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "bench/common/benchstandins.h"
#include "core/cues.h"

#include <QTemporaryDir>

namespace lapvane::bench {

struct BenchWindow
{
    // pilots: 1..pilots with transponders 101, 102 ...; the window is created
    // (FormCreate) but not shown.
    BenchWindow(Receivers &receivers, int pilots, bool logFile);

    QTemporaryDir dir;
    ProgramContext ctx{dir.path()};
    SilentCuePlayer cues;
    SystemClock clock;
    YesPrompt prompt;
    std::unique_ptr<ProgramServices> services;
    std::unique_ptr<MainWindow> window;
};

} // namespace lapvane::bench
