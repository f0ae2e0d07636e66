// A server shared by a team, as a real process: tokens, refusals that do no
// work, rate limits, the configuration reloaded on SIGHUP, /healthz and
// /metrics, and the program's client sending its server token.
#include "TeamServer.h"

#include "QtHttpClient.h"

#include <QFile>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <csignal>

using namespace teamtest;

namespace {

const std::string TokenA = "team-token-alpha-0123456789";
const std::string TokenB = "team-token-bravo-0123456789"; // from the tokens file
const std::string TokenC = "team-token-charlie-012345678";

void Write(const QString& path, const std::string& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.data(), qint64(text.size()));
}

} // namespace

class TeamTest : public QObject {
    Q_OBJECT
    QTemporaryDir Temp;
    QProcess Server;
    int Port = -1;
    QString Config;
    QByteArray Log; // the server's standard error so far
    qsizetype Mark = 0;

    // Whether the log says text since the last Forget().
    bool Said(const char* text) {
        Log += Server.readAllStandardError();
        return Log.indexOf(text, Mark) >= 0;
    }
    void Forget() {
        Log += Server.readAllStandardError();
        Mark = Log.size();
    }

    std::string ConfigText(const std::string& tokens, long perAddress, long perToken) {
        return "[access]\ntokens = [" + tokens + "]\ntokens_file = \"tokens.txt\"\n" +
               "requests_per_minute = " + std::to_string(perToken) +
               "\nrequests_per_minute_per_address = " + std::to_string(perAddress) + "\n";
    }

  private slots:
    void initTestCase() {
        QVERIFY(Temp.isValid());
        Config = Temp.filePath("team.toml");
        Write(Temp.filePath("tokens.txt"), "# one a line\n\n" + TokenB + "\n");
        Write(Config, ConfigText("\"" + TokenA + "\"", 0, 0));
        // 0.0.0.0: exposed, so every request needs a token.
        Port = Start(Server, Temp, {"--listen", "0.0.0.0:0", "--config", Config, "--workers", "2"});
        QVERIFY2(Port > 0, Server.readAllStandardError().constData());
    }

    void cleanupTestCase() {
        Server.terminate();
        Server.waitForFinished(10000);
        // Tokens never reach the log, refused or accepted, header or query.
        Log += Server.readAllStandardError();
        QVERIFY(Log.contains("configuration reloaded"));
        for (const std::string& token : {TokenA, TokenB, TokenC})
            QVERIFY2(!Log.contains(token.c_str()), Log.constData());
    }

    void exposedServerNeedsTokensOrOpen_data() {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("said");
        QTest::newRow("no tokens") << QStringList{} << false << "--open";
        QTest::newRow("--open") << QStringList{"--open"} << true << "warning: --open";
    }
    void exposedServerNeedsTokensOrOpen() {
        QFETCH(QStringList, extra);
        QFETCH(bool, starts);
        QFETCH(QString, said);
        QProcess server;
        const int port = Start(
            server, Temp, QStringList{"--listen", "0.0.0.0:0", "--config", "/dev/null"} + extra);
        QCOMPARE(port > 0, starts);
        if (starts)
            QCOMPARE(Ask(port, "/cgi-bin/zeph/nothing.cgi").Status, 404);
        server.terminate();
        server.waitForFinished(10000);
        if (!starts)
            QCOMPARE(server.exitCode(), 2);
        QVERIFY(QString::fromUtf8(server.readAllStandardError()).contains(said));
    }

