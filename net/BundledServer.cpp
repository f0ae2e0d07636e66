#include "BundledServer.h"

#include "ServerKey.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/prctl.h>
#endif

namespace vantora {

BundledServer::~BundledServer() {
    Stop();
}

bool BundledServer::SplitAddress(const QString& address, QString& host, quint16& port) {
    const QString text = address.trimmed();
    if (text.isEmpty())
        return false;
    int colon = text.lastIndexOf(QLatin1Char(':'));
    if (text.startsWith(QLatin1Char('['))) { // [::1]:47800
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        host = text.mid(1, close - 1);
        colon = text.indexOf(QLatin1Char(':'), close);
        if (colon < 0) {
            port = 80;
            return true;
        }
    } else if (colon < 0) {
        host = text;
        port = 80;
        return true;
    } else {
        host = text.left(colon);
    }
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value == 0 || value > 65535 || host.isEmpty())
        return false;
    port = quint16(value);
    return true;
}

bool BundledServer::IsThisMachine(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    if (address.isNull())
        return false;
    if (address.isLoopback())
        return true;
    const QList<QHostAddress> own = QNetworkInterface::allAddresses();
    for (const QHostAddress& candidate : own)
        if (candidate.isEqual(address, QHostAddress::TolerantConversion))
            return true;
    return false;
}

bool BundledServer::Answers(const QString& host, quint16 port, int waitMs) {
    QTcpSocket socket;
    socket.connectToHost(host, port);
    const bool connected = socket.waitForConnected(waitMs);
    socket.abort();
    return connected;
}

BundledServer::Occupant BundledServer::Probe(const QString& host, quint16 port, int waitMs) {
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(waitMs))
        return Occupant::Nobody;
    socket.write("GET /cgi-bin/zeph/ HTTP/1.0\r\nHost: " + host.toLatin1() + "\r\n\r\n");
    QByteArray head;
    QDeadlineTimer deadline(waitMs * 3);
    while (!head.contains("\r\n\r\n") && head.size() < 16384 && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        head += socket.readAll();
    }
    socket.abort();
    return head.toLower().contains("\r\nx-vantora-server:") ? Occupant::AnalysisServer
                                                            : Occupant::OtherProgram;
}

bool BundledServer::Start(const QString& serverAddress, const QString& programDir, int waitMs) {
    InUse = serverAddress.trimmed();
    if (Running())
        return false;
    QString host;
    quint16 port = 0;
    if (!SplitAddress(serverAddress, host, port) || !IsThisMachine(host))
        return false;
    const QString program = QDir(programDir).filePath(QStringLiteral("vantora-server"));
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable())
        return false;
    Program = program;
    WaitMs = waitMs;
    // A server another copy of the program started reads the same file.
    SharedKey = LoadServerKey(KeyFile.isEmpty() ? DefaultServerKeyFile() : KeyFile);
    bool started = false;
    switch (Probe(host, port, waitMs)) {
    case Occupant::AnalysisServer:
        break; // another copy of the program (or the user) runs one already
    case Occupant::Nobody:
        started = Launch(InUse);
        break;
    case Occupant::OtherProgram: {
        // Someone else's program holds the port: use a free loopback port for
        // this run rather than send the tools' requests to a stranger.
        QTcpServer free;
        if (free.listen(QHostAddress::LocalHost, 0)) {
            const QString fallback = QStringLiteral("127.0.0.1:%1").arg(free.serverPort());
            free.close();
            started = Launch(fallback);
            if (started)
                InUse = fallback;
        }
        break;
    }
    }
    if (!Watchdog) {
        Watchdog = new QTimer;
        Watchdog->setInterval(WatchMs);
        QObject::connect(Watchdog, &QTimer::timeout, Watchdog, [this] { Watch(); });
    }
    Watchdog->start();
    return started;
}

