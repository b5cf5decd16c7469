// The pilot registry: the whole pilots table for the Pilots page, its search
// filter, photo and name-file presence, adding and deleting pilots.
#pragma once

#include "events/eventsviews.h"
#include "events/pilotrecord.h"
#include "events/sqlrowsmodel.h"

#include <QItemSelectionModel>
#include <QSortFilterProxyModel>

#include <optional>

namespace lapvane {

class OperatorPrompt;

// Keeps the registry rows whose chosen field contains the search text
// (case-insensitive). The text is only ever compared, never put into SQL.
class PilotFilterModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit PilotFilterModel(QObject *parent = nullptr);
    // column of the source model; an empty text shows every row.
    void setSearch(int column, const QString &text);
    QString searchText() const { return m_text; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    int m_column = -1;
    QString m_text;
};

class PilotRegistry : public QObject
{
    Q_OBJECT
public:
    PilotRegistry(QSqlDatabase db, const QString &programFolder, OperatorPrompt &prompt,
                  QObject *parent = nullptr);

    // Reads every pilot.
    bool open();
    // Re-reads the table keeping the filter, the sort and the current pilot.
    bool reread();

    // dbgrd1 shows view() with selection(); rows of both are view rows.
    SqlRowsModel *model() { return &m_model; }
    PilotFilterModel *view() { return &m_filter; }
    QItemSelectionModel *selection() { return &m_selection; }
    static QList<GridColumn> columns();
    // The entries of the search field list cbb1.
    static QStringList searchFields();

    // edtsearchtextChange: filters on the field chosen in cbb1 at this moment.
    // An unknown field leaves every pilot shown and returns false.
    bool edtsearchtextChange(const QString &text, const QString &field);
    // edtsearchtextClick: the search text is emptied, so every pilot shows.
    void edtsearchtextClick();
    // Rows now shown (the "Total pilots:" counter).
    int visibleCount() const;

    // dbgrd1TitleClick: the title-click sort rule on the registry.
    void titleClick(const QString &field);

    // The pilot at a view row, or at the cursor.
    std::optional<PilotRecord> pilotAt(int viewRow) const;
    std::optional<PilotRecord> currentPilot() const;
    int currentViewRow() const;
    void setCurrentViewRow(int viewRow);
    // View rows selected, in selection order.
    QList<int> selectedViewRows() const;

    // "photos/<id>.jpg" and "wavpilots/<id>.wav" under the program folder.
    QString photoPath(int pilotId) const;
    QString nameSoundPath(int pilotId) const;
    // dbgrd1CellClick: whether "Photo" and "Sound" show for the current pilot.
    bool currentHasPhoto() const;
    bool currentHasNameSound() const;

    // pilotsaddnewExecute: a pilot with only a synthesised login; returns its id (0 on failure).
    int pilotsaddnewExecute();
    // pilotsdeleteExecute: deletes the selected pilots after a question; their
    // rows in results and the race list stay.
    bool pilotsdeleteExecute();
    // pilotshowphotoExecute: the photo path the window asks the desktop to open.
    QString pilotshowphotoExecute() const;

    static QString placeholderMailDomain();

signals:
    // The number of shown rows changed.
    void visibleCountChanged(int rows);

private:
    int sourceRow(int viewRow) const;

    SqlRowsModel m_model;
    PilotFilterModel m_filter;
    QItemSelectionModel m_selection;
    QString m_folder;
    OperatorPrompt &m_prompt;
};

} // namespace lapvane
