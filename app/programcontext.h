// What the whole program shares, created once at start-up and handed to the
// window: the program folder, the database, the settings file and values, and
// the operator log.
#pragma once

#include "core/inifile.h"
#include "core/operatorlog.h"
#include "core/settings.h"
#include "core/wait.h"
#include "store/database.h"

#include <QDir>
#include <memory>

namespace lapvane {

struct ProgramContext
{
    explicit ProgramContext(const QString &programFolder)
        : folder(programFolder),
          ini(std::make_unique<IniFile>(QDir(programFolder).filePath(QStringLiteral("lapvaneadmin.ini")))),
          log(settings, programFolder)
    {
    }

    QString folder;
    Database db;
    Settings settings;
    // Lives from the start of start-up to the last step of shutdown.
    std::unique_ptr<IniFile> ini;
    OperatorLog log;
    // The stop request that ends the waits of the start countdown and of the
    // receiver handshakes.
    StopFlag STOPFLAG;
};

} // namespace lapvane
