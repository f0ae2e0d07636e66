// The request transport over the real HTTP client against a local server.
#include "Endpoints.h"
#include "HttpFixture.h"
#include "QtHttpClient.h"
#include "Transport.h"

#include <QtTest>

#include <optional>

using namespace vantora;
using namespace vantora::test;

namespace {

class RecordingHost : public TransportHost {
  public:
    QStringList Statuses;
    QList<bool> Busy;
    int Modified = 0;
    void SetStatus(const QString& text) override {
        if (Statuses.isEmpty() || Statuses.last() != text)
            Statuses << text;
    }
    void SetBusy(bool on) override { Busy << on; }
    void SetProjectModified() override { ++Modified; }
    QString Last() const { return Statuses.value(Statuses.size() - 1); }
};

// One transport wired to a local server, with every tool's answers recorded.
struct Rig {
    HttpFixture Server;
    QtHttpClient Client;
    RecordingHost Host;
    Transport Net{Client, Host};
    QList<QPair<int, QString>> Handed; // (tag, answer) in hand-over order

    Rig() {
        for (int tag = 1; tag <= 5; ++tag)
            Net.SetAnswerStep(tag, [this, tag] {
                QCOMPARE(Net.PendingAnswers(tag).size(), 1);
                Handed.append({tag, Net.PendingAnswers(tag).first()});
            });
    }
    QString Url(const QString& path) const {
        return QStringLiteral("http://") + Server.Address() + path;
    }
    void Queue(int tag, const QString& path) { Net.Append(tag, Url(path)); }
    void Run(const QString& proxy = QString(), int proxyPort = 0) {
        QVERIFY(Net.TransportIdle);
        Net.StartNextRequest(proxy, proxyPort);
    }
    bool WaitIdle(int ms = 10000) {
        QDeadlineTimer deadline(ms);
        while (!Net.TransportIdle && !deadline.hasExpired())
            QTest::qWait(10);
        return Net.TransportIdle;
    }
};

FixtureReply ByPath(const QString& target) {
    const QString path = QUrl(target).path();
    return FixtureReply::Ok(("answer " + path).toUtf8());
}

} // namespace

class TestTransport : public QObject {
    Q_OBJECT
  private slots:
    void threeRequestsInOrderCountingDown();
    void secondToolWaitsBehindFirst();
    void answerText_data();
    void answerText();
    void timeoutOfSecondDropsRest();
    void failuresDropQueue_data();
    void failuresDropQueue();
    void htmlAnswerDropsQueue();
    void bulletinTagsReachNoTool();
    void stopWhileIdle();
    void stopWhileBusyReturnsToIdle();
    void stopWithSilentClient();
    void redirectsFollowed();
    void proxyUsedOnlyWhenNamed();
    void ownServerStartingIsWaitedFor_data();
    void ownServerStartingIsWaitedFor();
    void postBesideTheTransfers_data();
    void postBesideTheTransfers();
};

void TestTransport::threeRequestsInOrderCountingDown() {
    Rig rig;
    rig.Server.Script = ByPath;
    for (int i = 1; i <= 3; ++i)
        rig.Queue(3, QStringLiteral("/p%1").arg(i));
    rig.Run();
    QVERIFY(!rig.Net.TransportIdle);
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Handed.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(rig.Handed[i].first, 3);
        QCOMPARE(rig.Handed[i].second, QStringLiteral("answer /p%1").arg(i + 1));
    }
    QStringList waiting;
    for (const QString& s : rig.Host.Statuses)
        if (s.startsWith(QLatin1String("Requesting")))
            waiting << s;
    QCOMPARE(waiting, QStringList({"Requesting data from Rankscout (3 request(s) remaining)",
                                   "Requesting data from Rankscout (2 request(s) remaining)",
                                   "Requesting data from Rankscout (1 request(s) remaining)"}));
    QVERIFY(rig.Host.Statuses.contains(QStringLiteral("Received 10 bytes.")));
    QCOMPARE(rig.Host.Last(), QStringLiteral("Data connection closed."));
    QCOMPARE(rig.Host.Modified, 3);
    QVERIFY(rig.Net.RequestQueue.isEmpty());
    QCOMPARE(rig.Host.Busy.last(), false);
}

