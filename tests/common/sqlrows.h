// Reading and writing test rows with plain SQL text.
#pragma once

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantMap>

namespace lapvane::test {

// Each row of the answer, its values joined by a space. A statement that
// fails gives one line naming the error instead, so the comparison that
// reads it fails and shows why.
QStringList rows(QSqlDatabase db, const QString &sql);
// The first value of each row, as rows() reports a failure.
QStringList column(QSqlDatabase db, const QString &sql);

// Runs a statement of the test's own set-up and returns the id of the row it
// inserted (0: none); one that fails ends the test program with the error.
int exec(QSqlDatabase db, const QString &sql);
// Inserts one row with bound values (the column names are quoted) and returns
// its id; a failure ends the test program.
int insertRow(QSqlDatabase db, const QString &table, const QVariantMap &values);

} // namespace lapvane::test
