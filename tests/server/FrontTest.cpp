// The server's request reader, its checks of who asks, its answer writer,
// and its queue of whole requests over real sockets on 127.0.0.1.
#include "HttpFront.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace vantora;

namespace {

// A connection to 127.0.0.1:port that has sent one GET of path.
int Send(int port, const std::string& path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    [[maybe_unused]] const ssize_t n = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
}

// Everything the server sends until it closes (at most 10 s), then closes.
std::string Read(int fd) {
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        out.append(buffer, std::size_t(n));
    ::close(fd);
    return out;
}

} // namespace

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
        QTest::newRow("POST without length") << QByteArray("POST / HTTP/1.1\r\n\r\n") << 411 << ""
                                             << "" << false << 0;
        QTest::newRow("POST over the cap")
            << QByteArray("POST / HTTP/1.1\r\nContent-Length: 4194305\r\n\r\n") << 413 << ""
            << "" << false << 0;
        QTest::newRow("two lengths")
            << QByteArray("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\na")
            << 400 << ""
            << "" << false << 0;
        QTest::newRow("signed length")
            << QByteArray("POST / HTTP/1.1\r\nContent-Length: +1\r\n\r\na") << 400 << ""
            << "" << false << 0;
        QTest::newRow("PUT") << QByteArray("PUT / HTTP/1.1\r\nContent-Length: 0\r\n\r\n") << 405
                             << ""
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

    void refusesForeignRequests_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("origin");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("keyed"); // the server was started with a key
        QTest::addColumn<int>("status");
        QTest::newRow("loopback name") << "127.0.0.1:47800"
                                       << ""
                                       << "" << false << 0;
        QTest::newRow("localhost, any case") << "LocalHost:1"
                                             << ""
                                             << "" << false << 0;
        QTest::newRow("IPv6 loopback") << "[::1]:47800"
                                       << ""
                                       << "" << false << 0;
        QTest::newRow("no Host (HTTP/1.0)") << ""
                                            << ""
                                            << "" << false << 0;
        QTest::newRow("configured name") << "analysis.example"
                                         << ""
                                         << "" << false << 0;
        QTest::newRow("rebound name") << "attacker.example:47800"
                                      << ""
                                      << "" << false << 421;
        QTest::newRow("name that only begins alike") << "localhost.attacker.example"
                                                     << ""
                                                     << "" << false << 421;
        QTest::newRow("own origin") << "127.0.0.1:47800"
                                    << "http://127.0.0.1:47800"
                                    << "" << false << 0;
        QTest::newRow("foreign origin") << "127.0.0.1:47800"
                                        << "http://attacker.example"
                                        << "" << false << 403;
        QTest::newRow("null origin") << "127.0.0.1:47800"
                                     << "null"
                                     << "" << false << 403;
        QTest::newRow("key given") << "localhost"
                                   << ""
                                   << "0123456789abcdef0123" << true << 0;
        QTest::newRow("key missing") << "localhost"
                                     << ""
                                     << "" << true << 403;
        QTest::newRow("key wrong") << "localhost"
                                   << ""
                                   << "0123456789abcdef0124" << true << 403;
    }
    void refusesForeignRequests() {
        QFETCH(QString, host);
        QFETCH(QString, origin);
        QFETCH(QString, key);
        QFETCH(bool, keyed);
        QFETCH(int, status);
        FrontPolicy policy;
        policy.Hosts = {"127.0.0.1", "localhost", "::1", "analysis.example"};
        if (keyed)
            policy.Key = "0123456789abcdef0123";
        RequestHead head;
        head.Host = host.toStdString();
        head.Origin = origin.toStdString();
        head.Key = key.toStdString();
        QCOMPARE(RefusalStatus(head, policy), status);
    }

    // Past the queue's bound a request is answered 503 with Retry-After at
    // once; on Stop the requests still waiting are answered too, and the
    // worker takes no other.
    void queueIsBoundedAndStopAnswersIt() {
        std::mutex lock;
        std::condition_variable changed;
        int started = 0;
        bool release = false;
        HttpFrontOptions options;
        options.Workers = 1;
        options.MaxWorkers = 1;
        options.MaxQueued = 1;
        auto front = std::make_unique<HttpFront>(
            [&](const RequestHead& head) {
                std::unique_lock guard(lock);
                ++started;
                changed.notify_all();
                changed.wait_for(guard, std::chrono::seconds(20), [&] { return release; });
                return FormatResponse(200, "done " + head.Path, false, false);
            },
            options);
        const int port = front->Bind("127.0.0.1", 0);
        QVERIFY(port > 0);
        std::thread runner([&] { front->Run(); });
        auto waitStarted = [&](int n) {
            std::unique_lock guard(lock);
            return changed.wait_for(guard, std::chrono::seconds(10), [&] { return started >= n; });
        };
        const int first = Send(port, "/first");
        QVERIFY(waitStarted(1));
        const int queued = Send(port, "/queued");
        // The queued request is in the queue once a third one finds it full.
        std::string refused;
        for (int attempt = 0; attempt < 50 && refused.find(" 503 ") == std::string::npos;
             ++attempt) {
            refused = Read(Send(port, "/third"));
            if (refused.find(" 503 ") == std::string::npos)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        QVERIFY2(refused.find("HTTP/1.1 503 ") == 0, refused.c_str());
        QVERIFY(refused.find("\r\nRetry-After: 5\r\n") != std::string::npos);
        front->Stop();
        {
            std::lock_guard guard(lock);
            release = true;
        }
        changed.notify_all();
        runner.join();
        front.reset();
        QVERIFY(Read(first).find("done /first") != std::string::npos);
        const std::string second = Read(queued);
        QVERIFY2(second.find("HTTP/1.1 503 ") == 0 && second.find("stopping") != second.npos,
                 second.c_str());
        QCOMPARE(started, 1);
    }

    // A POST's body arrives in pieces and the next request follows it on the
    // same connection: the handler sees the whole body, then the next request.
    void postBodyIsWaitedForThenTheNextRequest() {
        std::mutex lock;
        std::vector<std::string> seen;
        auto front = std::make_unique<HttpFront>([&](const RequestHead& head) {
            std::lock_guard guard(lock);
            seen.push_back(head.Method + " " + head.Path + " [" + head.Body + "]");
            return FormatResponse(200, "seen " + std::to_string(seen.size()), head.KeepAlive,
                                  false);
        });
        const int port = front->Bind("127.0.0.1", 0);
        QVERIFY(port > 0);
        std::thread runner([&] { front->Run(); });
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const std::string body = "http://a.example/1\nhttp://a.example/2\n";
        const std::string pieces[] = {
            "POST /submit HTTP/1.1\r\nHost: h\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\n\r\n" + body.substr(0, 7),
            body.substr(7), "GET /after HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n"};
        for (const std::string& piece : pieces) {
            QCOMPARE(::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL), ssize_t(piece.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const std::string answers = Read(fd);
        front->Stop();
        runner.join();
        QVERIFY2(answers.find("seen 1") != std::string::npos &&
                     answers.find("seen 2") != std::string::npos,
                 answers.c_str());
        QCOMPARE(seen, (std::vector<std::string>{"POST /submit [" + body + "]", "GET /after []"}));
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