void TestTransport::secondToolWaitsBehindFirst() {
    Rig rig;
    rig.Server.Script = ByPath;
    rig.Queue(1, QStringLiteral("/w1"));
    rig.Queue(1, QStringLiteral("/w2"));
    // The second tool starts while the first tool's first answer is being
    // handled: it finds the transport busy and only appends.
    bool sawBusy = false;
    rig.Net.SetAnswerStep(1, [&] {
        rig.Handed.append({1, rig.Net.PendingAnswers(1).first()});
        if (rig.Handed.size() == 1) {
            sawBusy = !rig.Net.TransportIdle;
            rig.Queue(2, QStringLiteral("/s1"));
        }
    });
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QVERIFY(sawBusy);
    QCOMPARE(rig.Server.Targets, QStringList({"/w1", "/w2", "/s1"}));
    QCOMPARE(rig.Handed.size(), 3);
    QCOMPARE(rig.Handed[2], qMakePair(2, QStringLiteral("answer /s1")));
    QVERIFY(rig.Host.Statuses.contains(
        QStringLiteral("Requesting data from the Stuffwatch (1 request(s) remaining)")));
    QVERIFY(rig.Host.Statuses.contains(
        QStringLiteral("Requesting data from the Wordweigh (2 request(s) remaining)")));
}

void TestTransport::answerText_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("handed");
    QTest::newRow("crlf and tabs") << QByteArray("WW\r\nline one<br>\r\n\tline two\r\n")
                                   << QStringLiteral("WWline one<br>line two");
    QTest::newRow("lower-case page tag passes") << QByteArray("<html><body>x</body></html>")
                                                << QStringLiteral("<html><body>x</body></html>");
    QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x80\xa2")
                           << QStringLiteral("caf\u00e9 \u2022");
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(char(i));
    QString expected;
    for (QChar c : QString::fromUtf8(binary))
        if (c.unicode() > 31)
            expected.append(c);
    QTest::newRow("binary bytes") << binary << expected;
    const QByteArray big = QByteArray("SW").append(QByteArray(3 * 1024 * 1024, 'x'));
    QTest::newRow("megabytes") << big << QString::fromLatin1(big);
}

void TestTransport::answerText() {
    QFETCH(QByteArray, body);
    QFETCH(QString, handed);
    Rig rig;
    rig.Server.Script = [body](const QString&) { return FixtureReply::Ok(body); };
    rig.Queue(2, QStringLiteral("/a"));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Handed.size(), 1);
    QCOMPARE(rig.Handed[0].second.size(), handed.size());
    QVERIFY(rig.Handed[0].second == handed);
    QCOMPARE(rig.Host.Last(), QStringLiteral("Data connection closed."));
}

void TestTransport::timeoutOfSecondDropsRest() {
    Rig rig;
    rig.Client.TimeoutMs = 300;
    rig.Server.Script = [](const QString& target) {
        if (target == QLatin1String("/2"))
            return FixtureReply{{}, true, false};
        return ByPath(target);
    };
    for (int i = 1; i <= 3; ++i)
        rig.Queue(5, QStringLiteral("/%1").arg(i));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Host.Last(), QStringLiteral("Server error, 2 request(s) have been canceled."));
    QCOMPARE(rig.Handed.size(), 1);
    QCOMPARE(rig.Handed[0].second, QStringLiteral("answer /1"));
    QTest::qWait(100);
    QCOMPARE(rig.Server.Targets, QStringList({"/1", "/2"}));
    QVERIFY(rig.Net.RequestQueue.isEmpty());
    QCOMPARE(rig.Host.Busy.last(), false);
}

