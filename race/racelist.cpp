// Race list operations.
#include "race/racelist.h"

#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/receivers.h"
#include "store/transaction.h"

#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

RaceList::RaceList(const RaceServices &services, QObject *parent) : QObject(parent), m_s(services) {}

void RaceList::reportFailure(const QString &what, const QString &error)
{
    const QString text = what + QStringLiteral(": ") + error;
    m_s.log.savelog(text);
    m_s.prompt.notice(text);
}

bool RaceList::setConfirmed(int rowId, const QString &flag)
{
    QSqlQuery q(m_s.db);
    q.prepare(QStringLiteral("UPDATE onerace SET confirmed=? WHERE id=?"));
    q.addBindValue(flag);
    q.addBindValue(rowId);
    if (!q.exec()) {
        reportFailure(QStringLiteral("Cannot change the race list"), q.lastError().text());
        return false;
    }
    return true;
}

void RaceList::raceconfirmSelExecute(const QList<int> &rowIds)
{
    if (!m_s.receivers.comconnected()) {
        m_s.prompt.notice(QStringLiteral("Connect COM port or WiFi!"));
        emit settingsPageRequested();
        return;
    }
    QSqlQuery q(m_s.db);
    q.prepare(QStringLiteral("SELECT pilottrans FROM onerace WHERE id=?"));
    for (int rowId : rowIds) {
        q.bindValue(0, rowId);
        if (!q.exec()) {
            reportFailure(QStringLiteral("Cannot read the race list"), q.lastError().text());
            break;
        }
        if (!q.next())
            continue;
        const qint32 trans = q.value(0).toInt();
        q.finish();
        if (!m_confirm) {
            m_s.log.savelog(QStringLiteral("No receiver can confirm transponders."));
            break;
        }
        if (m_confirm(rowId, trans) && !setConfirmed(rowId, QStringLiteral("Y")))
            break;
    }
    emit raceListChanged();
}

void RaceList::raceunconfirmSelExecute(const QList<int> &rowIds)
{
    Transaction tx(m_s.db);
    for (int rowId : rowIds) {
        if (!setConfirmed(rowId, QStringLiteral("N")))
            return;
    }
    if (!tx.commit())
        reportFailure(QStringLiteral("Cannot change the race list"), m_s.db.lastError().text());
    emit raceListChanged();
}

int RaceList::rowCount() const
{
    QSqlQuery q(m_s.db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM onerace")) || !q.next())
        return -1;
    return q.value(0).toInt();
}

bool RaceList::racedeletepilotsExecute(const QList<int> &rowIds)
{
    if (rowCount() <= 0)
        return false;
    QString question;
    if (rowIds.size() == 1) {
        // The question names the pilot who is deleted.
        QSqlQuery q(m_s.db);
        q.prepare(QStringLiteral("SELECT pilotname FROM onerace WHERE id=?"));
        q.addBindValue(rowIds.first());
        QString name;
        if (q.exec() && q.next())
            name = q.value(0).toString();
        question = QStringLiteral("Are you sure to delete pilot \"%1\"?").arg(name);
    } else {
        question = QStringLiteral("Are you sure to delete %1 records?").arg(rowIds.size());
    }
    if (!m_s.prompt.askAs(QuestionKind::Deleting, question) || rowIds.isEmpty())
        return false;

    Transaction tx(m_s.db);
    QSqlQuery q(m_s.db);
    q.prepare(QStringLiteral("DELETE FROM onerace WHERE id=?"));
    for (int rowId : rowIds) {
        q.bindValue(0, rowId);
        if (!q.exec()) {
            reportFailure(QStringLiteral("Cannot delete from the race list"), q.lastError().text());
            return false;
        }
    }
    if (!tx.commit()) {
        reportFailure(QStringLiteral("Cannot delete from the race list"), m_s.db.lastError().text());
        return false;
    }
    emit raceListChanged();
    return true;
}

bool RaceList::renameGroup(const QList<int> &rowIds)
{
    QString name = QStringLiteral("New");
    if (!m_s.prompt.askText(QStringLiteral("New name"), QStringLiteral("New name:"), &name))
        return false;
    Transaction tx(m_s.db);
    QSqlQuery q(m_s.db);
    q.prepare(QStringLiteral("UPDATE onerace SET \"group\"=? WHERE id=?"));
    for (int rowId : rowIds) {
        q.bindValue(0, name);
        q.bindValue(1, rowId);
        if (!q.exec()) {
            reportFailure(QStringLiteral("Cannot rename the group"), q.lastError().text());
            return false;
        }
    }
    if (!tx.commit()) {
        reportFailure(QStringLiteral("Cannot rename the group"), m_s.db.lastError().text());
        return false;
    }
    emit raceListChanged();
    return true;
}

void RaceList::setstreamchannel(int channel, int rowId)
{
    if (channel < 1 || channel > StreamChannels::kChannels)
        return;
    QSqlQuery q(m_s.db);
    q.prepare(QStringLiteral("SELECT pilotid, pilotname FROM onerace WHERE id=?"));
    q.addBindValue(rowId);
    if (!q.exec() || !q.next())
        return;
    m_channel.assign(channel, q.value(0).toInt());
    m_s.log.savelog(QStringLiteral("ch %1 <- %2").arg(channel).arg(q.value(1).toString()));
    emit channelsChanged();
}

QString RaceList::nextSortOrder(const QString &current, const QString &field)
{
    if (current == field + QStringLiteral(" ASC"))
        return field + QStringLiteral(" DESC");
    return field + QStringLiteral(" ASC");
}

} // namespace lapvane
