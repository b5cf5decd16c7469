// The race state file (racestate.json in the program folder): what a restart
// must find again about the race in the list. Several owners keep their own
// keys in it; each write changes only the keys given.
#pragma once

#include <QJsonObject>
#include <QString>

namespace lapvane {

// The file's keys; empty when there is no file or it cannot be read.
QJsonObject readRaceState(const QString &path);

// Sets the given keys (a null value removes a key), keeping the others. The
// file is replaced whole or not at all. False with error set on failure.
bool writeRaceState(const QString &path, const QJsonObject &changes, QString *error);

} // namespace lapvane
