// Which file of the "htmls" folder a request path names, refusing every path
// that could reach outside it; and the content type a page is served with.
#pragma once

#include <QByteArray>
#include <QString>

namespace lapvane {

enum class PathVerdict {
    Ok,
    BadRequest, // a traversal attempt or a malformed path
    NotFound,
};

// encodedPath is the request's path as sent ("/onerace.htm", percent-encoded).
// Only a plain file name directly in the folder is served: letters, digits,
// '.', '-' and '_', not starting with a dot. Dot segments, backslashes and
// control characters (also percent-encoded) are a bad request; a name that
// resolves (through a symbolic link) outside the folder is not found.
// A path that tries to climb out: dot segments, backslashes or control
// characters, also percent-encoded.
bool isTraversal(const QByteArray &encodedPath);

PathVerdict resolveHtmlsFile(const QString &folder, const QByteArray &encodedPath, QString *filePath);

// "text/html; charset=utf-8" for an .htm page held in UTF-8; pages in another
// encoding get no charset, so their own declaration holds.
QByteArray contentTypeFor(const QString &fileName, const QByteArray &content);

} // namespace lapvane
