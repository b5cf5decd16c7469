// Filling page templates.
#include "publish/templatefiller.h"

#include "publish/pagefiles.h"

#include "competition/stagedeciding.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A value of a row as text; a field of no row, or a null, is empty.
QString fieldText(const QSqlRecord &row, const QString &field)
{
    return row.value(field).toString();
}

// A field of row n (1-based) of rows, or the default when n is not a row.
QString rowField(const std::vector<QSqlRecord> &rows, const QString &numberText, const QString &field,
                 const QString &fallback)
{
    bool ok = false;
    const int n = numberText.toInt(&ok);
    if (!ok || n < 1 || n > int(rows.size()))
        return fallback;
    return fieldText(rows[size_t(n - 1)], field);
}

} // namespace

TemplateFiller::TemplateFiller(QSqlDatabase db, const PageSnapshot &snapshot, LogFn log)
    : m_db(std::move(db)), m_snap(snapshot), m_log(std::move(log))
{
}

QString TemplateFiller::sortOrderText(int index)
{
    return index == 1 ? QStringLiteral("DESC") : QStringLiteral("ASC");
}

bool TemplateFiller::fetch(const QString &sql, const QVariantList &binds, std::vector<QSqlRecord> *rows)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
        m_error = q.lastError().text();
        return false;
    }
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return false;
    }
    rows->clear();
    while (q.next())
        rows->push_back(q.record());
    if (q.lastError().isValid()) {
        m_error = q.lastError().text();
        return false;
    }
    return true;
}

std::optional<QString> TemplateFiller::cityOf(const QVariant &pilotId)
{
    std::vector<QSqlRecord> rows;
    if (!fetch(QStringLiteral("SELECT * FROM pilots WHERE id=?"), {pilotId}, &rows))
        return std::nullopt;
    return rows.empty() ? QString() : fieldText(rows.front(), QStringLiteral("city"));
}

