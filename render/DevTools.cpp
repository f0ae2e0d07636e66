#include "DevTools.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace vantora::render {

namespace {

const char* const ProfilePrefix = "vantora-render-";

// Profile folders are named vantora-render-PID-XXXXXX after the crawler that
// made them. A crawler that was killed could not remove its own; the next one
// removes those of this user whose crawler no longer runs.
void RemoveAbandonedProfiles(const std::string& base) {
    std::error_code error;
    std::filesystem::directory_iterator entries(base, error);
    if (error)
        return;
    const std::size_t prefix = std::strlen(ProfilePrefix);
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix, ProfilePrefix) != 0)
            continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix, &end, 10);
        if (pid <= 0 || !end || *end != '-')
            continue;
        if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue; // its crawler still runs (or belongs to someone else)
        struct stat info {};
        if (lstat(entry.path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != geteuid())
            continue;
        std::filesystem::remove_all(entry.path(), error);
    }
}

// A message larger than this is dropped (the rendered document is cut well
// below it before it is sent).
constexpr std::size_t MaxMessage = 256u << 20;

bool IsExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0 && !std::filesystem::is_directory(path);
}

// Whether text holds at `at` the escape of a UTF-16 surrogate whose fourth
// hex digit is one of `digits` ("89ab": a high surrogate, "cdef": a low one).
bool SurrogateEscape(std::string_view text, std::size_t at, const char* digits) {
    return at + 6 <= text.size() && text[at] == '\\' && text[at + 1] == 'u' &&
           (text[at + 2] == 'd' || text[at + 2] == 'D') &&
           std::strchr(digits, std::tolower(static_cast<unsigned char>(text[at + 3]))) != nullptr;
}

// Chromium escapes lone UTF-16 surrogates of page text as \udXXX, which is no
// valid JSON text; they become U+FFFD.
std::string WithoutLoneSurrogates(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += "\\\\";
            ++i;
        } else if (SurrogateEscape(text, i, "89ab") && SurrogateEscape(text, i + 6, "cdef")) {
            out.append(text.substr(i, 12));
            i += 11;
        } else if (SurrogateEscape(text, i, "89abcdef")) {
            out += "\\ufffd";
            i += 5;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string FindChromium(const std::string& given) {
    if (!given.empty())
        return IsExecutable(given) ? given : std::string();
    const char* path = std::getenv("PATH");
    std::vector<std::string> folders;
    for (std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin"; !rest.empty();) {
        const std::size_t colon = rest.find(':');
        folders.emplace_back(rest.substr(0, colon));
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    for (const char* name : {"chromium", "chromium-headless-shell", "chromium-browser"})
        for (const std::string& folder : folders)
            if (!folder.empty() && IsExecutable(folder + "/" + name))
                return folder + "/" + name;
    for (const char* candidate : {"/usr/lib/chromium/chromium", "/usr/lib/chromium/headless_shell"})
        if (IsExecutable(candidate))
            return candidate;
    return {};
}

DevTools::~DevTools() {
    Stop();
}

bool DevTools::Start(const std::string& executable, std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? std::string(tmp) : std::string("/tmp");
    RemoveAbandonedProfiles(base);
    std::string pattern = base + "/" + ProfilePrefix + std::to_string(getpid()) + "-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        error = std::string("cannot make a temporary profile folder: ") + std::strerror(errno);
        return false;
    }
    Profile = pattern;

    int commands[2], answers[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, commands) != 0 ||
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, answers) != 0) {
        error = std::string("cannot make the browser's pipe: ") + std::strerror(errno);
        return false;
    }
    ToBrowser = commands[0];
    FromBrowser = answers[0];
    std::vector<std::string> arguments = {
        executable,
        "--headless",
        "--remote-debugging-pipe",
        "--user-data-dir=" + Profile,
        "--no-first-run",
        "--no-default-browser-check",
        "--disable-gpu",
        "--disable-extensions",
        "--disable-sync",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-default-apps",
        "--disable-breakpad",
        "--disable-crash-reporter",
        "--disable-dev-shm-usage",
        "--disable-features=Translate,MediaRouter,OptimizationHints,AutofillServerCommunication",
        "--blink-settings=imagesEnabled=false",
        "--mute-audio",
        "--hide-scrollbars",
        "--password-store=basic",
        "--use-mock-keychain",
        "about:blank",
        "--child-fd-a=" + std::to_string(commands[1]),
        "--child-fd-b=" + std::to_string(answers[1]),
    };
    // The sandbox refuses to run as root; a root crawl renders without it.
    if (geteuid() == 0)
        arguments.insert(arguments.begin() + 1, "--no-sandbox");
    Watcher = std::thread([this, executable, arguments] { Watch(executable, arguments); });
    {
        std::unique_lock<std::mutex> guard(StartLock);
        Started.wait(guard, [this] { return StartDone; });
    }
    close(commands[1]);
    close(answers[1]);
    if (!StartError.empty()) {
        error = StartError;
        Stop();
        return false;
    }
    Reader = std::thread([this] { Read(); });
    const std::optional<Json> version =
        Call("Browser.getVersion", Json::object(), {}, std::chrono::seconds(20));
    if (!version || version->contains("error")) {
        error = "Chromium (" + executable + ") did not start";
        Stop();
        return false;
    }
    return true;
}

