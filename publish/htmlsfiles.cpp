// Request paths to files of the "htmls" folder, and their content types.
#include "publish/htmlsfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace lapvane {

namespace {

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
           || c == '_';
}

} // namespace

bool isTraversal(const QByteArray &encodedPath)
{
    if (!encodedPath.startsWith('/'))
        return true;
    // Decoded once; a "%252e" stays "%2e" and is then simply not a valid name.
    const QByteArray path = QByteArray::fromPercentEncoding(encodedPath);
    for (const char c : path) {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    }
    for (const QByteArray &s : path.split('/')) {
        if (s == "." || s == "..")
            return true;
    }
    return false;
}

PathVerdict resolveHtmlsFile(const QString &folder, const QByteArray &encodedPath, QString *filePath)
{
    if (isTraversal(encodedPath))
        return PathVerdict::BadRequest;
    const QList<QByteArray> segments = QByteArray::fromPercentEncoding(encodedPath).mid(1).split('/');
    if (segments.size() != 1)
        return PathVerdict::NotFound;
    const QByteArray name = segments.first();
    if (name.isEmpty() || name.size() > 128 || name.startsWith('.'))
        return PathVerdict::NotFound;
    for (const char c : name) {
        if (!isNameChar(c))
            return PathVerdict::NotFound;
    }
    const QString root = QDir(folder).canonicalPath();
    if (root.isEmpty())
        return PathVerdict::NotFound;
    const QFileInfo info(QDir(root).filePath(QString::fromLatin1(name)));
    const QString canonical = info.canonicalFilePath(); // follows symbolic links
    if (canonical.isEmpty() || !QFileInfo(canonical).isFile() || QFileInfo(canonical).absolutePath() != root)
        return PathVerdict::NotFound;
    *filePath = canonical;
    return PathVerdict::Ok;
}

QByteArray contentTypeFor(const QString &fileName, const QByteArray &content)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    auto text = [&content](const char *type) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        (void)utf8.decode(content);
        return utf8.hasError() ? QByteArray(type) : QByteArray(type) + "; charset=utf-8";
    };
    if (ext == QLatin1String("htm") || ext == QLatin1String("html"))
        return text("text/html");
    if (ext == QLatin1String("txt"))
        return text("text/plain");
    if (ext == QLatin1String("css"))
        return text("text/css");
    if (ext == QLatin1String("js"))
        return "text/javascript; charset=utf-8";
    if (ext == QLatin1String("json"))
        return "application/json";
    if (ext == QLatin1String("png"))
        return "image/png";
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return "image/jpeg";
    if (ext == QLatin1String("gif"))
        return "image/gif";
    if (ext == QLatin1String("svg"))
        return "image/svg+xml";
    if (ext == QLatin1String("ico"))
        return "image/x-icon";
    return "application/octet-stream";
}

} // namespace lapvane
