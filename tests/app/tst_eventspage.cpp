// The Events page over the events views: events and stages made from the
// page, pilots added from the registry, auto group through the dialog, Send
// to Race and "Next Group >>" into the race list, the two results grids in
// step, shortcuts by focus doing the real thing, and the stage lock.
#include "app/commands.h"
#include "app/eventspage.h"
#include "app/gridcolumns.h"
#include "app/groupdialog.h"
#include "app/pilotspage.h"
#include "app/racemodels.h"
#include "app/racepage.h"
#include "competition/stagedeciding.h"
#include "competition/stageformat.h"
#include "events/eventsviews.h"
#include "events/pilotregistry.h"
#include "race/raceengine.h"
#include "race/raceexport.h"
#include "race/racelist.h"
#include "tests/app/programfixture.h"
#include "tests/common/sqlrows.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace lapvane;
using lapvane::test::column;
using lapvane::test::Program;

namespace {

void addRegistryPilot(QSqlDatabase db, const QString &name, int trans, const QString &team = QString())
{
    QSqlQuery q(db);
    q.prepare("INSERT INTO pilots (name, trans, team) VALUES (?, ?, ?)");
    q.addBindValue(name);
    q.addBindValue(trans);
    q.addBindValue(team);
    QVERIFY(q.exec());
}

// Shows every page that holds the widget.
void bringForward(QWidget *w)
{
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        if (auto *tabs = qobject_cast<QTabWidget *>(p)) {
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->widget(i)->isAncestorOf(w))
                    tabs->setCurrentIndex(i);
            }
        }
    }
}

// Index of a row in a grid, in the first shown column.
QModelIndex cell(QTableView *grid, int row)
{
    return grid->model()->index(row, grid->horizontalHeader()->logicalIndex(0));
}

void clickRow(QTableView *grid, int row, Qt::KeyboardModifiers mods = {})
{
    bringForward(grid);
    const QRect r = grid->visualRect(cell(grid, row));
    QVERIFY(r.isValid());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, r.center());
}

void clickHeading(QTableView *grid, const QString &heading)
{
    bringForward(grid);
    auto *header = static_cast<HeadingHeader *>(grid->horizontalHeader());
    for (int c = 0; c < header->count(); ++c) {
        if (!header->isSectionHidden(c) && header->heading(c) == heading) {
            // The middle of the heading: its edges are resize handles.
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(c) + header->sectionSize(c) / 2, header->height() / 2));
            return;
        }
    }
    QFAIL(qPrintable("no heading " + heading));
}

void pressWithFocus(MainWindow &w, QWidget *target, const QKeySequence &key)
{
    bringForward(target);
    // A closed dialog may have left the window inactive.
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    QTest::keySequence(&w, key);
}

