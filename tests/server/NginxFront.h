#pragma once
// A real nginx on 127.0.0.1 in front of analysis servers, configured with
// the site file the README gives (server/vantora-nginx.conf): its upstream
// ports, its listening port, log and, with tls, a throwaway certificate
// authority's certificate for 127.0.0.1 put in. Without tls the site
// speaks plain http (for the benchmark's client).
#include "../support/TestCertificates.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace teamtest {

class NginxFront {
  public:
    NginxFront(const QString& siteFile, const std::vector<int>& upstreams, bool tls) {
        if (!Dir.isValid() || QStandardPaths::findExecutable("nginx", {"/usr/sbin"}).isEmpty()) {
            Why = "nginx is not installed";
            return;
        }
        QFile in(siteFile);
        if (!in.open(QIODevice::ReadOnly)) {
            Why = siteFile + " cannot be read";
            return;
        }
        QString site = QString::fromUtf8(in.readAll());
        const QString dir = Dir.path();
        if (tls && !MakeCertificates(dir)) {
            Why = "openssl could not make a certificate";
            return;
        }
        Port = FreePort();
        // The upstream's server lines, one per server given.
        QString servers;
        for (int port : upstreams)
            servers += QString("    server 127.0.0.1:%1 max_fails=1 fail_timeout=10s;\n").arg(port);
        site.replace(QRegularExpression("(    server 127\\.0\\.0\\.1:4780\\d[^\\n]*\\n)+"),
                     servers);
        site.replace("listen 443 ssl;",
                     QString("listen 127.0.0.1:%1%2;").arg(Port).arg(tls ? " ssl" : ""));
        site.replace("/etc/ssl/certs/analysis.example.com.pem", dir + "/site.pem");
        site.replace("/etc/ssl/private/analysis.example.com.key", dir + "/site.key");
        site.replace("/var/log/nginx/vantora.log", dir + "/access.log");
        site.replace("server_name analysis.example.com;", "server_name 127.0.0.1;");
        if (!tls)
            site.remove(QRegularExpression("\\n *ssl_[^\\n]*"));
        QFile siteOut(dir + "/vantora.conf");
        QFile conf(dir + "/nginx.conf");
        if (!siteOut.open(QIODevice::WriteOnly) || !conf.open(QIODevice::WriteOnly)) {
            Why = "cannot write nginx's configuration";
            return;
        }
        siteOut.write(site.toUtf8());
        siteOut.close();
        // As on Debian: the site is included in the http block.
        conf.write(("daemon off;\nmaster_process off;\nworker_processes 1;\npid " + dir +
                    "/nginx.pid;\nerror_log " + dir +
                    "/error.log;\nevents { worker_connections 1024; }\nhttp {\n"
                    " client_body_temp_path " +
                    dir + "/body;\n proxy_temp_path " + dir + "/proxy;\n include " + dir +
                    "/vantora.conf;\n}\n")
                       .toUtf8());
        conf.close();
        Server.setProcessChannelMode(QProcess::MergedChannels);
        Server.start(QStandardPaths::findExecutable("nginx", {"/usr/sbin"}),
                     {"-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"});
        for (int i = 0; i < 100 && Server.state() != QProcess::NotRunning; ++i) {
            if (Accepts(Port)) {
                Running = true;
                return;
            }
            QThread::msleep(50);
        }
        QFile log(dir + "/error.log");
        log.open(QIODevice::ReadOnly);
        Why =
            "nginx did not start: " + QString::fromUtf8(Server.readAll() + log.readAll()).left(600);
    }
    ~NginxFront() {
        if (Server.state() != QProcess::NotRunning) {
            Server.terminate();
            if (!Server.waitForFinished(5000))
                Server.kill();
            Server.waitForFinished();
        }
    }
    NginxFront(const NginxFront&) = delete;
    NginxFront& operator=(const NginxFront&) = delete;

    QString CaFile() const { return Dir.path() + "/ca.pem"; }
    QString AccessLog() const {
        QFile log(Dir.path() + "/access.log");
        log.open(QIODevice::ReadOnly);
        return QString::fromUtf8(log.readAll());
    }
    bool Running = false;
    int Port = -1;
    QString Why;

    static int FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ntohs(address.sin_port);
    }

  private:
    static bool Accepts(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    bool MakeCertificates(const QString& dir) {
        return ::vantora::testing::MakeTestCertificates(dir);
    }

    QTemporaryDir Dir;
    QProcess Server;
};

} // namespace teamtest
