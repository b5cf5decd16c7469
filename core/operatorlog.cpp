// The operator log: pane lines and the "log.txt" file.
#include "core/operatorlog.h"

#include "core/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

namespace lapvane {

OperatorLog::OperatorLog(const Settings &settings, const QString &folder, QObject *parent)
    : QObject(parent), m_settings(settings),
      m_filePath(QDir(folder).filePath(QStringLiteral("log.txt")))
{
}

QString OperatorLog::stampText(const QDateTime &moment)
{
    // The locale and its patterns are looked up once: a line costs only the
    // formatting. The long time form goes without the time zone name.
    static const QLocale locale = QLocale::system();
    static const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    static const QString timeFormat = [] {
        QString format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b\\s*")));
        return format.trimmed();
    }();
    return locale.toString(moment.date(), dateFormat) + QLatin1Char(' ') + locale.toString(moment.time(), timeFormat);
}

void OperatorLog::savelog(const QString &message)
{
    emit lineAdded(message);
    if (!m_settings.flag(QStringLiteral("chsavelogfile")))
        return;
    QString reason;
    if (appendToFile(message, &reason)) {
        m_failing = false;
        return;
    }
    if (!m_failing) {
        m_failing = true;
        emit lineAdded(QStringLiteral("Cannot write the log file %1: %2").arg(m_filePath, reason));
        emit fileWriteFailed(m_filePath, reason);
    }
}

bool OperatorLog::appendToFile(const QString &message, QString *reason)
{
    // Opened and closed for every line: nothing stays open between lines, and
    // an existing file is only ever appended to.
    QFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *reason = file.errorString();
        return false;
    }
    const QByteArray line =
        (stampText(QDateTime::currentDateTime()) + QStringLiteral(": ") + message).toUtf8() + "\r\n";
    if (file.write(line) != line.size() || !file.flush()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

} // namespace lapvane
