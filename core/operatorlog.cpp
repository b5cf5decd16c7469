// The operator log: pane lines and the "log.txt" file.
#include "core/operatorlog.h"

#include "core/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

namespace lapvane {

namespace {
// The kind of a line is at most this long.
constexpr qsizetype kKindChars = 32;
// The example shown in a summary.
constexpr qsizetype kExampleChars = 60;
} // namespace

OperatorLog::OperatorLog(const Settings &settings, const QString &folder, QObject *parent)
    : QObject(parent), m_settings(settings), m_filePath(QDir(folder).filePath(QStringLiteral("log.txt")))
{
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &OperatorLog::flushRepeats);
}

QString OperatorLog::escaped(const QString &message)
{
    QString out;
    out.reserve(message.size());
    for (qsizetype i = 0; i < message.size(); ++i) {
        const QChar ch = message.at(i);
        if (ch.isHighSurrogate() && i + 1 < message.size() && message.at(i + 1).isLowSurrogate()) {
            out += ch;
            out += message.at(++i);
            continue;
        }
        if (ch.isPrint() || ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            out += ch;
            continue;
        }
        const ushort u = ch.unicode();
        if (u < 0x100)
            out +=
                QStringLiteral("\\x") + QString::number(u, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            out +=
                QStringLiteral("\\u") + QString::number(u, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    }
    return out;
}

QString OperatorLog::kindOf(const QString &message)
{
    QString kind;
    for (const QChar ch : message) {
        if (ch.isDigit()) {
            if (!kind.endsWith(QLatin1Char('#')))
                kind += QLatin1Char('#');
        } else {
            kind += ch;
        }
        if (ch == QLatin1Char(':') || kind.size() >= kKindChars)
            break;
    }
    return kind;
}

void OperatorLog::flushRepeats()
{
    const qint64 now = m_clock->nowMs();
    while (!m_windowOrder.empty() && now - m_windowOrder.front().first >= kWindowMs) {
        const QString kind = m_windowOrder.front().second;
        m_windowOrder.pop_front();
        const auto it = m_windows.constFind(kind);
        if (it == m_windows.cend())
            continue;
        const Window w = *it;
        m_windows.erase(it);
        if (w.suppressed > 0)
            write(QStringLiteral("... %1 more like this in the last %2 s (%3)")
                      .arg(w.suppressed)
                      .arg(kWindowMs / 1000)
                      .arg(w.example));
    }
    if (!m_windowOrder.empty())
        m_flushTimer.start(int(qBound<qint64>(1, m_windowOrder.front().first + kWindowMs - now, kWindowMs)));
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
    return locale.toString(moment.date(), dateFormat) + QLatin1Char(' ') +
           locale.toString(moment.time(), timeFormat);
}

void OperatorLog::savelog(const QString &raw)
{
    flushRepeats();
    const QString message = escaped(raw);
    const QString kind = kindOf(message);
    auto it = m_windows.find(kind);
    if (it == m_windows.end()) {
        it = m_windows.insert(kind, Window{m_clock->nowMs(), 0, 0, {}});
        m_windowOrder.emplace_back(it->startMs, kind);
        if (!m_flushTimer.isActive())
            m_flushTimer.start(int(kWindowMs));
    }
    if (it->shown >= kShownPerWindow) {
        ++it->suppressed;
        it->example = message.left(kExampleChars);
        return;
    }
    ++it->shown;
    write(message);
}

void OperatorLog::write(const QString &message)
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
    errno = 0;
    if (file.write(line) != line.size() || !file.flush()) {
        // The system's own reason ("No space left on device"): the device's
        // text for a failed flush is often only "Unknown error".
        const int cause = errno;
        *reason = cause == ENOSPC ? QStringLiteral("the disk is full")
                  : cause != 0    ? QString::fromLocal8Bit(std::strerror(cause))
                                  : file.errorString();
        return false;
    }
    return true;
}

} // namespace lapvane
