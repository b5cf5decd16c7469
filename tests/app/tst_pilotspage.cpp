// The Pilots page over the pilot registry: the search field and its field
// list, the counter, the "Photo" and "Sound" marks and "Show photo".
#include "app/pilotspage.h"
#include "app/commands.h"
#include "events/pilotregistry.h"
#include "tests/app/programfixture.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

using namespace lapvane;
using lapvane::test::Program;

class TestPilotsPage : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<Program> m_p;
    PilotsPage *page() { return m_p->window->pilotsPage(); }
    QString count() { return page()->findChild<QLabel *>("lbltotalpilots1")->text(); }
    QStringList shownNames()
    {
        QStringList names;
        QAbstractItemModel *m = page()->registry()->model();
        const int c = page()->pilots().model()->fieldIndex("name");
        for (int r = 0; r < m->rowCount(); ++r)
            names << m->index(r, c).data().toString();
        return names;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath("dbpilots.db"));
        m_p = std::make_unique<Program>(m_dir.path());
        QSqlQuery q(m_p->ctx.db.db());
        for (const auto &[name, team] : QList<QPair<QString, QString>>{
                 {"Ann", "Falcons"}, {"Joanna", "Owls"}, {"Hanna", "Annex"}, {"Bob", "Owls"}, {"O'Brien", "Falcons"}}) {
            q.prepare("INSERT INTO pilots (name, team) VALUES (?, ?)");
            q.addBindValue(name);
            q.addBindValue(team);
            QVERIFY(q.exec());
        }
        page()->pilots().reread();
        auto *pages = m_p->window->findChild<QTabWidget *>("PageControl1");
        for (int i = 0; i < pages->count(); ++i) {
            if (pages->widget(i)->isAncestorOf(page()))
                pages->setCurrentIndex(i);
        }
    }
    void cleanup() { m_p.reset(); }

    void searchByTheChosenField()
    {
        auto *search = page()->findChild<QLineEdit *>("edtsearchtext");
        QCOMPARE(count(), QStringLiteral("5"));
        QTest::keyClicks(search, "ann");
        QCOMPARE(shownNames(), QStringList({"Ann", "Joanna", "Hanna"}));
        QCOMPARE(count(), QStringLiteral("3"));
        // Another field takes effect with the next change of the text.
        page()->findChild<QComboBox *>("cbb1")->setCurrentText("team");
        QCOMPARE(count(), QStringLiteral("3"));
        QTest::keyClick(search, Qt::Key_E);
        QCOMPARE(shownNames(), QStringList({"Hanna"}));
        // A click into the search text empties it: every pilot again.
        QTest::mouseClick(search, Qt::LeftButton);
        QCOMPARE(search->text(), QString());
        QCOMPARE(count(), QStringLiteral("5"));
        // A quote is just a letter to look for.
        page()->findChild<QComboBox *>("cbb1")->setCurrentText("name");
        QTest::keyClicks(search, "O'Brien");
        QCOMPARE(shownNames(), QStringList({"O'Brien"}));
        QCOMPARE(m_p->prompt.notices, QStringList());
    }

    void photoAndSoundMarksAndShowPhoto()
    {
        QTableView *grid = page()->registry();
        auto *photo = page()->findChild<QLabel *>("lbhasphoto");
        auto *sound = page()->findChild<QLabel *>("lbhassound");
        const int annId = page()->pilots().pilotAt(0)->id;
        QVERIFY(QDir(m_dir.path()).mkpath("photos"));
        QFile file(page()->pilots().photoPath(annId));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("jpeg");
        file.close();
        QList<QUrl> opened;
        page()->setUrlOpener([&opened](const QUrl &url) {
            opened << url;
            return true;
        });

        const int nameColumn = page()->pilots().model()->fieldIndex("name");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, nameColumn)).center());
        QVERIFY(photo->isVisible());
        QVERIFY(!sound->isVisible());
        m_p->window->commands().action("pilotshowphoto")->trigger();
        QCOMPARE(opened, QList<QUrl>({QUrl::fromLocalFile(page()->pilots().photoPath(annId))}));

        // Bob has no photo: the mark goes and "Show photo" says so.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(3, nameColumn)).center());
        QVERIFY(!photo->isVisible());
        m_p->window->commands().action("pilotshowphoto")->trigger();
        QCOMPARE(opened.size(), 1);
        QCOMPARE(m_p->prompt.notices.size(), 1);
        QVERIFY(m_p->prompt.notices.first().startsWith("No photo of \"Bob\""));
    }
};

QTEST_MAIN(TestPilotsPage)
#include "tst_pilotspage.moc"
