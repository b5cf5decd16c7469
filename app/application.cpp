// Start-up and the run of the program.
#include "app/application.h"

#include "announce/announcer.h"
#include "announce/cuesounds.h"
#include "announce/espeakengine.h"
#include "announce/pulsesoundoutput.h"
#include "app/announcewiring.h"
#include "app/demo.h"
#include "app/logobar.h"
#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/signalwatcher.h"
#include "app/startoptions.h"
#include "core/folderlock.h"
#include "race/raceengine.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace lapvane {

namespace {

// A start that cannot go on: the reason goes to stderr and into a message
// box. With nobody at the screen (a service, a test) SIGTERM or SIGINT closes
// the box and ends the program.
int startFailure(SignalWatcher &watcher, const QString &text, int exitCode)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Lapvane Admin"), text, QMessageBox::Ok);
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &box, &QDialog::reject);
    box.exec();
    return exitCode;
}

} // namespace

int runApplication(int argc, char **argv)
{
    // --help and --version answer before anything else, without a display.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const QString info = infoRequest(raw);
    if (!info.isEmpty()) {
        std::fputs(qPrintable(info == QLatin1String("help") ? helpText() : versionText()), stdout);
        return 0;
    }
    // So is a wrong command line: on stderr, before a display is needed.
    StartOptions options;
    QString error;
    if (!parseStartOptions(raw, &options, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lapvane Admin"));
    QApplication::setDesktopFileName(QStringLiteral("lapvaneadmin"));
    QApplication::setWindowIcon(QIcon(LogoBar::productLogo(128)));
    // Installed first: a SIGTERM or SIGINT during start-up waits in the
    // watcher's socket and closes the window once the event loop runs.
    SignalWatcher watcher;

    std::optional<Demo> demo;
    FolderChoice choice;
    if (options.demo) {
        demo.emplace();
        if (!demo->makeFolder(options.home, &error) || !demo->openGate(Demo::kLapMs, &error))
            return startFailure(watcher, error, 2);
        choice.folder = demo->folder();
    } else {
        choice = chooseProgramFolder(options.home, QApplication::applicationDirPath(), QDir::homePath(),
                                     canWriteFolder);
        if (choice.folder.isEmpty())
            return startFailure(watcher, choice.error, 2);
    }

    // One program per data folder: two would write one database.
    FolderLock folderLock;
    qint64 holder = 0;
    switch (folderLock.take(choice.folder, &holder, &error)) {
    case FolderLock::Result::Taken:
        break;
    case FolderLock::Result::HeldByOther:
        return startFailure(
            watcher,
            holder > 0
                ? QStringLiteral("Lapvane Admin is already running with this folder (pid %1).").arg(holder)
                : QStringLiteral("Lapvane Admin is already running with this folder."),
            3);
    case FolderLock::Result::Failed:
        return startFailure(watcher, error, 2);
    }

    ProgramContext ctx(choice.folder);
    // The database opens before the window is built; a file that cannot be
    // used stops the start and is left as it is.
    if (!ctx.db.open(QDir(choice.folder).filePath(QLatin1String(kDatabaseFileName))))
        return startFailure(watcher, ctx.db.error(), 1);
    if (demo && !Demo::seed(ctx.db.db(), &error))
        return startFailure(watcher, QStringLiteral("The demo data could not be written: ") + error, 1);

    SystemClock clock;
    // Sound cues and speech share one output; without a sound device both
    // are skipped with one line in the log.
    PulseSoundOutput sound;
    QObject::connect(&sound, &SoundOutput::logLine, &ctx.log, &OperatorLog::savelog);
    CueSounds cues(ctx.settings, ctx.log, sound);
    ProgramServices services(ctx, cues, clock);
    EspeakEngine speech(sound);
    Announcer announcer(ctx.settings, ctx.log, speech, services.race->ring(), ctx.db.filePath());
    MainWindow window(ctx, services);
    if (!choice.note.isEmpty())
        ctx.log.savelog(choice.note);
    wireAnnouncer(window, ctx, services, cues, announcer);
    window.FormCreate();
    for (const QString &repair : ctx.db.repairs())
        ctx.log.savelog(repair);
    window.show();
    if (demo) {
        std::printf("Demo folder: %s\nSimulated Lapvane gate: %s\n", qPrintable(demo->folder()),
                    qPrintable(demo->gatePort()));
        std::fflush(stdout);
        demo->start(ctx, services, window);
    }

    // SIGTERM and SIGINT close the window the normal way, so shutdown runs,
    // once the command under way has ended: every question it asks from then
    // on (and the one open) counts as Cancel, and its waits end, so it stops
    // without doing half of its work. One that came during start-up ended its
    // boxes then and closes the window as the event loop starts.
    const auto endProgram = [&window, &ctx, &services] {
        services.guiPrompt.requestStop();
        SignalWatcher::closeWhenFree(&window, [&ctx] { ctx.STOPFLAG.raise(); });
    };
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &window, endProgram);
    if (watcher.requested())
        QTimer::singleShot(0, &window, endProgram);

    return app.exec();
}

} // namespace lapvane
