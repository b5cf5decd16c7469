// Pilots from a CSV file into the registry: columns found by their header
// names in any order, names already registered skipped, all or nothing.
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace lapvane {

struct PilotImport
{
    bool ok = false;
    int added = 0;
    int skipped = 0; // rows whose name is registered already (or repeated, or empty)
    QString error;   // why nothing was imported
    // "N added, M skipped"
    QString summary() const;
};

// Header names are matched without regard to case, blanks, '-', '_', '/' and
// "'": name ("name", "pilot's name", "full name", "фио", "имя"), nickname
// ("nickname", "nick", "nick/osd"), team ("team", "команда"), city ("city",
// "город"), login ("e-mail", "email", "login"), Telegram id ("telegram id",
// "telegaid", "telegram"); other columns are ignored. A name column is
// required. Names compare trimmed and without regard to case. A pilot without
// an e-mail gets a made-up login as "Add new" gives one. A cell the CSV
// export marked against formulas ("'=x") reads back as it was ("=x"). A file that cannot be
// read whole (not UTF-8, a quote left open, a row longer than the header, no
// name column) changes nothing, nor does a store failure on the way.
PilotImport importPilotsCsv(QSqlDatabase db, const QByteArray &bytes);

} // namespace lapvane
