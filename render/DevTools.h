#pragma once
// One headless Chromium process driven over the DevTools protocol on a pipe
// (--remote-debugging-pipe: the browser reads commands on its fd 3 and writes
// answers and events on fd 4, each a JSON text ended by a NUL byte), so no
// port is opened. The browser runs in a process group of its own with a fresh
// profile in a temporary folder; it is killed with its whole group, and the
// folder removed, when this object goes, and it dies with the thread that
// started it should this process die first. The folders of processes that
// were killed before they could remove theirs are removed when one starts.

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantora::render {

using Json = nlohmann::json;

// The Chromium program to use: the given path when it is one, else the first of
// chromium, chromium-headless-shell and chromium-browser found in PATH (or in
// /usr/lib/chromium). Empty when there is none.
std::string FindChromium(const std::string& given = {});

class DevTools {
  public:
    DevTools() = default;
    ~DevTools();
    DevTools(const DevTools&) = delete;
    DevTools& operator=(const DevTools&) = delete;

    // Starts the browser; false with a one-line reason.
    bool Start(const std::string& executable, std::string& error);
    // Ends the browser (politely first, then its whole process group).
    void Stop();
    bool Alive() const { return Running.load(); }
    pid_t Pid() const { return Child; }

    // Sends a command (to a page's session, or to the browser when session is
    // empty) and waits for its answer: the "result" object, or the "error"
    // object as {"error": ...}; nothing when no answer came in time or the
    // browser is gone.
    std::optional<Json> Call(const std::string& method, Json params, const std::string& session,
                             std::chrono::milliseconds timeout);
    // Sends a command without waiting for its answer.
    void Send(const std::string& method, Json params, const std::string& session);

    // Events of one session (empty: the browser's own) go to its handler, on
    // the thread that reads the pipe; a handler may Send but not Call.
    using Handler = std::function<void(const std::string& method, const Json& params)>;
    void Listen(const std::string& session, Handler handler);
    void Forget(const std::string& session);

  private:
    void Write(long id, const std::string& method, Json params, const std::string& session);
    void Read();
    void Dispatch(const char* text, std::size_t size);
    void Watch(std::string executable, std::vector<std::string> arguments);

    int ToBrowser = -1, FromBrowser = -1;
    pid_t Child = -1;
    std::string Profile;
    std::atomic<bool> Running{false};
    std::atomic<bool> Closing{false};
    std::thread Watcher, Reader;

    std::mutex Lock;
    std::condition_variable Answered;
    long NextId = 1;
    std::map<long, std::optional<Json>> Pending; // id -> answer once it came
    std::map<std::string, Handler> Handlers;
    std::mutex WriteLock;
    std::mutex StopLock; // Stop may come from several threads at once

    // The watcher thread forks the browser and waits for it.
    std::mutex StartLock;
    std::condition_variable Started;
    bool StartDone = false;
    std::string StartError;
};

} // namespace vantora::render
