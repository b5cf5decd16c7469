// One cycle of the live pages.
#include "publish/livepages.h"

#include "publish/pagefiles.h"
#include "publish/templatefiller.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace lapvane {

namespace {

// Every row of a query; false when the store could not be read.
bool readRows(QSqlDatabase db, const QString &sql, const QVariantList &binds, std::vector<QSqlRecord> *rows)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return false;
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec())
        return false;
    rows->clear();
    while (q.next())
        rows->push_back(q.record());
    return !q.lastError().isValid();
}

// A field of the first row, empty for an empty query.
QString firstField(const std::vector<QSqlRecord> &rows, const char *field)
{
    return rows.empty() ? QString() : rows.front().value(QLatin1String(field)).toString();
}

QString esc(const QSqlRecord &row, const char *field)
{
    return escapeHtml(row.value(QLatin1String(field)).toString());
}

} // namespace

LivePages::LivePages(QSqlDatabase db, const QString &folder, LogFn log)
    : m_db(std::move(db)), m_folder(folder), m_log(std::move(log))
{
}

QString LivePages::htmlsFolder(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("htmls"));
}

bool LivePages::templatePage(const PageSnapshot &snapshot, const QString &templatePath, int pilotid,
                             const QString &pageName)
{
    QString text, error;
    bool windows1251 = false;
    if (!readTemplate(templatePath, &text, &error, &windows1251))
        return false;
    // Told once per template while the pages are written, not every cycle.
    if (windows1251 && !m_windows1251Told.contains(templatePath)) {
        m_windows1251Told.insert(templatePath);
        m_log(windows1251Note(templatePath));
    } else if (!windows1251) {
        m_windows1251Told.remove(templatePath);
    }
    TemplateFiller filler(m_db, snapshot, m_log);
    const QString page = filler.parsetext(text, pilotid, isHtmlTemplate(templatePath));
    return writePage(QDir(m_folder).filePath(pageName), page, &error);
}

void LivePages::writeCycle(const PageSnapshot &s)
{
    if (!templatePage(s, s.oneRaceViewTemplate, 0, QStringLiteral("onerace.htm")))
        m_log(QStringLiteral("savehtmls: onerace problem"));
    if (!templatePage(s, s.oneRaceResultsTemplate, 0, QStringLiteral("oneraceres.htm")))
        m_log(QStringLiteral("savehtmls: oneraceres problem"));

    // The channel pages and the top page are one step: the first failure
    // skips the rest of it.
    bool stepOk = true;
    for (int ch = 1; ch <= 8 && stepOk; ++ch)
        stepOk = templatePage(s, s.pilotViewTemplate, s.channel[size_t(ch)], QStringLiteral("channel%1.htm").arg(ch));
    if (stepOk)
        stepOk = templatePage(s, s.topResultsTemplate, 0, QStringLiteral("top.htm"));
    if (!stepOk)
        m_log(QStringLiteral("savehtmls: top problem"));

    QString page;
    if (!commentPage(s, &page)) {
        page = QStringLiteral("RESULTS ERROR");
        m_log(QStringLiteral("htmls: comment error"));
    }
    QString error;
    if (!writePage(QDir(m_folder).filePath(QStringLiteral("comment.htm")), page, &error))
        m_log(QStringLiteral("savehtmls: comment problem"));
}

bool LivePages::commentPage(const PageSnapshot &s, QString *page)
{
    std::vector<QSqlRecord> race, results, top;
    if (!readRows(m_db, QStringLiteral("SELECT * FROM onerace "), {}, &race))
        return false;
    QStringList lines;
    lines << QStringLiteral("<html><head><meta http-equiv=\"refresh\" content=\"2\"></head><body>");
    lines << QStringLiteral("Раунд: <b>") + escapeHtml(s.stageName) + QStringLiteral("</b> , Группа: <b>")
                 + escapeHtml(firstField(race, "group")) + QStringLiteral("</b>");
    lines << QStringLiteral("<table border=1><tr>");
    std::vector<QSqlRecord> laps, registry;
    for (const QSqlRecord &pilot : race) {
        const QVariant id = pilot.value(QStringLiteral("pilotid"));
        if (!readRows(m_db, QStringLiteral("SELECT * FROM laps WHERE pilotid=? ORDER BY lapn ASC, id ASC"), {id}, &laps)
            || !readRows(m_db, QStringLiteral("SELECT * FROM pilots WHERE id=?"), {id}, &registry))
            return false;
        lines << QStringLiteral("<td valign=top>");
        lines << QStringLiteral("<b>") + esc(pilot, "pilotname") + QStringLiteral("</b>");
        lines << QStringLiteral("<br>\"") + esc(pilot, "nickname") + QStringLiteral("\"");
        lines << QStringLiteral(" (") + esc(pilot, "pilotteam") + QStringLiteral(")");
        lines << QStringLiteral("<br><b>") + escapeHtml(firstField(registry, "city")) + QStringLiteral("</b>");
        lines << QStringLiteral("<br>цвет: ") + esc(pilot, "coptercolor");
        lines << QStringLiteral("<p>");
        for (const QSqlRecord &lap : laps)
            lines << esc(lap, "lapn") + QStringLiteral(" - ") + esc(lap, "laptimetxt") + QStringLiteral("<br>");
        lines << QStringLiteral("<p>");
        lines << QStringLiteral("<br>") + escapeHtml(firstField(registry, "about"));
        lines << QStringLiteral("</td>");
    }
    lines << QStringLiteral("</table>");
    lines << QStringLiteral("<p>Таймер гонки: <b>") + escapeHtml(s.raceClockText) + QStringLiteral("</b>");
    lines << QStringLiteral("<p>Топ пилот и его лучшее время за все этапы:");
    if (!readRows(m_db, QStringLiteral("SELECT * FROM results WHERE stage=? ORDER BY qualtime ASC"), {s.stageId},
                  &top))
        return false;
    lines << QStringLiteral("<p>");
    lines << escapeHtml(firstField(top, "pilotname")) + QStringLiteral(" - ") + escapeHtml(firstField(top, "qualtimetxt"));
    lines << QStringLiteral("<p>");
    lines << QStringLiteral("Таблица пилотов и текущих результатов раунда ") + escapeHtml(s.stageName);
    lines << QStringLiteral("<table border=1>");
    lines << QStringLiteral("<tr><td>Группа</td><td>ФИО</td><td>Лучший круг</td><td>Лучший за все время</td>");
    if (!readRows(m_db, QStringLiteral("SELECT * FROM results WHERE stage=? ORDER BY \"group\" ASC"), {s.stageId},
                  &results))
        return false;
    for (const QSqlRecord &row : results) {
        lines << QStringLiteral("<tr>") << QStringLiteral("<td>") + esc(row, "group") + QStringLiteral("</td>")
              << QStringLiteral("<td>") + esc(row, "pilotname") + QStringLiteral("</td>")
              << QStringLiteral("<td>") + esc(row, "besttimetxt") + QStringLiteral("</td>")
              << QStringLiteral("<td>") + esc(row, "qualtimetxt") + QStringLiteral("</td>") << QStringLiteral("</tr>");
    }
    lines << QStringLiteral("</table>");
    lines << QStringLiteral("</body></html>");
    *page = lines.join(QStringLiteral("\r\n"));
    return true;
}

} // namespace lapvane
