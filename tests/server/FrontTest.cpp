// The server's request reader and answer writer, without sockets.
#include "HttpFront.h"

#include <QtTest>

using namespace vantora;

class FrontTest : public QObject {
    Q_OBJECT
  private slots:
    void readsRequestHeads_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status"); // 0 whole, -1 incomplete, else the error
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<int>("consumed");
        const QByteArray get = "GET /cgi-bin/a%20b.cgi?url=x%20y&k=1 HTTP/1.1\r\nHost: h\r\n\r\n";
        QTest::newRow("whole") << get << 0 << "/cgi-bin/a b.cgi"
                               << "url=x%20y&k=1" << true << int(get.size());
        QTest::newRow("pipelined") << get + "GET /" << 0 << "/cgi-bin/a b.cgi"
                                   << "url=x%20y&k=1" << true << int(get.size());
        QTest::newRow("head not ended") << get.left(get.size() - 2) << -1 << ""
                                        << "" << false << 0;
        QTest::newRow("bare LF lines") << QByteArray("GET /x HTTP/1.1\nA: b\n\n") << 0 << "/x"
                                       << "" << true << 22;
        QTest::newRow("blank line first") << QByteArray("\r\nGET /x HTTP/1.1\r\n\r\n") << 0 << "/x"
                                          << "" << true << 21;
        QTest::newRow("asks to close")
            << QByteArray("GET /x HTTP/1.1\r\nconnection: Close\r\n\r\n") << 0 << "/x"
            << "" << false << 38;
        QTest::newRow("HTTP/1.0") << QByteArray("GET /x HTTP/1.0\r\n\r\n") << 0 << "/x"
                                  << "" << false << 19;
        QTest::newRow("HTTP/1.0 kept alive")
            << QByteArray("HEAD /x HTTP/1.0\r\nConnection: keep-alive\r\n\r\n") << 0 << "/x"
            << "" << true << 44;
        QTest::newRow("raw CR") << QByteArray("GET /a\rb HTTP/1.1\r\n\r\n") << 400 << ""
                                << "" << false << 0;
        QTest::newRow("raw CR before the end") << QByteArray("GET /a\rb HTTP/1.1") << -1 << ""
                                               << "" << false << 0;
        QTest::newRow("second question mark")
            << QByteArray("GET /a?b?c HTTP/1.1\r\n\r\n") << 400 << ""
            << "" << false << 0;
        QTest::newRow("long request line, not ended")
            << "GET /" + QByteArray(8200, 'a') << 414 << ""
            << "" << false << 0;
        QTest::newRow("head over 64 KB")
            << "GET / HTTP/1.1\r\n" + QByteArray(70000, 'h') << 431 << ""
            << "" << false << 0;
        QTest::newRow("body") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc") << 400
                              << ""
                              << "" << false << 0;
        QTest::newRow("chunked") << QByteArray(
                                        "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")
                                 << 400 << ""
                                 << "" << false << 0;
        QTest::newRow("POST") << QByteArray("POST / HTTP/1.1\r\n\r\n") << 405 << ""
                              << "" << false << 0;
        QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << 400 << ""
                                    << "" << false << 0;
        QTest::newRow("absolute target")
            << QByteArray("GET http://x/ HTTP/1.1\r\n\r\n") << 400 << ""
            << "" << false << 0;
        QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\n more\r\n\r\n") << 400 << ""
                                       << "" << false << 0;
    }
    void readsRequestHeads() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QFETCH(QString, path);
        QFETCH(QString, query);
        QFETCH(bool, keepAlive);
        QFETCH(int, consumed);
        const HeadParse parsed =
            ParseRequestHead(std::string_view(bytes.constData(), bytes.size()));
        if (status == -1) {
            QCOMPARE(int(parsed.Status), int(HeadStatus::Incomplete));
            return;
        }
        if (status > 0) {
            QCOMPARE(int(parsed.Status), int(HeadStatus::Bad));
            QCOMPARE(parsed.ErrorStatus, status);
            return;
        }
        QCOMPARE(int(parsed.Status), int(HeadStatus::Complete));
        QCOMPARE(QString::fromStdString(parsed.Head.Path), path);
        QCOMPARE(QString::fromStdString(parsed.Head.Query), query);
        QCOMPARE(parsed.Head.KeepAlive, keepAlive);
        QCOMPARE(int(parsed.Consumed), consumed);
    }

    void answersHoldNoLineBreak() {
        const std::string answer = FormatResponse(200, "A\r\nB\nC<br>", true, false);
        QCOMPARE(QString::fromStdString(answer),
                 QStringLiteral(
                     "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
                     "Content-Length: 10\r\nCache-Control: no-store\r\nX-Vantora-Server: 1\r\n"
                     "Connection: keep-alive\r\n\r\nA  B C<br>"));
        const std::string head = FormatResponse(404, "gone", false, true);
        QVERIFY(head.find("Content-Length: 4\r\n") != std::string::npos);
        QVERIFY(head.find("Connection: close\r\n\r\n") == head.size() - 21);
    }
};

QTEST_GUILESS_MAIN(FrontTest)
#include "FrontTest.moc"
