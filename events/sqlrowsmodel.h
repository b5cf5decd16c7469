// An editable, sortable in-memory view of one table's rows, read with bound
// values and written back row by row at once.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QItemSelectionModel>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <vector>

namespace lapvane {

// Rows touched by a selection, each once, in the order of the selection list
// (whether the grid selects whole rows or single cells).
QList<int> selectedRowsInOrder(const QItemSelectionModel &selection);

class SqlRowsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // table's first column is its store-numbered key.
    SqlRowsModel(QSqlDatabase db, const QString &table, QObject *parent = nullptr);

    QString table() const { return m_table; }
    QStringList fieldNames() const { return m_fields; }
    // Column of a field (case-insensitive), -1 when the table has none.
    int fieldIndex(const QString &field) const;

    // Reads the rows matching condition (our own SQL text with "?" markers,
    // empty for all rows) with binds, in key order, then applies the present
    // sort. The sort is kept; clearSort() drops it.
    bool select(const QString &condition = QString(), const QVariantList &binds = {});
    // Reads again with the same condition, keeping the sort.
    bool reselect();
    QString condition() const { return m_condition; }
    QVariantList binds() const { return m_binds; }

    int rowCountValue() const { return int(m_rows.size()); }
    QVariant value(int row, const QString &field) const;
    QVariant value(int row, int column) const;
    QVariantMap record(int row) const;
    int keyAt(int row) const;
    // Row holding the key, -1 when not shown.
    int rowOfKey(int key) const;

    // Stores one field of one row at once; false with lastError() on failure.
    bool setValue(int row, const QString &field, const QVariant &value);
    // Stores several fields of one row in one statement.
    bool setValues(int row, const QVariantMap &values);
    // Inserts a table row with the given fields and returns its key (0 on
    // failure). The view is not re-read.
    int insertRecord(const QVariantMap &values);
    // Deletes the rows with these keys from the table and from the view.
    bool removeKeys(const QList<int> &keys);

    // Sort text as "field ASC" / "field DESC", empty when unsorted.
    QString sortText() const;
    // Sorts the rows in memory (stable); an unknown field clears the sort.
    void setSortText(const QString &sortText);
    void clearSort();
    // The title-click rule: field DESC when the sort is field ASC, else field ASC.
    void toggleSort(const QString &field);

    // Column heading shown for a field; the field name when none is set.
    void setHeading(const QString &field, const QString &heading);

    // A read-only column after the table's fields, headed heading, whose
    // value for a shown row is valueOf(row). It is no field: it is not stored,
    // sorted or listed in fieldNames(). Setting or clearing it re-reads the
    // view's shape (a model reset when the column count changes).
    void setExtraColumn(const QString &heading, std::function<QVariant(int row)> valueOf);
    void clearExtraColumn();
    bool hasExtraColumn() const { return bool(m_extraValue); }

    QString lastError() const { return m_lastError; }

    // QAbstractTableModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Orders two values as the store orders them: nulls first, numbers by
    // value, text case-insensitively.
    static int compareValues(const QVariant &a, const QVariant &b);

signals:
    // The number of rows changed (after a read, an insert or a removal).
    void countChanged(int rows);
    // A store operation failed; text is the store's own message.
    void storeError(const QString &text);

private:
    bool fail(const QString &text);
    void applySort();
    QString quoted(const QString &field) const;

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_fields;
    std::vector<bool> m_integer; // declared INTEGER: typed text must be a whole number
    QHash<QString, int> m_fieldIndex; // lower-case name -> column
    QHash<QString, QString> m_headings;
    std::vector<QVariantList> m_rows;
    QString m_condition;
    QVariantList m_binds;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QString m_lastError;
    QString m_extraHeading;
    std::function<QVariant(int row)> m_extraValue;
};

} // namespace lapvane