    void tokensAreChecked_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("headers");
        QTest::addColumn<int>("status");
        const QString tool =
            "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=http://127.0.0.1:1/&k=x";
        const QString none = "/cgi-bin/zeph/nothing.cgi";
        QTest::newRow("no token") << tool << "" << 401;
        QTest::newRow("wrong token") << tool << QString::fromStdString(Bearer(TokenC)) << 401;
        QTest::newRow("empty token") << tool << "Authorization: Bearer \r\n" << 401;
        QTest::newRow("other scheme") << tool << "Authorization: Basic dGVhbTp0ZWFt\r\n" << 401;
        QTest::newRow("token cut short")
            << tool << QString::fromStdString(Bearer(TokenA.substr(0, 20))) << 401;
        QTest::newRow("listed token") << none << QString::fromStdString(Bearer(TokenA)) << 404;
        QTest::newRow("token from the file")
            << none << QString::fromStdString(Bearer(TokenB)) << 404;
        QTest::newRow("lower-case scheme")
            << none << QString::fromStdString("authorization: bearer " + TokenA + "\r\n") << 404;
        QTest::newRow("token in the query")
            << QString::fromStdString(none.toStdString() + "?url=x&t=" + TokenA) << "" << 400;
        QTest::newRow("token in the query beside the header")
            << QString::fromStdString(none.toStdString() + "?access_token=" + TokenC)
            << QString::fromStdString(Bearer(TokenA)) << 400;
        QTest::newRow("health without token") << "/healthz"
                                              << "" << 200;
        QTest::newRow("metrics from this machine") << "/metrics"
                                                   << "" << 200;
        QTest::newRow("metrics through a proxy") << "/metrics"
                                                 << "X-Forwarded-For: 10.1.1.1\r\n"
                                                 << 401;
        QTest::newRow("metrics through a proxy with token")
            << "/metrics"
            << QString::fromStdString("X-Forwarded-For: 10.1.1.1\r\n" + Bearer(TokenB)) << 200;
    }
    void tokensAreChecked() {
        QFETCH(QString, target);
        QFETCH(QString, headers);
        QFETCH(int, status);
        const Answer a = Ask(Port, target.toStdString(), headers.toStdString());
        QCOMPARE(a.Status, status);
        if (status == 401)
            QVERIFY(a.Head.find("WWW-Authenticate: Bearer") != std::string::npos);
    }

    void refusedRequestsDoNoWork() {
        // A refused analysis never reaches the service: no log line for it,
        // only the metrics count it.
        Forget();
        const std::string tool =
            "/cgi-bin/zeph/text_output/wordweigh-pt.cgi?url=http://127.0.0.1:9/";
        for (int i = 0; i < 3; ++i)
            QCOMPARE(Ask(Port, tool).Status, 401);
        QCOMPARE(Ask(Port, "/cgi-bin/zeph/nothing.cgi", Bearer(TokenA)).Status, 404);
        QTRY_VERIFY(Said("nothing.cgi"));
        QVERIFY2(!Log.mid(Mark).contains("wordweigh"), Log.mid(Mark).constData());
        const Answer m = Ask(Port, "/metrics");
        QVERIFY(m.Body.find("vantora_requests_total{tool=\"wordweigh-pt\",status=\"401\"}") !=
                std::string::npos);
        QVERIFY(m.Body.find("vantora_requests_total{tool=\"wordweigh-pt\",status=\"200\"}") ==
                std::string::npos);
    }

    void metricsAreInTheTextFormat() {
        QCOMPARE(Ask(Port, "/healthz").Status, 200);
        const Answer m = Ask(Port, "/metrics");
        QCOMPARE(m.Status, 200);
        // Every sample line is NAME{labels} VALUE, under its TYPE line.
        QStringList types;
        for (const QString& line : QString::fromStdString(m.Body).split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith("# TYPE "))
                types << line.section(' ', 2, 2);
            if (line.startsWith('#'))
                continue;
            QVERIFY2(QRegularExpression(
                         "^[a-z_]+(\\{[a-z]+=\"[^\"]*\"(,[a-z]+=\"[^\"]*\")*\\})? [0-9.e+-]+$")
                         .match(line)
                         .hasMatch(),
                     qPrintable(line));
        }
        for (const char* name : {"vantora_requests_total", "vantora_request_duration_seconds",
                                 "vantora_page_fetch_errors_total", "vantora_outside_calls_total",
                                 "vantora_outside_call_failures_total", "vantora_link_index_links"})
            QVERIFY2(types.contains(name), name);
        QVERIFY(
            m.Body.find("vantora_request_duration_seconds_bucket{tool=\"healthz\",le=\"+Inf\"}") !=
            std::string::npos);
        QVERIFY(m.Body.find("vantora_link_index_up 1") != std::string::npos);
    }

    void ratesAreLimited_data() {
        QTest::addColumn<long>("perAddress");
        QTest::addColumn<long>("perToken");
        QTest::addColumn<int>("requests");
        QTest::newRow("one address, 10000 requests") << 50L << 0L << 10000;
        QTest::newRow("one token from many addresses") << 0L << 50L << 400;
    }
    void ratesAreLimited() {
        QFETCH(long, perAddress);
        QFETCH(long, perToken);
        QFETCH(int, requests);
        Write(Config, ConfigText("\"" + TokenA + "\", \"" + TokenC + "\"", perAddress, perToken));
        Forget();
        ::kill(pid_t(Server.processId()), SIGHUP);
        QTRY_VERIFY(Said("configuration reloaded"));
        int served = 0, limited = 0;
        bool retryAfter = true;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (int i = 0; i < requests && std::chrono::steady_clock::now() < until; ++i) {
            // Through a proxy on this machine: the address it names counts.
            const std::string from =
                "X-Forwarded-For: 10.0.0." + std::to_string(perToken ? i % 200 : 7) + "\r\n";
            const Answer a = Ask(Port, "/cgi-bin/zeph/nothing.cgi", from + Bearer(TokenA));
            served += a.Status == 404;
            if (a.Status == 429) {
                ++limited;
                retryAfter = retryAfter && a.Head.find("Retry-After: ") != std::string::npos;
            }
        }
        QCOMPARE(served + limited, requests);
        // A burst of the minute's allowance, then about one a second more.
        QVERIFY2(served >= 50 && served < 50 + 70, qPrintable(QString::number(served)));
        QVERIFY(retryAfter);
        // Others are still served: another address, or another token.
        QCOMPARE(Ask(Port, "/cgi-bin/zeph/nothing.cgi",
                     "X-Forwarded-For: 10.9.9.9\r\n" + Bearer(perToken ? TokenC : TokenA))
                     .Status,
                 404);
        // Straight from this machine nothing is counted.
        QCOMPARE(Ask(Port, "/cgi-bin/zeph/nothing.cgi", Bearer(TokenA)).Status, 404);
    }

    void reloadKeepsServingAndRefusesABadConfiguration() {
        Write(Config, ConfigText("\"" + TokenA + "\"", 0, 0));
        std::atomic<bool> done{false};
        std::atomic<int> unanswered{0}, answered{0};
        // A client asking all the time while the configuration is reloaded.
        std::thread client([&] {
            while (!done) {
                const int status = Ask(Port, "/cgi-bin/zeph/nothing.cgi", Bearer(TokenA)).Status;
                (status == 404 ? answered : unanswered)++;
            }
        });
        // Joined on every way out, a failed check's too.
        struct Joiner {
            std::atomic<bool>& Done;
            std::thread& Thread;
            ~Joiner() {
                Done = true;
                if (Thread.joinable())
                    Thread.join();
            }
        } joiner{done, client};
        for (int i = 0; i < 5; ++i) {
            Forget();
            ::kill(pid_t(Server.processId()), SIGHUP);
            QTRY_VERIFY(Said("configuration reloaded"));
        }
        // A broken file: the error with its line, and the old tokens stay.
        Write(Config, "[access]\ntokens = [\"" + TokenC + "\"]\nrequests_per_minute = \"many\"\n");
        Forget();
        ::kill(pid_t(Server.processId()), SIGHUP);
        QTRY_VERIFY(Said("not reloaded"));
        QVERIFY2(Said("team.toml line 3"), Log.mid(Mark).constData());
        done = true;
        client.join();
        QCOMPARE(unanswered.load(), 0);
        QVERIFY(answered.load() > 0);
        QCOMPARE(Ask(Port, "/cgi-bin/zeph/nothing.cgi", Bearer(TokenA)).Status, 404);
        QCOMPARE(Ask(Port, "/cgi-bin/zeph/nothing.cgi", Bearer(TokenC)).Status, 401);
        // A token taken out of the file no longer opens the server.
        Write(Config, "[access]\ntokens = [\"" + TokenC + "\"]\n");
        ::kill(pid_t(Server.processId()), SIGHUP);
        QTRY_VERIFY(Said("configuration reloaded"));
        QCOMPARE(Ask(Port, "/cgi-bin/zeph/nothing.cgi", Bearer(TokenA)).Status, 401);
        QCOMPARE(Ask(Port, "/cgi-bin/zeph/nothing.cgi", Bearer(TokenC)).Status, 404);
        // A configuration that would leave the exposed server open is refused.
        Write(Config, "[access]\n");
        ::kill(pid_t(Server.processId()), SIGHUP);
        QTRY_VERIFY(Said("not reloaded"));
        QCOMPARE(Ask(Port, "/cgi-bin/zeph/nothing.cgi").Status, 401);
    }

    void programSendsItsServerToken() {
        // The program's client carries the token to the server's address
        // only; the server answers it, and refuses the same client without.
        vantora::QtHttpClient client;
        struct Listener : vantora::HttpClientListener {
            int Error = 0;
            bool Done = false;
            void OnDocOutput(vantora::DocState, qint64, const QByteArray&) override {}
            void OnBaseState() override { Done = true; }
            void OnError(int code, const QString&) override {
                Error = code;
                Done = true;
            }
            void OnTimeout() override { Done = true; }
            void OnCancel() override { Done = true; }
        } listener;
        client.SetListener(&listener);
        const QString address = QStringLiteral("127.0.0.1:%1").arg(Port);
        const QString url = "http://" + address + "/cgi-bin/zeph/nothing.cgi";
        for (const bool withToken : {false, true}) {
            client.SetServerToken(address, withToken ? QByteArray(TokenC.c_str()) : QByteArray());
            listener.Done = false;
            listener.Error = 0;
            client.GetDoc(url);
            QTRY_VERIFY_WITH_TIMEOUT(listener.Done, 10000);
            QCOMPARE(listener.Error, int(withToken ? QNetworkReply::ContentNotFoundError
                                                   : QNetworkReply::AuthenticationRequiredError));
        }
    }
};

QTEST_GUILESS_MAIN(TeamTest)
#include "TeamTest.moc"
