// The starter page templates.
#include "publish/includedtemplates.h"

#include "core/settings.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace lapvane {

const QList<IncludedTemplate> &includedTemplates()
{
    static const QList<IncludedTemplate> list = {{"channel.htm", "edPilotView"},
                                                 {"top.htm", "edtopresultspage"},
                                                 {"race.htm", "edOneRaceview"},
                                                 {"raceresults.htm", "edoneraceresults"}};
    return list;
}

QByteArray includedTemplateText(const QString &file)
{
    QFile f(QStringLiteral(":/templates/") + file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool isNoTemplate(const QString &path)
{
    const QString p = path.trimmed();
    return p.isEmpty() || p.compare(QLatin1String("n/a"), Qt::CaseInsensitive) == 0;
}

bool useIncludedTemplates(const QString &programFolder, Settings &settings, QString *error, QStringList *kept)
{
    const QDir folder(QDir(programFolder).filePath(QStringLiteral("templates")));
    if (!QDir().mkpath(folder.path())) {
        *error = QStringLiteral("Cannot create the folder %1.").arg(QDir::toNativeSeparators(folder.path()));
        return false;
    }
    QStringList paths;
    for (const IncludedTemplate &t : includedTemplates()) {
        const QString path = folder.filePath(QLatin1String(t.file));
        paths << path;
        if (QFile::exists(path)) {
            if (kept)
                *kept << QLatin1String(t.file);
            continue;
        }
        const QByteArray text = includedTemplateText(QLatin1String(t.file));
        QSaveFile out(path);
        if (text.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
            *error = QStringLiteral("Cannot write the template %1: %2")
                         .arg(QDir::toNativeSeparators(path),
                              text.isEmpty() ? QStringLiteral("it is missing from the program") : out.errorString());
            return false;
        }
    }
    for (int i = 0; i < paths.size(); ++i)
        settings.set(QLatin1String(includedTemplates().at(i).control), QDir::toNativeSeparators(paths.at(i)));
    return true;
}

} // namespace lapvane
