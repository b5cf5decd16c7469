// "Export to HTML" of the stage results.
#include "publish/resultsexport.h"

#include "core/settings.h"
#include "events/sqlrowsmodel.h"
#include "publish/bracketpublish.h"
#include "publish/pagefiles.h"
#include "publish/templatefiller.h"

#include <QDir>
#include <QLocale>

namespace lapvane {

namespace {

struct Column
{
    const char *control;
    const char *header;
    const char *field;
    const char *width;
};

// The optional columns, in the order they are written.
const Column kColumns[] = {
    {"chdupgroup", "<td><b>Group</b></td>", "group", "100"},
    {"chdupvtx", "<td><b>VTX Ch</b></td>", "vtx", "100"},
    {"chkduplaps", "<td><b>Laps</b></td>", "lapno", "100"},
    {"chkdupplace", "<td><b>Place</b></td>", "place", "100"},
    {"chkdupwins", "<td><b>Wins</b></td>", "wins", "100"},
    {"chkdupbestlap", "<td><b>Best lap</b></td>", "besttimetxt", "100"},
    {"chkduptotaltime", "<td><b>Total time</b></td>", "totaltimetxt", "200"},
    {"chkdupqualtime", "<td><b>Qual time</b></td>", "qualtimetxt", "200"},
};

} // namespace

bool buildResultsExport(const ResultsExportInput &in, QString *page, QString *error)
{
    const QDir folder(in.programFolder);
    QString header, bottom;
    const QString headerPath = folder.filePath(QStringLiteral("header.html"));
    const QString bottomPath = folder.filePath(QStringLiteral("bottom.html"));
    bool headerWindows1251 = false, bottomWindows1251 = false;
    if (!readTemplate(headerPath, &header, error, &headerWindows1251)
        || !readTemplate(bottomPath, &bottom, error, &bottomWindows1251))
        return false;
    if (headerWindows1251 && in.log)
        in.log(windows1251Note(headerPath));
    if (bottomWindows1251 && in.log)
        in.log(windows1251Note(bottomPath));
    TemplateFiller filler(in.db, *in.snapshot, in.log);
    const QString filledHeader = filler.parsetext(header, 0, true);
    const QString filledBottom = filler.parsetext(bottom, 0, true);

    QStringList lines;
    lines << filledHeader;
    lines << QStringLiteral("<table><tr><td><b>Name</b></td><td><b>Team</b></td>");
    for (const Column &c : kColumns) {
        if (in.settings->flag(QLatin1String(c.control)))
            lines << QLatin1String(c.header);
    }
    lines << QStringLiteral("</tr>");
    const SqlRowsModel &rows = *in.results;
    for (int r = 0; r < rows.rowCountValue(); ++r) {
        lines << QStringLiteral("<tr><td width=200>") + escapeHtml(rows.value(r, QStringLiteral("pilotname")).toString())
                     + QStringLiteral("</td><td width=200>")
                     + escapeHtml(rows.value(r, QStringLiteral("pilotteam")).toString()) + QStringLiteral("</td>");
        for (const Column &c : kColumns) {
            if (in.settings->flag(QLatin1String(c.control)))
                lines << QStringLiteral("<td width=%1>").arg(QLatin1String(c.width))
                             + escapeHtml(rows.value(r, QLatin1String(c.field)).toString()) + QStringLiteral("</td>");
        }
        lines << QStringLiteral("</tr>");
    }
    // A bracket stage writes its heats after the results; any other stage's
    // page stays as it was.
    BracketView bracket;
    QString bracketError;
    if (in.snapshot->stageId > 0 && !readBracketView(in.db, in.snapshot->stageId, &bracket, &bracketError) && in.log)
        in.log(QStringLiteral("Export to HTML: the bracket is left out: %1").arg(bracketError));
    QString tableEnd = QStringLiteral("</table>");
    if (bracket.exists) {
        lines << tableEnd << bracketHtml(bracket);
        tableEnd.clear();
    }
    const QLocale locale = QLocale::system();
    lines << tableEnd + QStringLiteral("<p><p>Created with Lapvane Admin at ")
                 + locale.toString(in.now.time(), QLocale::LongFormat) + QStringLiteral(" on ")
                 + locale.toString(in.now.date(), QLocale::ShortFormat);
    lines << filledBottom;
    *page = lines.join(QStringLiteral("\r\n"));
    return true;
}

QString resultsExportFileName(const QString &eventName, const QString &stageName)
{
    QString name = eventName + QStringLiteral(" - ") + stageName;
    for (QChar &c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' || c == u'>'
            || c == u'|' || c.unicode() < 32)
            c = u'_';
    }
    return name;
}

} // namespace lapvane
