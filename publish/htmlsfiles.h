// Which file of the "htmls" folder a request path names, refusing every path
// that could reach outside it; and the content type a page is served with.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lapvane {

enum class PathVerdict {
    Ok,
    BadRequest, // a traversal attempt or a malformed path
    NotFound,
};

// A path that tries to climb out: dot segments, backslashes or control
// characters, also percent-encoded.
bool isTraversal(const QByteArray &encodedPath);

// encodedPath is the request's path as sent ("/onerace.htm", "/my%20page.htm",
// percent-encoded UTF-8). Only a file directly in the folder is served, named
// by one segment that decodes to valid UTF-8 and does not start with a dot.
// Dot segments, backslashes and control characters (also percent-encoded) are
// a bad request; a name that is not an entry of the folder, or that resolves
// (through a symbolic link) outside it, is not found.
PathVerdict resolveHtmlsFile(const QString &folder, const QByteArray &encodedPath, QString *filePath);

// The pages of the folder that resolveHtmlsFile serves, by name.
QStringList servedPages(const QString &folder);

// The path a link to a file of the folder carries: "/" and the name in
// percent-encoded UTF-8.
QByteArray htmlsHref(const QString &fileName);

// "text/html; charset=utf-8" for an .htm page held in UTF-8; pages in another
// encoding get no charset, so their own declaration holds.
QByteArray contentTypeFor(const QString &fileName, const QByteArray &content);

} // namespace lapvane
