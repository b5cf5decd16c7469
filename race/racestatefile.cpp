// The race state file.
#include "race/racestatefile.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace lapvane {

QJsonObject readRaceState(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool writeRaceState(const QString &path, const QJsonObject &changes, QString *error)
{
    QJsonObject state = readRaceState(path);
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isNull())
            state.remove(it.key());
        else
            state.insert(it.key(), it.value());
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(state).toJson()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace lapvane