void TestTransport::failuresDropQueue_data() {
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("closeEarly");
    QTest::addColumn<qint64>("maxBytes");
    QTest::newRow("closes mid-answer")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\nonly the start") << true
        << qint64(1 << 20);
    QTest::newRow("closes before answering") << QByteArray() << true << qint64(1 << 20);
    QTest::newRow("garbage instead of HTTP")
        << QByteArray("\x01\x02\xff\xfe garbage\r\n\r\n") << true << qint64(1 << 20);
    QTest::newRow("server error status")
        << FixtureReply::Status(500, {}, "oops").Raw << false << qint64(1 << 20);
    QTest::newRow("not found status")
        << FixtureReply::Status(404, {}, "gone").Raw << false << qint64(1 << 20);
    QTest::newRow("larger than allowed")
        << FixtureReply::Ok(QByteArray(50000, 'y')).Raw << false << qint64(10000);
}

void TestTransport::failuresDropQueue() {
    QFETCH(QByteArray, raw);
    QFETCH(bool, closeEarly);
    QFETCH(qint64, maxBytes);
    Rig rig;
    rig.Client.MaxAnswerBytes = maxBytes;
    rig.Server.Script = [&](const QString& target) {
        if (target == QLatin1String("/ok"))
            return FixtureReply::Ok("fine");
        return FixtureReply{raw, false, closeEarly};
    };
    rig.Queue(4, QStringLiteral("/bad"));
    rig.Queue(4, QStringLiteral("/ok"));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Host.Last(), QStringLiteral("Server error, 2 request(s) have been canceled."));
    QVERIFY(rig.Handed.isEmpty());
    QCOMPARE(rig.Host.Modified, 0);
    // The transport is usable again afterwards.
    rig.Queue(4, QStringLiteral("/ok"));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Handed.size(), 1);
    QCOMPARE(rig.Handed[0].second, QStringLiteral("fine"));
}

void TestTransport::htmlAnswerDropsQueue() {
    Rig rig;
    rig.Server.Script = [](const QString&) {
        return FixtureReply::Ok("<HTML><BODY>Internal error</BODY></HTML>");
    };
    for (int i = 1; i <= 3; ++i)
        rig.Queue(1, QStringLiteral("/%1").arg(i));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Host.Last(), QStringLiteral("Server error, 3 request(s) have been canceled."));
    QVERIFY(rig.Handed.isEmpty());
    QVERIFY(rig.Net.PendingAnswers(1).isEmpty());
    QTest::qWait(100);
    QCOMPARE(rig.Server.Targets, QStringList({"/1"}));
}

void TestTransport::bulletinTagsReachNoTool() {
    Rig rig;
    rig.Server.Script = ByPath;
    rig.Host.SetStatus(QStringLiteral("Connected."));
    rig.Net.Append(StopRankscoutBulletinsTag,
                   StopRankscoutBulletinsUrl(rig.Server.Address(), "u1", "www.example.org"));
    rig.Net.Append(StopBackwatchBulletinsTag,
                   StopBackwatchBulletinsUrl(rig.Server.Address(), "u1", "www.example.org"));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Server.Targets.size(), 2);
    QVERIFY(rig.Handed.isEmpty());
    QCOMPARE(rig.Host.Modified, 0);
    for (int tag = 1; tag <= 5; ++tag)
        QVERIFY(rig.Net.PendingAnswers(tag).isEmpty());
    for (const QString& s : rig.Host.Statuses)
        QVERIFY2(!s.startsWith(QLatin1String("Requesting")), qPrintable(s));
    QCOMPARE(rig.Host.Last(), QStringLiteral("Data connection closed."));
}

void TestTransport::stopWhileIdle() {
    Rig rig;
    rig.Net.Stop();
    QVERIFY(rig.Net.StopRequested);
    QVERIFY(rig.Net.RequestQueue.isEmpty());
    QVERIFY(rig.Net.TransportIdle);
}

