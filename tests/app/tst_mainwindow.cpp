// The main window as the program shows it: pages, log pane, settings controls
// bound to the settings, shortcuts by focus, stop request and placement.
#include "app/commands.h"
#include "app/guiprompt.h"
#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/racepage.h"
#include "publish/savehtmls.h"
#include "tests/app/programfixture.h"
#include "tests/common/loopback.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::paneLines;
using lapvane::test::Program;

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void comesUpWithPagesLogAndIndicators()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        MainWindow &w = *p.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Lapvane Admin"));
        QCOMPARE(w.minimumSize(), QSize(600, 400));
        QVERIFY(w.width() >= 600 && w.height() >= 400);
        auto *pages = w.findChild<QTabWidget *>("PageControl1");
        QVERIFY(pages);
        QStringList captions, names;
        for (int i = 0; i < pages->count(); ++i) {
            captions << pages->tabText(i);
            names << pages->widget(i)->objectName();
        }
        QCOMPARE(captions, QStringList({"Race", "Events", "Pilots", "Settings"}));
        QCOMPARE(names, QStringList({"tsrace", "tsevents", "tsPilots", "tssettings"}));

        const QStringList pane = paneLines(w);
        QCOMPARE(pane.first(), QStringLiteral("hello"));
        QCOMPARE(pane.mid(1, 2), QStringList({"===", "Checking waves..."}));
        QCOMPARE(pane.last(), QStringLiteral("Checks finished."));

        const QList<QPair<QString, QString>> indicators = {
            {"lbltime", "00:00:00"}, {"lblracems", "000"}, {"lbtimemachinetime", "xx:xxx.xxx"},
            {"lblcomLapvanestat", "..."}, {"lblcomVStimestat", "..."}, {"lbcomChorusstat", "..."},
            {"lblcnt", "n/a"}, {"lbltotalpilots", "0"}, {"lblaststagename", "Laststage"},
            {"lbbotname", "n/a"}, {"lbversion", "ver 1.11"}, {"lbl10", "0"},
            {"lbl13", "0"}, {"lbltotalresults", "0"}, {"lbltotalpilots1", "0"}};
        for (const auto &[name, text] : indicators) {
            auto *label = w.findChild<QLabel *>(name);
            QVERIFY2(label, qPrintable(name));
            QCOMPARE(label->text(), text);
        }
        for (const char *grid : {"tableonerace", "dbgridlastrace", "table1", "tableresults", "tblEventsList",
                                 "tblEventsStages", "tblEventsResults", "dbgrd1"})
            QVERIFY2(w.findChild<QTableView *>(grid), grid);

        // The results field list is filled from the results table.
        auto *fields = w.findChild<QComboBox *>("cbresfields");
        QCOMPARE(fields->itemText(0), QStringLiteral("id"));
        QCOMPARE(fields->count(), p.ctx.db.fieldNames("results").size());
        // Commands without an operation are shown disabled.
        QVERIFY(!w.commands().action("settrestore")->isEnabled());
        QVERIFY(!w.commands().action("eventupdatefromDB")->isEnabled());
        QVERIFY(!w.findChild<QWidget *>("btrestore")->isEnabled());
        QCOMPARE(w.commands().action("eventduplicatestage")->text(), QStringLiteral("Duplcate"));
        QCOMPARE(w.commands().action("racestartrace")->property("category").toString(), QStringLiteral("race"));
    }

    // Every setting has exactly one control of its name, showing its value,
    // and a change on either side reaches the other.
    void settingsControlsAreBound()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        MainWindow &w = *p.window;
        Settings &s = p.ctx.settings;
        for (const SettingDef &d : Settings::definitions()) {
            const QList<QWidget *> found = w.findChildren<QWidget *>(d.control);
            QVERIFY2(found.size() == 1, qPrintable(d.control));
            QWidget *c = found.first();
            if (auto *edit = qobject_cast<QLineEdit *>(c); edit && edit->echoMode() == QLineEdit::Password) {
                // A secret is typed, never shown.
                s.set(d.control, "changed");
                QVERIFY(edit->text().isEmpty());
                edit->setText("typed");
                emit edit->editingFinished();
                QCOMPARE(s.text(d.control), QStringLiteral("typed"));
                QVERIFY(edit->text().isEmpty());
            } else if (auto *edit = qobject_cast<QLineEdit *>(c)) {
                QCOMPARE(edit->text(), s.text(d.control));
                s.set(d.control, "changed");
                QCOMPARE(edit->text(), QStringLiteral("changed"));
                edit->setText("typed");
                QCOMPARE(s.text(d.control), QStringLiteral("typed"));
            } else if (auto *box = qobject_cast<QCheckBox *>(c)) {
                QCOMPARE(box->isChecked(), s.flag(d.control));
                if (!box->isEnabled())
                    continue;
                const bool before = box->isChecked();
                box->click();
                QCOMPARE(s.flag(d.control), !before);
                // Tests listen on this computer only.
                if (d.control == QLatin1String("chwwwserverlan"))
                    box->click();
            } else if (auto *slider = qobject_cast<QSlider *>(c)) {
                slider->setValue(4);
                QCOMPARE(s.integer(d.control), 4);
                s.set(d.control, -3);
                QCOMPARE(slider->value(), -3);
            } else if (auto *combo = qobject_cast<QComboBox *>(c)) {
                if (combo->isEditable()) {
                    combo->setCurrentText("COM9");
                    QCOMPARE(s.text(d.control), QStringLiteral("COM9"));
                } else if (combo->count() > 1) {
                    // A list of words stores the chosen word (its item data), a plain list its index.
                    const QVariant second = combo->itemData(1).isValid() ? combo->itemData(1) : QVariant(1);
                    s.set(d.control, second);
                    QCOMPARE(combo->currentIndex(), 1);
                    combo->setCurrentIndex(0);
                    emit combo->activated(0);
                    QCOMPARE(s.value(d.control), combo->itemData(0).isValid() ? combo->itemData(0) : QVariant(0));
                }
            } else if (auto *spin = qobject_cast<QSpinBox *>(c)) {
                // The web server's port: a free one, as the switch may start it.
                const int port = test::freeLoopbackPort();
                QCOMPARE(spin->value(), s.integer(d.control));
                spin->setValue(port);
                QCOMPARE(s.integer(d.control), port);
                s.set(d.control, port + 1);
                QCOMPARE(spin->value(), port + 1);
                s.set(d.control, port);
            } else {
                QFAIL(qPrintable("unexpected control for " + d.control));
            }
        }
        // The two "to qual" switches exclude each other on screen too.
        auto *best = w.findChild<QCheckBox *>("chkbest2qual");
        auto *total = w.findChild<QCheckBox *>("chktotal2qual");
        best->setChecked(true);
        total->setChecked(true);
        QVERIFY(!best->isChecked());
    }

    void saveSettingsCommandWritesTheFile()
    {
        QTemporaryDir dir;
        {
            Program p(dir.path());
            p.window->findChild<QLineEdit *>("edtlaps")->setText("12");
            p.window->findChild<QCheckBox *>("chksounds")->setChecked(true);
            p.window->commands().action("settsave")->trigger();
        }
        Program again(dir.path());
        QCOMPARE(again.window->findChild<QLineEdit *>("edtlaps")->text(), QStringLiteral("12"));
        QVERIFY(again.window->findChild<QCheckBox *>("chksounds")->isChecked());
    }

    void sharedShortcutsActByFocus_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("command");
        const QKeySequence n(Qt::CTRL | Qt::Key_N);
        const QKeySequence del(Qt::CTRL | Qt::Key_Delete);
        const QKeySequence s(Qt::CTRL | Qt::Key_S);
        const QKeySequence e(Qt::CTRL | Qt::Key_E);
        QTest::newRow("Ctrl+N race list") << "tableonerace" << n << "raceunconfirmSel";
        QTest::newRow("Ctrl+N log pane") << "log1" << n << "raceunconfirmSel";
        QTest::newRow("Ctrl+N results on race page") << "tableresults" << n << "eventAdd2NewStage";
        QTest::newRow("Ctrl+N results on events page") << "tblEventsResults" << n << "eventAdd2NewStage";
        QTest::newRow("Ctrl+N stage list") << "tblEventsStages" << n << "eventnewstage";
        QTest::newRow("Ctrl+N registry") << "dbgrd1" << n << "pilotsaddnew";
        QTest::newRow("Ctrl+Del race list") << "tableonerace" << del << "racedeletepilots";
        QTest::newRow("Ctrl+Del results") << "tblEventsResults" << del << "eventdelpilot";
        QTest::newRow("Ctrl+Del stage list") << "tblEventsStages" << del << "eventdelstage";
        QTest::newRow("Ctrl+Del registry") << "dbgrd1" << del << "pilotsdelete";
        QTest::newRow("Ctrl+S results") << "tableresults" << s << "eventsend2race";
        QTest::newRow("Ctrl+S registry") << "dbgrd1" << s << "eventAdd2CurStage";
        QTest::newRow("Ctrl+E race list") << "tableonerace" << e << "raceexporttoevent";
        QTest::newRow("Ctrl+E results") << "tblEventsResults" << e << "eventexporthtml";
        QTest::newRow("Ctrl+Y race list") << "tableonerace" << QKeySequence(Qt::CTRL | Qt::Key_Y) << "raceconfirmSel";
        QTest::newRow("Ctrl+R race list") << "tableonerace" << QKeySequence(Qt::CTRL | Qt::Key_R) << "raceresetlist";
        QTest::newRow("Ctrl+D stage list") << "tblEventsStages" << QKeySequence(Qt::CTRL | Qt::Key_D) << "eventduplicatestage";
        QTest::newRow("Ctrl+G results") << "tableresults" << QKeySequence(Qt::CTRL | Qt::Key_G) << "eventGroup";
    }
    void sharedShortcutsActByFocus()
    {
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        QFETCH(QString, command);
        QTemporaryDir dir;
        Program p(dir.path());
        MainWindow &w = *p.window;
        QWidget *target = w.findChild<QWidget *>(focus);
        QVERIFY(target);
        // Show the page that holds the control.
        auto *pages = w.findChild<QTabWidget *>("PageControl1");
        for (int i = 0; i < pages->count(); ++i) {
            if (pages->widget(i)->isAncestorOf(target))
                pages->setCurrentIndex(i);
        }
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QStringList fired;
        for (QAction *a : w.commands().actions())
            connect(a, &QAction::triggered, this, [&fired, a] { fired << a->objectName(); });
        QTest::keySequence(&w, key);
        QCOMPARE(fired, command.isEmpty() ? QStringList() : QStringList({command}));
    }

    // A typed anti-double-read interval that is not a number is pointed out;
    // a number, or an emptied field on the way to one, is not.
    void antiDoubleReadTakesDigitsOnly()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        auto *edit = p.window->findChild<QLineEdit *>("edantidoubleread");
        edit->clear();
        QTest::keyClicks(edit, "800");
        QCOMPARE(p.prompt.notices, QStringList());
        QCOMPARE(p.ctx.settings.text("edantidoubleread"), QStringLiteral("800"));
        QTest::keyClick(edit, Qt::Key_X);
        QCOMPARE(p.prompt.notices, QStringList({"Only digits allowed!"}));
    }

    // The name dialog: the preset goes at the first click, Enter confirms,
    // Cancel keeps the old text.
    void nameDialog()
    {
        GuiPrompt prompt;
        QString name = "New";
        QTimer::singleShot(0, [] {
            QWidget *dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            QCOMPARE(dialog->objectName(), QStringLiteral("frmnewname"));
            auto *edit = dialog->findChild<QLineEdit *>("ednewname");
            QCOMPARE(edit->text(), QStringLiteral("New"));
            QTest::mouseClick(edit, Qt::LeftButton);
            QCOMPARE(edit->text(), QString());
            QTest::keyClicks(edit, "Red");
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QVERIFY(prompt.askText("New name", "New name:", &name));
        QCOMPARE(name, QStringLiteral("Red"));

        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QVERIFY(!prompt.askText("New name", "New name:", &name));
        QCOMPARE(name, QStringLiteral("Red"));
    }

    void rightClickOnRacePageRaisesStop()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        QVERIFY(!p.ctx.STOPFLAG.isRaised());
        RacePage *page = p.window->racePage();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), page->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(page, &event);
        QVERIFY(p.ctx.STOPFLAG.isRaised());
    }

    void logClearLeavesFile()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        auto *pane = p.window->findChild<QPlainTextEdit *>("log1");
        QTest::mouseClick(p.window->findChild<QPushButton *>("btnlogclear"), Qt::LeftButton);
        QCOMPARE(pane->toPlainText(), QString());
        p.ctx.log.savelog("after clear");
        QTRY_COMPARE(pane->toPlainText(), QStringLiteral("after clear"));
        QFile file(dir.filePath("log.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("Checks finished.\r\n"));
    }

    void closeWritesPlacementAndNextStartOpensThere()
    {
        QTemporaryDir dir;
        {
            Program p(dir.path());
            p.window->resize(700, 500);
            p.window->move(30, 40);
            const QPoint at = p.window->pos();
            p.window->close();
            const QStringList pane = paneLines(*p.window);
            QCOMPARE(pane.mid(pane.indexOf("Exiting..")),
                     QStringList({"Exiting..", "terminating regpilots...", "terminating racetimer...",
                                  "terminating savehtmls...", "terminating voiceinvite...", "Lapvane Com closed",
                                  "VS Com closed", "Chorus Com closed"}));
            IniFile ini(dir.filePath("lapvaneadmin.ini"));
            QCOMPARE(ini.readInteger("Size", "Width", 0), 700);
            QCOMPARE(ini.readInteger("Size", "Height", 0), 500);
            QCOMPARE(ini.readInteger("Position", "X", 0), at.x());
            QCOMPARE(ini.readInteger("Position", "Y", 0), at.y());
        }
        Program again(dir.path());
        QCOMPARE(again.window->size(), QSize(700, 500));
    }

    void failingShutdownStepIsLoggedAndTheRestRuns()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        p.window->shutdownHooks().stopRaceTimer = [] { return false; };
        p.window->shutdownHooks().closeVsTime = []() -> bool { throw std::runtime_error("port gone"); };
        p.window->close();
        const QStringList pane = paneLines(*p.window);
        QCOMPARE(pane.mid(pane.indexOf("terminating racetimer..."), 2),
                 QStringList({"terminating racetimer...", "problem!"}));
        QVERIFY(pane.contains("VS Com error"));
        QVERIFY(pane.contains("Chorus Com closed"));
        QVERIFY(QFile::exists(dir.filePath("lapvaneadmin.ini")));
    }

    // "Use the included templates" on "Web pages": the starter set is copied
    // into the folder and chosen; the live pages then come from it. Before,
    // the missing templates were explained once.
    void includedTemplatesFromTheWebPagesTab()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        p.services->saveHtmls->setPauseMs(20);
        p.ctx.settings.set("chsavehtmls", true);
        auto logText = [&p] { return p.window->racePage()->logPane()->toPlainText(); };
        QTRY_VERIFY(logText().contains("savehtmls: no template chosen"));
        p.window->findChild<QPushButton *>("btincludedtemplates")->click();
        QCOMPARE(p.ctx.settings.text("edOneRaceview"),
                 QDir::toNativeSeparators(QDir(dir.filePath("templates")).filePath("race.htm")));
        QTRY_VERIFY(logText().contains("The included page templates are chosen"));
        QTRY_VERIFY(QFile::exists(dir.filePath("htmls/top.htm")));
        QTRY_VERIFY(QFile::exists(dir.filePath("htmls/onerace.htm")));
        p.ctx.settings.set("chsavehtmls", false);
        p.window->racePage()->showPendingChanges();
        QCOMPARE(logText().count("no template chosen"), 1);
        QVERIFY(!logText().contains("savehtmls: onerace problem"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
