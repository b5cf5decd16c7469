// Start-up and the run of the program.
#include "app/application.h"

#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "announce/announcer.h"
#include "announce/cuesounds.h"
#include "announce/devicesoundoutput.h"
#include "announce/espeakengine.h"
#include "app/announcewiring.h"
#include "race/raceengine.h"
#include "app/signalwatcher.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>

#include <cstdio>

namespace lapvane {

QString programFolder(const QStringList &arguments, const QString &executableFolder, QString *error)
{
    QCommandLineParser parser;
    parser.addOption(QCommandLineOption(QStringLiteral("home"),
                                        QStringLiteral("Keep the database, settings and files in DIR."),
                                        QStringLiteral("DIR")));
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return {};
    }
    if (!parser.isSet(QStringLiteral("home")))
        return executableFolder;
    const QString home = QDir(parser.value(QStringLiteral("home"))).absolutePath();
    if (!QDir().mkpath(home)) {
        *error = QStringLiteral("Cannot create the program folder \"%1\".").arg(home);
        return {};
    }
    return home;
}

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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lapvane Admin"));
    // Installed first: a SIGTERM or SIGINT during start-up waits in the
    // watcher's socket and closes the window once the event loop runs.
    SignalWatcher watcher;

    QString error;
    const QString folder = programFolder(QApplication::arguments(), QApplication::applicationDirPath(), &error);
    if (folder.isEmpty())
        return startFailure(watcher, error, 2);

    ProgramContext ctx(folder);
    // The database opens before the window is built; a file that cannot be
    // used stops the start and is left as it is.
    if (!ctx.db.open(QDir(folder).filePath(QLatin1String(kDatabaseFileName))))
        return startFailure(watcher, ctx.db.error(), 1);

    SystemClock clock;
    // Sound cues and speech share one output; without a sound device both
    // are skipped with one line in the log.
    DeviceSoundOutput sound;
    QObject::connect(&sound, &SoundOutput::logLine, &ctx.log, &OperatorLog::savelog);
    CueSounds cues(ctx.settings, ctx.log, sound);
    ProgramServices services(ctx, cues, clock);
    EspeakEngine speech(sound);
    Announcer announcer(ctx.settings, ctx.log, speech, services.race->ring(), ctx.db.filePath());
    MainWindow window(ctx, services);
    wireAnnouncer(window, ctx, services, cues, announcer);
    window.FormCreate();
    for (const QString &repair : ctx.db.repairs())
        ctx.log.savelog(repair);
    window.show();

    // SIGTERM and SIGINT close the window the normal way, so shutdown runs.
    QObject::connect(&watcher, &SignalWatcher::terminationRequested, &window, &QWidget::close);

    return app.exec();
}

} // namespace lapvane
