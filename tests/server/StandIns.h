#pragma once
// Outside services on 127.0.0.1 for the off-page analysis tests: a search
// service answering in two JSON shapes (results at /results, paged by page
// number; and at /web/results behind a key header, paged from 0), services
// that misbehave (never answer, answer garbage, megabytes, or redirect in a
// loop), and a submission endpoint that answers with the status its path
// names.

#include <httplib.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class SearchStandIn {
  public:
    static constexpr const char* Token = "secret-token";

    SearchStandIn() {
        Server.new_task_queue = [] { return new httplib::ThreadPool(12); };
        // Results at /results, 10 a page, pageno from 1.
        Server.Get("/search", [this](const httplib::Request& req, httplib::Response& res) {
            const int page = std::max(1, std::atoi(req.get_param_value("pageno").c_str()));
            res.set_content(Page(req.get_param_value("q"), (page - 1) * 10, 10, "/results"),
                            "application/json");
        });
        // Results at /web/results, count a page, offset counts pages from 0.
        Server.Get("/res/v1/web/search", [this](const httplib::Request& req,
                                                httplib::Response& res) {
            if (req.get_header_value("X-Subscription-Token") != Token) {
                res.status = 401;
                res.set_content(R"({"error":"missing token"})", "application/json");
                return;
            }
            const int count = std::max(1, std::atoi(req.get_param_value("count").c_str()));
            const int offset = std::atoi(req.get_param_value("offset").c_str());
            res.set_content(Page(req.get_param_value("q"), offset * count, count, "/web/results"),
                            "application/json");
        });
        // A SearXNG instance without the json format answers 403.
        Server.Get("/forbidden", [](const httplib::Request&, httplib::Response& res) {
            res.status = 403;
            res.set_content("Forbidden", "text/html");
        });
        Server.Get("/garbage", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body>Search is down for maintenance</body></html>",
                            "application/json");
        });
        Server.Get("/huge", [](const httplib::Request&, httplib::Response& res) {
            std::string body = R"({"results":[)";
            while (body.size() < (5u << 20))
                body += R"({"url":"http://filler.example/page"},)";
            body += R"({"url":"http://filler.example/last"}]})";
            res.set_content(body, "application/json");
        });
        // Every page answers, each a little late: 10 results after 700 ms.
        Server.Get("/drip", [](const httplib::Request& req, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            nlohmann::json list = nlohmann::json::array();
            for (int i = 0; i < 10; ++i)
                list.push_back({{"url", "http://drip.example/" + req.get_param_value("pageno") +
                                            "/" + std::to_string(i)}});
            res.set_content(nlohmann::json{{"results", list}}.dump(), "application/json");
        });
        Server.Get("/loop", [](const httplib::Request& req, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "/loop?again=" + req.get_param_value("again") + "1");
        });
        // Never answers in time; counts the requests of one group waiting at once.
        Server.Get("/slow", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string group = req.get_param_value("group");
            std::unique_lock lock(SlowMutex);
            ++SlowWaiting[group];
            MaxSlowWaiting[group] = std::max(MaxSlowWaiting[group], SlowWaiting[group]);
            SlowCv.notify_all();
            SlowCv.wait_for(lock, std::chrono::seconds(15), [this] { return SlowReleased; });
            --SlowWaiting[group];
            res.set_content(R"({"results":[]})", "application/json");
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
    }

    ~SearchStandIn() {
        ReleaseSlow();
        Server.stop();
        Thread.join();
    }

    void SetResults(const std::string& query, std::vector<std::string> urls) {
        std::lock_guard lock(Mutex);
        Results[query] = std::move(urls);
    }

    std::string Url(const std::string& pathAndQuery) const {
        return "http://127.0.0.1:" + std::to_string(Port) + pathAndQuery;
    }

    void ReleaseSlow() {
        std::lock_guard lock(SlowMutex);
        SlowReleased = true;
        SlowCv.notify_all();
    }

    int MaxConcurrentSlow(const std::string& group) {
        std::lock_guard lock(SlowMutex);
        return MaxSlowWaiting[group];
    }

    std::vector<std::string> Queries() {
        std::lock_guard lock(Mutex);
        return Asked;
    }

    int Port = -1;

  private:
    std::string Page(const std::string& query, int from, int count, const std::string& where) {
        std::lock_guard lock(Mutex);
        Asked.push_back(query);
        nlohmann::json list = nlohmann::json::array();
        const auto it = Results.find(query);
        if (it != Results.end())
            for (int i = from; i < from + count && i < static_cast<int>(it->second.size()); ++i)
                list.push_back({{"url", it->second[static_cast<std::size_t>(i)]},
                                {"title", "Result " + std::to_string(i + 1)}});
        nlohmann::json answer = {{"query", query}};
        answer[nlohmann::json::json_pointer(where)] = list;
        return answer.dump();
    }

    httplib::Server Server;
    std::thread Thread;
    std::mutex Mutex;
    std::map<std::string, std::vector<std::string>> Results;
    std::vector<std::string> Asked;
    std::mutex SlowMutex;
    std::condition_variable SlowCv;
    std::map<std::string, int> SlowWaiting;
    std::map<std::string, int> MaxSlowWaiting;
    bool SlowReleased = false;
};

