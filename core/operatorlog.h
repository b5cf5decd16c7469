// The operator log: the running account of what the program did, shown in the
// log pane and appended to "log.txt" in the program folder.
#pragma once

#include <QObject>
#include <QString>

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
    void savelog(const QString &message);

    // The date and time prefix of a file line for the given moment.
    static QString stampText(const QDateTime &moment);

signals:
    void lineAdded(const QString &message);
    // The log file could not be written. Sent once when writing starts to
    // fail; after that, once more only when it has worked again in between.
    void fileWriteFailed(const QString &path, const QString &reason);

private:
    bool appendToFile(const QString &message, QString *reason);

    const Settings &m_settings;
    QString m_filePath;
    bool m_failing = false;
};

} // namespace lapvane
