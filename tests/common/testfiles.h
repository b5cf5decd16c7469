// Files a test writes and reads whole.
#pragma once

#include <QByteArray>
#include <QString>

namespace lapvane::test {

// Writes the bytes as the whole file and returns its path; a file that
// cannot be written ends the test program.
QString writeFile(const QString &path, const QByteArray &bytes);
// The whole file, or a null array when it cannot be read.
QByteArray readFile(const QString &path);

} // namespace lapvane::test
