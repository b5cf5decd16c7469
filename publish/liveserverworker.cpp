// The web server thread: requests, routes and the event feed.
#include "publish/liveserverworker.h"

#include "publish/htmlsfiles.h"

#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>

namespace lapvane {

namespace {

QByteArray readResource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

namespace {

constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    }
    return "Error";
}

QByteArray jsonBytes(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

} // namespace

// ---------------------------------------------------------------------------
// LiveHttpServer

bool LiveHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    m_worker.handle(request, socket);
    return true;
}

void LiveHttpServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    m_worker.handle(request, socket);
}

// ---------------------------------------------------------------------------
// LiveServerWorker

LiveServerWorker::LiveServerWorker(const LiveServer::Options &options, LiveServerCounters &counters)
    : m_options(options), m_counters(counters), m_keepAlive(this)
{
}

LiveServerWorker::~LiveServerWorker()
{
    // A connection held back has its signals again, so that it is let go
    // like every other.
    if (m_tcp) {
        for (QTcpSocket *socket : m_tcp->findChildren<QTcpSocket *>())
            socket->blockSignals(false);
    }
    // The HTTP server owns the listening socket and, through it, the connections.
    delete m_http;
}

bool LiveServerWorker::listen(QString *error, quint16 *port)
{
    auto resource = [](const QString &name) {
        QFile file(QStringLiteral(":/overlay/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // One file of words for both pages, put into each so that a page is one request.
    const QByteArray words = resource(QStringLiteral("words.js"));
    for (auto [name, page] : {std::pair{QStringLiteral("overlay.html"), &m_overlaySource},
                              std::pair{QStringLiteral("board.html"), &m_boardSource}}) {
        *page = resource(name);
        if (!words.isEmpty())
            page->replace("<script src=\"words.js\"></script>", "<script>\n" + words + "</script>");
    }
    setLanguage(m_options.language);

    m_http = new LiveHttpServer(*this);
    m_tcp = new GuardedTcpServer(m_options, m_counters, m_book, *this);
    if (!m_tcp->listen(m_options.address, m_options.port)) {
        *error = m_tcp->errorString();
        delete m_tcp;
        m_tcp = nullptr;
        delete m_http;
        m_http = nullptr;
        return false;
    }
    *port = m_tcp->serverPort();
    m_http->bind(m_tcp); // takes it as its child
    // Web socket upgrades are not offered: any that arrive are closed.
    connect(m_http, &QAbstractHttpServer::newWebSocketConnection, this, [this] {
        while (m_http->hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> ws = m_http->nextPendingWebSocketConnection();
            if (ws)
                ws->abort();
        }
    });
    m_keepAlive.setInterval(m_options.keepAliveMs);
    connect(&m_keepAlive, &QTimer::timeout, this, &LiveServerWorker::keepAlive);
    m_keepAlive.start();
    return true;
}

void LiveServerWorker::setLanguage(const QString &language)
{
    const QByteArray lang = language == QLatin1String("ru") ? "ru" : "en";
    m_overlay = QByteArray(m_overlaySource).replace("<html lang=\"en\">", "<html lang=\"" + lang + "\">");
    m_board = QByteArray(m_boardSource).replace("<html lang=\"en\">", "<html lang=\"" + lang + "\">");
}

void LiveServerWorker::setRace(const QJsonObject &race, bool running, qint64 clockMs)
{
    m_race = race;
    m_running = running;
    m_clockMs = clockMs;
    m_since.start();
}

QJsonObject LiveServerWorker::currentRace() const
{
    QJsonObject race = m_race;
    if (race.isEmpty())
        return QJsonObject{{QStringLiteral("state"), QStringLiteral("not started")},
                           {QStringLiteral("clockMs"), 0},
                           {QStringLiteral("pilots"), QJsonArray()}};
    if (m_running)
        race.insert(QStringLiteral("clockMs"), double(m_clockMs + m_since.elapsed()));
    return race;
}

void LiveServerWorker::handle(const QHttpServerRequest &request, QTcpSocket *socket)
{
    auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly);
    if (guard && !guard->requestCompleted())
        return; // too long: refused
    if (guard && guard->isSubscriber())
        return; // a feed connection asks nothing more
    LiveAsk ask;
    const auto method = request.method();
    ask.allowed = method == QHttpServerRequest::Method::Get || method == QHttpServerRequest::Method::Head;
    ask.headOnly = method == QHttpServerRequest::Method::Head;
    ask.close = request.value("Connection").toLower() == "close";
    ask.path = request.url().path(QUrl::FullyEncoded).toUtf8();
    ask.pilot = request.query().queryItemValue(QStringLiteral("pilot"));
    if (guard && guard->isHolding()) {
        // Earlier answers still wait to go out: this one follows them.
        guard->hold(ask);
        return;
    }
    answer(socket, ask);
}

void LiveServerWorker::answer(QTcpSocket *socket, const LiveAsk &ask)
{
    if (!ask.allowed) {
        Reply r{
            405, "text/plain; charset=utf-8", "Only GET and HEAD are served.\n", {{"Allow", "GET, HEAD"}}};
        send(socket, r, false, true);
        return;
    }
    bool subscribed = false;
    const Reply reply = route(ask, &subscribed);
    if (subscribed) {
        auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly);
        // The rest of the connections are kept for the pages and the data.
        QByteArray full;
        if (!ask.headOnly && m_counters.subscribers.load() >= m_options.maxSubscribers)
            full = "The live feed is full.\n";
        else if (!ask.headOnly && guard && !guard->isOnThisComputer() &&
                 m_book.feedsPerAddress.value(guard->address()) >= m_options.maxFeedsPerAddress)
            full = "This device has too many live feeds open.\n";
        if (!full.isEmpty()) {
            send(socket, {503, "text/plain; charset=utf-8", full, {{"Retry-After", "10"}}}, false, true);
            return;
        }
        subscribe(socket, ask.headOnly);
        if (guard && !ask.headOnly)
            guard->becomeSubscriber();
        return;
    }
    send(socket, reply, ask.headOnly, ask.close);
}

LiveServerWorker::Reply LiveServerWorker::route(const LiveAsk &ask, bool *subscribed)
{
    const QByteArray &path = ask.path;
    const QByteArray json = "application/json; charset=utf-8";
    if (isTraversal(path))
        return {400, "text/plain; charset=utf-8", "Bad request.\n", {}};
    if (path == "/api/events") {
        *subscribed = true;
        return {};
    }
    if (path == "/api/race")
        return {200, json, jsonBytes(currentRace()), {}};
    if (path == "/api/results") {
        return {200, json, m_results.isEmpty() ? QByteArray("{\"results\":[]}") : m_results, {}};
    }
    if (path == "/api/bracket")
        return {
            200, json, m_bracket.isEmpty() ? QByteArray("{\"stageId\":0,\"bracket\":null}") : m_bracket, {}};
    if (path == "/api/laps") {
        const QString &text = ask.pilot;
        bool digits = !text.isEmpty() && text.size() <= 9;
        for (const QChar ch : text)
            digits = digits && ch >= QLatin1Char('0') && ch <= QLatin1Char('9');
        if (!digits)
            return {400, json, "{\"error\":\"pilot must be a pilot id\"}", {}};
        const auto it = m_laps.constFind(text.toInt());
        if (it == m_laps.constEnd())
            return {404, json, "{\"error\":\"no such pilot in the race list\"}", {}};
        return {200, json, *it, {}};
    }
    if (path == "/overlay" || path == "/overlay/") {
        if (m_overlay.isEmpty())
            return {500, "text/plain; charset=utf-8", "The overlay page is missing from this build.\n", {}};
        return {200, "text/html; charset=utf-8", m_overlay, {}};
    }
    if (path == "/board" || path == "/board/") {
        if (m_board.isEmpty())
            return {500, "text/plain; charset=utf-8", "The board page is missing from this build.\n", {}};
        return {200, "text/html; charset=utf-8", m_board, {}};
    }
    if (path == "/overlay/mqttfeed.js" || path == "/overlay/mqtt.min.js") {
        // The pages' broker feed and the browser MQTT client it loads.
        static const QByteArray feed = readResource(QStringLiteral(":/overlay/mqttfeed.js"));
        static const QByteArray client = readResource(QStringLiteral(":/overlay/mqtt.min.js"));
        const QByteArray &body = path == "/overlay/mqttfeed.js" ? feed : client;
        if (body.isEmpty())
            return {404, "text/plain; charset=utf-8", "Not part of this build.\n", {}};
        return {200, "text/javascript; charset=utf-8", body, {{"Cache-Control", "max-age=3600"}}};
    }
    if (path == "/")
        return indexReply();
    if (path.startsWith("/api/"))
        return {404, json, "{\"error\":\"unknown\"}", {}};
    return fileReply(path);
}

LiveServerWorker::Reply LiveServerWorker::fileReply(const QByteArray &encodedPath)
{
    QString file;
    switch (resolveHtmlsFile(m_options.htmlsFolder, encodedPath, &file)) {
    case PathVerdict::BadRequest:
        return {400, "text/plain; charset=utf-8", "Bad request.\n", {}};
    case PathVerdict::NotFound:
        return {404, "text/plain; charset=utf-8", "Not found.\n", {}};
    case PathVerdict::Ok:
        break;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes)
        return {404, "text/plain; charset=utf-8", "Not found.\n", {}};
    const QByteArray content = f.readAll();
    return {200, contentTypeFor(file, content), content, {}};
}

LiveServerWorker::Reply LiveServerWorker::indexReply() const
{
    QByteArray html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                      "<title>Lapvane Admin</title></head><body>\n<h1>Lapvane Admin</h1>\n<ul>\n"
                      "<li><a href=\"/overlay\">Live race (overlay)</a></li>\n"
                      "<li><a href=\"/board\">Race board (big screen)</a></li>\n";
    // Only what is served, each linked by its name percent-encoded.
    for (const QString &page : servedPages(m_options.htmlsFolder))
        html += "<li><a href=\"" + htmlsHref(page) + "\">" + htmlEscaped(page) + "</a></li>\n";
    html += "</ul>\n<p>Data: <a href=\"/api/race\">/api/race</a>, <a href=\"/api/results\">/api/results</a>, "
            "<a href=\"/api/bracket\">/api/bracket</a>, /api/laps?pilot=ID, /api/events (Server-Sent "
            "Events)</p>\n</body></html>\n";
    return {200, "text/html; charset=utf-8", html, {}};
}

void LiveServerWorker::send(QTcpSocket *socket, const Reply &reply, bool headOnly, bool close)
{
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    out += "Content-Type: " + reply.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    out += "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
    for (const auto &[key, value] : reply.headers)
        out += key + ": " + value + "\r\n";
    if (close)
        out += "Connection: close\r\n";
    out += "\r\n";
    if (!headOnly)
        out += reply.body;
    ++m_counters.requests;
    socket->write(out);
    socket->flush();
    if (auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly))
        guard->wrote(out.size());
    if (close)
        socket->disconnectFromHost();
}

