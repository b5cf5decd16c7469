// Every control the operator's manual names is in the window under that name,
// once, with its caption; the counters carry their captions; questions look
// the way their kind asks for.
#include "app/guiprompt.h"
#include "app/mainwindow.h"
#include "app/racepage.h"
#include "tests/app/programfixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::Program;

namespace {

// The text a control shows as its caption.
QString captionOf(QObject *o)
{
    if (auto *b = qobject_cast<QAbstractButton *>(o))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(o))
        return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(o))
        return g->title();
    if (auto *a = qobject_cast<QAction *>(o))
        return a->text();
    if (auto *m = qobject_cast<QMenu *>(o))
        return m->title();
    return {};
}

// The caption label a counter or edit is tied to (its buddy).
QString captionLabelOf(QWidget *window, QWidget *control)
{
    for (QLabel *l : window->findChildren<QLabel *>()) {
        if (l->buddy() == control)
            return l->text();
    }
    return {};
}

} // namespace

class TestControlNames : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Program> m_p;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_p = std::make_unique<Program>(m_dir.path());
    }
    void cleanupTestCase() { m_p.reset(); }

    void controlsHaveTheirNamesAndCaptions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption"); // empty: any
        const QList<QPair<const char *, const char *>> controls = {
            // Race page.
            {"btn1", "Done"}, {"btCheckCom", "?"}, {"chkteamrace", "Team race"}, {"chkbest2qual", ""},
            {"chktotal2qual", ""}, {"bt2", "More"}, {"bt3", "Less"}, {"btvoiceinvite", "Voice invite"},
            {"btvoiceinvitestop", "X"}, {"Button11", "Measure"}, {"Button15", "Stop"}, {"Button14", "Send to Telega"},
            {"btdellap", "Delete"}, {"Button26", "Add"}, {"btlapsrecalc", "Recalc"}, {"btnextgroup", "Next Group >>"},
            {"chautoconfirm", "confirm"}, {"chautoreg", "register"}, {"chvoiceinvite", "Voice invite"},
            {"Button24", "Button24"}, {"btnlogclear", "X"}, {"SpeedButton1", ""}, {"log1", ""},
            {"btconfirmSel", "Confirm Selected"}, {"btndelpilot", "Delete"}, {"btnstartrace", "Start Race"},
            {"btnstoprace", "Finish"}, {"btexporttoevent", ""}, {"btnclearlist", "Reset list"},
            {"btnracelistpilots", "List pilots"}, {"btnregpilots", "Register pilots"}, {"edtlaps", ""},
            {"edttimelimit", ""}, {"chracecontinue", "continue"}, {"chautoexport", "auto export results"},
            {"chautotelegram", "auto Telegram"}, {"lbltime", "00:00:00"}, {"lblracems", "000"},
            {"lbtimemachinetime", "xx:xxx.xxx"}, {"lblcnt", "n/a"}, {"lblaststagename", "Laststage"},
            {"lbversion", "ver 1.11"}, {"tableonerace", ""}, {"dbgridlastrace", ""}, {"table1", ""},
            {"tableresults", ""},
            // Events page.
            {"btfontplus", "More"}, {"btfontless", "Less"}, {"chlockresults", "lock stage"},
            {"Button25", "Name+Qual to Clpbrd"}, {"btsavehtml", "Export Results to HTML"},
            {"Button16", "Export Groups to TXT"}, {"btntelegaSendGroups", "send Groups"},
            {"btnTelegaSendResults", "send Results"}, {"btsendtoAerolist", "Send to Aerolist"}, {"SpeedButton2", ""},
            {"tblEventsList", ""}, {"tblEventsStages", ""}, {"tblEventsResults", ""},
            // Pilots page.
            {"BitBtn1", ""}, {"dbgrd1", ""}, {"edtsearchtext", ""}, {"cbb1", ""}, {"lbhasphoto", ""},
            {"lbhassound", ""},
            // Settings page.
            {"Button1", "Set"}, {"bt11", "Send"}, {"bttelegawelcome", "Welcome text"},
            {"chktelegareceive", "Receive Telegram messages"}, {"Button13", "say"}, {"btvoicesrefresh", "Refresh"},
            {"trvoicerate", ""}, {"chksoundnames", "Play names and laps"}, {"btrestore", "Restore saved"},
            {"Button20", "Show"}, {"chsavelogfile", "Save log file"}, {"chshowdebug", "show DEBUG info in log"},
            {"comselect", ""}, {"combaud", ""}, {"com2select", ""}, {"com2baud", ""}, {"com3select", ""},
            {"ComComboBox2", ""}, {"cbvtxch", ""}, {"btvercheck", "Version"}, {"btcntcheck", "Race counter"},
            {"btcom2connect", "Connect"}, {"btcom2disconnect", "Disconnect"}, {"btcom3connect", "Connect"},
            {"btcom3disconnect", "Disconnect"}, {"btchorussetch", "Set"}, {"chvstimeWifi", "use WiFi"},
            {"edvstimeUDPport", ""}, {"chvstimeshowping", "show ping in log"}, {"chChorusRSSI", "Read RSSI"},
            {"chChorusPing", "ping"}, {"chraceuseinttimer", "use internal timer"}, {"edantidoubleread", ""},
            {"chsavehtmls", "Save local HTMLs (/htmls folder)"}, {"lblcomLapvanestat", "..."},
            {"lblcomVStimestat", "..."}, {"lbcomChorusstat", "..."}, {"lbbotname", "n/a"},
            // Menus.
            {"pmonerace", ""}, {"pmresults", ""}, {"pmstages", ""}, {"pmpilots", ""},
            // Counters.
            {"lbltotalpilots", ""}, {"lbl10", ""}, {"lbl13", ""}, {"lbltotalresults", ""}, {"lbltotalpilots1", ""},
        };
        for (const auto &[name, caption] : controls)
            QTest::newRow(name) << QString(name) << QString(caption);
    }
    void controlsHaveTheirNamesAndCaptions()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QList<QObject *> found;
        for (QObject *o : m_p->window->findChildren<QObject *>(name)) {
            if (o->isWidgetType() || qobject_cast<QAction *>(o))
                found << o;
        }
        QVERIFY2(found.size() == 1, qPrintable(QString("%1 found %2 times").arg(name).arg(found.size())));
        if (!caption.isEmpty())
            QCOMPARE(captionOf(found.first()), caption);
    }

    void countersCarryTheirCaptions_data()
    {
        QTest::addColumn<QString>("counter");
        QTest::addColumn<QString>("caption");
        QTest::newRow("events") << "lbl10" << "Total:";
        QTest::newRow("stages") << "lbl13" << "Total:";
        QTest::newRow("results") << "lbltotalresults" << "Total:";
        QTest::newRow("race list") << "lbltotalpilots" << "Total pilots:";
        QTest::newRow("registry") << "lbltotalpilots1" << "Total pilots:";
    }
    void countersCarryTheirCaptions()
    {
        QFETCH(QString, counter);
        QFETCH(QString, caption);
        auto *label = m_p->window->findChild<QLabel *>(counter);
        QVERIFY(label);
        QCOMPARE(captionLabelOf(m_p->window.get(), label), caption);
        bool ok = false;
        label->text().toInt(&ok);
        QVERIFY2(ok, qPrintable(label->text())); // a number of rows
    }

    // A question before adding answers Yes on Enter, with the information
    // icon; one before deleting keeps No, with the error icon.
    void questionsLookLikeTheirKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("icon");
        QTest::addColumn<bool>("enterAnswer");
        QTest::newRow("adding") << int(QuestionKind::Adding) << int(QMessageBox::Information) << true;
        QTest::newRow("deleting") << int(QuestionKind::Deleting) << int(QMessageBox::Critical) << false;
        QTest::newRow("warning") << int(QuestionKind::Warning) << int(QMessageBox::Warning) << false;
    }
    void questionsLookLikeTheirKind()
    {
        QFETCH(int, kind);
        QFETCH(int, icon);
        QFETCH(bool, enterAnswer);
        GuiPrompt prompt;
        int shownIcon = -1;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            shownIcon = box->icon();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(prompt.askAs(QuestionKind(kind), "Question?"), enterAnswer);
        QCOMPARE(shownIcon, icon);
    }
};

QTEST_MAIN(TestControlNames)
#include "tst_controlnames.moc"
