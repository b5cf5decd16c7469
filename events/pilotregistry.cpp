// The pilot registry and its search filter.
#include "events/pilotregistry.h"

#include "core/operatorprompt.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace lapvane {

PilotFilterModel::PilotFilterModel(QObject *parent) : QSortFilterProxyModel(parent) {}

void PilotFilterModel::setSearch(int column, const QString &text)
{
    m_column = column;
    m_text = text;
    invalidateFilter();
}

bool PilotFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (m_text.isEmpty() || m_column < 0)
        return true;
    const auto *rows = static_cast<const SqlRowsModel *>(sourceModel());
    return rows->value(sourceRow, m_column).toString().contains(m_text, Qt::CaseInsensitive);
}

PilotRegistry::PilotRegistry(QSqlDatabase db, const QString &programFolder, OperatorPrompt &prompt,
                             QObject *parent)
    : QObject(parent), m_model(db, QStringLiteral("pilots")), m_selection(&m_filter),
      m_folder(programFolder), m_prompt(prompt)
{
    m_filter.setSourceModel(&m_model);
    for (const GridColumn &c : columns())
        m_model.setHeading(c.field, c.heading);
    connect(&m_model, &SqlRowsModel::storeError, this, [this](const QString &t) { m_prompt.notice(t); });
    auto count = [this] { emit visibleCountChanged(visibleCount()); };
    connect(&m_filter, &QAbstractItemModel::modelReset, this, count);
    connect(&m_filter, &QAbstractItemModel::rowsInserted, this, count);
    connect(&m_filter, &QAbstractItemModel::rowsRemoved, this, count);
    connect(&m_filter, &QAbstractItemModel::layoutChanged, this, count);
}

QList<GridColumn> PilotRegistry::columns()
{
    return {{"id", "ID"},          {"name", "Pilot's name"},  {"nickname", "Nick/OSD"},
            {"trans", "Transponder"}, {"team", "Team"},        {"copter", "Copter"},
            {"coptercolor", "Copter color"}, {"licfai", "FAI Lc"}, {"licfasr", "FASR Lc"},
            {"login", "Email"},    {"telegaid", "TelegaID"},   {"city", "City"},
            {"country", "Country"}, {"phone", "Phone"},        {"datebirth", "Date of Birth"},
            {"about", "About"}};
}

QStringList PilotRegistry::searchFields()
{
    return {QStringLiteral("login"), QStringLiteral("name"), QStringLiteral("team"), QStringLiteral("city"),
            QStringLiteral("country")};
}

QString PilotRegistry::placeholderMailDomain()
{
    return QStringLiteral("nomail.invalid");
}

bool PilotRegistry::open()
{
    return m_model.select();
}

bool PilotRegistry::reread()
{
    const auto current = currentPilot();
    if (!m_model.reselect())
        return false;
    if (current) {
        const int src = m_model.rowOfKey(current->id);
        const QModelIndex v = src >= 0 ? m_filter.mapFromSource(m_model.index(src, 0)) : QModelIndex();
        if (v.isValid())
            m_selection.setCurrentIndex(v, QItemSelectionModel::NoUpdate);
    }
    return true;
}

bool PilotRegistry::edtsearchtextChange(const QString &text, const QString &field)
{
    if (text.isEmpty()) {
        m_filter.setSearch(-1, QString());
        return true;
    }
    const int column = m_model.fieldIndex(field);
    if (column < 0) {
        m_filter.setSearch(-1, QString());
        return false;
    }
    m_filter.setSearch(column, text);
    return true;
}

void PilotRegistry::edtsearchtextClick()
{
    m_filter.setSearch(-1, QString());
}

int PilotRegistry::visibleCount() const
{
    return m_filter.rowCount();
}

void PilotRegistry::titleClick(const QString &field)
{
    m_model.toggleSort(field);
}

int PilotRegistry::sourceRow(int viewRow) const
{
    if (viewRow < 0 || viewRow >= m_filter.rowCount())
        return -1;
    return m_filter.mapToSource(m_filter.index(viewRow, 0)).row();
}

std::optional<PilotRecord> PilotRegistry::pilotAt(int viewRow) const
{
    const int r = sourceRow(viewRow);
    if (r < 0)
        return std::nullopt;
    PilotRecord p;
    p.id = m_model.keyAt(r);
    p.name = m_model.value(r, QStringLiteral("name")).toString();
    p.nickname = m_model.value(r, QStringLiteral("nickname")).toString();
    p.team = m_model.value(r, QStringLiteral("team")).toString();
    p.coptercolor = m_model.value(r, QStringLiteral("coptercolor")).toString();
    p.trans = m_model.value(r, QStringLiteral("trans")).toInt();
    return p;
}

std::optional<PilotRecord> PilotRegistry::currentPilot() const
{
    return pilotAt(currentViewRow());
}

int PilotRegistry::currentViewRow() const
{
    const QModelIndex i = m_selection.currentIndex();
    return i.isValid() ? i.row() : -1;
}

void PilotRegistry::setCurrentViewRow(int viewRow)
{
    if (viewRow >= 0 && viewRow < m_filter.rowCount())
        m_selection.setCurrentIndex(m_filter.index(viewRow, 0),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QList<int> PilotRegistry::selectedViewRows() const
{
    return selectedRowsInOrder(m_selection);
}

QString PilotRegistry::photoPath(int pilotId) const
{
    return QDir(m_folder).filePath(QStringLiteral("photos/%1.jpg").arg(pilotId));
}

QString PilotRegistry::nameSoundPath(int pilotId) const
{
    return QDir(m_folder).filePath(QStringLiteral("wavpilots/%1.wav").arg(pilotId));
}

bool PilotRegistry::currentHasPhoto() const
{
    const auto p = currentPilot();
    return p && QFileInfo(photoPath(p->id)).isFile();
}

bool PilotRegistry::currentHasNameSound() const
{
    const auto p = currentPilot();
    return p && QFileInfo(nameSoundPath(p->id)).isFile();
}

int PilotRegistry::pilotsaddnewExecute()
{
    const QString login = QStringLiteral("pilot%1@%2")
                              .arg(QRandomGenerator::global()->bounded(10000))
                              .arg(placeholderMailDomain());
    const int id = m_model.insertRecord({{QStringLiteral("login"), login}});
    if (id == 0)
        return 0;
    if (!m_model.reselect())
        return 0;
    const int src = m_model.rowOfKey(id);
    const QModelIndex v = src >= 0 ? m_filter.mapFromSource(m_model.index(src, 0)) : QModelIndex();
    if (v.isValid())
        setCurrentViewRow(v.row());
    return id;
}

bool PilotRegistry::pilotsdeleteExecute()
{
    if (visibleCount() == 0)
        return false;
    const QList<int> rows = selectedViewRows();
    QString question;
    if (rows.size() == 1)
        question = QStringLiteral("Are you sure to delete pilot \"%1\"?").arg(pilotAt(rows.first())->name);
    else
        question = QStringLiteral("Are you sure to delete %1 records?").arg(rows.size());
    if (!m_prompt.askAs(QuestionKind::Deleting, question) || rows.isEmpty())
        return false;
    QList<int> keys;
    for (int r : rows)
        keys << m_model.keyAt(sourceRow(r));
    return m_model.removeKeys(keys);
}

QString PilotRegistry::pilotshowphotoExecute() const
{
    const auto p = currentPilot();
    return p ? photoPath(p->id) : QString();
}

} // namespace lapvane
