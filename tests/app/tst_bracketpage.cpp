// Formats and brackets on the Events page: the stage's format shown beside
// the stage list and chosen in its dialog (an unknown stored format said in
// plain words), "Make Bracket" making the next stage a bracket from the
// stage's standing with what was made in the log, and the "Bracket" page
// drawing heats, results and the next heat, following an export.
#include "app/bracketdialog.h"
#include "app/bracketpage.h"
#include "app/eventspage.h"
#include "app/stageformatdialog.h"
#include "competition/bracketstage.h"
#include "events/eventsviews.h"
#include "race/raceexport.h"
#include "tests/app/programfixture.h"
#include "tests/common/logcapture.h"
#include "tests/common/sqlrows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace lapvane;
using lapvane::test::column;
using lapvane::test::Program;

namespace {

void bringForward(QWidget *w)
{
    for (QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        if (auto *tabs = qobject_cast<QTabWidget *>(p)) {
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->widget(i) == w || tabs->widget(i)->isAncestorOf(w))
                    tabs->setCurrentIndex(i);
            }
        }
    }
}

} // namespace

class TestBracketPage : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Program> m_p;
    std::unique_ptr<test::LogCapture> m_log;
    MainWindow &w() { return *m_p->window; }
    QSqlDatabase db() { return m_p->ctx.db.db(); }
    EventsViews &views() { return *m_p->services->events; }
    template <typename T = QWidget> T *find(const char *name)
    {
        T *found = w().findChild<T *>(QLatin1String(name));
        if (!found)
            qWarning("no %s", name);
        return found;
    }
    QString text(const char *label) { return find<QLabel>(label)->text(); }

    // A new event whose first stage holds the pilots named, in this row order.
    void eventWithPilots(const QStringList &names)
    {
        bringForward(find("bteventnew"));
        QTest::mouseClick(find<QToolButton>("bteventnew"), Qt::LeftButton);
        const int stage = views().currentStageId();
        for (int i = 0; i < names.size(); ++i) {
            QSqlQuery q(db());
            q.prepare("INSERT INTO results (stage, pilotid, pilotname, vtx, wins, qualtime, qualtimetxt) "
                      "VALUES (?, ?, ?, 'R1', 0, ?, '')");
            q.addBindValue(stage);
            q.addBindValue(101 + i);
            q.addBindValue(names.at(i));
            q.addBindValue(60000 + 1000 * i);
            QVERIFY(q.exec());
        }
        views().refreshresults();
    }

    // Clicks a button whose dialog the given step fills and closes.
    template <typename Dialog>
    void throughDialog(const char *button, Dialog *dialog, const std::function<void(Dialog *)> &fill)
    {
        QTimer::singleShot(0, this, [dialog, fill] {
            QVERIFY(dialog->isVisible());
            fill(dialog);
        });
        QTimer::singleShot(5000, dialog, &QDialog::reject);
        bringForward(find(button));
        QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("dbpilots.db"));
        m_p = std::make_unique<Program>(m_dir.path());
        m_log = std::make_unique<test::LogCapture>(m_p->ctx.log);
    }
    void cleanup()
    {
        m_log.reset();
        m_p.reset();
    }

    void formatChosenOnTheStageList()
    {
        eventWithPilots({"Ann"});
        // Nothing chosen: the default, and nothing is written.
        QCOMPARE(text("lbstageformat"), QString("Format: Laps and time"));
        QVERIFY(!db().tables().contains("stageformat"));

        StageFormatDialog *dialog = w().eventsPage()->stageFormatDialog();
        throughDialog<StageFormatDialog>("btstageformat", dialog, [](StageFormatDialog *d) {
            d->formatBox()->setCurrentIndex(d->formatBox()->findText("Most laps in time"));
            QVERIFY(d->graceEdit()->isEnabled());
            d->graceEdit()->setValue(20);
            d->holeShotBox()->setChecked(true);
            QTest::mouseClick(d->findChild<QPushButton *>("btok"), Qt::LeftButton);
        });
        QCOMPARE(text("lbstageformat"),
                 QString("Format: Most laps in time, grace 20 s, first pass starts the clock"));
        QCOMPARE(column(db(), "SELECT format || ' ' || gracems || ' ' || holeshot FROM stageformat"),
                 QStringList({"mostlaps 20000 Y"}));
        QVERIFY(m_log->lines.contains(
            "Stage \"New stage\": Most laps in time, grace 20 s, first pass starts the clock."));

        // Fastest 3 has no grace and no hole-shot; Cancel changes nothing.
        throughDialog<StageFormatDialog>("btstageformat", dialog, [](StageFormatDialog *d) {
            QCOMPARE(d->formatBox()->currentText(), QString("Most laps in time"));
            d->formatBox()->setCurrentIndex(d->formatBox()->findText("Fastest 3 consecutive laps"));
            QVERIFY(!d->graceEdit()->isEnabled());
            QVERIFY(!d->holeShotBox()->isEnabled());
            QTest::mouseClick(d->findChild<QPushButton *>("btcancel"), Qt::LeftButton);
        });
        QCOMPARE(column(db(), "SELECT format FROM stageformat"), QStringList({"mostlaps"}));

        // A format this program does not know: shown, and said once in the log.
        QVERIFY(QSqlQuery(db()).exec("UPDATE stageformat SET format='relay'"));
        views().rereadStages();
        views().setCurrentStageById(views().currentStageId());
        emit views().currentChanged();
        QCOMPARE(text("lbstageformat"), QString("Format: unknown (\"relay\"), raced as Laps and time"));
        emit views().currentChanged();
        QCOMPARE(m_log->lines.filter("unknown race format \"relay\"").size(), 1);
    }

    void bracketMadeDrawnAndFollowingTheExport()
    {
        const QStringList names = {"Ann", "Bob", "Cid", "Dan", "Eve", "Fay", "Gus", "Hal", "Ivy"};
        eventWithPilots(names);
        const int qualifying = views().currentStageId();
        // The Bracket page of a stage that is no bracket says so.
        QVERIFY(text("lbbrackettitle").contains("is no bracket"));

        BracketDialog *dialog = w().eventsPage()->bracketDialog();
        throughDialog<BracketDialog>("btmakebracket", dialog, [](BracketDialog *d) {
            QVERIFY(d->seedingLabel()->text().startsWith("Standing: 1. Ann; 2. Bob;"));
            QCOMPARE(d->stageBox()->currentText(), QString("a new stage"));
            d->kindBox()->setCurrentIndex(d->kindBox()->findText("Double elimination"));
            QVERIFY(!d->mainSizeEdit()->isEnabled());
            QCOMPARE(d->stageNameEdit()->text(), QString("Double elimination"));
            d->seedCountEdit()->setValue(8);
            QTest::mouseClick(d->findChild<QPushButton *>("btok"), Qt::LeftButton);
        });
        const QStringList made = m_log->lines.filter("is now a double elimination");
        QCOMPARE(made.size(), 1);
        QVERIFY2(made.first().contains("of 8 pilots seeded from \"New stage\": 6 heats to fly, 0 byes"),
                 qPrintable(made.first()));
        QVERIFY(m_log->lines.contains("Group 1 (Winners round 1, heat 1) flies first."));
        // The bracket stage is current, its pilots in their first heats.
        const int bracket = views().currentStageId();
        QVERIFY(bracket != qualifying);
        QCOMPARE(views().currentStageName(), QString("Double elimination"));
        QCOMPARE(
            column(db(), QString("SELECT pilotname || \"group\" FROM results WHERE stage=%1 ORDER BY pilotid")
                             .arg(bracket)),
            QStringList({"Ann1", "Bob2", "Cid2", "Dan1", "Eve1", "Fay2", "Gus2", "Hal1"}));

        // The drawing: six heats, the first one next.
        BracketPage *page = w().eventsPage()->bracketPage();
        bringForward(page);
        QCOMPARE(page->findChildren<QGroupBox *>().size(), 6);
        QCOMPARE(find<QGroupBox>("gbheat1")->title(), QString("Group 1: Winners round 1, heat 1 (next)"));
        QCOMPARE(text("lbheatpilots1"), QString("Ann\nDan\nEve\nHal"));
        QCOMPARE(text("lbheatpilots3"), QString("(waiting)\n(waiting)\n(waiting)\n(waiting)"));
        QVERIFY(text("lbbrackettitle").endsWith("Next: group 1, Winners round 1, heat 1."));

        // An exported heat: its order and who goes on, the next heat marked.
        BracketStage stage;
        QString error;
        QVERIFY(recordHeatResult(db(), bracket, "1", {108, 101, 105, 104}, &stage, &error));
        emit m_p->services->raceExport->resultsChanged();
        QCOMPARE(text("lbheatpilots1"), QString("1. Hal  \u2192 on\n2. Ann  \u2192 on\n3. Eve\n4. Dan"));
        QCOMPARE(find<QGroupBox>("gbheat1")->title(), QString("Group 1: Winners round 1, heat 1"));
        QCOMPARE(find<QGroupBox>("gbheat2")->title(), QString("Group 2: Winners round 1, heat 2 (next)"));

        // Made again into the same stage: asked first; No keeps it.
        views().selectStageRows({views().stagesModel()->rowOfKey(qualifying)});
        m_p->prompt.answers = {false};
        throughDialog<BracketDialog>("btmakebracket", dialog, [](BracketDialog *d) {
            d->stageBox()->setCurrentIndex(d->stageBox()->findText("Double elimination"));
            d->kindBox()->setCurrentIndex(d->kindBox()->findText("Single elimination"));
            QTest::mouseClick(d->findChild<QPushButton *>("btok"), Qt::LeftButton);
        });
        QVERIFY(
            m_p->prompt.questions.last().startsWith("Stage \"Double elimination\" is a bracket already."));
        QCOMPARE(column(db(), "SELECT kind FROM stagebracket"), QStringList({"double"}));
    }
};

QTEST_MAIN(TestBracketPage)
#include "tst_bracketpage.moc"