bool BundledServer::Launch(const QString& address) {
    delete Process;
    Process = new QProcess;
    Process->setProgram(Program);
    QStringList arguments = {QStringLiteral("--listen"), address};
    if (!SharedKey.isEmpty())
        arguments << QStringLiteral("--key-file")
                  << (KeyFile.isEmpty() ? DefaultServerKeyFile() : KeyFile);
    Process->setArguments(arguments);
    Process->setWorkingDirectory(QFileInfo(Program).absolutePath());
    Process->setProcessChannelMode(QProcess::ForwardedChannels);
#if defined(Q_OS_LINUX)
    // The server goes with the program even when the program is killed and
    // never reaches its own shut-down.
    Process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    Process->start();
    if (!Process->waitForStarted(3000)) {
        delete Process;
        Process = nullptr;
        return false;
    }
    return true;
}

void BundledServer::Restart(std::function<void(bool)> done, int waitMs) {
    if (!Running() && !Restarting()) {
        done(false);
        return;
    }
    Waiting.push_back(std::move(done));
    if (Waiting.size() > 1)
        return; // the restart under way answers this one too
    RestartWaitMs = waitMs;
    // The watch would start a server of its own in the gap.
    if (Watchdog)
        Watchdog->stop();
    Leaving = Process;
    Process = nullptr;
    QObject::connect(Leaving, &QProcess::finished, Leaving, [this] { Relaunch(); });
    Leaving->terminate();
    // A server that does not end when asked is ended.
    QTimer::singleShot(3000, Leaving, [process = Leaving] {
        if (process->state() != QProcess::NotRunning)
            process->kill();
    });
}

void BundledServer::Relaunch() {
    if (!Leaving)
        return;
    Leaving->deleteLater();
    Leaving = nullptr;
    if (!Launch(InUse)) {
        EndRestart(false);
        return;
    }
    if (!RestartPoll) {
        RestartPoll = new QTimer;
        RestartPoll->setInterval(100);
        QObject::connect(RestartPoll, &QTimer::timeout, RestartPoll, [this] { PollRestarted(); });
    }
    RestartClock.start();
    RestartPoll->start();
}

void BundledServer::PollRestarted() {
    QString host;
    quint16 port = 0;
    if (!SplitAddress(InUse, host, port)) {
        EndRestart(false);
        return;
    }
    // A refused connection on this machine comes back at once, so a look
    // costs the window next to nothing until the server listens.
    if (Probe(host, port, 100) == Occupant::AnalysisServer)
        EndRestart(true);
    else if (!Running())
        EndRestart(false); // it stopped at once: its file has an error
    else if (RestartClock.elapsed() >= RestartWaitMs)
        EndRestart(false);
}

void BundledServer::EndRestart(bool ok) {
    if (RestartPoll)
        RestartPoll->stop();
    if (Watchdog)
        Watchdog->start();
    std::vector<std::function<void(bool)>> waiting;
    waiting.swap(Waiting);
    for (const auto& done : waiting)
        done(ok);
}

void BundledServer::Watch() {
    if (Running())
        return;
    QString host;
    quint16 port = 0;
    if (!SplitAddress(InUse, host, port) || Probe(host, port, WaitMs) != Occupant::Nobody)
        return;
    // The server that answered here is gone: the one we started was killed,
    // or the other copy of the program that ran it has ended.
    Launch(InUse);
}

void BundledServer::SetWatchInterval(int ms) {
    WatchMs = ms;
    if (Watchdog)
        Watchdog->setInterval(ms);
}

bool BundledServer::Running() const {
    return Process && Process->state() != QProcess::NotRunning;
}

void BundledServer::Stop() {
    delete Watchdog;
    Watchdog = nullptr;
    delete RestartPoll;
    RestartPoll = nullptr;
    // A restart under way ends unanswered: its server goes too.
    Waiting.clear();
    if (Leaving) {
        QObject::disconnect(Leaving, nullptr, nullptr, nullptr);
        if (Leaving->state() != QProcess::NotRunning) {
            Leaving->kill();
            Leaving->waitForFinished(2000);
        }
        delete Leaving;
        Leaving = nullptr;
    }
    if (!Process)
        return;
    if (Process->state() != QProcess::NotRunning) {
        Process->terminate();
        if (!Process->waitForFinished(3000)) {
            Process->kill();
            Process->waitForFinished(2000);
        }
    }
    delete Process;
    Process = nullptr;
}

} // namespace vantora