QList<int> selectedRows(QTableView *grid)
{
    QList<int> rows;
    for (const QModelIndex &i : grid->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

const QKeySequence kCtrlN(Qt::CTRL | Qt::Key_N);
const QKeySequence kCtrlDel(Qt::CTRL | Qt::Key_Delete);
const QKeySequence kCtrlS(Qt::CTRL | Qt::Key_S);

} // namespace

class TestEventsPage : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Program> m_p;
    MainWindow &w() { return *m_p->window; }
    QSqlDatabase db() { return m_p->ctx.db.db(); }
    template <typename T = QWidget>
    T *find(const char *name)
    {
        T *found = w().findChild<T *>(QLatin1String(name));
        if (!found)
            qWarning("no %s", name);
        return found;
    }
    QString text(const char *label) { return find<QLabel>(label)->text(); }
    QTableView *grid(const char *name) { return find<QTableView>(name); }

    // A new event with its first stage, made from the page.
    void newEvent()
    {
        bringForward(find("bteventnew"));
        QTest::mouseClick(find<QToolButton>("bteventnew"), Qt::LeftButton);
    }

    // The registry pilots named, added to the current stage with Ctrl+S in dbgrd1.
    void addToStage(const QStringList &names, int firstTrans = 100)
    {
        for (int i = 0; i < names.size(); ++i)
            addRegistryPilot(db(), names[i], firstTrans + i);
        w().pilotsPage()->pilots().reread();
        QTableView *registry = grid("dbgrd1");
        const int first = registry->model()->rowCount() - int(names.size());
        for (int i = 0; i < names.size(); ++i) {
            clickRow(registry, first + i);
            pressWithFocus(w(), registry, kCtrlS);
        }
    }

    // "Auto group" with the pilots-per-group typed into the dialog, then OK.
    void autoGroup(const QString &pilotsPerGroup)
    {
        QTimer::singleShot(0, this, [this, pilotsPerGroup] {
            Tfrmgroup *dialog = w().eventsPage()->groupDialog();
            QVERIFY(dialog->isVisible());
            dialog->pilotsPerGroupEdit()->clear();
            QTest::keyClicks(dialog->pilotsPerGroupEdit(), pilotsPerGroup);
            QTest::mouseClick(dialog->findChild<QPushButton *>("btok"), Qt::LeftButton);
        });
        // A dialog left open would not stop the test for ever.
        QTimer::singleShot(5000, w().eventsPage()->groupDialog(), &QDialog::reject);
        QTest::mouseClick(find<QToolButton>("btautogroup"), Qt::LeftButton);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("dbpilots.db"));
        m_p = std::make_unique<Program>(m_dir.path());
    }
    void cleanup() { m_p.reset(); }

    void newEventAndStagesFromThePage()
    {
        QCOMPARE(text("lbl10"), QStringLiteral("0"));
        newEvent();
        QCOMPARE(text("lbl10"), QStringLiteral("1"));
        QCOMPARE(text("lbl13"), QStringLiteral("1"));
        QCOMPARE(text("lbltotalresults"), QStringLiteral("0"));
        QCOMPARE(text("lbstagename"), QStringLiteral("New stage"));
        QCOMPARE(text("lbracestagename"), QStringLiteral("New stage"));
        // Names typed in the grids show above the results at once.
        QTableView *events = grid("tblEventsList");
        QVERIFY(events->model()->setData(events->model()->index(0, m_p->services->events->eventsModel()->fieldIndex("eventname")),
                                         "Spring Cup"));
        QCOMPARE(text("lbeventname"), QStringLiteral("Spring Cup"));
        QCOMPARE(text("lbraceeventname"), QStringLiteral("Spring Cup"));
        QCOMPARE(column(db(), "SELECT eventname FROM events"), QStringList({"Spring Cup"}));
        // The grids head their columns as the operator knows them.
        auto *header = static_cast<HeadingHeader *>(events->horizontalHeader());
        QCOMPARE(header->heading(header->logicalIndex(0)), QStringLiteral("Name"));
        auto *compact = static_cast<HeadingHeader *>(grid("tableresults")->horizontalHeader());
        QCOMPARE(compact->heading(compact->logicalIndex(2)), QStringLiteral("Name"));
        auto *large = static_cast<HeadingHeader *>(grid("tblEventsResults")->horizontalHeader());
        QCOMPARE(large->heading(large->logicalIndex(0)), QStringLiteral("Pilot's name"));
    }

    // A stage racing by a format other than the default shows the kept
    // deciding values as the last visible column "Result" of both results
    // grids (the Events page's and the Race page's).
    void formatStageResultsEndWithTheResultColumn()
    {
        newEvent();
        addToStage({"Ann", "Bob"});
        EventsViews &views = *m_p->services->events;
        const int stage = views.currentStageId();
        const auto lastVisible = [](QTableView *g) {
            auto *h = static_cast<HeadingHeader *>(g->horizontalHeader());
            for (int v = h->count() - 1; v >= 0; --v) {
                if (!g->isColumnHidden(h->logicalIndex(v)))
                    return h->logicalIndex(v);
            }
            return -1;
        };
        QTableView *large = grid("tblEventsResults");
        const int before = lastVisible(large);
        QVERIFY(before >= 0);

        QString error;
        QVERIFY2(writeStageFormat(db(), stage, RaceFormat::Fastest3, 30000, false, &error), qPrintable(error));
        RaceListRank ann;
        ann.pilotId = views.resultsModel()->value(0, "pilotid").toInt();
        ann.ranked.decidingText = "3 consecutive: 01:02.345";
        ann.ranked.score.value = 62345;
        QVERIFY2(recordStageDeciding(db(), stage, {ann}, &error), qPrintable(error));
        QVERIFY(views.rereadResults());
        for (const char *name : {"tblEventsResults", "tableresults"}) {
            QTableView *g = grid(name);
            const int last = lastVisible(g);
            QCOMPARE(static_cast<HeadingHeader *>(g->horizontalHeader())->heading(last), QString("Result"));
            QCOMPARE(g->model()->index(0, last).data().toString(), QString("3 consecutive: 01:02.345"));
        }
        QCOMPARE(views.resultsModel()->value(0, "pilotname").toString(), QString("Ann"));
    }

    // Ctrl+N and Ctrl+Del act on whichever grid has the focus.
    void shortcutsByFocusDoTheRealThing()
    {
        newEvent();
        addToStage({"Ann", "Bob", "Cid"});
        QCOMPARE(text("lbltotalresults"), QStringLiteral("3"));
        QTableView *stages = grid("tblEventsStages");
        QTableView *results = grid("tblEventsResults");
        QTableView *registry = grid("dbgrd1");
        QTableView *events = grid("tblEventsList");

        // Results: two rows into a new stage, then one row deleted.
        clickRow(results, 0);
        clickRow(results, 1, Qt::ControlModifier);
        pressWithFocus(w(), results, kCtrlN);
        QCOMPARE(column(db(), "SELECT COUNT(*) FROM results"), QStringList({"5"}));
        QCOMPARE(text("lbl13"), QStringLiteral("2"));
        clickRow(results, 2);
        m_p->prompt.questions.clear();
        pressWithFocus(w(), results, kCtrlDel);
        QCOMPARE(m_p->prompt.questions.size(), 1);
        QVERIFY(m_p->prompt.questions.first().startsWith("Are you sure to delete pilot \"Cid\"?"));
        QCOMPARE(m_p->prompt.kinds.last(), QuestionKind::Deleting);
        QCOMPARE(text("lbltotalresults"), QStringLiteral("2"));

        // Stage list: a stage more, then the current one deleted.
        pressWithFocus(w(), stages, kCtrlN);
        QCOMPARE(text("lbl13"), QStringLiteral("3"));
        pressWithFocus(w(), stages, kCtrlDel);
        QCOMPARE(text("lbl13"), QStringLiteral("2"));

        // Registry: a pilot more, then he is deleted.
        pressWithFocus(w(), registry, kCtrlN);
        QCOMPARE(text("lbltotalpilots1"), QStringLiteral("4"));
        m_p->prompt.questions.clear();
        pressWithFocus(w(), registry, kCtrlDel);
        QCOMPARE(m_p->prompt.questions.size(), 1);
        QCOMPARE(text("lbltotalpilots1"), QStringLiteral("3"));

        // Event list (no menu of its own): a plain question, then the event goes.
        m_p->prompt.questions.clear();
        clickRow(events, 0);
        pressWithFocus(w(), events, kCtrlDel);
        QCOMPARE(m_p->prompt.questions, QStringList({"Delete record?"}));
        QCOMPARE(text("lbl10"), QStringLiteral("0"));
        QCOMPARE(text("lbl13"), QStringLiteral("0"));
        // No: nothing changes.
        newEvent();
        m_p->prompt.answers = {false};
        pressWithFocus(w(), events, kCtrlDel);
        QCOMPARE(text("lbl10"), QStringLiteral("1"));
    }

    void autoGroupSendToRaceAndNextGroup()
    {
        newEvent();
        addToStage({"Ann", "Bob", "Cid", "Dan", "Eve"});
        autoGroup("2");
        QCOMPARE(w().eventsPage()->groupDialog()->groupsEdit()->text(), QStringLiteral("3"));
        QCOMPARE(column(db(), "SELECT \"group\" || vtx FROM results ORDER BY id"),
                 QStringList({"1R2", "2R2", "3R2", "1R3", "2R3"}));
        QVERIFY(!w().eventsPage()->groupDialog()->isVisible());

        // Sorted by group, group 1 selected on the Events page is selected on the race page too.
        QTableView *results = grid("tblEventsResults");
        QTableView *compact = grid("tableresults");
        clickHeading(results, "Group");
        QCOMPARE(m_p->services->events->resultsModel()->sortText(), QStringLiteral("group ASC"));
        clickRow(results, 0);
        clickRow(results, 1, Qt::ControlModifier);
        QCOMPARE(selectedRows(compact), QList<int>({0, 1}));
        // ... and the other way round.
        clickRow(compact, 2);
        QCOMPARE(selectedRows(results), QList<int>({2}));
        clickRow(compact, 0);
        clickRow(compact, 1, Qt::ControlModifier);
        QCOMPARE(selectedRows(results), QList<int>({0, 1}));

        // Ctrl+S in the compact grid sends group 1 to the race.
        pressWithFocus(w(), compact, kCtrlS);
        QTableView *race = grid("tableonerace");
        QCOMPARE(race->model()->rowCount(), 2);
        QCOMPARE(column(db(), "SELECT pilotname FROM onerace ORDER BY pilotname"), QStringList({"Ann", "Dan"}));
        QCOMPARE(text("lbltotalpilots"), QStringLiteral("2"));

        // "Next Group >>" with "confirm" on: group 2, confirmed.
        m_p->services->raceList->setConfirmHandler([](int, qint32) { return true; });
        find<QCheckBox>("chautoconfirm")->setChecked(true);
        auto *next = find<QPushButton>("btnextgroup");
        bringForward(next);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(column(db(), "SELECT pilotname || confirmed FROM onerace ORDER BY pilotname"),
                 QStringList({"BobY", "EveY"}));
        QCOMPARE(race->model()->rowCount(), 2);
        QCOMPARE(selectedRows(results), QList<int>({2, 3}));
        // Never while the race is timed: that would empty its list and laps.
        find<QPushButton>("btnstartrace")->click();
        QVERIFY(m_p->services->race->isRunning());
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(m_p->prompt.notices.last(), QStringLiteral("A race is running. Finish it before loading the next group."));
        QCOMPARE(column(db(), "SELECT pilotname FROM onerace ORDER BY pilotname"), QStringList({"Bob", "Eve"}));
        w().commands().action("racestoprace")->trigger();
        QVERIFY(!m_p->services->race->isRunning());
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(column(db(), "SELECT pilotname FROM onerace"), QStringList({"Cid"}));
        // The race holds the last group: nothing happens, nothing is said.
        m_p->prompt.notices.clear();
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(column(db(), "SELECT pilotname FROM onerace"), QStringList({"Cid"}));
        QCOMPARE(m_p->prompt.notices, QStringList());
    }

    // Send to Race stopped by a "No" leaves the rows sent before it in the
    // race list, and the race page shows them at once.
    void sendToRaceStoppedShowsWhatWasSent()
    {
        newEvent();
        addToStage({"Ann", "Bob", "Cid"});
        QTableView *results = grid("tblEventsResults");
        clickRow(results, 0);
        clickRow(results, 1, Qt::ControlModifier);
        clickRow(results, 2, Qt::ControlModifier);
        m_p->prompt.questions.clear();
        m_p->prompt.kinds.clear();
        m_p->prompt.answers = {true, false};
        w().commands().action("eventsend2race")->trigger();
        QCOMPARE(m_p->prompt.questions.size(), 2);
        QVERIFY(m_p->prompt.questions.first().startsWith("Adding pilot \"Ann\" to start now."));
        QCOMPARE(m_p->prompt.kinds, QList<QuestionKind>({QuestionKind::Adding, QuestionKind::Adding}));
        QCOMPARE(column(db(), "SELECT pilotname FROM onerace"), QStringList({"Ann"}));
        QCOMPARE(grid("tableonerace")->model()->rowCount(), 1);
        QCOMPARE(text("lbltotalpilots"), QStringLiteral("1"));
    }

    // Picking another event shows its stages; Ctrl-clicked stages show their results together.
    void eventAndStageSelection()
    {
        newEvent();
        addToStage({"Ann", "Bob"});
        pressWithFocus(w(), grid("tblEventsStages"), kCtrlN);
        addToStage({"Cid"});
        QCOMPARE(text("lbltotalresults"), QStringLiteral("1"));
        QTableView *stages = grid("tblEventsStages");
        clickRow(stages, 0);
        QCOMPARE(text("lbltotalresults"), QStringLiteral("2"));
        clickRow(stages, 1, Qt::ControlModifier);
        QCOMPARE(text("lbltotalresults"), QStringLiteral("3"));
        // An exported race shows in the results at once.
        QSqlQuery(db()).exec("UPDATE results SET wins=2 WHERE pilotname='Cid'");
        emit m_p->services->raceExport->resultsChanged();
        QCOMPARE(grid("tblEventsResults")->model()->data(
                     grid("tblEventsResults")->model()->index(2, m_p->services->events->resultsModel()->fieldIndex("wins"))).toInt(),
                 2);

        newEvent();
        QCOMPARE(text("lbl13"), QStringLiteral("1"));
        QTableView *events = grid("tblEventsList");
        events->model()->setData(events->model()->index(0, m_p->services->events->eventsModel()->fieldIndex("eventname")),
                                 "First");
        clickRow(events, 0);
        QCOMPARE(text("lbeventname"), QStringLiteral("First"));
        QCOMPARE(text("lbl13"), QStringLiteral("2"));
    }

    // A pilot already in the list is pointed out where he is.
    void duplicatesAreLocated()
    {
        newEvent();
        addToStage({"Ann", "Bob"});
        auto *pages = find<QTabWidget>("PageControl1");
        QTableView *registry = grid("dbgrd1");
        clickRow(registry, 1);
        pressWithFocus(w(), registry, kCtrlS);
        QCOMPARE(m_p->prompt.notices.last(), QStringLiteral("This pilot is already in list. Click OK to locate him."));
        QVERIFY(pages->currentWidget()->isAncestorOf(grid("tblEventsResults")));
        QTRY_VERIFY(grid("tblEventsResults")->hasFocus());
        QCOMPARE(grid("tblEventsResults")->currentIndex().row(), 1);
        QCOMPARE(text("lbltotalresults"), QStringLiteral("2"));

        QTableView *results = grid("tblEventsResults");
        clickRow(results, 1);
        pressWithFocus(w(), results, kCtrlS);
        clickRow(results, 0);
        clickRow(results, 1, Qt::ControlModifier);
        pressWithFocus(w(), results, kCtrlS);
        QCOMPARE(column(db(), "SELECT pilotname FROM onerace ORDER BY pilotname"), QStringList({"Ann", "Bob"}));
        QVERIFY(pages->currentWidget()->isAncestorOf(grid("tableonerace")));
        QTableView *race = grid("tableonerace");
        QCOMPARE(race->model()->index(race->currentIndex().row(), 0).siblingAtColumn(
                     static_cast<RaceListModel *>(race->model())->fieldIndex("pilotname")).data().toString(),
                 QStringLiteral("Bob"));
    }

    void autoGroupCancelledChangesNothing()
    {
        newEvent();
        addToStage({"Ann", "Bob"});
        QTimer::singleShot(0, this, [this] {
            QTest::mouseClick(w().eventsPage()->groupDialog()->findChild<QPushButton *>("btcancel"), Qt::LeftButton);
        });
        QTest::mouseClick(find<QToolButton>("btautogroup"), Qt::LeftButton);
        QCOMPARE(column(db(), "SELECT COALESCE(\"group\", '') FROM results"), QStringList({"", ""}));
    }

    void lockStageKeepsEventAndStage()
    {
        newEvent();
        newEvent();
        auto *lock = find<QCheckBox>("chlockresults");
        bringForward(lock);
        lock->click();
        QVERIFY(!grid("tblEventsList")->isEnabled());
        QVERIFY(!grid("tblEventsStages")->isEnabled());
        for (const char *command : {"eventnew", "eventdel", "eventnewstage", "eventdelstage", "eventduplicatestage"})
            QVERIFY2(!w().commands().action(command)->isEnabled(), command);
        QVERIFY(!find("bteventnew")->isEnabled());
        QVERIFY(!find("btnewstage")->isEnabled());
        QVERIFY(lock->styleSheet().contains("red"));
        // Pilots can still be added to the current stage.
        addToStage({"Ann"});
        QCOMPARE(text("lbltotalresults"), QStringLiteral("1"));
        lock->click();
        QVERIFY(grid("tblEventsList")->isEnabled());
        QVERIFY(w().commands().action("eventnew")->isEnabled());
        QVERIFY(find("btdelstage")->isEnabled());
        QCOMPARE(lock->styleSheet(), QString());
    }

    void clipboardFontAndNotYetAvailable()
    {
        newEvent();
        addToStage({"Ann", "Bob"});
        QTest::mouseClick(find<QPushButton>("Button25"), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Ann 999:59.999 *** Bob 999:59.999 *** "));
        QCOMPARE(m_p->prompt.notices.last(), QStringLiteral("Name+Qual time has been copied to clipboard."));

        QTableView *results = grid("tblEventsResults");
        const int start = results->font().pointSize();
        QTest::mouseClick(find<QPushButton>("btfontplus"), Qt::LeftButton);
        QCOMPARE(results->font().pointSize(), start + 1);
        for (int i = 0; i < 40; ++i)
            QTest::mouseClick(find<QPushButton>("btfontless"), Qt::LeftButton);
        QCOMPARE(results->font().pointSize(), int(EventsPage::kMinFontPt));
        for (int i = 0; i < 40; ++i)
            QTest::mouseClick(find<QPushButton>("btfontplus"), Qt::LeftButton);
        QCOMPARE(results->font().pointSize(), int(EventsPage::kMaxFontPt));

        QVERIFY(!w().commands().action("pilotplayname")->isEnabled());
    }
};

QTEST_MAIN(TestEventsPage)
#include "tst_eventspage.moc"
