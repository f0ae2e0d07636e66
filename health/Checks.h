#pragma once
// The site-health checks: one table of rules, each with its identifier,
// severity, a line of text, a threshold (where it has one) and a predicate
// over the crawl's facts. Adding a check is adding a row.

#include "SharedText.h"
#include "Site.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantora::health {

enum class Severity { Error = 0, Warning = 1, Notice = 2 };

std::string_view SeverityName(Severity severity);
// "error", "warning" or "notice"; false for anything else.
bool ParseSeverity(std::string_view text, Severity& severity);

// A crawl of a million pages has millions of findings: the check is an
// interned identifier, the URL a text shared by the findings of one URL and
// the detail one shared by equal details ("no description", "4 clicks"), so
// a finding costs 40 bytes.
struct Finding {
    CheckId Check;
    Severity Level = Severity::Notice;
    SharedText Url;
    SharedText Detail;
    double LinkScore = -1; // of the URL, 0-100; -1 when not known (crawls stored without it)
};

struct CheckRule {
    std::string_view Id;
    Severity Level;
    std::string_view Text; // what the check looks for, for lists and help
    double Threshold;      // the default; 0 where the rule has none
    // The detail of the finding when the URL is listed, nothing when it is not.
    std::optional<std::string> (*Listed)(const Site& site, std::size_t url, double threshold);
    std::string_view Advice; // why it matters and how to fix it, for the page and the help
};

// Every check, in the order the help lists them.
std::span<const CheckRule> CheckTable();
const CheckRule* FindCheck(std::string_view id);

// Thresholds by check identifier; missing ones take the table's defaults.
using Thresholds = std::map<std::string, double, std::less<>>;

// What the user set: thresholds, and the checks switched off.
struct CheckSettings {
    Thresholds Limits;
    std::set<std::string, std::less<>> Off;
};

// The findings of a crawl, sorted by check then URL.
std::vector<Finding> FindIssues(const CrawlFacts& facts, const Thresholds& thresholds = {});
std::vector<Finding> FindIssues(const CrawlFacts& facts, const CheckSettings& settings);
std::vector<Finding> FindIssues(const Site& site, const CheckSettings& settings);

// One finding as the checks make it: its URL's index in the facts and text (a
// view into the facts), its detail shared by the check's equal details.
struct FindingView {
    CheckId Check;
    Severity Level;
    std::size_t Index;
    std::string_view Url;
    const SharedText& Detail;
};
// The findings of FindIssues in its order, one at a time, without holding
// more than one check's: false when each returned false (and was not called
// again).
bool ForEachIssue(const Site& site, const CheckSettings& settings,
                  const std::function<bool(const FindingView&)>& each);

// Whether an hreflang value is a language code (ISO 639-1), optionally with a
// region (ISO 3166-1), or "x-default"; case does not matter.
bool ValidHreflang(std::string_view value);

// Findings sorted by check, then URL.
void SortFindings(std::vector<Finding>& findings);

} // namespace vantora::health
