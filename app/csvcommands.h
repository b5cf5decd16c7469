// "Export Results to CSV" and "Import pilots from CSV": the buttons, their
// file choice, and the work they hand to the CSV module.
#pragma once

#include <QSqlDatabase>
#include <QString>

#include <functional>

class QPushButton;
class QTableView;
class QWidget;

namespace lapvane {

class OperatorLog;
class OperatorPrompt;
struct PilotImport;

// The rows and columns the grid shows, in the order shown, with their
// headings, written to path. Reports a failure to the operator.
bool exportGridCsv(const QTableView *grid, const QString &path, OperatorLog &log, OperatorPrompt &prompt);

// Imports the file into the registry and reports "N added, M skipped" (or
// why nothing changed) to the operator and the log.
PilotImport importPilotsFile(const QString &path, QSqlDatabase db, OperatorLog &log, OperatorPrompt &prompt);

// `btsavecsv` "Export Results to CSV": asks for a file and exports the grid.
QPushButton *csvExportButton(QTableView *grid, OperatorLog &log, OperatorPrompt &prompt, QWidget *parent);
// `btimportcsv` "Import pilots from CSV": asks for a file, imports it, then
// runs imported (re-reading the registry).
QPushButton *csvImportButton(QSqlDatabase db, OperatorLog &log, OperatorPrompt &prompt,
                             const std::function<void()> &imported, QWidget *parent);

} // namespace lapvane
