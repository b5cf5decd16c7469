// The "Events" page's handlers: what its buttons and grids, and the race
// page's "Next Group >>", do, each handing the work to the module that owns it.
#include "app/eventspage.h"

#include "app/bracketpage.h"
#include "app/commands.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/racemodels.h"
#include "app/racepage.h"
#include "app/stageformatdialog.h"
#include "app/widgets.h"
#include "competition/bracketview.h"
#include "competition/formatcaption.h"
#include "devices/timingdevices.h"
#include "events/eventsviews.h"
#include "events/stagebrackets.h"
#include "events/stagegroups.h"
#include "publish/pagefiles.h"
#include "publish/pagesnapshot.h"
#include "publish/resultsexport.h"
#include "race/finishedrace.h"
#include "race/raceengine.h"
#include "race/racelist.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>

namespace lapvane {

void EventsPage::eventexporthtmlExecute()
{
    const PageSnapshot snapshot =
        takePageSnapshot(m_views, m_ctx.settings, m_services.raceList->channel(), QString());
    const ResultsExportInput in{m_ctx.db.db(),
                                &snapshot,
                                &m_ctx.settings,
                                m_views.resultsModel(),
                                m_ctx.folder,
                                QDateTime::currentDateTime(),
                                [this](const QString &line) { m_ctx.log.savelog(line); }};
    QString page, error;
    if (!buildResultsExport(in, &page, &error)) {
        m_services.prompt.notice(QStringLiteral("Export to HTML failed: %1.").arg(error));
        return;
    }
    // The results were walked to their end.
    m_views.setCurrentResultRow(m_views.resultsModel()->rowCountValue() - 1);
    const QString file =
        m_exportHooks.chooseFile(resultsExportFileName(snapshot.eventName, snapshot.stageName));
    if (file.isEmpty())
        return;
    if (!writePage(file, page, &error)) {
        m_services.prompt.notice(QStringLiteral("Export to HTML failed: %1.").arg(error));
        return;
    }
    m_exportHooks.openFile(file);
}

void EventsPage::showCounts()
{
    const QPair<const char *, SqlRowsModel *> counters[] = {{"lbl10", m_views.eventsModel()},
                                                            {"lbl13", m_views.stagesModel()},
                                                            {"lbltotalresults", m_views.resultsModel()}};
    for (const auto &[name, model] : counters)
        findChild<QLabel *>(QLatin1String(name))->setText(QString::number(model->rowCountValue()));
}

void EventsPage::showNames()
{
    QStringList names = {QStringLiteral("lbeventname"), QStringLiteral("lbstagename")};
    if (m_race)
        names << QStringLiteral("lbraceeventname") << QStringLiteral("lbracestagename");
    for (int i = 0; i < names.size(); ++i) {
        QWidget *holder = i < 2 ? static_cast<QWidget *>(this) : static_cast<QWidget *>(m_race);
        holder->findChild<QLabel *>(names[i])->setText(i % 2 == 0 ? m_views.currentEventName()
                                                                  : m_views.currentStageName());
    }
}

void EventsPage::locateResultsRow(int row)
{
    bringForward(m_results);
    m_views.setCurrentResultRow(row);
    m_results->scrollTo(m_views.resultsModel()->index(row, 0));
    m_results->setFocus();
}

void EventsPage::tblEventsListCtrlDel()
{
    const int row = m_views.currentEventRow();
    if (row < 0 || m_views.isLocked())
        return;
    if (!m_services.prompt.ask(QStringLiteral("Delete record?")))
        return;
    SqlRowsModel *events = m_views.eventsModel();
    if (!events->removeKeys({events->keyAt(row)}))
        return;
    m_views.setCurrentEvent(std::min(row, events->rowCountValue() - 1));
}

void EventsPage::chlockresultsClick(bool locked)
{
    // The current event and stage stay put while the stage is locked.
    m_events->setEnabled(!locked);
    m_stages->setEnabled(!locked);
    for (const char *name : {"eventnew", "eventdel", "eventnewstage", "eventdelstage", "eventduplicatestage"})
        m_commands.action(QLatin1String(name))->setEnabled(!locked);
    auto *box = findChild<QCheckBox *>(QStringLiteral("chlockresults"));
    box->setStyleSheet(locked ? QStringLiteral("QCheckBox { color: red; font-weight: bold; }") : QString());
    m_events->viewport()->update();
    m_stages->viewport()->update();
}

void EventsPage::Button25Click()
{
    QGuiApplication::clipboard()->setText(m_views.nameQualText());
    m_services.prompt.notice(EventsViews::clipboardNotice());
}

void EventsPage::showResultsFontSize(int pointSize)
{
    QFont f = m_results->font();
    f.setPointSize(std::clamp(pointSize, kMinFontPt, kMaxFontPt));
    m_results->setFont(f);
    m_results->viewport()->update();
}

void EventsPage::btfontplusClick()
{
    showResultsFontSize(m_results->font().pointSize() + 1);
}

void EventsPage::btfontlessClick()
{
    showResultsFontSize(m_results->font().pointSize() - 1);
}

void EventsPage::raceListChanged(const QString &sortText)
{
    if (!m_race)
        return;
    m_race->raceListModel()->setOrderBy(sortText);
    if (m_services.devices)
        m_services.devices->setRaceListOrderBy(sortText);
    m_race->refreshRaceList();
    // "Next Group >>" goes on from the race list's current row.
    QTableView *list = m_race->raceList();
    RaceListModel *model = m_race->raceListModel();
    if (!list->currentIndex().isValid() && model->rowCount() > 0)
        list->setCurrentIndex(model->index(0, model->fieldIndex(QStringLiteral("pilotname"))));
}

void EventsPage::btnextgroupClick()
{
    // Loading the next group empties the race list and its laps: never while
    // a race is being timed.
    if (m_services.race->isRunning()) {
        m_services.prompt.notice(
            QStringLiteral("A race is running. Finish it before loading the next group."));
        return;
    }
    if (!m_services.race->noLapsWaiting() || !m_services.finishedRace->confirmReplace())
        return;
    m_groups->btnextgroupClick();
    if (m_race)
        raceListChanged(m_race->raceListModel()->orderBy());
}

void EventsPage::showStageFormatCaption()
{
    const int stageId = m_views.currentStageId();
    const StageFormatShown shown = showStageFormat(m_ctx.db.db(), stageId);
    m_formatCaption->setText(shown.caption);
    m_formatCaption->setStyleSheet(shown.problem.isEmpty() ? QString() : QStringLiteral("color: #b00000;"));
    m_formatCaption->setToolTip(shown.problem);
    if (!shown.problem.isEmpty() && !m_reportedFormats.contains(stageId)) {
        m_reportedFormats.insert(stageId);
        m_ctx.log.savelog(shown.problem);
    }
}

void EventsPage::btstageformatClick()
{
    const int stageId = m_views.currentStageId();
    if (stageId <= 0) {
        m_services.prompt.notice(QStringLiteral("Choose a stage first."));
        return;
    }
    StageRules rules = showStageFormat(m_ctx.db.db(), stageId).rules;
    if (!m_formatDialog->run(m_views.currentStageName(), &rules))
        return;
    QString error;
    if (!writeStageFormat(m_ctx.db.db(), stageId, rules.format, rules.options.graceMs, rules.options.holeShot,
                          &error)) {
        m_services.prompt.notice(QStringLiteral("The stage's format was not changed: %1").arg(error));
        return;
    }
    m_reportedFormats.remove(stageId);
    m_ctx.log.savelog(
        QStringLiteral("Stage \"%1\": %2.").arg(m_views.currentStageName(), formatDescription(rules)));
    showStageFormatCaption();
}

void EventsPage::btmakebracketClick()
{
    if (m_brackets->makeBracketExecute())
        refreshBracket();
}

void EventsPage::refreshBracket()
{
    const int stageId = m_views.currentStageId();
    BracketView view;
    QString error;
    if (stageId > 0 && !readBracketView(m_ctx.db.db(), stageId, &view, &error)) {
        m_bracketPage->showProblem(error);
        return;
    }
    m_bracketPage->showBracket(view, stageId > 0 ? m_views.currentStageName() : QString());
}

} // namespace lapvane
