// The operator log: the running account of what the program did, shown in the
// log pane and appended to "log.txt" in the program folder.
#pragma once

#include "core/clock.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>

namespace lapvane {

class Settings;

class OperatorLog : public QObject
{
    Q_OBJECT
public:
    // settings supplies the "Save log file" switch; folder is the program folder.
    OperatorLog(const Settings &settings, const QString &folder, QObject *parent = nullptr);

    QString filePath() const { return m_filePath; }

    // Main thread only. The line reaches the pane (lineAdded) before the file
    // is touched, so a file problem never loses it. Lines go to the file with
    // the locale's short date and long time, ended by CR LF.
    //
    // Line noise must not flood the log: control characters are shown
    // escaped ("\x17"), and of the lines of one kind (the same text up to its
    // first ":", digits aside) at most kShownPerWindow are written in 10 s;
    // the rest are counted and summarised as "... N more like this in the
    // last 10 s (example)" when the 10 s are over.
    void savelog(const QString &message);

    static constexpr int kShownPerWindow = 30;
    static constexpr qint64 kWindowMs = 10000;

    // The clock the repeat windows are measured with (tests move it by hand).
    void setClock(const Clock &clock) { m_clock = &clock; }
    // Writes the summaries of the windows that are over.
    void flushRepeats();

    // The message as the log shows it: control characters escaped.
    static QString escaped(const QString &message);
    // The kind a line is counted under for the repeat windows.
    static QString kindOf(const QString &message);

    // The date and time prefix of a file line for the given moment.
    static QString stampText(const QDateTime &moment);

signals:
    void lineAdded(const QString &message);
    // The log file could not be written. Sent once when writing starts to
    // fail; after that, once more only when it has worked again in between.
    void fileWriteFailed(const QString &path, const QString &reason);

private:
    struct Window
    {
        qint64 startMs = 0;
        int shown = 0;
        int suppressed = 0;
        QString example;
    };

    void write(const QString &line);
    bool appendToFile(const QString &message, QString *reason);

    const Settings &m_settings;
    QString m_filePath;
    bool m_failing = false;
    SystemClock m_systemClock;
    const Clock *m_clock = &m_systemClock;
    QHash<QString, Window> m_windows;
    // Kinds in the order their windows began (which is the order they end).
    std::deque<std::pair<qint64, QString>> m_windowOrder;
    QTimer m_flushTimer;
};

} // namespace lapvane