// POST /indexnow/CODE answers CODE; GET /add records its parameters.
class SubmitStandIn {
  public:
    struct Received {
        std::string Path;
        std::string Body;
        std::multimap<std::string, std::string> Params;
    };

    SubmitStandIn() {
        Server.Post(R"(/indexnow/(\d+))",
                    [this](const httplib::Request& req, httplib::Response& res) {
                        Record(req);
                        res.status = std::atoi(req.matches[1].str().c_str());
                    });
        Server.Get("/add", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            res.set_content("Thank you", "text/plain");
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
    }

    ~SubmitStandIn() {
        Server.stop();
        Thread.join();
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(Port) + path;
    }

    std::vector<Received> Requests() {
        std::lock_guard lock(Mutex);
        return Seen;
    }

    int Port = -1;

  private:
    void Record(const httplib::Request& req) {
        std::lock_guard lock(Mutex);
        Seen.push_back({req.path, req.body, {req.params.begin(), req.params.end()}});
    }

    httplib::Server Server;
    std::thread Thread;
    std::mutex Mutex;
    std::vector<Received> Seen;
};

// Web pages for link-back checks, plus a 50 MB page sent in pieces.
class PageSite {
  public:
    PageSite() {
        Server.new_task_queue = [] { return new httplib::ThreadPool(12); };
        Server.Get("/fifty", [](const httplib::Request&, httplib::Response& res) {
            constexpr std::size_t Total = 50u << 20;
            res.set_content_provider(
                Total, "text/html",
                [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    std::string chunk = offset == 0
                                            ? "<html><head><title>Fifty</title></head><body>"
                                            : std::string();
                    while (chunk.size() < std::min<std::size_t>(length, 65536))
                        chunk += "<p>padding words</p>";
                    chunk.resize(std::min<std::size_t>(length, 65536));
                    return sink.write(chunk.data(), chunk.size());
                });
        });
        Server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(Mutex);
            const auto it = Pages.find(req.path);
            if (it == Pages.end()) {
                res.status = 404;
                res.set_content("<html><body>Not here</body></html>", "text/html");
                return;
            }
            res.set_content(it->second, "text/html; charset=utf-8");
        });
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
    }

    ~PageSite() {
        Server.stop();
        Thread.join();
    }

    void Put(const std::string& path, const std::string& html) {
        std::lock_guard lock(Mutex);
        Pages[path] = html;
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(Port) + path;
    }

    int Port = -1;

  private:
    httplib::Server Server;
    std::thread Thread;
    std::mutex Mutex;
    std::map<std::string, std::string> Pages;
};

// Redirects and a landing page that records what reached it: GET /hop and
// POST /hop answer 302 or 307 to ?to=URL; /seen records the method and the
// X-Key header of each request.
class RedirectStandIn {
  public:
    struct Arrival {
        std::string Method;
        std::string Key;
    };

    RedirectStandIn() {
        auto hop = [](const httplib::Request& req, httplib::Response& res) {
            res.status = req.method == "POST" ? 307 : 302;
            res.set_header("Location", req.get_param_value("to"));
        };
        Server.Get("/hop", hop);
        Server.Post("/hop", hop);
        auto seen = [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(Mutex);
            Seen.push_back({req.method, req.get_header_value("X-Key")});
            res.set_content("<html><body>here</body></html>", "text/html");
        };
        Server.Get("/seen", seen);
        Server.Post("/seen", seen);
        Port = Server.bind_to_any_port("127.0.0.1");
        Thread = std::thread([this] { Server.listen_after_bind(); });
    }

    ~RedirectStandIn() {
        Server.stop();
        Thread.join();
    }

    std::vector<Arrival> Arrivals() {
        std::lock_guard lock(Mutex);
        return std::exchange(Seen, {});
    }

    int Port = -1;

  private:
    httplib::Server Server;
    std::thread Thread;
    std::mutex Mutex;
    std::vector<Arrival> Seen;
};
