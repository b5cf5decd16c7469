// A temporary program folder with a database, settings and a captured log,
// and quick ways to fill the tables the pages are made from.
#pragma once

#include "core/operatorlog.h"
#include "core/settings.h"
#include "publish/pagesnapshot.h"
#include "store/database.h"
#include "tests/common/logcapture.h"
#include "tests/common/sqlrows.h"
#include "tests/common/testfiles.h"

#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

namespace lapvane::test {

class PublishFixture
{
public:
    PublishFixture();

    QTemporaryDir dir;
    Database db;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    std::unique_ptr<LogCapture> logLines;

    int insert(const QString &table, const QVariantMap &values) { return insertRow(db.db(), table, values); }
    // A race-list row; extra fields override the defaults.
    int addRacePilot(int pilotId, const QString &name, const QString &vtx, const QVariantMap &extra = {});
    int addLastRace(int pilotId, const QString &name, int place, const QVariantMap &extra = {});
    int addResult(int stage, int pilotId, const QString &name, const QVariantMap &extra = {});
    void addLap(int pilotId, int lapn, int laptimeMs, const QString &laptimetxt);
    void exec(const QString &sql) { test::exec(db.db(), sql); }

    QString path(const QString &name) const { return dir.filePath(name); }
    // Writes a text file (UTF-8) into the folder and returns its path.
    QString writeFile(const QString &name, const QByteArray &content) const
    {
        return test::writeFile(dir.filePath(name), content);
    }
};

} // namespace lapvane::test
