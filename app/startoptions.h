// The command line, the choice of the program folder and the window's size on
// the first start: the decisions start-up makes before any window exists.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

namespace lapvane {

struct StartOptions
{
    QString home; // --home DIR; empty when not given
    bool demo = false;
};

// Parses the arguments (the first one is the program), Qt's own options set
// aside. False with an error text for an unknown option or a missing value.
// Needs no application object: a wrong command line is answered before a
// display is looked for.
bool parseStartOptions(const QStringList &arguments, StartOptions *options, QString *error);

// What --help and --version print. Both are answered before anything else
// starts, so they work without a display.
QString helpText();
QString versionText();
// "help", "version" or empty, when one of those options is among the arguments.
QString infoRequest(const QStringList &arguments);

struct FolderChoice
{
    QString folder; // empty when no folder can be used
    QString note;   // a line for the log, when the folder is not the usual one
    QString error;
};

// The program folder, where the database, the settings and the log live:
// - DIR of --home, created when missing;
// - else the executable's folder when it can be written and is not a system
//   folder (a build folder, a portable copy on a USB stick);
// - else "LapvaneAdmin" in the user's home folder, created when missing.
FolderChoice chooseProgramFolder(const QString &home, const QString &executableFolder, const QString &userHome,
                                 const std::function<bool(const QString &)> &canWrite);
// True when a file can be made in the folder (tried, then removed).
bool canWriteFolder(const QString &folder);
// Folders that belong to the system's installed programs (under /usr, /bin, /sbin).
bool isSystemFolder(const QString &folder);

// The window on the first start: about 1280 x 800 (never under the minimum),
// within the screen's available area with room for the window frame, centred.
QRect firstStartGeometry(const QRect &available, const QSize &minimum);

} // namespace lapvane
