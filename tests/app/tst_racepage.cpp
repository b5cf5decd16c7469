// The race page over the race engine: the race list's menu shortcuts by
// focus, stream channels, column sort, the lap entry dialog, and a
// right-click that cancels a start countdown.
#include "app/commands.h"
#include "app/newlapdialog.h"
#include "app/racemodels.h"
#include "app/racepage.h"
#include "competition/stageformat.h"
#include "events/eventsviews.h"
#include "race/finishedrace.h"
#include "race/raceengine.h"
#include "tests/app/programfixture.h"
#include "tests/common/sqlrows.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::column;
using lapvane::test::Program;

namespace {

void addPilot(QSqlDatabase db, int pilotId, const QString &name, int trans, const QString &vtx,
              const QString &confirmed = "Y")
{
    QSqlQuery q(db);
    q.prepare("INSERT INTO onerace (pilotid, pilotname, pilottrans, vtx, confirmed, place, lapno, besttime, "
              "besttimetxt, totaltime, totaltimetxt, \"group\") VALUES (?, ?, ?, ?, ?, 999, 0, 59999999, '-', "
              "59999999, '-', '1')");
    q.addBindValue(pilotId);
    q.addBindValue(name);
    q.addBindValue(trans);
    q.addBindValue(vtx);
    q.addBindValue(confirmed);
    QVERIFY(q.exec());
}

void addLap(QSqlDatabase db, int pilotId, int lapn, int laptime, const QString &text)
{
    QSqlQuery q(db);
    q.prepare("INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, ?, ?)");
    q.addBindValue(pilotId);
    q.addBindValue(lapn);
    q.addBindValue(laptime);
    q.addBindValue(text);
    QVERIFY(q.exec());
}

} // namespace

