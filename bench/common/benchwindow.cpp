// The real window of the window benchmarks.
#include "bench/common/benchwindow.h"

#include "bench/common/benchworld.h"

namespace lapvane::bench {

BenchWindow::BenchWindow(Receivers &receivers, int pilots, bool logFile)
{
    ctx.settings.set(QStringLiteral("chsavelogfile"), logFile);
    if (!ctx.db.open(dir.filePath(QStringLiteral("dbpilots.db"))))
        qFatal("database: %s", qPrintable(ctx.db.error()));
    addRacePilots(ctx.db.db(), pilots, 101);
    services = std::make_unique<ProgramServices>(ctx, cues, clock, &receivers, &prompt);
    window = std::make_unique<MainWindow>(ctx, *services);
    window->FormCreate();
    // No lap limit: every pass is a lap and the race runs throughout.
    ctx.settings.set(QStringLiteral("edtlaps"), QStringLiteral("0"));
}

} // namespace lapvane::bench
