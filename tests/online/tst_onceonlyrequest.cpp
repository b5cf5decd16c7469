// A once-only request reads an answer however the service frames it: by its
// length, in chunks, or up to the close; a broken answer is a failure.
#include "online/onceonlyrequest.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace lapvane;

Q_DECLARE_METATYPE(lapvane::OnceOnlyAnswer)

class TestOnceOnlyRequest : public QObject
{
    Q_OBJECT
private slots:
    void answerFraming_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces"); // written one by one, then the connection closes
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("failed");
        QTest::newRow("length") << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"}
                                << 200 << QByteArray("hello") << false;
        QTest::newRow("length in pieces")
            << QList<QByteArray>{"HTTP/1.1 201 Created\r\nConte", "nt-Length: 5\r\n\r\nhe", "llo"} << 201
            << QByteArray("hello") << false;
        QTest::newRow("chunks") << QList<QByteArray>{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                                     "4;x=1\r\n{\"ok\r\n",
                                                     "6\r\n\":true\r\n1\r\n}\r\n0\r\n\r\n"}
                                << 200 << QByteArray("{\"ok\":true}") << false;
        QTest::newRow("up to the close") << QList<QByteArray>{"HTTP/1.0 200 OK\r\n\r\nall of it"} << 200
                                         << QByteArray("all of it") << false;
        QTest::newRow("error status")
            << QList<QByteArray>{"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n"} << 502
            << QByteArray() << false;
        QTest::newRow("cut short") << QList<QByteArray>{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nhello"}
                                   << 0 << QByteArray() << true;
        QTest::newRow("chunks cut short")
            << QList<QByteArray>{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel"} << 0
            << QByteArray() << true;
        QTest::newRow("not http") << QList<QByteArray>{"SSH-2.0-x\r\n\r\n"} << 0 << QByteArray() << true;
        QTest::newRow("nothing") << QList<QByteArray>{} << 0 << QByteArray() << true;
    }
    void answerFraming()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, failed);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QByteArray request;
        connect(&server, &QTcpServer::pendingConnectionAvailable, this, [&] {
            QTcpSocket *s = server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s, &request, pieces] {
                request += s->readAll();
                if (!request.contains("\r\n\r\n{}"))
                    return;
                for (const QByteArray &p : pieces) {
                    s->write(p);
                    s->flush();
                    s->waitForBytesWritten(100);
                    QTest::qWait(10);
                }
                s->disconnectFromHost();
            });
        });
        auto *r = new OnceOnlyRequest(
            "POST", QUrl(QString("http://127.0.0.1:%1/a/b?x=%C3%A9").arg(server.serverPort())),
            {{"Content-Type", "application/json"}}, "{}", 3000, this);
        QSignalSpy finished(r, &OnceOnlyRequest::finished);
        QVERIFY(finished.wait(5000));
        const auto answer = finished.first().first().value<OnceOnlyAnswer>();
        QVERIFY(request.startsWith(
            QString("POST /a/b?x=%C3%A9 HTTP/1.1\r\nHost: 127.0.0.1:%1\r\nConnection: close\r\n")
                .arg(server.serverPort())
                .toLatin1()));
        QVERIFY(request.contains("\r\nContent-Type: application/json\r\nContent-Length: 2\r\n\r\n{}"));
        QCOMPARE(answer.failure != OnceOnlyAnswer::Failure::None, failed);
        QVERIFY(!failed || !answer.errorString.isEmpty());
        QCOMPARE(answer.status, status);
        QCOMPARE(answer.body, body);
        QTest::qWait(50);
        QCOMPARE(finished.size(), 1);
    }

    void silentServiceTimesOut()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        auto *r = new OnceOnlyRequest("GET", QUrl(QString("http://127.0.0.1:%1/").arg(server.serverPort())),
                                      {}, {}, 200, this);
        QSignalSpy finished(r, &OnceOnlyRequest::finished);
        QVERIFY(finished.wait(3000));
        QCOMPARE(finished.first().first().value<OnceOnlyAnswer>().failure, OnceOnlyAnswer::Failure::TimedOut);
    }
};

QTEST_GUILESS_MAIN(TestOnceOnlyRequest)
#include "tst_onceonlyrequest.moc"
