// The starter page templates shipped with the program (race, race results,
// top results, one stream channel), and their use for the live pages.
#pragma once

#include <QString>
#include <QStringList>

namespace lapvane {

class Settings;

struct IncludedTemplate
{
    const char *file;    // in the program's "templates" folder
    const char *control; // the template setting it serves
};

// In the order of the Settings page: pilot view, top, one race, one race results.
const QList<IncludedTemplate> &includedTemplates();

// The included template's text (UTF-8), empty when there is none by that name.
QByteArray includedTemplateText(const QString &file);

// "Use the included templates": writes the templates into the "templates"
// folder of the program folder (a file already there is kept, so an edited
// copy is never overwritten) and points the four template settings at them.
// False with error set when a file could not be written; the settings then
// stay as they were. kept lists the files found there already.
bool useIncludedTemplates(const QString &programFolder, Settings &settings, QString *error,
                          QStringList *kept = nullptr);

// A template setting that names no file ("n/a" or empty).
bool isNoTemplate(const QString &path);

} // namespace lapvane
