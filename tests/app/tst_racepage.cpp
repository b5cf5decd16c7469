// The race page over the race engine: the race list's menu shortcuts by
// focus, stream channels, column sort, the lap entry dialog, and a
// right-click that cancels a start countdown.
#include "app/commands.h"
#include "app/newlapdialog.h"
#include "app/racemodels.h"
#include "app/racepage.h"
#include "race/raceengine.h"
#include "tests/app/programfixture.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
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

QStringList column(QSqlDatabase db, const QString &sql)
{
    QStringList values;
    QSqlQuery q(db);
    q.exec(sql);
    while (q.next())
        values << q.value(0).toString();
    return values;
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
};

QTEST_MAIN(TestRacePage)
#include "tst_racepage.moc"
