// The texts the race director posts to Telegram: the race result, the group
// list and results of a stage, the welcome text. Each line ends with CR LF.
#pragma once

#include <QDate>
#include <QLocale>
#include <QSqlDatabase>
#include <QString>

namespace lapvane {

struct StageInfo
{
    int id = 0;
    QString stagename;
    QString tracklen;
};

struct EventInfo
{
    QString eventname;
    QString organizer;
    QString city;
};

namespace telegramtexts {

StageInfo readStage(QSqlDatabase db, int stageId);
EventInfo readEvent(QSqlDatabase db, int eventNum);

// "(" + speed + " км/ч)" for a best lap over the track, or empty when the
// track length is "0" or not a number, or the best lap is not a time. The
// track length is read and the speed written in the given number format.
QString speedText(const QString &tracklen, qint64 besttimeMs, const QLocale &locale);

// The race list as a race result message; empty when the race list is empty.
// lapLimit is the race page's lap limit as typed.
QString raceResultText(QSqlDatabase db, const QString &lapLimit, const QString &tracklen, const QLocale &locale);

// GenerateGroupsText: the stage's pilots by group, "_" replaced by a space.
QString groupsText(QSqlDatabase db, const StageInfo &stage);
// GenerateResultsText: the stage's results by qualification time.
QString resultsText(QSqlDatabase db, const StageInfo &stage);
// The free text's welcome, dated in the given format.
QString welcomeText(const EventInfo &event, const StageInfo &stage, const QDate &today, const QLocale &locale);

} // namespace telegramtexts
} // namespace lapvane