void DevTools::Watch(std::string executable, std::vector<std::string> arguments) {
    // The two descriptors the child gets, named in the last two arguments.
    const int childRead = std::atoi(arguments.end()[-2].c_str() + std::strlen("--child-fd-a="));
    const int childWrite = std::atoi(arguments.back().c_str() + std::strlen("--child-fd-b="));
    arguments.resize(arguments.size() - 2);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const int null = open("/dev/null", O_RDWR);
        // fds 3 and 4 may be the very descriptors to move: go through high ones.
        const int readHigh = fcntl(childRead, F_DUPFD, 100);
        const int writeHigh = fcntl(childWrite, F_DUPFD, 100);
        if (null < 0 || readHigh < 0 || writeHigh < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 ||
            dup2(null, 2) < 0 || dup2(readHigh, 3) < 0 || dup2(writeHigh, 4) < 0)
            _exit(127);
        for (int fd = 5; fd < 1024; ++fd)
            close(fd);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv(executable.c_str(), argv.data());
        _exit(127);
    }
    {
        std::lock_guard<std::mutex> guard(StartLock);
        if (pid < 0) {
            StartError = std::string("cannot start Chromium: ") + std::strerror(errno);
        } else {
            setpgid(pid, pid);
            Child = pid;
            Running = true;
        }
        StartDone = true;
    }
    Started.notify_all();
    if (pid < 0)
        return;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        Running = false;
    }
    Answered.notify_all();
}

void DevTools::Stop() {
    std::lock_guard<std::mutex> once(StopLock);
    if (Child > 0 && Running) {
        Closing = true;
        Call("Browser.close", Json::object(), {}, std::chrono::seconds(2));
        std::unique_lock<std::mutex> guard(Lock);
        Answered.wait_for(guard, std::chrono::seconds(3), [this] { return !Running.load(); });
    }
    Closing = true;
    if (Child > 0) {
        // The whole group: the browser and every helper process it started.
        kill(-Child, SIGKILL);
        kill(Child, SIGKILL);
    }
    if (Watcher.joinable())
        Watcher.join();
    if (Reader.joinable())
        Reader.join();
    if (Child > 0) {
        kill(-Child, SIGKILL); // helpers that outlived the browser
        Child = -1;
    }
    {
        std::lock_guard<std::mutex> guard(WriteLock); // no command is being written
        for (int* fd : {&ToBrowser, &FromBrowser})
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
    }
    if (!Profile.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(Profile, ignored);
        Profile.clear();
    }
    Answered.notify_all();
}

