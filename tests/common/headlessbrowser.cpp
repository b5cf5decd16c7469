// Headless Chromium, started the same way for every page test.
#include "tests/common/headlessbrowser.h"

#include "tests/common/loopback.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

namespace lapvane::test {

namespace {

// Starts the browser on the profile, quiet on the network (it talks to
// nothing but the pages it is given); false with the reason in *why.
bool launch(QProcess &process, const QString &profile, const QStringList &arguments, QString *why)
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty()) {
        *why = QStringLiteral("chromium is needed for this test (scripts/packages.sh installs it)");
        return false;
    }
    process.start(chromium,
                  QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                              "--no-first-run", "--disable-background-networking",
                              "--disable-component-update", "--disable-sync", "--user-data-dir=" + profile} +
                      arguments);
    if (!process.waitForStarted(20000)) {
        *why = QStringLiteral("chromium did not start");
        return false;
    }
    return true;
}

} // namespace

bool DevToolsPage::open(const QString &url)
{
    m_socket.open(QUrl(url));
    QSignalSpy connected(&m_socket, &QWebSocket::connected);
    QObject::connect(&m_socket, &QWebSocket::textMessageReceived, &m_socket, [this](const QString &text) {
        m_replies << QJsonDocument::fromJson(text.toUtf8()).object();
    });
    return connected.wait(20000);
}

QJsonObject DevToolsPage::call(const QString &method, const QJsonObject &params)
{
    const int id = ++m_nextId;
    const QJsonObject call{{"id", id}, {"method", method}, {"params", params}};
    m_socket.sendTextMessage(QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact)));
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        for (int i = 0; i < m_replies.size(); ++i) {
            if (m_replies.at(i).value("id").toInt() == id)
                return m_replies.takeAt(i).value("result").toObject();
        }
        QTest::qWait(20);
    }
    return {};
}

QJsonValue DevToolsPage::evaluate(const QString &expression)
{
    return call("Runtime.evaluate", QJsonObject{{"expression", expression}, {"returnByValue", true}})
        .value("result")
        .toObject()
        .value("value");
}

void DevToolsPage::resize(int width, int height)
{
    call("Emulation.setDeviceMetricsOverride",
         QJsonObject{{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}});
}

bool DevToolsPage::waitFor(const QString &expression, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (evaluate(expression).toBool())
            return true;
        QTest::qWait(50);
    }
    return false;
}

HeadlessBrowser::~HeadlessBrowser()
{
    m_process.kill();
    m_process.waitForFinished(10000);
}

QString HeadlessBrowser::renderedDom(const QString &file, QString *why)
{
    QTemporaryDir profile;
    QProcess p;
    if (!launch(p, profile.path(), {"--dump-dom", QUrl::fromLocalFile(file).toString()}, why))
        return {};
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        *why = QStringLiteral("chromium did not finish the page");
        return {};
    }
    const QString dom = QString::fromUtf8(p.readAllStandardOutput());
    if (dom.isEmpty())
        *why = QStringLiteral("the browser gave no document: ") + QString::fromUtf8(p.readAllStandardError());
    return dom;
}

bool HeadlessBrowser::open(const QString &url, QString *why)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    if (!launch(
            m_process, m_profile.path(),
            {"--hide-scrollbars", "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0", url},
            why))
        return false;
    // The browser writes its DevTools port into the profile folder.
    const QString portFile = m_profile.filePath("DevToolsActivePort");
    QDeadlineTimer deadline(60000);
    while (!(QFile::exists(portFile) && QFileInfo(portFile).size() > 0) && !deadline.hasExpired())
        QTest::qWait(50);
    QFile file(portFile);
    const quint16 devPort = file.open(QIODevice::ReadOnly) ? quint16(file.readLine().trimmed().toUInt()) : 0;
    QString pageUrl;
    while (devPort > 0 && pageUrl.isEmpty() && !deadline.hasExpired()) {
        // The browser builds the page's address from the Host header.
        const HttpReply list =
            rawRequest(devPort, "GET /json/list HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(devPort) +
                                    "\r\nConnection: close\r\n\r\n");
        for (const QJsonValue &v : QJsonDocument::fromJson(list.body).array()) {
            const QJsonObject target = v.toObject();
            if (target.value("type").toString() == "page" && target.value("url").toString() == url)
                pageUrl = target.value("webSocketDebuggerUrl").toString();
        }
        if (pageUrl.isEmpty())
            QTest::qWait(100);
    }
    if (!pageUrl.startsWith("ws://127.0.0.1:")) {
        *why = "no DevTools page: " + QString::fromUtf8(m_process.readAll());
        return false;
    }
    return page.open(pageUrl);
}

} // namespace lapvane::test