std::optional<QString> TemplateFiller::randomText()
{
    QRandomGenerator *random = QRandomGenerator::global();
    const int length = 11 + int(random->bounded(30));
    QString text(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        text[i] = QChar(u'A' + char16_t(random->bounded(20)));
    return text;
}

std::optional<QString> TemplateFiller::lapTable(int pilotid)
{
    std::vector<QSqlRecord> laps;
    if (!fetch(QStringLiteral("SELECT * FROM laps WHERE pilotid=? ORDER BY lapn ASC, id ASC"), {pilotid}, &laps))
        return std::nullopt;
    QString out = QStringLiteral("<table>") + kCrLf;
    for (const QSqlRecord &lap : laps) {
        out += QLatin1String("<tr><td>") + escapeHtml(fieldText(lap, QStringLiteral("lapn")))
               + QLatin1String("</td><td>") + escapeHtml(fieldText(lap, QStringLiteral("laptimetxt")))
               + QLatin1String("</td></tr>") + kCrLf;
    }
    out += QStringLiteral("</table>") + kCrLf;
    return out;
}

std::optional<QString> TemplateFiller::stageResultsTable()
{
    // The sort field comes from the table's own field list, never from text.
    const QSqlRecord fields = m_db.record(QStringLiteral("results"));
    if (m_snap.sortFieldIndex < 0 || m_snap.sortFieldIndex >= fields.count()
        || m_snap.sortOrderIndex < 0 || m_snap.sortOrderIndex > 1) {
        m_error = QStringLiteral("the results sort field is not a field of the results");
        return std::nullopt;
    }
    const QString sql = QStringLiteral("SELECT * FROM results WHERE stage=? ORDER BY \"%1\" %2")
                            .arg(fields.fieldName(m_snap.sortFieldIndex), sortOrderText(m_snap.sortOrderIndex));
    std::vector<QSqlRecord> rows;
    if (!fetch(sql, {m_snap.stageId}, &rows))
        return std::nullopt;
    // A stage racing by a format of its own shows what placed each pilot.
    QHash<int, StageDeciding> deciding;
    const bool showDeciding = hasChosenFormat(m_db, m_snap.stageId)
                              && raceRules(m_db, m_snap.stageId, nullptr).format != RaceFormat::LapsAndTime;
    if (showDeciding && !readStageDeciding(m_db, m_snap.stageId, &deciding, &m_error))
        return std::nullopt;

    static const char *const headers[8] = {
        "<th width=20%>Pilot</th>",    "<th width=20%>Team</th>",       "<th width=20%>Group</th>",
        "<th width=5%>Laps</th>",      "<th width=5%>Wins</th>",        "<th width=20%>Best Lap</th>",
        "<th width=20%>Total Time</th>", "<th width=20%>Qual Time</th>"};
    static const char *const fieldsShown[8] = {"pilotname", "pilotteam",    "group",        "lapno",
                                               "wins",      "besttimetxt", "totaltimetxt", "qualtimetxt"};
    QStringList lines{QStringLiteral("<table><tr align=center>"), QStringLiteral("<th width=5%>#</th>")};
    for (int c = 0; c < 8; ++c) {
        if (m_snap.topColumns[size_t(c)])
            lines << QLatin1String(headers[c]);
    }
    if (showDeciding)
        lines << QStringLiteral("<th width=20%>Result</th>");
    lines << QStringLiteral("</tr>");
    int i = 0;
    for (const QSqlRecord &row : rows) {
        // The count is read before each row, so "Show Top:" that is not a
        // number fails only when there is a row to show.
        bool ok = false;
        const int top = m_snap.topCountText.trimmed().toInt(&ok);
        if (!ok) {
            m_error = QStringLiteral("\"Show Top:\" is not a number: \"%1\"").arg(m_snap.topCountText);
            return std::nullopt;
        }
        if (i >= top)
            break;
        lines << QStringLiteral("<tr align=center>") << QStringLiteral("<td>%1</td>").arg(i + 1);
        for (int c = 0; c < 8; ++c) {
            if (m_snap.topColumns[size_t(c)])
                lines << QLatin1String("<td>") + escapeHtml(fieldText(row, QLatin1String(fieldsShown[c])))
                             + QLatin1String("</td>");
        }
        if (showDeciding)
            lines << QLatin1String("<td>")
                         + escapeHtml(deciding.value(row.value(QStringLiteral("pilotid")).toInt()).text)
                         + QLatin1String("</td>");
        lines << QStringLiteral("</tr>");
        ++i;
    }
    lines << QStringLiteral("</table>");
    return lines.join(kCrLf) + kCrLf;
}

bool TemplateFiller::mentions(const Segments &segs, const QString &placeholder)
{
    for (const Segment &s : segs) {
        if (!s.value && s.text.contains(placeholder))
            return true;
    }
    return false;
}

bool TemplateFiller::replaceEach(Segments &segs, const QString &start, const OccurrenceFn &valueAt)
{
    if (!mentions(segs, start))
        return true;
    Segments out;
    out.reserve(segs.size() + 4);
    for (size_t k = 0; k < segs.size(); ++k) {
        if (segs[k].value) {
            out.push_back(std::move(segs[k]));
            continue;
        }
        const QString &text = segs[k].text;
        qsizetype from = 0;
        qsizetype at;
        while ((at = text.indexOf(start, from)) >= 0) {
            qsizetype end = at + start.size();
            const std::optional<QString> v = valueAt(text, end);
            if (!v) {
                out.push_back({text.mid(from), false});
                for (size_t r = k + 1; r < segs.size(); ++r)
                    out.push_back(std::move(segs[r]));
                segs = std::move(out);
                return false;
            }
            if (at > from)
                out.push_back({text.mid(from, at - from), false});
            out.push_back({*v, true});
            from = end;
        }
        if (from < text.size())
            out.push_back({text.mid(from), false});
    }
    segs = std::move(out);
    return true;
}

bool TemplateFiller::replaceFixed(Segments &segs, const QString &placeholder, const ValueFn &value, bool fragment)
{
    // Each occurrence gets a freshly computed value.
    return replaceEach(segs, placeholder, [&](const QString &, qsizetype &) -> std::optional<QString> {
        const std::optional<QString> v = value();
        if (!v)
            return v;
        return fragment || !m_escape ? *v : escapeHtml(*v);
    });
}

bool TemplateFiller::replaceNumbered(Segments &segs, const QString &prefix, const NumberedFn &value)
{
    return replaceEach(segs, prefix, [&](const QString &text, qsizetype &pos) -> std::optional<QString> {
        // The number runs up to the next "%"; its first character is taken
        // even when it is a "%". Without a closing "%" it ends with the text.
        QString number;
        if (pos < text.size())
            number += text[pos++];
        while (pos < text.size() && text[pos] != u'%')
            number += text[pos++];
        if (pos < text.size())
            ++pos; // the closing "%"
        const std::optional<QString> v = value(number);
        if (!v)
            return v;
        return m_escape ? escapeHtml(*v) : *v;
    });
}

QString TemplateFiller::parsetext(const QString &thistext, int pilotid, bool escapeValues)
{
    m_escape = escapeValues;
    m_error.clear();
    Segments segs{{thistext, false}};

    // Queries read on first use: a page without race placeholders costs no query.
    std::optional<std::vector<QSqlRecord>> roster, lastRace, pilot;
    auto load = [this](std::optional<std::vector<QSqlRecord>> &rows, const QString &sql,
                       const QVariantList &binds) -> const std::vector<QSqlRecord> * {
        if (!rows) {
            std::vector<QSqlRecord> r;
            if (!fetch(sql, binds, &r))
                return nullptr;
            rows = std::move(r);
        }
        return &*rows;
    };
    auto rosterRows = [&] { return load(roster, QStringLiteral("SELECT * FROM onerace ORDER BY vtx ASC;"), {}); };
    auto lastRows = [&] {
        return load(lastRace, QStringLiteral("SELECT * FROM lastrace ORDER BY place ASC;"), {});
    };
    auto pilotRows = [&] { return load(pilot, QStringLiteral("SELECT * FROM onerace WHERE pilotid=?"), {pilotid}); };

    // A field of the given pilot's race-list row, or the default.
    auto pilotField = [&](const char *field, const QString &fallback) -> ValueFn {
        return [&, field, fallback]() -> std::optional<QString> {
            const auto *rows = pilotRows();
            if (!rows)
                return std::nullopt;
            if (rows->empty())
                return fallback;
            if (!field)
                return QString::number(pilotid);
            return fieldText(rows->front(), QLatin1String(field));
        };
    };
    auto numbered = [&](std::function<const std::vector<QSqlRecord> *()> rowsOf, const char *field,
                        const QString &fallback) -> NumberedFn {
        return [rowsOf, field, fallback](const QString &number) -> std::optional<QString> {
            const auto *rows = rowsOf();
            if (!rows)
                return std::nullopt;
            return rowField(*rows, number, QLatin1String(field), fallback);
        };
    };
    auto numberedCity = [&](std::function<const std::vector<QSqlRecord> *()> rowsOf) -> NumberedFn {
        return [this, rowsOf](const QString &number) -> std::optional<QString> {
            const auto *rows = rowsOf();
            if (!rows)
                return std::nullopt;
            bool ok = false;
            const int n = number.toInt(&ok);
            if (!ok || n < 1 || n > int(rows->size()))
                return QString();
            return cityOf((*rows)[size_t(n - 1)].value(QStringLiteral("pilotid")));
        };
    };
    auto constant = [](const QString &text) -> ValueFn { return [text] { return std::optional<QString>(text); }; };
    auto limitText = [](const QString &text) { return text == QLatin1String("0") ? QStringLiteral("n/a") : text; };

    // The deciding value of each race-list pilot by the stage's format, read
    // on first use.
    std::optional<QHash<int, QString>> deciding;
    auto decidingOf = [&](const QVariant &pilot) -> std::optional<QString> {
        if (!deciding) {
            QList<RaceListRank> ranked;
            QString error;
            if (!rankRaceList(m_db, raceRules(m_db, m_snap.stageId, nullptr), &ranked, &error)) {
                m_error = error;
                return std::nullopt;
            }
            deciding.emplace();
            for (const RaceListRank &r : std::as_const(ranked))
                deciding->insert(r.pilotId, r.ranked.decidingText);
        }
        return deciding->value(pilot.toInt());
    };
    auto numberedDeciding = [&](std::function<const std::vector<QSqlRecord> *()> rowsOf) -> NumberedFn {
        return [rowsOf, &decidingOf](const QString &number) -> std::optional<QString> {
            const auto *rows = rowsOf();
            if (!rows)
                return std::nullopt;
            bool ok = false;
            const int n = number.toInt(&ok);
            if (!ok || n < 1 || n > int(rows->size()))
                return QString();
            return decidingOf((*rows)[size_t(n - 1)].value(QStringLiteral("pilotid")));
        };
    };

    const QString unknownPilot = QStringLiteral("UNKNOWN PILOT");
    const QString zero = QStringLiteral("0");
    const std::function<const std::vector<QSqlRecord> *()> race = rosterRows;
    const std::function<const std::vector<QSqlRecord> *()> last = lastRows;

    const bool ok =
        replaceFixed(segs, QStringLiteral("%PILOTID%"), pilotField(nullptr, zero), false)
        && replaceFixed(segs, QStringLiteral("%PILOTNAME%"), pilotField("pilotname", unknownPilot), false)
        && replaceFixed(segs, QStringLiteral("%PILOTNICK%"), pilotField("nickname", unknownPilot), false)
        && replaceFixed(segs, QStringLiteral("%PILOTTEAM%"), pilotField("pilotteam", QStringLiteral("UNKNOWN TEAM")),
                        false)
        && replaceFixed(segs, QStringLiteral("%PILOTCOLOR%"), pilotField("coptercolor", QString()), false)
        && replaceFixed(segs, QStringLiteral("%PILOTGROUP%"), pilotField("group", QStringLiteral("UNKNOWN GROUP")),
                        false)
        && replaceFixed(segs, QStringLiteral("%PILOTLAPS%"), pilotField("lapno", zero), false)
        && replaceFixed(segs, QStringLiteral("%PILOTLAPTABLE%"), [&] { return lapTable(pilotid); }, true)
        && replaceFixed(segs, QStringLiteral("%PILOTDECIDING%"),
                        [&]() -> std::optional<QString> {
                            const auto *rows = pilotRows();
                            if (!rows)
                                return std::nullopt;
                            return rows->empty() ? QString() : decidingOf(pilotid);
                        },
                        false)
        && replaceNumbered(segs, QStringLiteral("%RACEPILOTDECIDING"), numberedDeciding(race))
        && replaceNumbered(segs, QStringLiteral("%RACEPILOTID"), numbered(race, "pilotid", zero))
        && replaceNumbered(segs, QStringLiteral("%RACEPILOTCITY"), numberedCity(race))
        && replaceNumbered(segs, QStringLiteral("%RACEPILOTNAME"), numbered(race, "pilotname", QString()))
        && replaceNumbered(segs, QStringLiteral("%RACEPILOTLAPS"), numbered(race, "lapno", QString()))
        && replaceNumbered(segs, QStringLiteral("%RACEPILOTPLACE"), numbered(race, "place", QString()))
        && replaceNumbered(segs, QStringLiteral("%RACEPILOTTEAM"), numbered(race, "pilotteam", QString()))
        && replaceNumbered(segs, QStringLiteral("%RACEPILOTGROUP"), numbered(race, "group", zero))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTID"), numbered(last, "pilotid", zero))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTCITY"), numberedCity(last))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTNAME"), numbered(last, "pilotname", QString()))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTTEAM"), numbered(last, "pilotteam", QString()))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTGROUP"), numbered(last, "group", zero))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTBESTTIME"), numbered(last, "besttimetxt", zero))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTTOTALTIME"), numbered(last, "totaltimetxt", zero))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTPLACE"), numbered(last, "place", zero))
        && replaceNumbered(segs, QStringLiteral("%LASTRACEPILOTLAPS"), numbered(last, "lapno", zero))
        && replaceFixed(segs, QStringLiteral("%EVENTNAME%"), constant(m_snap.eventName), false)
        && replaceFixed(segs, QStringLiteral("%EVENTCITY%"), constant(m_snap.eventCity), false)
        && replaceFixed(segs, QStringLiteral("%STAGENAME%"), constant(m_snap.stageName), false)
        && replaceFixed(segs, QStringLiteral("%STAGELAPS%"), constant(limitText(m_snap.stageLapLimit)), false)
        && replaceFixed(segs, QStringLiteral("%STAGETIME%"), constant(limitText(m_snap.stageTimeLimit)), false)
        && replaceFixed(segs, QStringLiteral("%STAGEDATE%"), constant(m_snap.stageStartTime), false)
        && replaceFixed(segs, QStringLiteral("%STAGEFORMAT%"),
                        [&]() -> std::optional<QString> {
                            return formatName(raceRules(m_db, m_snap.stageId, nullptr).format);
                        },
                        false)
        && replaceFixed(segs, QStringLiteral("%STAGERESULTS%"), [&] { return stageResultsTable(); }, true)
        && replaceFixed(segs, QStringLiteral("%RANDOM%"), [&] { return randomText(); }, false);
    if (!ok && m_log)
        m_log(QStringLiteral("error parse"));

    QString result;
    for (const Segment &s : segs)
        result += s.text;
    return result;
}

} // namespace lapvane
