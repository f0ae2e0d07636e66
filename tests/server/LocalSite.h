#pragma once
// A small web site on 127.0.0.1 for the server tests: fixed pages, a
// redirect, binary junk, a very large page, a page that waits until the
// test releases it and a page that drips in one byte at a time.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

class LocalSite {
  public:
    LocalSite() {
        Server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            if (req.path == "/drip") {
                // A page sent one byte every half second for six seconds.
                ++DripArrivals;
                res.set_chunked_content_provider(
                    "text/html", [](std::size_t offset, httplib::DataSink& sink) {
                        if (offset >= 12) {
                            sink.done();
                            return true;
                        }
                        std::this_thread::sleep_for(std::chrono::milliseconds(500));
                        return sink.write("<", 1);
                    });
                return;
            }
            if (req.path == "/moved") {
                res.status = 302;
                res.set_header("Location", "/garden-tools.html");
                return;
            }
            if (req.path == "/junk") {
                std::string junk(20000, '\0');
                for (std::size_t i = 0; i < junk.size(); ++i)
                    junk[i] = static_cast<char>((i * 7919u + 13u) % 256u);
                res.set_content(junk, "text/html");
                return;
            }
            if (req.path == "/octets") {
                res.set_content("PK\x03\x04 archive", "application/zip");
                return;
            }
            if (req.path == "/huge") {
                // 12 MB of repeated paragraphs: more than the fetch cap.
                std::string page = "<html><head><title>Huge</title></head><body>";
                while (page.size() < (12u << 20))
                    page += "<p>Lots of words in a very long page about nothing much.</p>";
                res.set_content(page, "text/html");
                return;
            }
            if (req.path == "/slow") {
                std::unique_lock lock(SlowMutex);
                SlowArrived = true;
                SlowCv.notify_all();
                SlowCv.wait_for(lock, std::chrono::seconds(20), [this] { return SlowReleased; });
                res.set_content(
                    "<html><head><title>Slow</title></head><body><p>Late.</p></body></html>",
                    "text/html");
                return;
            }
            std::lock_guard lock(PagesMutex);
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

    ~LocalSite() {
        ReleaseSlow();
        Server.stop();
        Thread.join();
    }

    void Put(const std::string& path, const std::string& html) {
        std::lock_guard lock(PagesMutex);
        Pages[path] = html;
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(Port) + path;
    }

    bool WaitForSlow() {
        std::unique_lock lock(SlowMutex);
        return SlowCv.wait_for(lock, std::chrono::seconds(20), [this] { return SlowArrived; });
    }

    void ReleaseSlow() {
        std::lock_guard lock(SlowMutex);
        SlowReleased = true;
        SlowCv.notify_all();
    }

    int Port = -1;
    std::atomic<int> DripArrivals{0};

  private:
    httplib::Server Server;
    std::thread Thread;
    std::mutex PagesMutex;
    std::map<std::string, std::string> Pages;
    std::mutex SlowMutex;
    std::condition_variable SlowCv;
    bool SlowArrived = false;
    bool SlowReleased = false;
};
