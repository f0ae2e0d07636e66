// Starting and ending the bundled analysis server, with a stand-in program.
#include "BundledServer.h"
#include "ServerKey.h"

#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace vantora;

namespace {

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A program folder holding the stand-in under the server's name.
struct ProgramDir {
    QTemporaryDir Dir;
    QString Log;
    QString Pid;
    ProgramDir(bool withServer = true) {
        Log = Dir.filePath("args.txt");
        Pid = Dir.filePath("pid.txt");
        qputenv("VANTORA_STANDIN_LOG", Log.toLocal8Bit());
        qputenv("VANTORA_STANDIN_PID", Pid.toLocal8Bit());
        if (withServer)
            QFile::link(QStringLiteral(STANDIN_SERVER), Dir.filePath("vantora-server"));
    }
    QString ReadLog() const {
        QFile f(Log);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    qint64 ServerPid() const {
        QFile f(Pid);
        return f.open(QIODevice::ReadOnly) ? f.readAll().toLongLong() : 0;
    }
};

bool AnswersWithin(quint16 port, int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (BundledServer::Answers(QStringLiteral("127.0.0.1"), port, 200))
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestBundledServer : public QObject {
    Q_OBJECT
  private slots:
    // The key file goes to the test's own configuration folder.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void splitAddress_data();
    void splitAddress();
    void thisMachine_data();
    void thisMachine();
    void startsWhenNothingAnswersAndEndsAtStop();
    void notStarted_data();
    void notStarted();
    void strangerOnThePortGetsAFallbackPort_data();
    void strangerOnThePortGetsAFallbackPort();
    void killedServerIsStartedAgain();
    void serverOfAnEndedInstanceIsTakenOver();
    void restartReturnsAtOnceAndAnswersLater();
};

void TestBundledServer::splitAddress_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("default") << "127.0.0.1:47800" << true << "127.0.0.1" << 47800;
    QTest::newRow("name") << " localhost:8080 " << true << "localhost" << 8080;
    QTest::newRow("no port") << "server.example.net" << true << "server.example.net" << 80;
    QTest::newRow("ipv6") << "[::1]:47800" << true << "::1" << 47800;
    QTest::newRow("bad port") << "127.0.0.1:http" << false << "" << 0;
    QTest::newRow("port too big") << "127.0.0.1:70000" << false << "" << 0;
    QTest::newRow("empty") << "" << false << "" << 0;
}

void TestBundledServer::splitAddress() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QString, host);
    QFETCH(int, port);
    QString gotHost;
    quint16 gotPort = 0;
    QCOMPARE(BundledServer::SplitAddress(text, gotHost, gotPort), ok);
    if (ok) {
        QCOMPARE(gotHost, host);
        QCOMPARE(int(gotPort), port);
    }
}

void TestBundledServer::thisMachine_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("local");
    QTest::newRow("loopback") << "127.0.0.1" << true;
    QTest::newRow("other loopback") << "127.0.0.5" << true;
    QTest::newRow("localhost") << "LocalHost" << true;
    QTest::newRow("ipv6 loopback") << "::1" << true;
    QTest::newRow("documentation address") << "192.0.2.1" << false;
    QTest::newRow("remote name") << "analysis.example.net" << false;
}

void TestBundledServer::thisMachine() {
    QFETCH(QString, host);
    QFETCH(bool, local);
    QCOMPARE(BundledServer::IsThisMachine(host), local);
}

void TestBundledServer::startsWhenNothingAnswersAndEndsAtStop() {
    ProgramDir dir;
    const quint16 port = FreePort();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    BundledServer server;
    const QString keyFile = dir.Dir.filePath(QStringLiteral("config/vantora/server-key"));
    server.SetKeyFile(keyFile);
    QVERIFY(server.Start(address, dir.Dir.path(), 200));
    QVERIFY(server.Running());
    QVERIFY(AnswersWithin(port, 5000));
    // The server is told where the shared secret is; only the user may read it.
    QCOMPARE(dir.ReadLog(),
             QStringLiteral("--listen ") + address + QStringLiteral(" --key-file ") + keyFile);
    QCOMPARE(QFile::permissions(keyFile), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadUser | QFileDevice::WriteUser);
    QCOMPARE(server.Key().size(), 64);
    QFile::setPermissions(keyFile, QFile::permissions(keyFile) | QFileDevice::ReadOther);
    QCOMPARE(LoadServerKey(keyFile), server.Key()); // kept, and closed again
    QVERIFY(!(QFile::permissions(keyFile) & QFileDevice::ReadOther));
    // A second start while it runs does nothing.
    QVERIFY(!server.Start(address, dir.Dir.path(), 200));
    server.Stop();
    QVERIFY(!server.Running());
    QVERIFY(!BundledServer::Answers(QStringLiteral("127.0.0.1"), port, 300));
}

void TestBundledServer::notStarted_data() {
    QTest::addColumn<QString>("why");
    QTest::newRow("an analysis server answers") << "busy";
    QTest::newRow("program missing") << "missing";
    QTest::newRow("not this machine") << "remote";
    QTest::newRow("bad address") << "bad";
}