class TestRacePage : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Program> m_p;
    RacePage *page() { return m_p->window->racePage(); }
    QSqlDatabase db() { return m_p->ctx.db.db(); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("dbpilots.db"));
        QFile::remove(m_dir.filePath("lapvaneadmin.ini"));
        QFile::remove(m_dir.filePath("racestate.json"));
        m_p = std::make_unique<Program>(m_dir.path());
        addPilot(db(), 11, "Ann", 101, "R2");
        addPilot(db(), 12, "Bob", 102, "R1");
        addPilot(db(), 13, "Cid", 103, "R3");
        page()->refreshRaceList();
        m_p->window->findChild<QTabWidget *>("PageControl1")->setCurrentIndex(0);
    }
    void cleanup() { m_p.reset(); }

    // The log pane keeps the last 10,000 lines; "log.txt" keeps them all.
    void logPaneCap()
    {
        QFile::remove(m_dir.filePath("log.txt"));
        // Lines of distinct kinds, so that none is summed up as a repeat.
        auto letters = [](int n) {
            QString s;
            do {
                s.prepend(QChar('a' + n % 26));
                n /= 26;
            } while (n > 0);
            return s;
        };
        const int total = RacePage::kLogPaneLines + 50;
        for (int i = 0; i < total; ++i)
            m_p->ctx.log.savelog(QStringLiteral("line ") + letters(i));
        page()->showPendingChanges();
        QPlainTextEdit *pane = page()->logPane();
        QCOMPARE(pane->document()->blockCount(), RacePage::kLogPaneLines);
        QCOMPARE(pane->document()->lastBlock().text(), QStringLiteral("line ") + letters(total - 1));
        QCOMPARE(pane->document()->firstBlock().text(), QStringLiteral("line ") + letters(50));
        QFile file(m_dir.filePath("log.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), total);
    }

    void listShowsRowsWithHeadingsAndCount()
    {
        QTableView *grid = page()->raceList();
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(m_p->window->findChild<QLabel *>("lbltotalpilots")->text(), QStringLiteral("3"));
        QStringList visible;
        for (int v = 0; v < grid->horizontalHeader()->count(); ++v) {
            const int logical = grid->horizontalHeader()->logicalIndex(v);
            if (!grid->isColumnHidden(logical))
                visible << grid->model()->headerData(logical, Qt::Horizontal).toString();
        }
        QCOMPARE(visible, QStringList({"Confirmed", "Pilot's name", "Nick/OSD", "Team", "Copter Color", "Transponder",
                                       "Group", "VTX(CH)", "Place", "Laps", "Best lap", "Total time"}));
    }

    void ctrlNUnconfirmsSelectedRowsInTheRaceList()
    {
        QTableView *grid = page()->raceList();
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        grid->selectRow(0);
        grid->selectionModel()->select(grid->model()->index(2, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(grid, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(column(db(), "SELECT confirmed FROM onerace ORDER BY id"), QStringList({"N", "Y", "N"}));
        // The grid shows it at once, with the selection kept.
        QCOMPARE(page()->selectedRowIds().size(), 2);
        QCOMPARE(grid->model()->index(0, page()->raceListModel()->fieldIndex("confirmed")).data().toString(),
                 QStringLiteral("N"));
    }

    void streamChannelByShiftDigitHighlightsTheRow()
    {
        QTableView *grid = page()->raceList();
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        grid->setCurrentIndex(grid->model()->index(1, 1));
        QTest::keyClick(grid, Qt::Key_3, Qt::ShiftModifier);
        QCOMPARE(grid->model()->index(1, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
        // Another pilot on the same channel takes it over.
        grid->setCurrentIndex(grid->model()->index(2, 1));
        QTest::keyClick(grid, Qt::Key_3, Qt::ShiftModifier);
        QVERIFY(!grid->model()->index(1, 1).data(Qt::BackgroundRole).isValid());
        QCOMPARE(grid->model()->index(2, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
    }

    void titleClicksSortAscendingThenDescending()
    {
        RaceListModel *model = page()->raceListModel();
        QHeaderView *header = page()->raceList()->horizontalHeader();
        const int vtx = model->fieldIndex("vtx");
        emit header->sectionClicked(vtx);
        QCOMPARE(model->orderBy(), QStringLiteral("vtx ASC"));
        QCOMPARE(model->index(0, model->fieldIndex("pilotname")).data().toString(), QStringLiteral("Bob"));
        emit header->sectionClicked(vtx);
        QCOMPARE(model->orderBy(), QStringLiteral("vtx DESC"));
        QCOMPARE(model->index(0, model->fieldIndex("pilotname")).data().toString(), QStringLiteral("Cid"));
    }

    void lapDialogSplitsTheSelectedLap()
    {
        addLap(db(), 11, 1, 30000, "000:30.000");
        addLap(db(), 11, 2, 61000, "000:31.000");
        addLap(db(), 11, 3, 90000, "000:29.000");
        QTableView *grid = page()->raceList();
        grid->setCurrentIndex(grid->model()->index(0, 1)); // Ann
        page()->refreshLaps();
        QCOMPARE(page()->laps()->model()->rowCount(), 3);
        page()->laps()->setCurrentIndex(page()->laps()->model()->index(1, 0));

        Tfrmnewlap *dialog = page()->newLapDialog();
        QTimer::singleShot(0, dialog, [dialog] {
            auto *edit = dialog->findChild<QLineEdit *>("MaskEdit1");
            auto *add = dialog->findChild<QPushButton *>("btadd");
            edit->setFocus();
            QTest::keyClicks(edit, "0001");
            QVERIFY(!add->isEnabled()); // incomplete text is not accepted
            QTest::keyClicks(edit, "5000");
            QVERIFY(add->isEnabled());
            add->click();
        });
        QTest::mouseClick(m_p->window->findChild<QPushButton *>("Button26"), Qt::LeftButton);
        QCOMPARE(column(db(), "SELECT laptime FROM laps WHERE pilotid=11 ORDER BY lapn"),
                 QStringList({"30000", "45000", "61000", "90000"}));
        QCOMPARE(column(db(), "SELECT laptimetxt FROM laps WHERE pilotid=11 ORDER BY lapn"),
                 QStringList({"000:30.000", "000:15.000", "000:16.000", "000:29.000"}));
        QCOMPARE(page()->laps()->model()->rowCount(), 4);
        QCOMPARE(column(db(), "SELECT besttimetxt FROM onerace WHERE pilotid=11"), QStringList({"000:15.000"}));

        // Cancel changes nothing.
        QTimer::singleShot(0, dialog, &QDialog::reject);
        QTest::mouseClick(m_p->window->findChild<QPushButton *>("Button26"), Qt::LeftButton);
        QCOMPARE(column(db(), "SELECT count(*) FROM laps WHERE pilotid=11"), QStringList({"4"}));
    }

    // The lap grid and the last race delete their current row on Ctrl+Del
    // after a plain question; a lap goes the way "Delete" takes it.
    void ctrlDelInTheLapGridAndTheLastRace()
    {
        addLap(db(), 11, 1, 30000, "000:30.000");
        addLap(db(), 11, 2, 61000, "000:31.000");
        addLap(db(), 11, 3, 90000, "000:29.000");
        QSqlQuery(db()).exec("INSERT INTO lastrace (pilotid, pilotname) VALUES (11, 'Ann'), (12, 'Bob')");
        QTableView *grid = page()->raceList();
        grid->setCurrentIndex(grid->model()->index(0, 1)); // Ann
        page()->refreshLaps();
        page()->refreshLastRace();
        QTableView *laps = page()->laps();
        laps->setFocus();
        QTRY_VERIFY(laps->hasFocus());
        laps->setCurrentIndex(laps->model()->index(1, 1));
        m_p->prompt.answers = {false, true};
        QTest::keyClick(laps, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(column(db(), "SELECT count(*) FROM laps WHERE pilotid=11"), QStringList({"3"}));
        QTest::keyClick(laps, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(m_p->prompt.questions, QStringList({"Delete record?", "Delete record?"}));
        QCOMPARE(column(db(), "SELECT laptimetxt FROM laps WHERE pilotid=11 ORDER BY lapn"),
                 QStringList({"000:30.000", "001:00.000"}));

        m_p->window->findChild<QTabWidget *>("pcrace")->setCurrentIndex(1);
        QTableView *last = page()->lastRace();
        last->setFocus();
        QTRY_VERIFY(last->hasFocus());
        last->setCurrentIndex(last->model()->index(1, 1));
        QTest::keyClick(last, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(column(db(), "SELECT pilotname FROM lastrace"), QStringList({"Ann"}));
    }

    // Passes update the rows they changed, together once per frame: the list
    // is not re-read, the selection stays, and the log lines arrive in one go.
    void passesShowInTheirRowsOncePerFrame()
    {
        RaceEngine &race = *m_p->services->race;
        race.setTimerDriven(false);
        QVERIFY(race.racestartraceExecute());
        page()->showPendingChanges();
        QTableView *grid = page()->raceList();
        RaceListModel *model = page()->raceListModel();
        const int bobRow = model->rowOf(2); // Bob, second by id
        grid->selectRow(bobRow);
        QCOMPARE(page()->laps()->model()->rowCount(), 0);
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        QSignalSpy changes(model, &QAbstractItemModel::dataChanged);
        const int paneBlocks = page()->logPane()->blockCount();

        // Three laps of Bob and one of Ann within one frame.
        for (const auto &[trans, ms] : {std::pair{102, 30000}, {101, 31000}, {102, 62000}, {102, 93000}}) {
            m_p->receivers.queuePass(trans, ms);
            race.tmrraceTimer();
        }
        QCOMPARE(changes.count(), 0); // nothing shown before the frame
        QCOMPARE(page()->logPane()->blockCount(), paneBlocks);
        page()->showPendingChanges();

        const int lapno = model->fieldIndex("lapno");
        QCOMPARE(model->index(bobRow, lapno).data().toInt(), 3);
        QCOMPARE(model->index(model->rowOf(1), lapno).data().toInt(), 1);
        QCOMPARE(resets.count(), 0);
        // One change per row, and only the lap count.
        QCOMPARE(changes.count(), 2);
        for (const QList<QVariant> &c : changes) {
            QCOMPARE(c.at(0).toModelIndex().column(), lapno);
            QCOMPARE(c.at(1).toModelIndex(), c.at(0).toModelIndex());
        }
        QCOMPARE(page()->selectedRowIds(), QList<int>({2}));
        QCOMPARE(page()->laps()->model()->rowCount(), 3); // Bob's laps, shown
        const QStringList pane = page()->logPane()->toPlainText().split('\n');
        QCOMPARE(pane.size(), paneBlocks + 4);
        QVERIFY(pane.at(paneBlocks).startsWith("ID:102 Bob"));
        QVERIFY(pane.last().startsWith("ID:102 Bob"));

        // Without a forced frame the page shows it by itself, soon.
        m_p->receivers.queuePass(103, 40000);
        race.tmrraceTimer();
        QTRY_COMPARE(model->index(model->rowOf(3), lapno).data().toInt(), 1);

        // Sorted by the lap count, a row that passes moves to its place.
        model->setOrderBy("lapno DESC");
        grid->selectRow(model->rowOf(2));
        m_p->receivers.queuePass(103, 71000);
        race.tmrraceTimer();
        m_p->receivers.queuePass(103, 102000);
        race.tmrraceTimer();
        m_p->receivers.queuePass(103, 133000);
        race.tmrraceTimer();
        page()->showPendingChanges();
        QCOMPARE(model->index(0, model->fieldIndex("pilotname")).data().toString(), QStringLiteral("Cid"));
        QCOMPARE(page()->selectedRowIds(), QList<int>({2}));
        QVERIFY(race.racestopraceExecute());
    }

    // Recalc and Add with an empty race list do nothing and say nothing.
    void lapButtonsOnAnEmptyList()
    {
        QSqlQuery(db()).exec("DELETE FROM onerace");
        page()->refreshRaceList();
        m_p->window->findChild<QPushButton *>("btlapsrecalc")->click();
        m_p->window->findChild<QPushButton *>("Button26")->click();
        QCOMPARE(m_p->prompt.notices, QStringList());
        page()->showPendingChanges();
        QVERIFY(!page()->logPane()->toPlainText().contains("recalculate"));
    }

    void rightClickCancelsTheStartCountdown()
    {
        m_p->ctx.settings.set("chksounds", true);
        m_p->ctx.settings.set("edstartdelay", "60000");
        auto *start = m_p->window->findChild<QPushButton *>("btnstartrace");
        QVERIFY(start->isEnabled());
        QTimer::singleShot(200, page(), [this, start] {
            QVERIFY(!start->isEnabled()); // disabled while the countdown runs
            QWidget *target = page();
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(1, 1), target->mapToGlobal(QPoint(1, 1)));
            QApplication::sendEvent(target, &event);
        });
        QElapsedTimer t;
        t.start();
        start->click();
        QVERIFY(t.elapsed() < 30000);
        QVERIFY(!m_p->services->race->isRunning());
        QTRY_VERIFY(start->isEnabled());
    }

    void startAndFinishFromTheButtons()
    {
        auto *start = m_p->window->findChild<QPushButton *>("btnstartrace");
        start->click();
        QVERIFY(m_p->services->race->isRunning());
        QVERIFY(!start->isEnabled());
        m_p->receivers.queuePass(101, 30000);
        QTRY_COMPARE(column(db(), "SELECT lapno FROM onerace WHERE pilotid=11"), QStringList({"1"}));
        QTRY_COMPARE(page()->raceList()->model()->index(page()->raceListModel()->rowOf(1),
                                                         page()->raceListModel()->fieldIndex("lapno")).data().toInt(), 1);
        m_p->window->findChild<QWidget *>("btnstoprace")->setFocus();
        m_p->window->commands().action("racestoprace")->trigger();
        QVERIFY(!m_p->services->race->isRunning());
        QVERIFY(start->isEnabled());
    }

    // A finished race not exported is offered for export before "Next Group
    // >>" or "Send to Race" replace it: Cancel keeps it, No goes on.
    void replacingAFinishedRaceAsksFirst()
    {
        m_p->window->findChild<QPushButton *>("btnstartrace")->click();
        QVERIFY(m_p->services->race->isRunning());
        m_p->receivers.queuePass(101, 30000);
        QTRY_COMPARE(column(db(), "SELECT lapno FROM onerace WHERE pilotid=11"), QStringList({"1"}));
        m_p->window->commands().action("racestoprace")->trigger();
        QVERIFY(!m_p->services->race->isRunning());
        m_p->prompt.questions.clear();

        m_p->prompt.choices = {Choice::Cancel};
        m_p->window->findChild<QPushButton *>("btnextgroup")->click();
        QCOMPARE(m_p->prompt.questions, QStringList{FinishedRace::notExportedQuestion()});
        QCOMPARE(column(db(), "SELECT lapno FROM onerace WHERE pilotid=11"), QStringList({"1"}));

        m_p->prompt.choices = {Choice::Cancel};
        m_p->window->commands().action("eventsend2race")->trigger();
        QCOMPARE(m_p->prompt.questions.size(), 2);
        QCOMPARE(m_p->prompt.questions.last(), FinishedRace::notExportedQuestion());

        // No: "Start Race" goes on with a new race.
        m_p->prompt.choices = {Choice::No};
        m_p->window->findChild<QPushButton *>("btnstartrace")->click();
        QVERIFY(m_p->services->race->isRunning());
        QCOMPARE(m_p->prompt.questions.size(), 3);
        QCOMPARE(column(db(), "SELECT lapno FROM onerace WHERE pilotid=11"), QStringList({"0"}));
        m_p->window->commands().action("racestoprace")->trigger();
    }

    // Lines logged while the Race page is hidden do not stop the pane from
    // following; once the operator scrolls up it stays put until he goes
    // back to the end.
    void logPaneFollowsTheNewestLine()
    {
        auto *pages = m_p->window->findChild<QTabWidget *>("PageControl1");
        QPlainTextEdit *pane = page()->logPane();
        QScrollBar *bar = pane->verticalScrollBar();
        auto logLines = [this](const QString &prefix, int n) {
            for (int i = 0; i < n; ++i)
                m_p->ctx.log.savelog(prefix + QString::number(i) + QStringLiteral(" of many lines"));
            page()->showPendingChanges();
            QCoreApplication::processEvents();
        };
        logLines("first ", 200);
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());

        pages->setCurrentIndex(pages->count() - 1);
        logLines("hidden ", 50);
        pages->setCurrentIndex(0);
        QTRY_COMPARE(bar->value(), bar->maximum());
        logLines("race ", 50);
        QTRY_COMPARE(bar->value(), bar->maximum());

        // Scrolled up by the operator: new lines leave the view where it is.
        bar->setValue(10);
        logLines("more ", 30);
        QCOMPARE(bar->value(), 10);
        bar->setValue(bar->maximum());
        logLines("again ", 30);
        QTRY_COMPARE(bar->value(), bar->maximum());
    }

    // A race of a stage with a format other than the default shows each
    // pilot's deciding value as the tooltip of his Place and Laps cells; the
    // default stage's cells have none, and the twelve columns stay.
    void placeAndLapsTooltipsShowTheDecidingValue()
    {
        EventsViews &events = *m_p->services->events;
        QVERIFY(events.eventnewExecute());
        const int stage = events.currentStageId();
        QVERIFY(stage > 0);
        addLap(db(), 11, 1, 30000, "000:30.000");
        addLap(db(), 11, 2, 61000, "000:31.000");
        addLap(db(), 11, 3, 90000, "000:29.000");
        QVERIFY(QSqlQuery(db()).exec("UPDATE onerace SET lapno=3 WHERE pilotid=11"));
        RaceListModel *model = page()->raceListModel();
        const auto tip = [model](int pilotId, const char *field) {
            for (int r = 0; r < model->rowCount(); ++r) {
                if (model->record(r).value("pilotid").toInt() == pilotId)
                    return model->data(model->index(r, model->fieldIndex(field)), Qt::ToolTipRole).toString();
            }
            return QString("no row");
        };
        page()->refreshRaceList();
        QCOMPARE(tip(11, "place"), QString()); // the default stage: as before

        QString error;
        QVERIFY2(writeStageFormat(db(), stage, RaceFormat::FastestLap, 30000, false, &error), qPrintable(error));
        page()->refreshRaceList();
        QCOMPARE(tip(11, "place"), QString("best lap: 00:29.000"));
        QCOMPARE(tip(11, "lapno"), QString("best lap: 00:29.000"));
        QCOMPARE(tip(12, "place"), QString("no laps"));
        QCOMPARE(tip(11, "pilotname"), QString()); // other cells keep no tooltip
        int shown = 0;
        for (int c = 0; c < page()->raceList()->model()->columnCount(); ++c)
            shown += page()->raceList()->isColumnHidden(c) ? 0 : 1;
        QCOMPARE(shown, 12);
    }

    // At the first-start size all twelve columns of the race list fit without
    // a scroll bar, the times whole; the laps grid shows its times whole too.
    void raceListFitsAtTheFirstStartSize()
    {
        m_p->window->setGeometry(0, 0, 1280, 800);
        QTest::qWait(50);
        QTableView *grid = page()->raceList();
        QCOMPARE(grid->horizontalScrollBar()->maximum(), 0);
        int shown = 0;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            shown += grid->isColumnHidden(c) ? 0 : 1;
        QCOMPARE(shown, 12);
        const QFontMetrics fm(grid->font());
        for (const char *field : {"besttimetxt", "totaltimetxt", "pilotname"})
            QVERIFY2(grid->columnWidth(page()->raceListModel()->fieldIndex(field)) > fm.horizontalAdvance("000:00.000"),
                     field);
        QTableView *laps = page()->laps();
        QVERIFY(laps->columnWidth(page()->lapsModel()->fieldIndex("laptimetxt")) > fm.horizontalAdvance("000:00.000"));
        QCOMPARE(laps->horizontalScrollBar()->maximum(), 0);
    }

    // The heading's menu hides a column; a widened column and the hidden one
    // come back after a restart from the settings file.
    void columnsHiddenAndWidenedAreKept()
    {
        QTableView *grid = page()->raceList();
        const int team = page()->raceListModel()->fieldIndex("pilotteam");
        const int group = page()->raceListModel()->fieldIndex("group");
        auto *hideTeam = grid->findChild<QAction *>("column_pilotteam");
        QVERIFY(hideTeam);
        hideTeam->trigger();
        QVERIFY(grid->isColumnHidden(team));
        grid->horizontalHeader()->resizeSection(group, 123);
        QTest::qWait(600); // the widths are written once the drag is over

        m_p.reset();
        m_p = std::make_unique<Program>(m_dir.path());
        grid = page()->raceList();
        QVERIFY(grid->isColumnHidden(team));
        QCOMPARE(grid->columnWidth(group), 123);
        QVERIFY(!grid->findChild<QAction *>("column_pilotteam")->isChecked());
        grid->findChild<QAction *>("column_pilotteam")->trigger();
        QVERIFY(!grid->isColumnHidden(team));
    }
};

QTEST_MAIN(TestRacePage)
#include "tst_racepage.moc"
