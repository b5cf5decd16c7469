// Start-up and the run of the program.
#pragma once

#include <QString>
#include <QStringList>

namespace lapvane {

// The program folder: the executable's folder, or the folder given with
// "--home DIR" (created when missing). Empty with an error text when the
// arguments cannot be used.
QString programFolder(const QStringList &arguments, const QString &executableFolder, QString *error);

// Runs the whole program: start-up, the window, shutdown. Returns the exit code.
int runApplication(int argc, char **argv);

} // namespace lapvane
