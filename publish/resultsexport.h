// "Export to HTML": the stage results as shown in the results list, as one
// HTML page between the organiser's "header.html" and "bottom.html".
#pragma once

#include "publish/pagesnapshot.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include <functional>

namespace lapvane {

class Settings;
class SqlRowsModel;

struct ResultsExportInput
{
    QSqlDatabase db;          // connection of the calling thread, for the templates
    const PageSnapshot *snapshot = nullptr;
    const Settings *settings = nullptr; // the column options ("dupGroup", ...)
    const SqlRowsModel *results = nullptr; // rows in the order shown
    QString programFolder;    // holds "header.html" and "bottom.html"
    QDateTime now;            // for the "Created with" line
    std::function<void(const QString &)> log; // "error parse"
};

// Builds the page text (lines joined by CR LF). False with the reason when a
// template cannot be read; nothing is to be written then.
bool buildResultsExport(const ResultsExportInput &in, QString *page, QString *error);

// The file name offered: event + " - " + stage, without characters a file
// name cannot hold.
QString resultsExportFileName(const QString &eventName, const QString &stageName);

} // namespace lapvane
