// Reading page templates and writing whole pages: UTF-8 text, CR LF line
// ends, a byte order mark so a browser opening the file from disk reads
// Cyrillic right, and a page replaced only by a complete new one.
#pragma once

#include <QString>
#include <QStringList>

namespace lapvane {

// `&`, `<`, `>` and `"` as HTML entities.
QString escapeHtml(const QString &value);

// True for a template whose file name ends in ".htm" or ".html" (any case):
// values put into it are escaped.
bool isHtmlTemplate(const QString &path);

// The lines of a text, split at CR LF, LF or CR; a final line break does not
// add an empty line.
QStringList textLines(const QString &text);

// Reads a template file as UTF-8 (a byte order mark is dropped) and returns
// its lines joined with CR LF. A file that is not valid UTF-8 is read as
// Windows-1251, as older Windows tools save Cyrillic, and *windows1251 is set
// (the caller logs windows1251Note once). False with a reason when it cannot
// be read.
bool readTemplate(const QString &path, QString *text, QString *error, bool *windows1251 = nullptr);
// The log line for a template read as Windows-1251.
QString windows1251Note(const QString &path);

// Writes text as lines each ended by CR LF, UTF-8 with a byte order mark,
// into a temporary file in the same folder that then replaces path. A reader
// sees the old page or the new one, never part of one; on failure the old
// page stays and error says why.
bool writePage(const QString &path, const QString &text, QString *error);

} // namespace lapvane
