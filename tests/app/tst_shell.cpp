// The window as the program shows it on a first start: its size and place,
// the race page whole without scroll bars, the version, and the logos.
#include "app/logobar.h"
#include "app/startoptions.h"
#include "tests/app/programfixture.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace lapvane;
using lapvane::test::Program;

// Stands in for the desktop's browser and file viewer.
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestShell : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        for (const char *scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_opened, "open");
        m_opened.urls.clear();
    }
    void cleanup()
    {
        for (const char *scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }

    void firstStartCentredWithinTheScreen()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(p.window->geometry(), firstStartGeometry(available, p.window->minimumSize()));
        QCOMPARE(p.window->findChild<QLabel *>("lbversion")->text(), QStringLiteral("ver " LAPVANE_EXPECTED_VERSION));
        QVERIFY(!p.window->windowIcon().isNull());

    }

    // At the first-start size of a common screen, every control of the race
    // page is shown: its page does not scroll.
    void racePageWholeAtTheFirstStartSize()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        p.window->setGeometry(firstStartGeometry(QRect(0, 0, 1920, 1040), p.window->minimumSize()));
        QCOMPARE(p.window->size(), QSize(1280, 800));
        auto *area = p.window->findChild<QScrollArea *>("tsrace");
        QVERIFY(area);
        QTRY_COMPARE(area->widget()->size(), area->viewport()->size());
        QVERIFY(!area->horizontalScrollBar()->isVisible());
        QVERIFY(!area->verticalScrollBar()->isVisible());
    }

    void logos()
    {
        QTemporaryDir dir;
        Program p(dir.path());
        for (const char *name : {"img1", "img2", "Image4"}) {
            auto *logo = p.window->findChild<QToolButton *>(QLatin1String(name));
            QVERIFY2(logo && !logo->icon().isNull(), name);
        }
        // Our logos open the operator's README.
        p.window->findChild<QToolButton *>("img1")->click();
        p.window->findChild<QToolButton *>("img2")->click();
        QCOMPARE(m_opened.urls.size(), 2);
        QVERIFY(m_opened.urls.first().isLocalFile());
        QVERIFY(m_opened.urls.first().toLocalFile().endsWith("README.md"));
        QVERIFY(QFile::exists(m_opened.urls.first().toLocalFile()));

        // The registry logo: nothing while no address is set, its page once it is.
        m_opened.urls.clear();
        auto *registry = p.window->findChild<QToolButton *>("Image4");
        registry->click();
        QVERIFY(m_opened.urls.isEmpty());
        const bool defined = [] {
            for (const SettingDef &d : Settings::definitions())
                if (d.key == QLatin1String("AerolistUrl"))
                    return true;
            return false;
        }();
        if (defined) {
            for (const SettingDef &d : Settings::definitions())
                if (d.key == QLatin1String("AerolistUrl"))
                    p.ctx.settings.set(d.control, QStringLiteral("http://127.0.0.1:9/events"));
        } else {
            QVERIFY(p.ctx.ini->writeString("Aerolist", "AerolistUrl", "http://127.0.0.1:9/events"));
        }
        registry->click();
        QCOMPARE(m_opened.urls, QList<QUrl>({QUrl("http://127.0.0.1:9/events")}));
    }

private:
    OpenedUrls m_opened;
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