void LiveServerWorker::subscribe(QTcpSocket *socket, bool headOnly)
{
    QByteArray out = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
                     "Cache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n";
    if (headOnly) {
        ++m_counters.requests;
        out += "Content-Length: 0\r\n\r\n";
        socket->write(out);
        if (auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly))
            guard->wrote(out.size());
        return;
    }
    // No length: the feed runs until either side closes it. A reconnecting
    // client waits 2 s; its first message is the race as it stands.
    out += "Connection: close\r\n\r\nretry: 2000\n\n";
    const QJsonObject hello{{QStringLiteral("type"), QStringLiteral("race")},
                            {QStringLiteral("race"), currentRace()}};
    out += "id: " + QByteArray::number(m_nextId - 1) + "\ndata: " + jsonBytes(hello) + "\n\n";
    ++m_counters.requests;
    socket->write(out);
    socket->flush();
    if (auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly))
        guard->wrote(out.size());
    m_subscribers.append(socket);
}

bool LiveServerWorker::writeTo(QTcpSocket *socket, const QByteArray &bytes)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return false;
    if (socket->bytesToWrite() > m_options.maxBacklogBytes) {
        // The client stopped reading: it is dropped, the others go on.
        if (auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly))
            guard->drop();
        else
            socket->abort();
        return false;
    }
    socket->write(bytes);
    // Out now, not at the next turn of the event loop.
    socket->flush();
    if (auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly))
        guard->wrote(bytes.size());
    return true;
}

void LiveServerWorker::broadcast(const QJsonObject &message)
{
    const QByteArray bytes =
        "id: " + QByteArray::number(m_nextId++) + "\ndata: " + jsonBytes(message) + "\n\n";
    m_subscribers.removeIf([](const QPointer<QTcpSocket> &s) { return s.isNull(); });
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_subscribers)) {
        if (socket && writeTo(socket, bytes))
            ++m_counters.messagesSent;
    }
}

void LiveServerWorker::keepAlive()
{
    m_subscribers.removeIf([](const QPointer<QTcpSocket> &s) { return s.isNull(); });
    for (const QPointer<QTcpSocket> &socket : std::as_const(m_subscribers)) {
        if (socket)
            writeTo(socket, ": keep-alive\n\n");
    }
}

} // namespace lapvane
