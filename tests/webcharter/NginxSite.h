#pragma once
// A real nginx on 127.0.0.1 for one test, run in the foreground as one process from a
// temporary folder, and a throwaway certificate authority with a certificate for
// 127.0.0.1 made with openssl, so https can be crawled as on a real site.

#include "../support/TestCertificates.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <string>

inline int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

inline bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

class NginxSite {
  public:
    // server: the body of nginx's server block, after its listen line; "$ROOT" stands
    // for the folder of files, "$PORT" for the port. files: path under the root ->
    // content. tls: the port speaks https with a certificate of a fresh authority.
    NginxSite(const std::string& server, const std::map<std::string, std::string>& files,
              bool tls) {
        if (!Folder.isValid() || QStandardPaths::findExecutable("nginx", {"/usr/sbin"}).isEmpty())
            return;
        const QString dir = Folder.path();
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                       QFile::ReadOther | QFile::ExeOther);
        for (const auto& [path, content] : files) {
            const QString file = dir + "/root" + QString::fromStdString(path);
            QDir().mkpath(QFileInfo(file).path());
            QFile out(file);
            if (!out.open(QIODevice::WriteOnly))
                return;
            out.write(content.data(), static_cast<qint64>(content.size()));
        }
        QDir().mkpath(dir + "/root");
        if (tls && !MakeCertificates(dir))
            return;
        Port = FreePort();
        QString block = QString::fromStdString(server);
        block.replace("$ROOT", dir + "/root").replace("$PORT", QString::number(Port));
        const QString listen = "listen 127.0.0.1:" + QString::number(Port) +
                               (tls ? " ssl;\n ssl_certificate " + dir + "/site.pem;\n" +
                                          " ssl_certificate_key " + dir + "/site.key;\n"
                                    : QString(";\n"));
        QFile conf(dir + "/nginx.conf");
        if (!conf.open(QIODevice::WriteOnly))
            return;
        conf.write(("daemon off;\nmaster_process off;\nworker_processes 1;\npid " + dir +
                    "/nginx.pid;\nerror_log " + dir +
                    "/error.log;\nevents { worker_connections 256; }\n"
                    "http {\n access_log off;\n default_type text/html;\n"
                    " types { text/html html; application/pdf pdf; }\n server {\n " +
                    listen + block + "\n }\n}\n")
                       .toUtf8());
        conf.close();
        Server.start("nginx", {"-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"});
        for (int i = 0; i < 100 && Server.state() != QProcess::NotRunning; ++i) {
            if (Accepts(Port)) {
                Running = true;
                return;
            }
            QThread::msleep(50);
        }
    }
    ~NginxSite() {
        if (Server.state() != QProcess::NotRunning) {
            Server.terminate();
            if (!Server.waitForFinished(5000))
                Server.kill();
            Server.waitForFinished();
        }
    }
    QString Origin(const char* scheme = "http") const {
        return QString(scheme) + "://127.0.0.1:" + QString::number(Port);
    }
    QString CaFile() const { return Folder.path() + "/ca.pem"; }

    bool Running = false;
    int Port = -1;

  private:
    bool MakeCertificates(const QString& dir) {
        return ::vantora::testing::MakeTestCertificates(dir);
    }

    QTemporaryDir Folder{QDir::tempPath() + "/vantora-nginx.XXXXXX"};
    QProcess Server;
};
