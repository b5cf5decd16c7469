// Headless Chromium for the page tests: the document a file parses to, and a
// live page driven through the DevTools protocol on 127.0.0.1.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <QWebSocket>

namespace lapvane::test {

// One page of the browser, driven by Runtime.evaluate.
class DevToolsPage
{
public:
    bool open(const QString &url);

    // The result of a DevTools method.
    QJsonObject call(const QString &method, const QJsonObject &params);
    // The value of a JavaScript expression, or an invalid value.
    QJsonValue evaluate(const QString &expression);
    // The page as a screen of this size shows it.
    void resize(int width, int height);
    // Polls the expression until it is true.
    bool waitFor(const QString &expression, int timeoutMs = 30000);

private:
    QWebSocket m_socket;
    QList<QJsonObject> m_replies;
    int m_nextId = 0;
};

// One browser on a profile of its own, killed with this object.
class HeadlessBrowser
{
public:
    ~HeadlessBrowser();

    // The document of a file on disk as the browser parsed it, serialised
    // again; empty, with the reason in *why, when the browser gave none.
    static QString renderedDom(const QString &file, QString *why);

    // Opens the address and connects `page` to it; false with the reason in *why.
    bool open(const QString &url, QString *why);

    DevToolsPage page;

private:
    QTemporaryDir m_profile;
    QProcess m_process;
};

} // namespace lapvane::test
