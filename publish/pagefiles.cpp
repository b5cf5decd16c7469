// Reading page templates and writing whole pages.
#include "publish/pagefiles.h"

#include "core/textdecoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace lapvane {

QString escapeHtml(const QString &value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        default: out += c;
        }
    }
    return out;
}

bool isHtmlTemplate(const QString &path)
{
    return path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)
           || path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

QStringList textLines(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = text.split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool readTemplate(const QString &path, QString *text, QString *error, bool *windows1251)
{
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("the template \"%1\" does not exist").arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("the template \"%1\" cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    QString content = decodeUtf8OrWindows1251(file.readAll(), windows1251);
    if (content.startsWith(QChar(0xFEFF)))
        content.remove(0, 1);
    *text = textLines(content).join(QLatin1String("\r\n"));
    return true;
}

QString windows1251Note(const QString &path)
{
    return QStringLiteral("The template \"%1\" is not UTF-8 text and was read as Windows-1251 (Cyrillic); "
                          "save it as UTF-8 to be sure of its letters.")
        .arg(path);
}

bool writePage(const QString &path, const QString &text, QString *error)
{
    QByteArray bytes("\xEF\xBB\xBF");
    const QStringList lines = textLines(text);
    for (const QString &line : lines) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    // A temporary file in the same folder, renamed over the page: rename()
    // replaces it in one step. No sync to disk: a live page is rewritten every
    // two seconds, and waiting for the disk would slow every cycle.
    const QFileInfo info(path);
    QTemporaryFile file(info.dir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".XXXXXX")));
    auto failed = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("the page \"%1\" cannot be written: %2").arg(path, reason);
        return false;
    };
    if (!file.open())
        return failed(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        return failed(file.errorString());
    // Readable by a local web server as any page the program writes.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    file.close();
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return failed(QString::fromLocal8Bit(std::strerror(errno)));
    file.setAutoRemove(false);
    return true;
}

} // namespace lapvane