void TestTransport::stopWhileBusyReturnsToIdle() {
    Rig rig;
    rig.Server.Script = [](const QString& target) {
        if (target == QLatin1String("/hang"))
            return FixtureReply{{}, true, false};
        return ByPath(target);
    };
    rig.Queue(1, QStringLiteral("/hang"));
    rig.Queue(1, QStringLiteral("/next"));
    rig.Run();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Server.Targets.isEmpty(), 5000);
    rig.Net.Stop();
    QVERIFY(rig.Net.TransportIdle);
    QVERIFY(rig.Net.StopRequested);
    QVERIFY(rig.Net.RequestQueue.isEmpty());
    QCOMPARE(rig.Host.Last(), QStringLiteral("Data connection closed."));
    QCOMPARE(rig.Host.Busy.last(), false);
    rig.Queue(1, QStringLiteral("/after"));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Handed.size(), 1);
    QCOMPARE(rig.Handed[0].second, QStringLiteral("answer /after"));
    QVERIFY(!rig.Server.Targets.contains(QStringLiteral("/next")));
}

namespace {
// A client that never reports a cancellation.
class SilentClient : public HttpClient {
  public:
    void SetProxy(bool, const QString&, int) override {}
    void GetDoc(const QString&) override { InFlight = true; }
    void Cancel() override { InFlight = false; }
    bool Busy() const override { return InFlight; }
    bool InFlight = false;
};
} // namespace

void TestTransport::stopWithSilentClient() {
    SilentClient client;
    RecordingHost host;
    Transport net(client, host);
    net.Append(1, QStringLiteral("http://127.0.0.1:1/x"));
    net.StartNextRequest(QString(), 0);
    QVERIFY(!net.TransportIdle);
    net.Stop();
    QVERIFY(net.TransportIdle);
    QVERIFY(net.RequestQueue.isEmpty());
    QCOMPARE(host.Busy.value(host.Busy.size() - 1, true), false);
}

void TestTransport::redirectsFollowed() {
    Rig rig;
    rig.Server.Script = [&rig](const QString& target) {
        if (target == QLatin1String("/moved"))
            return FixtureReply::Status(
                302, "Location: " + rig.Url(QStringLiteral("/final")).toLatin1() + "\r\n", "");
        return ByPath(target);
    };
    rig.Queue(5, QStringLiteral("/moved"));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Handed.size(), 1);
    QCOMPARE(rig.Handed[0].second, QStringLiteral("answer /final"));
}

void TestTransport::proxyUsedOnlyWhenNamed() {
    ProxyFixture proxy;
    Rig rig;
    rig.Server.Script = ByPath;
    rig.Queue(2, QStringLiteral("/via-proxy"));
    rig.Run(QStringLiteral("127.0.0.1"), proxy.Port());
    QVERIFY(rig.WaitIdle());
    QCOMPARE(proxy.Forwarded, QStringList({rig.Url(QStringLiteral("/via-proxy"))}));
    QCOMPARE(rig.Handed.size(), 1);
    QCOMPARE(rig.Handed[0].second, QStringLiteral("answer /via-proxy"));

    rig.Queue(2, QStringLiteral("/direct"));
    rig.Run();
    QVERIFY(rig.WaitIdle());
    QCOMPARE(proxy.Forwarded.size(), 1);
    QCOMPARE(rig.Server.Targets.last(), QStringLiteral("/direct"));
    QCOMPARE(rig.Handed.size(), 2);
}

void TestTransport::ownServerStartingIsWaitedFor_data() {
    QTest::addColumn<bool>("own");
    QTest::addColumn<int>("retryMs");
    QTest::addColumn<bool>("serverComes");
    QTest::newRow("the program's own server, still starting") << true << 10000 << true;
    QTest::newRow("the program's own server, never coming") << true << 300 << false;
    QTest::newRow("another server, absent") << false << 10000 << true;
}

