#pragma once
// Starts vantora-server as a child on a free port for a benchmark: the
// server names its port on its first output line, and the child is taken
// for up once it answers. Port is 0 when it did not start.
#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vantora::bench {

struct ChildServer {
    pid_t Pid = -1;
    int Port = 0;
};

// arguments[0] is the program itself.
inline ChildServer StartChildServer(std::vector<std::string> arguments) {
    ChildServer server;
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return server;
    server.Pid = fork();
    if (server.Pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        (void)!freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (auto& a : arguments)
            args.push_back(a.data());
        args.push_back(nullptr);
        execv(arguments[0].c_str(), args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    int port = 0;
    {
        std::string line;
        char c = 0;
        while (line.size() < 200 && read(pipeFds[0], &c, 1) == 1 && c != '\n')
            line += c;
        const auto colon = line.rfind(':');
        if (colon != std::string::npos)
            port = std::atoi(line.c_str() + colon + 1);
    }
    close(pipeFds[0]);
    if (port <= 0)
        return server;
    httplib::Client probe("127.0.0.1", port);
    for (int i = 0; i < 100; ++i) {
        if (probe.Get("/")) {
            server.Port = port;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return server;
}

} // namespace vantora::bench
