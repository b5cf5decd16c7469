// The caption of a stage's race format.
#include "competition/formatcaption.h"

#include <QSqlQuery>

namespace lapvane {

namespace {

// The key stored for the stage, or a null string when it has none.
QString storedKey(QSqlDatabase db, int stageId)
{
    if (!db.tables().contains(QLatin1String(kStageFormatTable), Qt::CaseInsensitive))
        return QString();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT format FROM stageformat WHERE stage=?"));
    q.addBindValue(stageId);
    if (!q.exec() || !q.next())
        return QString();
    const QString key = q.value(0).toString();
    return key.isNull() ? QStringLiteral("") : key;
}

QString secondsText(qint64 ms)
{
    return ms % 1000 == 0 ? QString::number(ms / 1000) : QString::number(double(ms) / 1000.0, 'f', 1);
}

} // namespace

QString formatDescription(const StageRules &rules)
{
    QString text = formatName(rules.format);
    if (rules.format == RaceFormat::MostLaps || rules.format == RaceFormat::FirstToLaps)
        text += QStringLiteral(", grace %1 s").arg(secondsText(rules.options.graceMs));
    if (rules.options.holeShot)
        text += QStringLiteral(", first pass starts the clock");
    return text;
}

StageFormatShown showStageFormat(QSqlDatabase db, int stageId)
{
    StageFormatShown shown;
    if (stageId <= 0)
        return shown;
    QString error;
    const bool read = readStageRules(db, stageId, &shown.rules, &error);
    const QString key = storedKey(db, stageId);
    shown.chosen = !key.isNull();
    if (shown.chosen && !formatFromKey(key)) {
        shown.unknown = true;
        shown.caption = QStringLiteral("Format: unknown (\"%1\"), raced as %2")
                            .arg(key, formatName(RaceFormat::LapsAndTime));
        shown.problem =
            error.isEmpty()
                ? QStringLiteral("Stage %1 has an unknown race format \"%2\".").arg(stageId).arg(key)
                : error;
        return shown;
    }
    if (!read) {
        shown.caption = QStringLiteral("Format: cannot be read");
        shown.problem =
            QStringLiteral("The race format of stage %1 cannot be read: %2").arg(stageId).arg(error);
        return shown;
    }
    shown.caption = QStringLiteral("Format: %1").arg(formatDescription(shown.rules));
    return shown;
}

} // namespace lapvane
