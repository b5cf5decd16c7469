// The "Race" page's handlers, and what it shows as the race changes: the
// race list and laps re-read at most once per frame, the log pane, the lines
// above and under the race list.
#include "app/racepage.h"

#include "app/columnlayout.h"
#include "app/newlapdialog.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/racemodels.h"
#include "app/teamswindow.h"
#include "race/lapcorrections.h"
#include "race/raceengine.h"
#include "race/raceexport.h"
#include "race/racelist.h"
#include "race/racestage.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <QTimer>

#include <utility>

namespace lapvane {

QList<int> RacePage::selectedRowIds() const
{
    QList<int> rows;
    for (const QModelIndex &i : m_raceList->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    QList<int> ids;
    for (int r : rows)
        ids << m_raceModel->rowId(r);
    return ids;
}

int RacePage::currentRowId() const
{
    const QModelIndex current = m_raceList->currentIndex();
    return current.isValid() ? m_raceModel->rowId(current.row()) : 0;
}

void RacePage::racestartraceExecute()
{
    m_services.race->racestartraceExecute(currentRowId());
}

void RacePage::racestopraceExecute()
{
    m_services.race->racestopraceExecute();
}

void RacePage::raceconfirmSelExecute()
{
    m_services.raceList->raceconfirmSelExecute(selectedRowIds());
}

void RacePage::raceunconfirmSelExecute()
{
    m_services.raceList->raceunconfirmSelExecute(selectedRowIds());
}

void RacePage::racedeletepilotsExecute()
{
    m_services.raceList->racedeletepilotsExecute(selectedRowIds());
}

void RacePage::raceexporttoeventExecute()
{
    m_services.raceExport->raceexporttoeventExecute();
}

void RacePage::renameGroup()
{
    m_services.raceList->renameGroup(selectedRowIds());
}

void RacePage::tableoneraceTitleClick(int column)
{
    const QString field = m_raceModel->record().fieldName(column);
    m_raceModel->setOrderBy(RaceList::nextSortOrder(m_raceModel->orderBy(), field));
}

void RacePage::setstreamchannel(int channel)
{
    const int id = currentRowId();
    if (id != 0)
        m_services.raceList->setstreamchannel(channel, id);
}

void RacePage::btdellapClick()
{
    const QModelIndex lap = m_laps->currentIndex();
    if (lap.isValid())
        m_services.laps->deleteLap(currentRowId(), m_lapsModel->lapId(lap.row()));
}

void RacePage::table1CtrlDel()
{
    // Removed like "Delete" does, so the pilot's laps stay numbered and their
    // durations stay true.
    const QModelIndex lap = m_laps->currentIndex();
    if (lap.isValid() && m_services.prompt.ask(QStringLiteral("Delete record?")))
        m_services.laps->deleteLap(currentRowId(), m_lapsModel->lapId(lap.row()));
}

void RacePage::dbgridlastraceCtrlDel()
{
    const QModelIndex row = m_lastRace->currentIndex();
    if (!row.isValid() || !m_services.prompt.ask(QStringLiteral("Delete record?")))
        return;
    if (!m_lastRaceModel->removeRow(row.row()))
        m_ctx.log.savelog(
            QStringLiteral("Cannot delete the last race row: %1").arg(m_lastRaceModel->lastError().text()));
    m_lastRaceModel->select();
}

void RacePage::Button26Click()
{
    if (currentRowId() == 0)
        return; // no pilot in the race list
    const QModelIndex lap = m_laps->currentIndex();
    const int lapId = lap.isValid() ? m_lapsModel->lapId(lap.row()) : 0;
    const QString typed = m_newLap->askLapTime();
    if (!typed.isEmpty())
        m_services.laps->splitLap(currentRowId(), lapId, typed);
}

void RacePage::btlapsrecalcClick()
{
    const int rowId = currentRowId();
    if (rowId != 0) // an empty race list has nothing to recalculate
        m_services.laps->recalc(rowId);
}

void RacePage::bt2Click()
{
    QFont f = m_raceList->font();
    f.setPointSize(f.pointSize() + 1);
    m_raceList->setFont(f);
    m_raceColumns->apply();
}

void RacePage::bt3Click()
{
    QFont f = m_raceList->font();
    f.setPointSize(qMax(6, f.pointSize() - 1));
    m_raceList->setFont(f);
    m_raceColumns->apply();
}

void RacePage::chkteamraceClick(bool on)
{
    if (on) {
        m_teams->show();
        m_teams->raise();
    } else {
        m_teams->hide();
    }
}

void RacePage::refreshRaceList()
{
    m_changedRows.clear(); // re-read with the rest
    const int current = currentRowId();
    const QList<int> selected = selectedRowIds();
    const int column = qMax(0, m_raceList->currentIndex().column());
    m_raceModel->select();
    QItemSelection selection;
    for (int id : selected) {
        const int row = m_raceModel->rowOf(id);
        if (row >= 0)
            selection.select(m_raceModel->index(row, 0),
                             m_raceModel->index(row, m_raceModel->columnCount() - 1));
    }
    const int currentRow = m_raceModel->rowOf(current);
    if (currentRow >= 0)
        m_raceList->selectionModel()->setCurrentIndex(m_raceModel->index(currentRow, column),
                                                      QItemSelectionModel::NoUpdate);
    m_raceList->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    showCurrentPilotLaps();
    showRaceStage();
}

void RacePage::refreshLaps()
{
    m_lapsChanged = false;
    const int row = m_laps->currentIndex().row();
    m_lapsModel->select();
    if (row >= 0 && row < m_lapsModel->rowCount())
        m_laps->setCurrentIndex(m_lapsModel->index(row, m_lapsModel->fieldIndex("laptimetxt")));
}

void RacePage::refreshLastRace()
{
    m_lastRaceModel->select();
}

void RacePage::showCurrentPilotLaps()
{
    const QModelIndex current = m_raceList->currentIndex();
    const int pilotId =
        current.isValid() ? m_raceModel->record(current.row()).value(QStringLiteral("pilotid")).toInt() : 0;
    if (pilotId != m_lapsModel->pilotId())
        m_lapsModel->showPilot(pilotId);
}

void RacePage::showChannelNotes(const QStringList &lines)
{
    auto *label = findChild<QLabel *>(QStringLiteral("lbchannels"));
    label->setText(lines.join(QLatin1Char('\n')));
    label->setVisible(!lines.isEmpty());
}

void RacePage::updateTotalPilots()
{
    findChild<QLabel *>(QStringLiteral("lbltotalpilots"))->setText(QString::number(m_raceModel->rowCount()));
    if (m_raceModel->rowCount() == 0)
        showChannelNotes({});
}

void RacePage::raceRowChanged(int rowId)
{
    m_changedRows.insert(rowId);
    scheduleFrame();
}

void RacePage::pilotLapsChanged(int pilotId)
{
    if (pilotId != m_lapsModel->pilotId())
        return;
    m_lapsChanged = true;
    scheduleFrame();
}

void RacePage::appendLogLine(const QString &line)
{
    m_pendingLog << line;
    scheduleFrame();
}

void RacePage::scheduleFrame()
{
    if (m_frame->isActive())
        return;
    const qint64 sinceLastMs = m_lastFrame.isValid() ? m_lastFrame.elapsed() : kFrameMs;
    m_frame->start(int(qMax<qint64>(0, kFrameMs - sinceLastMs)));
}

void RacePage::showPendingChanges()
{
    m_frame->stop();
    showFrame();
}

void RacePage::showFrame()
{
    m_lastFrame.start();
    if (!m_changedRows.isEmpty()) {
        if (m_raceModel->orderFollowsPasses())
            refreshRaceList();
        else
            m_raceModel->refreshRows(std::exchange(m_changedRows, {}));
    }
    if (m_lapsChanged)
        refreshLaps();
    if (!m_pendingLog.isEmpty()) {
        m_logScrolling = true;
        m_log->appendPlainText(std::exchange(m_pendingLog, {}).join(QLatin1Char('\n')));
        m_logScrolling = false;
        followLog();
    }
}

void RacePage::followLog()
{
    if (!m_logFollows)
        return;
    QScrollBar *bar = m_log->verticalScrollBar();
    m_logScrolling = true;
    bar->setValue(bar->maximum());
    m_logScrolling = false;
}

void RacePage::btnlogclearClick()
{
    m_pendingLog.clear(); // logged before the click: cleared with the rest
    m_log->clear();
    m_logFollows = true;
}

void RacePage::contextMenuEvent(QContextMenuEvent *event)
{
    emit stopRequested();
    event->accept();
}

void RacePage::showLapsWaiting(int count, const QString &reason)
{
    auto *label = findChild<QLabel *>(QStringLiteral("lbllapswaiting"));
    if (count == 0) {
        label->hide();
        label->clear();
        m_toldOfWaitingLaps = false;
        return;
    }
    const QString text =
        QStringLiteral("%1 counted laps wait to be written to the database: %2. They are kept and "
                       "written as soon as it takes writes again. Free space on the disk and do "
                       "not close the program.")
            .arg(count)
            .arg(reason);
    label->setText(text);
    label->show();
    // The box once per outage; the line above the list follows the count.
    if (m_toldOfWaitingLaps)
        return;
    m_toldOfWaitingLaps = true;
    auto *box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Lapvane Admin"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("lapswaitingbox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void RacePage::showRaceStage()
{
    const QString own = m_services.raceStage->describe();
    findChild<QLabel *>(QStringLiteral("lblracestage"))
        ->setText(own.isEmpty() ? QStringLiteral("Race of the stage shown on the Events page")
                                : QStringLiteral("Race of: ") + own);
}

} // namespace lapvane
