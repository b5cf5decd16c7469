// The program's version and where its documentation is found.
#include "app/version.h"

#include <QDir>
#include <QFileInfo>

namespace lapvane {

QString programVersion()
{
    return QStringLiteral(LAPVANE_VERSION);
}

QString readmePath(const QString &executableFolder)
{
    const QString installed =
        QDir(executableFolder).absoluteFilePath(QStringLiteral("../share/doc/lapvaneadmin/README.md"));
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    const QString source = QDir(QStringLiteral(LAPVANE_SOURCE_DIR)).filePath(QStringLiteral("README.md"));
    if (QFileInfo::exists(source))
        return source;
    return {};
}

} // namespace lapvane
