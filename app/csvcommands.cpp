// The CSV buttons of the Events and Pilots pages.
#include "app/csvcommands.h"

#include "app/filedialogs.h"
#include "app/widgets.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "publish/csvtable.h"
#include "publish/pilotcsvimport.h"

#include <QFile>
#include <QHeaderView>
#include <QTableView>

namespace lapvane {

namespace {

constexpr qint64 kMaxImportBytes = 16 * 1024 * 1024;

} // namespace

bool exportGridCsv(const QTableView *grid, const QString &path, OperatorLog &log, OperatorPrompt &prompt)
{
    const QAbstractItemModel *model = grid->model();
    const QHeaderView *header = grid->horizontalHeader();
    QList<int> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!grid->isColumnHidden(logical))
            columns << logical;
    }
    QStringList headings;
    for (int c : std::as_const(columns))
        headings << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    QList<QStringList> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        if (grid->isRowHidden(r))
            continue;
        QStringList row;
        for (int c : std::as_const(columns))
            row << model->index(r, c).data(Qt::DisplayRole).toString();
        rows << row;
    }
    QString error;
    if (!writeFileAtomically(path, csvTable(headings, rows), &error)) {
        const QString text = QStringLiteral("Cannot write the results to %1: %2").arg(path, error);
        log.savelog(text);
        prompt.notice(text);
        return false;
    }
    log.savelog(QStringLiteral("Results exported to CSV: %1 (%2 rows)").arg(path).arg(rows.size()));
    return true;
}

PilotImport importPilotsFile(const QString &path, QSqlDatabase db, OperatorLog &log, OperatorPrompt &prompt)
{
    PilotImport result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        result.error = file.errorString();
    else if (file.size() > kMaxImportBytes)
        result.error = QStringLiteral("The file is larger than %1 MB.").arg(kMaxImportBytes / (1024 * 1024));
    else
        result = importPilotsCsv(db, file.readAll());
    if (!result.ok) {
        const QString text = QStringLiteral("No pilots imported from %1: %2").arg(path, result.error);
        log.savelog(text);
        prompt.notice(text);
        return result;
    }
    log.savelog(QStringLiteral("Pilots imported from %1: %2").arg(path, result.summary()));
    prompt.notice(result.summary());
    return result;
}

QPushButton *csvExportButton(QTableView *grid, OperatorLog &log, OperatorPrompt &prompt, QWidget *parent)
{
    QPushButton *b = namedButton(QStringLiteral("btsavecsv"), QStringLiteral("Export Results to CSV"), parent);
    QObject::connect(b, &QPushButton::clicked, b, [grid, &log, &prompt, b] {
        QString path = chooseSaveFile(b->window(), QStringLiteral("Export Results to CSV"), QString(),
                                      QStringLiteral("CSV files (*.csv);;All files (*)"), QString(),
                                      QStringLiteral("results.csv"));
        if (path.isEmpty())
            return;
        if (!path.contains(QLatin1Char('.')))
            path += QStringLiteral(".csv");
        exportGridCsv(grid, path, log, prompt);
    });
    return b;
}

QPushButton *csvImportButton(QSqlDatabase db, OperatorLog &log, OperatorPrompt &prompt,
                             const std::function<void()> &imported, QWidget *parent)
{
    QPushButton *b = namedButton(QStringLiteral("btimportcsv"), QStringLiteral("Import pilots from CSV"), parent);
    QObject::connect(b, &QPushButton::clicked, b, [db, &log, &prompt, imported, b] {
        const QString path = chooseOpenFile(b->window(), QStringLiteral("Import pilots from CSV"), QString(),
                                            QStringLiteral("CSV files (*.csv *.txt);;All files (*)"));
        if (path.isEmpty())
            return;
        if (importPilotsFile(path, db, log, prompt).ok && imported)
            imported();
    });
    return b;
}

} // namespace lapvane
