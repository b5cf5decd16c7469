// An editable, sortable in-memory view of one table's rows.
#include "events/sqlrowsmodel.h"

#include <QItemSelectionModel>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlField>
#include <QSqlRecord>

#include <algorithm>
#include <numeric>

namespace lapvane {

namespace {

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

} // namespace

QList<int> selectedRowsInOrder(const QItemSelectionModel &selection)
{
    QList<int> rows;
    QSet<int> seen;
    for (const QItemSelectionRange &range : selection.selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r) {
            if (!seen.contains(r)) {
                seen.insert(r);
                rows << r;
            }
        }
    }
    return rows;
}

SqlRowsModel::SqlRowsModel(QSqlDatabase db, const QString &table, QObject *parent)
    : QAbstractTableModel(parent), m_db(db), m_table(table)
{
    const QSqlRecord rec = m_db.record(table);
    for (int i = 0; i < rec.count(); ++i) {
        const int type = rec.field(i).metaType().id();
        m_integer.push_back(type == QMetaType::Int || type == QMetaType::LongLong);
        m_fields << rec.fieldName(i);
        m_fieldIndex.insert(rec.fieldName(i).toLower(), i);
    }
}

int SqlRowsModel::fieldIndex(const QString &field) const
{
    return m_fieldIndex.value(field.toLower(), -1);
}

QString SqlRowsModel::quoted(const QString &field) const
{
    return QLatin1Char('"') + field + QLatin1Char('"');
}

bool SqlRowsModel::fail(const QString &text)
{
    m_lastError = text;
    emit storeError(text);
    return false;
}

bool SqlRowsModel::select(const QString &condition, const QVariantList &binds)
{
    m_condition = condition;
    m_binds = binds;
    return reselect();
}

bool SqlRowsModel::reselect()
{
    if (m_fields.isEmpty())
        return fail(QStringLiteral("Table %1 is not in the database").arg(m_table));
    QString sql = QStringLiteral("SELECT * FROM %1").arg(m_table);
    if (!m_condition.isEmpty())
        sql += QStringLiteral(" WHERE ") + m_condition;
    sql += QStringLiteral(" ORDER BY ") + quoted(m_fields.first()) + QStringLiteral(" ASC");
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return fail(q.lastError().text());
    for (const QVariant &b : m_binds)
        q.addBindValue(b);
    if (!q.exec())
        return fail(q.lastError().text());
    std::vector<QVariantList> rows;
    const int columns = int(m_fields.size());
    while (q.next()) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << q.value(c);
        rows.push_back(std::move(row));
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
    if (m_sortColumn >= 0)
        applySort();
    emit countChanged(rowCountValue());
    return true;
}

QVariant SqlRowsModel::value(int row, const QString &field) const
{
    return value(row, fieldIndex(field));
}

QVariant SqlRowsModel::value(int row, int column) const
{
    if (row < 0 || row >= rowCountValue() || column < 0 || column >= m_fields.size())
        return {};
    return m_rows[size_t(row)][column];
}

QVariantMap SqlRowsModel::record(int row) const
{
    QVariantMap map;
    if (row < 0 || row >= rowCountValue())
        return map;
    for (int c = 0; c < m_fields.size(); ++c)
        map.insert(m_fields[c], m_rows[size_t(row)][c]);
    return map;
}

int SqlRowsModel::keyAt(int row) const
{
    return value(row, 0).toInt();
}

int SqlRowsModel::rowOfKey(int key) const
{
    for (int r = 0; r < rowCountValue(); ++r) {
        if (m_rows[size_t(r)][0].toInt() == key)
            return r;
    }
    return -1;
}

bool SqlRowsModel::setValue(int row, const QString &field, const QVariant &value)
{
    return setValues(row, {{field, value}});
}

bool SqlRowsModel::setValues(int row, const QVariantMap &values)
{
    if (row < 0 || row >= rowCountValue())
        return fail(QStringLiteral("No row %1 in %2").arg(row).arg(m_table));
    QStringList sets;
    QList<int> columns;
    QVariantList binds;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const int c = fieldIndex(it.key());
        if (c <= 0)
            return fail(QStringLiteral("%1 has no editable field %2").arg(m_table, it.key()));
        QVariant v = it.value();
        if (m_integer[size_t(c)] && v.typeId() == QMetaType::QString) {
            bool ok = false;
            const int number = v.toString().trimmed().toInt(&ok);
            if (!ok)
                return fail(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
            v = number;
        }
        sets << quoted(m_fields[c]) + QStringLiteral("=?");
        columns << c;
        binds << v;
    }
    if (sets.isEmpty())
        return true;
    QSqlQuery q(m_db);
    if (!q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3=?")
                       .arg(m_table, sets.join(QLatin1Char(',')), quoted(m_fields.first()))))
        return fail(q.lastError().text());
    for (const QVariant &b : binds)
        q.addBindValue(b);
    q.addBindValue(keyAt(row));
    if (!q.exec())
        return fail(q.lastError().text());
    QVariantList &stored = m_rows[size_t(row)];
    int first = columns.first(), last = columns.first();
    for (int i = 0; i < columns.size(); ++i) {
        stored[columns[i]] = binds[i];
        first = std::min(first, columns[i]);
        last = std::max(last, columns[i]);
    }
    emit dataChanged(index(row, first), index(row, last));
    return true;
}