// A request sent while the program's own analysis server is still starting
// (or being started again) waits for it; any other refused address fails
// at once.
void TestTransport::ownServerStartingIsWaitedFor() {
    QFETCH(bool, own);
    QFETCH(int, retryMs);
    QFETCH(bool, serverComes);
    quint16 port = 0;
    {
        QTcpServer free;
        QVERIFY(free.listen(QHostAddress::LocalHost, 0));
        port = free.serverPort();
    }
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    QtHttpClient client;
    client.RefusedRetryMs = retryMs;
    RecordingHost host;
    Transport net(client, host);
    QStringList handed;
    net.SetAnswerStep(1, [&] { handed << net.PendingAnswers(1).value(0); });
    if (own)
        client.SetServerKey(address, "secret");
    net.Append(1, QStringLiteral("http://") + address + QStringLiteral("/wordweigh"));
    net.StartNextRequest(QString(), 0);
    QTest::qWait(700); // refused several times meanwhile
    const bool waiting = own && serverComes;
    QCOMPARE(net.TransportIdle, !waiting);
    QCOMPARE(client.Busy(), waiting);
    std::optional<HttpFixture> server;
    if (serverComes) {
        server.emplace(port);
        server->Script = ByPath;
    }
    QDeadlineTimer deadline(10000);
    while (!net.TransportIdle && !deadline.hasExpired())
        QTest::qWait(10);
    QVERIFY(net.TransportIdle);
    if (waiting) {
        QCOMPARE(handed, QStringList{QStringLiteral("answer /wordweigh")});
    } else {
        QVERIFY(handed.isEmpty());
        QCOMPARE(host.Last(), QStringLiteral("Server error, 1 request(s) have been canceled."));
        if (server)
            QVERIFY(server->Targets.isEmpty());
    }
}

void TestTransport::postBesideTheTransfers_data() {
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<int>("status");
    QTest::newRow("accepted") << true << 200;
    QTest::newRow("refused by the server") << true << 502;
    QTest::newRow("no server") << false << 0;
}

// A post carries its body and the program's server key, runs beside a tool
// request in flight, and reports the answer's status and body, or why none came.
void TestTransport::postBesideTheTransfers() {
    QFETCH(bool, serverUp);
    QFETCH(int, status);
    Rig rig;
    rig.Server.Script = [&](const QString& target) {
        if (target.startsWith(QLatin1String("/cgi-bin/zeph/indexnow-pt.cgi")))
            return FixtureReply::Status(status, {}, "answer " + QByteArray::number(status));
        return ByPath(target);
    };
    quint16 absent = 0;
    {
        QTcpServer free;
        QVERIFY(free.listen(QHostAddress::LocalHost, 0));
        absent = free.serverPort();
    }
    const QString address =
        serverUp ? rig.Server.Address() : QStringLiteral("127.0.0.1:%1").arg(absent);
    rig.Client.SetServerKey(rig.Server.Address(), "secret");
    rig.Queue(1, QStringLiteral("/tool"));
    rig.Run();
    const QByteArray body = "http://site.test/a\nhttp://site.test/b\n";
    int gotStatus = -1;
    QByteArray answer;
    QString error;
    rig.Client.Post(IndexNowBatchUrl(address), body, "text/plain",
                    [&](int s, const QByteArray& a, const QString& e) {
                        gotStatus = s;
                        answer = a;
                        error = e;
                    });
    QTRY_VERIFY_WITH_TIMEOUT(gotStatus >= 0, 10000);
    QVERIFY(rig.WaitIdle());
    QCOMPARE(rig.Handed.size(), 1); // the tool's answer came as well
    QCOMPARE(gotStatus, status);
    if (!serverUp) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(answer, "answer " + QByteArray::number(status));
    const qsizetype post =
        rig.Server.Targets.indexOf(QStringLiteral("/cgi-bin/zeph/indexnow-pt.cgi"));
    QVERIFY(post >= 0);
    QCOMPARE(rig.Server.Bodies[post], body);
    QVERIFY(rig.Server.Heads[post].startsWith("POST "));
    QVERIFY(rig.Server.Heads[post].contains("X-Vantora-Key: secret"));
}

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_Transport.moc"
