// Request paths to files of the "htmls" folder, and their content types.
#include "publish/htmlsfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>

namespace lapvane {

namespace {

// A name that can only mean an entry of the folder itself: no separator, no
// drive, nothing hidden, no control character.
bool isPlainName(const QString &name)
{
    if (name.isEmpty() || name.size() > 200 || name.startsWith(QLatin1Char('.')))
        return false;
    for (const QChar ch : name) {
        if (ch == QLatin1Char('/') || ch == QLatin1Char('\\') || ch == QLatin1Char(':') || ch.unicode() < 0x20
            || ch.unicode() == 0x7f || ch.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

// The file of the folder (canonical) with this name, or empty.
QString fileInFolder(const QString &root, const QString &name)
{
    if (!isPlainName(name))
        return {};
    const QString canonical = QFileInfo(QDir(root).filePath(name)).canonicalFilePath(); // follows symbolic links
    if (canonical.isEmpty() || !QFileInfo(canonical).isFile() || QFileInfo(canonical).absolutePath() != root)
        return {};
    return canonical;
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
    const QByteArray bytes = segments.first();
    // Only valid UTF-8 names a file: anything else would be read as another name.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString name = utf8.decode(bytes);
    if (utf8.hasError())
        return PathVerdict::NotFound;
    const QString root = QDir(folder).canonicalPath();
    if (root.isEmpty())
        return PathVerdict::NotFound;
    const QString file = fileInFolder(root, name);
    if (file.isEmpty())
        return PathVerdict::NotFound;
    *filePath = file;
    return PathVerdict::Ok;
}

QStringList servedPages(const QString &folder)
{
    const QString root = QDir(folder).canonicalPath();
    if (root.isEmpty())
        return {};
    QStringList out;
    const QStringList names = QDir(root).entryList({QStringLiteral("*.htm"), QStringLiteral("*.html")},
                                                   QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &name : names) {
        if (!fileInFolder(root, name).isEmpty())
            out << name;
    }
    return out;
}

QByteArray htmlsHref(const QString &fileName)
{
    return '/' + QUrl::toPercentEncoding(fileName);
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
