// The program's version and where its documentation is found.
#pragma once

#include <QString>

namespace lapvane {

// The project version, such as "1.11".
QString programVersion();

// The operator's README: in the installed documentation beside the program
// (<prefix>/share/doc/lapvaneadmin), else in the source tree the program was
// built from. Empty when neither exists.
QString readmePath(const QString &executableFolder);

} // namespace lapvane
