// "Board" on the Race page and the language of the live pages on the
// Settings page: the board opens in the default browser at the server's own
// address, a server that is off is said so in the log, and the language
// chosen is the one the pages are served in.
#include "app/mainwindow.h"
#include "publish/liveservice.h"
#include "tests/app/programfixture.h"
#include "tests/common/logcapture.h"
#include "tests/common/loopback.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using lapvane::test::freeLoopbackPort;
using lapvane::test::get;
using lapvane::test::LogCapture;
using lapvane::test::Program;

namespace {

// Stands in for the default browser.
class BrowserStandIn : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

class TestBoardButton : public QObject
{
    Q_OBJECT
private slots:
    void boardOpensTheServersBoardInItsLanguage()
    {
        BrowserStandIn browser;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
        QTemporaryDir dir;
        Program p(dir.path());
        LogCapture log(p.ctx.log);
        auto *board = p.window->findChild<QPushButton *>(QStringLiteral("btnboard"));
        QVERIFY(board);
        QCOMPARE(board->text(), QStringLiteral("Board"));

        // The server is off: nothing opens, the log says why.
        board->click();
        QVERIFY(browser.opened.isEmpty());
        QVERIFY(log.lines.last().contains(QStringLiteral("web server is off")));

        const quint16 port = freeLoopbackPort();
        p.window->findChild<QSpinBox *>(QStringLiteral("edwwwserverport"))->setValue(port);
        p.window->findChild<QCheckBox *>(QStringLiteral("chwwwserver"))->click();
        QVERIFY(p.window->liveService()->isRunning());
        board->click();
        QCOMPARE(browser.opened, QList<QUrl>({QUrl(QStringLiteral("http://127.0.0.1:%1/board").arg(port))}));
        QVERIFY(get(port, "/board").body.contains("<html lang=\"en\">"));

        // A new installation has English; Russian chosen, the pages follow.
        auto *language = p.window->findChild<QComboBox *>(QStringLiteral("cbpageslanguage"));
        QVERIFY(language);
        QCOMPARE(language->currentData().toString(), QStringLiteral("en"));
        const int ru = language->findData(QStringLiteral("ru"));
        QVERIFY(ru >= 0);
        language->setCurrentIndex(ru);
        emit language->activated(ru);
        QCOMPARE(p.ctx.settings.text(QStringLiteral("cbpageslanguage")), QStringLiteral("ru"));
        QVERIFY(get(port, "/board").body.contains("<html lang=\"ru\">"));
        QVERIFY(get(port, "/overlay").body.contains("<html lang=\"ru\">"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }
};

QTEST_MAIN(TestBoardButton)
#include "tst_boardbutton.moc"
