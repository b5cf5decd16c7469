// Comma-separated values as RFC 4180 has them: a table written as UTF-8 with
// a header row, and a file read back into rows.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace lapvane {

// The header row and the rows, CRLF line ends; every cell as csvSafeCell
// writes it; a field holding a comma, a quote, a line break or blanks at its
// ends is quoted, its quotes doubled. The text starts with a UTF-8 byte order
// mark, so spreadsheets read it as UTF-8.
QByteArray csvTable(const QStringList &header, const QList<QStringList> &rows);

// A cell a spreadsheet could take as a formula (text beginning with '=', '+',
// '-', '@', a tab or a carriage return, after any apostrophes) gets a leading
// apostrophe, so it shows as the text it is: "=HYPERLINK(...)" is written
// "'=HYPERLINK(...)", "-=Ace=-" is "'-=Ace=-". A cell that is a number or a
// time as a whole ("-5", "+1.5e3", "-000:01.250") is a value, not a formula,
// and stays as it is, so number columns keep their numbers.
QString csvSafeCell(const QString &cell);
// The cell as it was before csvSafeCell: one leading apostrophe is dropped
// from a cell that csvSafeCell would have marked.
QString csvPlainCell(const QString &cell);

// Writes the bytes whole or not at all (the previous file stays on failure).
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);

// Reads UTF-8 text (a byte order mark is dropped) into rows of fields. The
// separator is the comma, or the semicolon when the first line holds more of
// those (as spreadsheets in some languages save). Quoted fields may hold
// separators, doubled quotes and line breaks. Blank lines are skipped.
// False with a message naming the line on text that is not UTF-8, a quote
// left open, or text after a closing quote.
bool parseCsv(const QByteArray &bytes, QList<QStringList> *rows, QString *error);

} // namespace lapvane