int SqlRowsModel::insertRecord(const QVariantMap &values)
{
    QStringList names, marks;
    QVariantList binds;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const int c = fieldIndex(it.key());
        if (c <= 0) {
            fail(QStringLiteral("%1 has no field %2").arg(m_table, it.key()));
            return 0;
        }
        names << quoted(m_fields[c]);
        marks << QStringLiteral("?");
        binds << it.value();
    }
    QSqlQuery q(m_db);
    const QString sql = names.isEmpty()
                            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_table)
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(m_table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    if (!q.prepare(sql)) {
        fail(q.lastError().text());
        return 0;
    }
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec()) {
        fail(q.lastError().text());
        return 0;
    }
    return q.lastInsertId().toInt();
}

bool SqlRowsModel::removeKeys(const QList<int> &keys)
{
    QSqlQuery q(m_db);
    if (!q.prepare(QStringLiteral("DELETE FROM %1 WHERE %2=?").arg(m_table, quoted(m_fields.value(0)))))
        return fail(q.lastError().text());
    bool ok = true;
    for (int key : keys) {
        q.addBindValue(key);
        if (!q.exec()) {
            ok = fail(q.lastError().text());
            break;
        }
        const int row = rowOfKey(key);
        if (row >= 0) {
            beginRemoveRows(QModelIndex(), row, row);
            m_rows.erase(m_rows.begin() + row);
            endRemoveRows();
        }
    }
    emit countChanged(rowCountValue());
    return ok;
}

QString SqlRowsModel::sortText() const
{
    if (m_sortColumn < 0)
        return {};
    return m_fields[m_sortColumn]
           + (m_sortOrder == Qt::AscendingOrder ? QStringLiteral(" ASC") : QStringLiteral(" DESC"));
}

void SqlRowsModel::setSortText(const QString &sortText)
{
    const QStringList parts = sortText.simplified().split(QLatin1Char(' '));
    const int column = parts.isEmpty() ? -1 : fieldIndex(parts.first());
    if (column < 0) {
        clearSort();
        return;
    }
    m_sortColumn = column;
    m_sortOrder = (parts.size() > 1 && parts[1].compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0)
                      ? Qt::DescendingOrder
                      : Qt::AscendingOrder;
    applySort();
}

void SqlRowsModel::clearSort()
{
    // Rows stay where they are until the next read, which gives key order.
    m_sortColumn = -1;
    m_sortOrder = Qt::AscendingOrder;
}

void SqlRowsModel::toggleSort(const QString &field)
{
    const int column = fieldIndex(field);
    if (column < 0)
        return;
    const QString name = m_fields[column];
    if (sortText() == name + QStringLiteral(" ASC"))
        setSortText(name + QStringLiteral(" DESC"));
    else
        setSortText(name + QStringLiteral(" ASC"));
}

void SqlRowsModel::applySort()
{
    const int column = m_sortColumn;
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int c = compareValues(m_rows[size_t(a)][column], m_rows[size_t(b)][column]);
        return descending ? c > 0 : c < 0;
    });
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        newRowOf[size_t(order[i])] = int(i);
    std::vector<QVariantList> sorted;
    sorted.reserve(m_rows.size());
    for (int r : order)
        sorted.push_back(std::move(m_rows[size_t(r)]));
    m_rows = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from)
        to << index(newRowOf[size_t(i.row())], i.column());
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int SqlRowsModel::compareValues(const QVariant &a, const QVariant &b)
{
    const bool an = a.isNull(), bn = b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    if (isNumber(a) && isNumber(b)) {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const QString x = a.toString(), y = b.toString();
    const int c = x.compare(y, Qt::CaseInsensitive);
    return c != 0 ? c : x.compare(y, Qt::CaseSensitive);
}

void SqlRowsModel::setHeading(const QString &field, const QString &heading)
{
    m_headings.insert(field.toLower(), heading);
}

int SqlRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rowCountValue();
}

int SqlRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size()) + (m_extraValue ? 1 : 0);
}

void SqlRowsModel::setExtraColumn(const QString &heading, std::function<QVariant(int row)> valueOf)
{
    const bool added = !m_extraValue;
    if (added)
        beginResetModel();
    m_extraHeading = heading;
    m_extraValue = std::move(valueOf);
    if (added) {
        endResetModel();
    } else {
        const int column = int(m_fields.size());
        emit headerDataChanged(Qt::Horizontal, column, column);
        if (rowCountValue() > 0)
            emit dataChanged(index(0, column), index(rowCountValue() - 1, column));
    }
}

void SqlRowsModel::clearExtraColumn()
{
    if (!m_extraValue)
        return;
    beginResetModel();
    m_extraValue = nullptr;
    m_extraHeading.clear();
    endResetModel();
}

QVariant SqlRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    if (m_extraValue && index.column() == m_fields.size())
        return m_extraValue(index.row());
    return value(index.row(), index.column());
}

bool SqlRowsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.column() == 0 || index.column() >= m_fields.size())
        return false;
    return setValue(index.row(), m_fields[index.column()], value);
}

Qt::ItemFlags SqlRowsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    // The key is the store's; the extra column is read-only.
    if (index.column() > 0 && index.column() < m_fields.size())
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant SqlRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (m_extraValue && section == m_fields.size())
        return m_extraHeading;
    if (section < 0 || section >= m_fields.size())
        return {};
    return m_headings.value(m_fields[section].toLower(), m_fields[section]);
}

} // namespace lapvane
