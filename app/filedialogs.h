// The program's file dialogs: Qt's own dialog that never opens the files it
// lists, with the database's own files left out of the list.
#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace lapvane {

// Reading a file to guess its type or icon opens and closes it, and closing
// any descriptor of the database file drops the process's locks on it (then
// another program may delete the write-ahead log under us). These dialogs
// take icons and types from names alone and do not list dbpilots.db and its
// companion files at all.
QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &folder, const QString &filter);
// defaultSuffix is added to a name typed without one; suggested is the
// file name (or path) first shown.
QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &folder, const QString &filter,
                       const QString &defaultSuffix = QString(), const QString &suggested = QString());

// Makes dialog one of those (for a dialog a caller sets up itself).
void makeSafeFileDialog(QFileDialog &dialog);

// The database's own files, which no dialog lists: dbpilots.db, -wal, -shm, -journal.
bool isDatabaseFile(const QString &fileName);

} // namespace lapvane
