// The program's road to the analysis server: the bundled vantora-server is
// started because nothing answers at the address, a Wordweigh request goes
// through the real HTTP client and transport, and the answer is handed to
// the tool's answer step.
#include "BundledServer.h"
#include "Endpoints.h"
#include "QtHttpClient.h"
#include "Transport.h"

#include <httplib.h>

#include <QDir>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTest>

#include <chrono>
#include <thread>

using namespace vantora;

namespace {

class Host : public TransportHost {
  public:
    QStringList Statuses;
    bool Busy = false;
    int Modified = 0;
    void SetStatus(const QString& text) override { Statuses << text; }
    void SetBusy(bool on) override { Busy = on; }
    void SetProjectModified() override { ++Modified; }
};

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TestEndToEndServer : public QObject {
    Q_OBJECT
  private slots:
    void wordweighThroughBundledServer();
};

void TestEndToEndServer::wordweighThroughBundledServer() {
    httplib::Server site;
    site.Get("/garden.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            "<html><head><title>Garden tools for every garden</title>"
            "<meta name=\"description\" content=\"Garden tools, spades and rakes.\">"
            "</head><body><h1>Garden tools</h1><p>We sell garden tools of every kind.</p>"
            "</body></html>",
            "text/html");
    });
    const int sitePort = site.bind_to_any_port("127.0.0.1");
    std::thread siteThread([&] { site.listen_after_bind(); });

    const QString address = QStringLiteral("127.0.0.1:%1").arg(FreePort());
    BundledServer bundled;
    const QString binDir = qEnvironmentVariable("VANTORA_BIN_DIR") + QLatin1Char('/');
    QVERIFY(bundled.Start(address, binDir));
    QVERIFY(bundled.Running());
    QString host;
    quint16 port = 0;
    QVERIFY(BundledServer::SplitAddress(address, host, port));
    QTRY_VERIFY_WITH_TIMEOUT(BundledServer::Answers(host, port, 200), 10000);
    // A second start finds the server answering and starts nothing.
    BundledServer second;
    QVERIFY(!second.Start(address, binDir));

    QtHttpClient client;
    // Without the key the server the program started answers nothing.
    client.SetServerKey(address, bundled.Key());
    QVERIFY(!bundled.Key().isEmpty());
    Host windowHost;
    Transport transport(client, windowHost);
    QString answer;
    transport.SetAnswerStep(1, [&] { answer = transport.PendingAnswers(1).value(0); });
    const QString page = QStringLiteral("http://127.0.0.1:%1/garden.html").arg(sitePort);
    transport.Append(1, WordweighUrl(address, page, QStringLiteral(" garden  tools ")));
    transport.StartNextRequest(QString(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!answer.isEmpty(), 20000);
    QVERIFY2(answer.startsWith(QStringLiteral("WORDWEIGH-v1.1<br>")), qPrintable(answer.left(200)));
    QVERIFY(answer.contains(page));
    QVERIFY(answer.contains(QStringLiteral("PERCENTAGE: ")));
    QTRY_VERIFY(transport.TransportIdle);
    QCOMPARE(windowHost.Modified, 1);

    // A page with its own query string and an escape in its path reaches
    // the server whole and is echoed as sent.
    answer.clear();
    const QString withQuery = page + QStringLiteral("?colour=green&size=10%25");
    transport.Append(1, WordweighUrl(address, withQuery, QStringLiteral("garden")));
    transport.StartNextRequest(QString(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!answer.isEmpty(), 20000);
    QVERIFY2(answer.startsWith(QStringLiteral("WORDWEIGH-v1.1<br>") + withQuery +
                               QStringLiteral("<br>")),
             qPrintable(answer.left(300)));
    QVERIFY(answer.contains(QStringLiteral("PERCENTAGE: ")));

    bundled.Stop();
    QVERIFY(!bundled.Running());
    site.stop();
    siteThread.join();
}

QTEST_MAIN(TestEndToEndServer)
#include "tst_e2e_server.moc"
