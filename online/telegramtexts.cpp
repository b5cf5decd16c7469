// Building the Telegram texts from the race list and the stage results.
#include "online/telegramtexts.h"

#include "online/lapspeed.h"
#include "store/database.h"

#include <QSqlQuery>
#include <QStringList>

namespace lapvane::telegramtexts {

namespace {

QString joined(const QStringList &lines)
{
    QString out;
    for (const QString &l : lines)
        out += l + QStringLiteral("\r\n");
    return out;
}

QString str(const QSqlQuery &q, const char *field)
{
    return q.value(QLatin1String(field)).toString();
}

} // namespace

StageInfo readStage(QSqlDatabase db, int stageId)
{
    StageInfo s;
    s.id = stageId;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT stagename, tracklen FROM stages WHERE id=?"));
    q.addBindValue(stageId);
    if (q.exec() && q.next()) {
        s.stagename = str(q, "stagename");
        s.tracklen = str(q, "tracklen");
    }
    return s;
}

EventInfo readEvent(QSqlDatabase db, int eventNum)
{
    EventInfo e;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT eventname, organizer, city FROM events WHERE num=?"));
    q.addBindValue(eventNum);
    if (q.exec() && q.next()) {
        e.eventname = str(q, "eventname");
        e.organizer = str(q, "organizer");
        e.city = str(q, "city");
    }
    return e;
}

QString speedText(const QString &tracklen, qint64 besttimeMs, const QLocale &locale)
{
    if (tracklen == QLatin1String("0") || besttimeMs <= 0 || besttimeMs >= kNoTimeMs)
        return {};
    const std::optional<double> kmh = lapspeed::kmh(tracklen, besttimeMs, locale);
    if (!kmh)
        return {};
    return QStringLiteral("(") + lapspeed::text(*kmh, locale) + QStringLiteral(" км/ч)");
}

QString raceResultText(QSqlDatabase db, const QString &lapLimit, const QString &tracklen, const QLocale &locale)
{
    QSqlQuery pilots(db);
    if (!pilots.exec(QStringLiteral("SELECT * FROM onerace ORDER BY place ASC")) || !pilots.next())
        return {};
    QStringList lines;
    lines << QStringLiteral("Результаты вылета группы *\"") + str(pilots, "group") + QStringLiteral("\"*:");
    do {
        const QString place = pilots.value(QStringLiteral("place")).toInt() == kNoPlace
                                  ? QStringLiteral("без места")
                                  : str(pilots, "place") + QStringLiteral(" место");
        lines << QStringLiteral("*") + place + QStringLiteral(" - ") + str(pilots, "pilotname") + QStringLiteral("*");
        QSqlQuery laps(db);
        laps.prepare(QStringLiteral("SELECT lapn, laptimetxt FROM laps WHERE pilotid=? ORDER BY lapn ASC, id ASC"));
        laps.addBindValue(pilots.value(QStringLiteral("pilotid")));
        laps.exec();
        QStringList lapLines;
        const QString best = str(pilots, "besttimetxt");
        const QString speed = speedText(tracklen, pilots.value(QStringLiteral("besttime")).toLongLong(), locale);
        while (laps.next()) {
            const QString lapText = str(laps, "laptimetxt");
            const QString mark = lapText == best ? QStringLiteral("*") : QString();
            lapLines << QStringLiteral("    ") + mark + str(laps, "lapn") + QStringLiteral(": ") + lapText + mark
                            + QStringLiteral(" ") + (mark.isEmpty() ? QString() : speed);
        }
        if (lapLines.isEmpty()) {
            lines << QStringLiteral("    _(нет кругов)_");
        } else {
            const QString limit = lapLimit == QLatin1String("0") ? QString() : QStringLiteral(" из ") + lapLimit;
            lines << QStringLiteral("    _(") + str(pilots, "lapno") + limit + QStringLiteral(" кругов)_");
            lines << lapLines;
        }
    } while (pilots.next());
    lines << QString();
    return joined(lines);
}

QString groupsText(QSqlDatabase db, const StageInfo &stage)
{
    QStringList lines;
    lines << QStringLiteral("Таблица пилотов по группам в этапе *\"") + stage.stagename + QStringLiteral("\"*:");
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT * FROM results WHERE stage=? ORDER BY \"group\",vtx ASC"));
    q.addBindValue(stage.id);
    q.exec();
    QString group;
    int counter = 1;
    while (q.next()) {
        if (str(q, "group") != group) {
            group = str(q, "group");
            lines << QStringLiteral("==* Группа \"") + group + QStringLiteral("\" *==");
            counter = 1;
        }
        const QString team = str(q, "pilotteam");
        lines << QString::number(counter) + QStringLiteral(". (ch ") + str(q, "vtx") + QStringLiteral(") ")
                     + str(q, "pilotname") + (team.isEmpty() ? QString() : QStringLiteral(" (") + team + QStringLiteral(")"));
        ++counter;
    }
    // A name cannot open an italic span.
    return joined(lines).replace(QLatin1Char('_'), QLatin1Char(' '));
}

QString resultsText(QSqlDatabase db, const StageInfo &stage)
{
    QStringList lines;
    lines << QStringLiteral("Таблица результатов этапа *\"") + stage.stagename + QStringLiteral("\"*:")
          << QStringLiteral("(место. ФИО | круги | лучший  | лучший за все время)")
          << QStringLiteral("_(сортировка по лучшему кругу за все время)_");
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT * FROM results WHERE stage=? ORDER BY qualtime ASC"));
    q.addBindValue(stage.id);
    q.exec();
    int counter = 1;
    while (q.next()) {
        lines << QString::number(counter++) + QStringLiteral(". ") + str(q, "pilotname") + QStringLiteral(" | ")
                     + str(q, "lapno") + QStringLiteral(" | ") + str(q, "besttimetxt") + QStringLiteral(" | ")
                     + str(q, "qualtimetxt");
    }
    return joined(lines);
}

QString welcomeText(const EventInfo &event, const StageInfo &stage, const QDate &today, const QLocale &locale)
{
    return joined({QStringLiteral("Добро пожаловать на гонку *\"") + event.eventname + QStringLiteral("\"*!"),
                   QStringLiteral("Организатор гонки *\"") + event.organizer
                       + QStringLiteral("\"* приветствует участников соревнования!"),
                   QStringLiteral("Сегодня ") + locale.toString(today, QLocale::ShortFormat)
                       + QStringLiteral(", место действия - ") + event.city + QStringLiteral(". Вас ждет трасса длиной ")
                       + stage.tracklen + QStringLiteral(" метров и скоро начнется первый этап \"") + stage.stagename
                       + QStringLiteral("\"!"),
                   QString(), QStringLiteral("Всем удачи!")});
}

} // namespace lapvane::telegramtexts
