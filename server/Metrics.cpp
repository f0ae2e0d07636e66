#include "Metrics.h"

#include <cstdio>

namespace vantora {

OutsideCallCounters& OutsideCalls() {
    static OutsideCallCounters counters;
    return counters;
}

std::string ToolLabel(std::string_view path, int status) {
    if (path == "/healthz" || path == "/metrics")
        return std::string(path.substr(1));
    std::string_view last = path.substr(path.rfind('/') + 1);
    if (last.size() > 4 && last.substr(last.size() - 4) == ".cgi")
        last.remove_suffix(4);
    // Only the service's own tools get a label of their own: refused
    // requests for made-up paths must not make the metrics grow.
    for (const char* tool : {"wordweigh-pt", "spam-pt", "rankscout-pt", "submit-pt", "backwatch-pt",
                             "indexnow-pt", "unreguser", "kpreguser"})
        if (last == tool && status != 404)
            return tool;
    return "other";
}

void ServerMetrics::CountRequest(const std::string& tool, int status, double seconds) {
    std::lock_guard guard(Lock);
    ++Requests[{tool, status}];
    Latency& l = Latencies[tool];
    for (std::size_t i = 0; i < Bounds.size(); ++i)
        if (seconds <= Bounds[i])
            ++l.Buckets[i];
    ++l.Count;
    l.Sum += seconds;
}

void ServerMetrics::CountFetchError() {
    std::lock_guard guard(Lock);
    ++FetchErrors;
}

namespace {

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

} // namespace

std::string ServerMetrics::Text(long long indexLinks, long long indexSites, long long indexBytes,
                                bool indexUp) const {
    std::string out;
    std::lock_guard guard(Lock);
    out += "# HELP vantora_requests_total Requests answered, by tool and status.\n"
           "# TYPE vantora_requests_total counter\n";
    for (const auto& [key, count] : Requests)
        out += "vantora_requests_total{tool=\"" + key.first + "\",status=\"" +
               std::to_string(key.second) + "\"} " + std::to_string(count) + "\n";
    out += "# HELP vantora_request_duration_seconds Time from a whole request to its answer.\n"
           "# TYPE vantora_request_duration_seconds histogram\n";
    for (const auto& [tool, l] : Latencies) {
        const std::string name = "vantora_request_duration_seconds";
        for (std::size_t i = 0; i < Bounds.size(); ++i)
            out += name + "_bucket{tool=\"" + tool + "\",le=\"" + Number(Bounds[i]) + "\"} " +
                   std::to_string(l.Buckets[i]) + "\n";
        out +=
            name + "_bucket{tool=\"" + tool + "\",le=\"+Inf\"} " + std::to_string(l.Count) + "\n";
        out += name + "_sum{tool=\"" + tool + "\"} " + Number(l.Sum) + "\n";
        out += name + "_count{tool=\"" + tool + "\"} " + std::to_string(l.Count) + "\n";
    }
    out += "# HELP vantora_page_fetch_errors_total Pages asked about that could not be read.\n"
           "# TYPE vantora_page_fetch_errors_total counter\n"
           "vantora_page_fetch_errors_total " +
           std::to_string(FetchErrors) + "\n";
    const OutsideCallCounters& o = OutsideCalls();
    out += "# HELP vantora_outside_calls_total Calls to the search and submission services.\n"
           "# TYPE vantora_outside_calls_total counter\n"
           "vantora_outside_calls_total{service=\"search\"} " +
           std::to_string(o.SearchCalls.load()) +
           "\n"
           "vantora_outside_calls_total{service=\"submit\"} " +
           std::to_string(o.SubmitCalls.load()) +
           "\n"
           "# HELP vantora_outside_call_failures_total Outside service calls that failed.\n"
           "# TYPE vantora_outside_call_failures_total counter\n"
           "vantora_outside_call_failures_total{service=\"search\"} " +
           std::to_string(o.SearchFailures.load()) +
           "\n"
           "vantora_outside_call_failures_total{service=\"submit\"} " +
           std::to_string(o.SubmitFailures.load()) + "\n";
    out += "# HELP vantora_link_index_up Whether the link index could be read.\n"
           "# TYPE vantora_link_index_up gauge\n"
           "vantora_link_index_up " +
           std::string(indexUp ? "1" : "0") + "\n";
    if (indexUp) {
        out += "# HELP vantora_link_index_links Links on record in the link index.\n"
               "# TYPE vantora_link_index_links gauge\n"
               "vantora_link_index_links " +
               std::to_string(indexLinks) +
               "\n"
               "# HELP vantora_link_index_sites Source sites in the link index.\n"
               "# TYPE vantora_link_index_sites gauge\n"
               "vantora_link_index_sites " +
               std::to_string(indexSites) +
               "\n"
               "# HELP vantora_link_index_bytes Size of the link index on disk.\n"
               "# TYPE vantora_link_index_bytes gauge\n"
               "vantora_link_index_bytes " +
               std::to_string(indexBytes) + "\n";
    }
    return out;
}

} // namespace vantora
