// The command line, the choice of the program folder and the first window size.
#include "app/startoptions.h"

#include "app/version.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace lapvane {

namespace {

constexpr int kFirstWidthPx = 1280;
constexpr int kFirstHeightPx = 800;
// Room for the frame the window manager draws around the window.
constexpr int kFrameWidthPx = 16;
constexpr int kFrameHeightPx = 40;
constexpr int kTitleBarPx = 32;

const char *const kDataFolderName = "LapvaneAdmin";

// The options Qt's application object takes for itself ("-style fusion",
// "-platform offscreen"): they are read before it exists, so they are set
// aside here as it would.
QStringList withoutQtOptions(const QStringList &arguments)
{
    static const QStringList withValue{"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                       "qwindowicon", "qwindowtitle", "session", "display", "geometry", "name",
                                       "title", "style", "stylesheet"};
    static const QStringList flags{"reverse", "widgetcount", "nograb", "dograb", "testability", "qmljsdebugger"};
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (i == 0 || !a.startsWith(QLatin1Char('-'))) {
            kept << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            kept << arguments.mid(i);
            break;
        }
        QString name = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
        const bool hasValue = name.contains(QLatin1Char('='));
        name = name.section(QLatin1Char('='), 0, 0);
        if (withValue.contains(name)) {
            if (!hasValue)
                ++i; // its value follows
            continue;
        }
        if (!flags.contains(name))
            kept << a;
    }
    return kept;
}

} // namespace

bool parseStartOptions(const QStringList &arguments, StartOptions *options, QString *error)
{
    QCommandLineParser parser;
    const QCommandLineOption home(QStringLiteral("home"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption demo(QStringLiteral("demo"));
    parser.addOptions({home, demo});
    if (!parser.parse(withoutQtOptions(arguments))) {
        *error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("Unexpected argument \"%1\" (see --help).").arg(parser.positionalArguments().first());
        return false;
    }
    options->home = parser.value(home);
    options->demo = parser.isSet(demo);
    if (parser.isSet(home) && options->home.trimmed().isEmpty()) {
        *error = QStringLiteral("--home needs a folder.");
        return false;
    }
    return true;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: lapvaneadmin [--home DIR] [--demo]\n"
        "Lapvane Admin %1: the race director's program for timed FPV drone races.\n"
        "\n"
        "Options:\n"
        "  --home DIR     Keep the database, settings, log and pages in DIR (created\n"
        "                 when missing). Without it: the program's own folder when it\n"
        "                 can be written, else ~/LapvaneAdmin.\n"
        "  --demo         Start a demo on a fresh folder of its own (or the new, empty\n"
        "                 DIR of --home): 8 sample pilots in two groups, group 1 in the\n"
        "                 race list, and a simulated Lapvane gate that flies laps after\n"
        "                 every race start. Your real data is not touched. A DIR that\n"
        "                 holds only a lapvaneadmin.ini gives the demo those settings\n"
        "                 (web server, sounds, speech) under its own race settings.\n"
        "  -h, --help     Show this text and exit.\n"
        "  -v, --version  Show the version and exit.\n")
        .arg(programVersion());
}

QString versionText()
{
    return QStringLiteral("Lapvane Admin %1\n").arg(programVersion());
}

QString infoRequest(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("-?"))
            return QStringLiteral("help");
        if (a == QLatin1String("--version") || a == QLatin1String("-v"))
            return QStringLiteral("version");
        if (a == QLatin1String("--home"))
            ++i; // its value may be any text
    }
    return {};
}

FolderChoice chooseProgramFolder(const QString &home, const QString &executableFolder, const QString &userHome,
                                 const std::function<bool(const QString &)> &canWrite)
{
    FolderChoice choice;
    auto makeFolder = [&choice](const QString &path) {
        if (QDir().mkpath(path))
            return true;
        choice.error = QStringLiteral("Cannot create the program folder \"%1\".").arg(path);
        return false;
    };
    if (!home.isEmpty()) {
        const QString folder = QDir(home).absolutePath();
        if (makeFolder(folder))
            choice.folder = folder;
        return choice;
    }
    const QString own = QDir(executableFolder).absolutePath();
    if (!isSystemFolder(own) && canWrite(own)) {
        choice.folder = own;
        return choice;
    }
    if (userHome.isEmpty()) {
        choice.error = QStringLiteral("The program's folder \"%1\" cannot be written and there is no home folder; "
                                      "start it with --home DIR.")
                           .arg(own);
        return choice;
    }
    const QString folder = QDir(userHome).absoluteFilePath(QLatin1String(kDataFolderName));
    const bool existed = QFileInfo(folder).isDir();
    if (!makeFolder(folder))
        return choice;
    choice.folder = folder;
    choice.note = QStringLiteral("Data folder: %1 (%2; the program's own folder %3 is not for data).")
                      .arg(folder, existed ? QStringLiteral("kept from earlier runs") : QStringLiteral("created now"),
                           own);
    return choice;
}

bool canWriteFolder(const QString &folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".lapvane-write-test-XXXXXX")));
    return probe.open(); // removed when probe goes
}

bool isSystemFolder(const QString &folder)
{
    QString path = QFileInfo(folder).canonicalFilePath();
    if (path.isEmpty())
        path = QDir::cleanPath(QDir(folder).absolutePath());
    for (const char *root : {"/usr", "/bin", "/sbin"}) {
        const QString r = QLatin1String(root);
        if (path == r || path.startsWith(r + QLatin1Char('/')))
            return true;
    }
    return false;
}

QRect firstStartGeometry(const QRect &available, const QSize &minimum)
{
    const int width = qMax(minimum.width(), qMin(kFirstWidthPx, available.width() - kFrameWidthPx));
    const int height = qMax(minimum.height(), qMin(kFirstHeightPx, available.height() - kFrameHeightPx));
    // Centred with its frame; the title bar sits above the window's own area.
    const int x = available.x() + (available.width() - width) / 2;
    const int y = available.y() + (available.height() - height - kFrameHeightPx) / 2 + kTitleBarPx;
    return QRect(x, qMax(available.y() + kTitleBarPx, y), width, height);
}

} // namespace lapvane
