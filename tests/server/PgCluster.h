#pragma once
// A throwaway PostgreSQL cluster on 127.0.0.1 for one test run: initdb and
// pg_ctl from the distribution's packages into a temporary folder, run as
// "nobody" when the tests run as root (the server refuses root). Reason()
// says why it could not start, for the skip message.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace teamtest {

class PgCluster {
  public:
    PgCluster() {
        if (!Dir.isValid()) {
            Why = "no temporary folder";
            return;
        }
        for (const QString& version :
             QDir("/usr/lib/postgresql")
                 .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed)) {
            if (QFile::exists("/usr/lib/postgresql/" + version + "/bin/initdb")) {
                Bin = "/usr/lib/postgresql/" + version + "/bin/";
                break;
            }
        }
        if (Bin.isEmpty() && !QStandardPaths::findExecutable("initdb").isEmpty())
            Bin = QFileInfo(QStandardPaths::findExecutable("initdb")).absolutePath() + "/";
        if (Bin.isEmpty()) {
            Why = "initdb not found (install the postgresql package)";
            return;
        }
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(Dir.path().toLocal8Bit().constData(), nobody->pw_uid,
                                   nobody->pw_gid) != 0) {
                Why = "cannot hand the cluster folder to the user nobody";
                return;
            }
            AsNobody = true;
        }
        Port = FreePort();
        QString out;
        if (!Run({Bin + "initdb", "-D", Data(), "-A", "trust", "-U", "vantora", "-E", "UTF8",
                  "--no-sync", "--no-instructions"},
                 out)) {
            Why = "initdb failed: " + out.left(400);
            return;
        }
        Ready = Start();
    }
    ~PgCluster() {
        if (Ready || Started) {
            QString out;
            Run({Bin + "pg_ctl", "-D", Data(), "-m", "immediate", "-w", "stop"}, out);
        }
    }
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    bool Ok() const { return Ready; }
    QString Reason() const { return Why; }
    std::string Address(const std::string& database = "postgres") const {
        return "postgresql://vantora@127.0.0.1:" + std::to_string(Port) + "/" + database;
    }

    bool Stop() {
        QString out;
        Started = !Run({Bin + "pg_ctl", "-D", Data(), "-m", "fast", "-w", "-t", "30", "stop"}, out);
        return !Started;
    }
    bool Start() {
        QString out;
        Started =
            Run({Bin + "pg_ctl", "-D", Data(), "-l", Dir.filePath("log"), "-w", "-t", "30", "-o",
                 "-p " + QString::number(Port) + " -k " + Dir.path() +
                     " -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=200",
                 "start"},
                out);
        if (!Started)
            Why = "pg_ctl start failed: " + out.left(400);
        return Started;
    }
    // Runs SQL through psql; its output.
    QString Sql(const QString& sql, const std::string& database = "postgres") const {
        QProcess p;
        p.start(Bin + "psql", {"-X", "-A", "-t", "-h", "127.0.0.1", "-p", QString::number(Port),
                               "-U", "vantora", "-d", QString::fromStdString(database), "-c", sql});
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

  private:
    QString Data() const { return Dir.filePath("data"); }

    bool Run(QStringList command, QString& out) const {
        if (AsNobody)
            command = QStringList{"-u", "nobody", "--"} + command;
        QProcess p;
        p.setWorkingDirectory(Dir.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString program = AsNobody ? QStringLiteral("runuser") : command.takeFirst();
        p.start(program, command);
        const bool finished = p.waitForFinished(90000);
        out = QString::fromUtf8(p.readAll());
        return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    static int FreePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        const int port = ntohs(a.sin_port);
        ::close(fd);
        return port;
    }

    QTemporaryDir Dir;
    QString Bin;
    QString Why;
    bool AsNobody = false;
    bool Ready = false;
    bool Started = false;
    int Port = 0;
};

} // namespace teamtest
