#pragma once
// What the server has done since it started, for a monitoring system that
// reads "/metrics" (the Prometheus text format): requests by tool and
// status, their duration, pages that could not be read, calls to the
// outside services and their failures, and the size of the link index.

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace vantora {

// Calls to the search and submission services; counted where they are made.
struct OutsideCallCounters {
    std::atomic<long long> SearchCalls{0};
    std::atomic<long long> SearchFailures{0};
    std::atomic<long long> SubmitCalls{0};
    std::atomic<long long> SubmitFailures{0};
};
OutsideCallCounters& OutsideCalls();

// The tool a request path names ("spam-pt" for ".../spam-pt.cgi"), or
// "other" for any other path and for answers 404.
std::string ToolLabel(std::string_view path, int status);

class ServerMetrics {
  public:
    // Latency bucket bounds in seconds.
    static constexpr std::array<double, 10> Bounds = {0.005, 0.01, 0.025, 0.05, 0.1,
                                                      0.25,  0.5,  1.0,   2.5,  10.0};

    void CountRequest(const std::string& tool, int status, double seconds);
    void CountFetchError();

    // The metrics text; indexLinks and indexSites are -1 when the index is
    // off or unreadable (then indexUp is 0).
    std::string Text(long long indexLinks, long long indexSites, long long indexBytes,
                     bool indexUp) const;

  private:
    struct Latency {
        std::array<long long, Bounds.size()> Buckets{};
        long long Count = 0;
        double Sum = 0;
    };
    mutable std::mutex Lock;
    std::map<std::pair<std::string, int>, long long> Requests;
    std::map<std::string, Latency> Latencies;
    long long FetchErrors = 0;
};

} // namespace vantora