void DevTools::Write(long id, const std::string& method, Json params, const std::string& session) {
    Json message = {{"id", id}, {"method", method}, {"params", std::move(params)}};
    if (!session.empty())
        message["sessionId"] = session;
    std::string text = message.dump(-1, ' ', false, Json::error_handler_t::replace);
    text.push_back('\0');
    std::lock_guard<std::mutex> guard(WriteLock);
    std::size_t done = 0;
    while (done < text.size() && ToBrowser >= 0) {
        const ssize_t sent = send(ToBrowser, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            break;
        done += static_cast<std::size_t>(sent);
    }
}

std::optional<Json> DevTools::Call(const std::string& method, Json params,
                                   const std::string& session, std::chrono::milliseconds timeout) {
    if (!Running)
        return std::nullopt;
    long id;
    {
        // The answer's slot is made before the command leaves, so a quick
        // answer is not taken for one nobody waits for.
        std::lock_guard<std::mutex> guard(Lock);
        id = NextId++;
        Pending.emplace(id, std::nullopt);
    }
    Write(id, method, std::move(params), session);
    std::unique_lock<std::mutex> guard(Lock);
    Answered.wait_for(guard, timeout, [&] {
        const auto it = Pending.find(id);
        return !Running.load() || (it != Pending.end() && it->second.has_value());
    });
    std::optional<Json> answer = std::move(Pending[id]);
    Pending.erase(id);
    return answer;
}

void DevTools::Send(const std::string& method, Json params, const std::string& session) {
    if (!Running)
        return;
    long id;
    {
        std::lock_guard<std::mutex> guard(Lock);
        id = NextId++;
    }
    Write(id, method, std::move(params), session);
}

void DevTools::Listen(const std::string& session, Handler handler) {
    std::lock_guard<std::mutex> guard(Lock);
    Handlers[session] = std::move(handler);
}

void DevTools::Forget(const std::string& session) {
    std::lock_guard<std::mutex> guard(Lock);
    Handlers.erase(session);
}

void DevTools::Read() {
    std::string buffer;
    bool skipping = false; // inside a message too large to keep
    std::vector<char> chunk(1 << 16);
    while (!Closing) {
        pollfd watch{FromBrowser, POLLIN, 0};
        const int ready = poll(&watch, 1, 200);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        const ssize_t got = read(FromBrowser, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        std::size_t start = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
            if (chunk[i] != '\0')
                continue;
            if (!skipping) {
                buffer.append(chunk.data() + start, i - start);
                Dispatch(buffer.data(), buffer.size());
            }
            buffer.clear();
            skipping = false;
            start = i + 1;
        }
        if (!skipping)
            buffer.append(chunk.data() + start, static_cast<std::size_t>(got) - start);
        if (buffer.size() > MaxMessage) {
            buffer.clear();
            buffer.shrink_to_fit();
            skipping = true;
        }
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        Running = false; // the pipe is closed: the browser is gone or going
    }
    Answered.notify_all();
}

void DevTools::Dispatch(const char* text, std::size_t size) {
    Json message = Json::parse(text, text + size, nullptr, false);
    if (message.is_discarded())
        message = Json::parse(WithoutLoneSurrogates(std::string_view(text, size)), nullptr, false);
    if (!message.is_object())
        return;
    if (const auto id = message.find("id"); id != message.end() && id->is_number_integer()) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            const auto waiting = Pending.find(id->get<long>());
            if (waiting == Pending.end())
                return; // sent without waiting
            if (const auto error = message.find("error"); error != message.end())
                waiting->second = Json{{"error", *error}};
            else
                waiting->second = message.value("result", Json::object());
        }
        Answered.notify_all();
        return;
    }
    const std::string method = message.value("method", "");
    if (method.empty())
        return;
    const std::string session = message.value("sessionId", "");
    Handler handler;
    {
        std::lock_guard<std::mutex> guard(Lock);
        const auto found = Handlers.find(session);
        if (found == Handlers.end())
            return;
        handler = found->second;
    }
    handler(method, message.value("params", Json::object()));
}

} // namespace vantora::render