void TestBundledServer::notStarted() {
    QFETCH(QString, why);
    ProgramDir dir(why != QLatin1String("missing"));
    QTcpServer occupant;
    QString address = QStringLiteral("127.0.0.1:%1").arg(FreePort());
    BundledServer first;
    if (why == QLatin1String("busy")) {
        QVERIFY(first.Start(address, dir.Dir.path(), 200));
        QVERIFY(AnswersWithin(address.section(':', 1).toUShort(), 5000));
        QFile::remove(dir.Log);
    } else if (why == QLatin1String("remote")) {
        address = QStringLiteral("192.0.2.1:47800");
    } else if (why == QLatin1String("bad")) {
        address = QStringLiteral("127.0.0.1:port");
    }
    BundledServer server;
    QVERIFY(!server.Start(address, dir.Dir.path(), 300));
    QVERIFY(!server.Running());
    QVERIFY(dir.ReadLog().isEmpty());
    QCOMPARE(server.Address(), address);
}

void TestBundledServer::strangerOnThePortGetsAFallbackPort_data() {
    QTest::addColumn<bool>("speaksHttp");
    QTest::newRow("silent listener") << false;
    QTest::newRow("some web server") << true;
}

void TestBundledServer::strangerOnThePortGetsAFallbackPort() {
    QFETCH(bool, speaksHttp);
    ProgramDir dir;
    // The stranger runs in a thread of its own so that it answers while the
    // probe waits.
    QThread thread;
    QTcpServer stranger;
    QVERIFY(stranger.listen(QHostAddress::LocalHost, 0));
    stranger.moveToThread(&thread);
    if (speaksHttp)
        connect(&stranger, &QTcpServer::newConnection, &stranger, [&stranger] {
            while (QTcpSocket* socket = stranger.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    socket->write(
                        "HTTP/1.1 200 OK\r\nServer: other\r\nContent-Length: 2\r\n\r\nhi");
                    socket->disconnectFromHost();
                });
            }
        });
    thread.start();
    auto stop = qScopeGuard([&] {
        QMetaObject::invokeMethod(
            &stranger,
            [&stranger] {
                stranger.close();
                stranger.moveToThread(QCoreApplication::instance()->thread());
            },
            Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    });
    const QString address = QStringLiteral("127.0.0.1:%1").arg(stranger.serverPort());
    BundledServer server;
    QVERIFY(server.Start(address, dir.Dir.path(), 300));
    QVERIFY(server.Running());
    QVERIFY(server.Address() != address);
    QVERIFY(server.Address().startsWith(QStringLiteral("127.0.0.1:")));
    const quint16 fallback = server.Address().section(':', 1).toUShort();
    QVERIFY(AnswersWithin(fallback, 5000));
    QTRY_VERIFY(dir.ReadLog().startsWith(QStringLiteral("--listen ") + server.Address() +
                                         QStringLiteral(" --key-file ")));
    QCOMPARE(BundledServer::Probe(QStringLiteral("127.0.0.1"), fallback, 2000),
             BundledServer::Occupant::AnalysisServer);
}

void TestBundledServer::killedServerIsStartedAgain() {
    ProgramDir dir;
    const quint16 port = FreePort();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    BundledServer server;
    server.SetWatchInterval(100);
    QVERIFY(server.Start(address, dir.Dir.path(), 200));
    QVERIFY(AnswersWithin(port, 5000));
    QTRY_VERIFY_WITH_TIMEOUT(dir.ServerPid() > 0, 5000);
    const qint64 first = dir.ServerPid();
    QVERIFY(::kill(pid_t(first), SIGKILL) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(dir.ServerPid() != first && dir.ServerPid() > 0, 10000);
    QVERIFY(AnswersWithin(port, 5000));
    QCOMPARE(server.Address(), address);
}

void TestBundledServer::serverOfAnEndedInstanceIsTakenOver() {
    ProgramDir dir;
    const quint16 port = FreePort();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    BundledServer owner;
    QVERIFY(owner.Start(address, dir.Dir.path(), 200));
    QVERIFY(AnswersWithin(port, 5000));
    BundledServer second;
    second.SetWatchInterval(100);
    QVERIFY(!second.Start(address, dir.Dir.path(), 300));
    QVERIFY(!second.Running());
    owner.Stop();
    QTRY_VERIFY_WITH_TIMEOUT(second.Running(), 10000);
    QVERIFY(AnswersWithin(port, 5000));
}

void TestBundledServer::restartReturnsAtOnceAndAnswersLater() {
    BundledServer none;
    int early = -1;
    none.Restart([&](bool ok) { early = ok; });
    QCOMPARE(early, 0); // no server of ours: said at once

    ProgramDir dir;
    const quint16 port = FreePort();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    BundledServer server;
    server.SetWatchInterval(100);
    QVERIFY(server.Start(address, dir.Dir.path(), 200));
    QVERIFY(AnswersWithin(port, 5000));
    QTRY_VERIFY_WITH_TIMEOUT(dir.ServerPid() > 0, 5000);
    const qint64 first = dir.ServerPid();
    QList<bool> results;
    server.Restart([&](bool ok) { results << ok; });
    server.Restart([&](bool ok) { results << ok; }); // joins the one under way
    QVERIFY(server.Restarting());
    QVERIFY(results.isEmpty()); // the caller goes on while the server restarts
    QTRY_COMPARE_WITH_TIMEOUT(results, (QList<bool>{true, true}), 10000);
    QVERIFY(dir.ServerPid() != first && dir.ServerPid() > 0);
    QVERIFY(server.Running() && !server.Restarting());
    QCOMPARE(BundledServer::Probe(QStringLiteral("127.0.0.1"), port, 2000),
             BundledServer::Occupant::AnalysisServer);
    server.Stop();
    QTRY_VERIFY_WITH_TIMEOUT(!BundledServer::Answers(QStringLiteral("127.0.0.1"), port, 200), 5000);
}

QTEST_GUILESS_MAIN(TestBundledServer)
#include "tst_BundledServer.moc"
