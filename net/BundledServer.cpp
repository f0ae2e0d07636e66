#include "BundledServer.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QProcess>
#include <QTcpSocket>

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

bool BundledServer::Start(const QString& serverAddress, const QString& programDir, int waitMs) {
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
    if (Answers(host, port, waitMs))
        return false;
    delete Process;
    Process = new QProcess;
    Process->setProgram(program);
    Process->setArguments({QStringLiteral("--listen"), serverAddress.trimmed()});
    Process->setWorkingDirectory(programDir);
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

bool BundledServer::Running() const {
    return Process && Process->state() != QProcess::NotRunning;
}

void BundledServer::Stop() {
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
