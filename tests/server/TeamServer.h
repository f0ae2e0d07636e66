#pragma once
// A real vantora-server process for the team-server tests, and plain
// requests to it over 127.0.0.1 with any header lines.
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace teamtest {

struct Answer {
    int Status = 0; // 0: no answer
    std::string Head;
    std::string Body;
};

// One request on a connection of its own; the whole answer (10 s at most).
inline Answer Ask(int port, const std::string& target, const std::string& headers = {}) {
    Answer out;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return out;
    }
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers +
                                "Connection: close\r\n\r\n";
    [[maybe_unused]] const ssize_t sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string all;
    char buffer[8192];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
        all.append(buffer, std::size_t(n));
    ::close(fd);
    const std::size_t end = all.find("\r\n\r\n");
    if (all.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos)
        return out;
    out.Status = std::atoi(all.c_str() + 9);
    out.Head = all.substr(0, end);
    out.Body = all.substr(end + 4);
    return out;
}

inline std::string Bearer(const std::string& token) {
    return "Authorization: Bearer " + token + "\r\n";
}

// Starts the server with arguments; the port it listens on, or -1 (then
// the process's output says why).
inline int Start(QProcess& process, const QTemporaryDir& temp, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", temp.filePath("config"));
    env.insert("XDG_DATA_HOME", temp.filePath("data"));
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("VANTORA_BIN_DIR") + "/vantora-server", arguments);
    if (!process.waitForStarted(10000))
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.canReadLine() && !process.waitForReadyRead(500)) {
            if (process.state() != QProcess::Running)
                return -1;
            continue;
        }
        const QString line = QString::fromUtf8(process.readLine());
        const QRegularExpressionMatch m =
            QRegularExpression(R"(listening on [^ ]*:(\d+))").match(line);
        if (m.hasMatch())
            return m.captured(1).toInt();
    }
    return -1;
}

} // namespace teamtest
