// One cycle of the live pages: the four organiser templates filled into
// "onerace.htm", "oneraceres.htm", "channel1.htm" to "channel8.htm" and
// "top.htm", and the built-in page "comment.htm", all in the "htmls" folder.
#pragma once

#include "publish/pagesnapshot.h"

#include <QSet>
#include <QSqlDatabase>
#include <QString>

#include <functional>

namespace lapvane {

class LivePages
{
public:
    using LogFn = std::function<void(const QString &)>;

    // db is a connection of the calling thread; pages go to folder.
    LivePages(QSqlDatabase db, const QString &folder, LogFn log);

    // The folder of the live pages under the program folder.
    static QString htmlsFolder(const QString &programFolder);

    // Writes the twelve pages once. A page that cannot be filled or written
    // is logged and keeps its previous version; the cycle goes on.
    void writeCycle(const PageSnapshot &snapshot);

    // The text of "comment.htm"; false when the store could not be read.
    bool commentPage(const PageSnapshot &snapshot, QString *page);

private:
    bool templatePage(const PageSnapshot &snapshot, const QString &templatePath, int pilotid,
                      const QString &pageName);

    QSqlDatabase m_db;
    QString m_folder;
    LogFn m_log;
    // Templates read as Windows-1251 whose log line was written.
    QSet<QString> m_windows1251Told;
};

} // namespace lapvane
