// Writing and reading comma-separated values.
#include "publish/csvtable.h"

#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

namespace lapvane {

namespace {

QString quoted(const QString &field)
{
    const bool needs = field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"'))
                       || field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))
                       || field.contains(QLatin1Char(';'))
                       || (!field.isEmpty() && (field.front().isSpace() || field.back().isSpace()));
    if (!needs)
        return field;
    QString out = field;
    out.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

// Whether text (after any apostrophes) begins as a formula would.
bool formulaStart(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char('\''))
        ++i;
    if (i == text.size())
        return false;
    switch (text.at(i).unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
        return true;
    default:
        return false;
    }
}

bool isNumberOrTime(const QString &text)
{
    static const QRegularExpression value(
        QStringLiteral("^[+-]?(\\d+([:.,]\\d+)*|[.,]\\d+)([eE][+-]?\\d+)?$"));
    return value.match(text).hasMatch();
}

void appendLine(QString *out, const QStringList &fields)
{
    QStringList q;
    q.reserve(fields.size());
    for (const QString &f : fields)
        q << quoted(csvSafeCell(f));
    *out += q.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

// The separator of the first line, counting outside quotes.
QChar separatorOf(const QString &text)
{
    int commas = 0, semicolons = 0;
    bool inQuotes = false;
    for (const QChar ch : text) {
        if (ch == QLatin1Char('"'))
            inQuotes = !inQuotes;
        else if (!inQuotes && (ch == QLatin1Char('\n') || ch == QLatin1Char('\r')))
            break;
        else if (!inQuotes && ch == QLatin1Char(','))
            ++commas;
        else if (!inQuotes && ch == QLatin1Char(';'))
            ++semicolons;
    }
    return semicolons > commas ? QLatin1Char(';') : QLatin1Char(',');
}

} // namespace

QString csvSafeCell(const QString &cell)
{
    if (!formulaStart(cell) || isNumberOrTime(cell))
        return cell;
    return QLatin1Char('\'') + cell;
}

QString csvPlainCell(const QString &cell)
{
    if (cell.startsWith(QLatin1Char('\'')) && formulaStart(cell) && !isNumberOrTime(cell.mid(1)))
        return cell.mid(1);
    return cell;
}

QByteArray csvTable(const QStringList &header, const QList<QStringList> &rows)
{
    QString text;
    appendLine(&text, header);
    for (const QStringList &row : rows)
        appendLine(&text, row);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool parseCsv(const QByteArray &bytes, QList<QStringList> *rows, QString *error)
{
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(data);
    if (utf8.hasError()) {
        *error = QStringLiteral("The file is not UTF-8 text. Save it from the spreadsheet as \"CSV UTF-8\".");
        return false;
    }
    const QChar sep = separatorOf(text);
    QList<QStringList> out;
    QStringList row;
    QString field;
    bool inQuotes = false;
    bool wasQuoted = false;
    bool afterQuote = false; // a quoted field closed; only a separator or line end may follow
    int line = 1;
    int quoteLine = 1;
    auto endField = [&] {
        row << field;
        field.clear();
        wasQuoted = afterQuote = false;
    };
    auto endRow = [&] {
        // A line holding nothing at all is not a row.
        const bool blank = row.isEmpty() && field.isEmpty() && !wasQuoted;
        endField();
        if (!blank)
            out << row;
        row.clear();
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (inQuotes) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    inQuotes = false;
                    afterQuote = true;
                }
            } else {
                if (ch == QLatin1Char('\n'))
                    ++line;
                field += ch;
            }
            continue;
        }
        if (ch == sep) {
            endField();
        } else if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            if (ch == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            endRow();
            ++line;
        } else if (afterQuote) {
            *error = QStringLiteral("Line %1: text after a closing quote.").arg(line);
            return false;
        } else if (ch == QLatin1Char('"') && field.isEmpty()) {
            inQuotes = wasQuoted = true;
            quoteLine = line;
        } else {
            field += ch;
        }
    }
    if (inQuotes) {
        *error = QStringLiteral("Line %1: a quote is opened and never closed.").arg(quoteLine);
        return false;
    }
    if (!field.isEmpty() || !row.isEmpty() || afterQuote)
        endRow();
    *rows = out;
    return true;
}

} // namespace lapvane
