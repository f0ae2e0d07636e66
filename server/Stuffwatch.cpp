#include "Stuffwatch.h"
#include "AnswerText.h"

#include "PageModel.h"
#include "PageText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>

namespace vantora {

namespace {

constexpr std::size_t MaxPerRule = 3; // findings listed per rule

const char* const HiddenPolicy =
    "Search engines' spam policies forbid text and links hidden from visitors but meant for "
    "search engines, such as text hidden with CSS or placed off screen.";
const char* const ColourPolicy =
    "Search engines' spam policies name text in the colour of its background (white on white) "
    "as hidden text.";
const char* const TinyLinkPolicy =
    "Search engines' spam policies name links hidden in one small character as hidden links.";
const char* const RedirectPolicy =
    "Search engines' spam policies forbid sneaky redirects that send visitors somewhere other "
    "than the page search engines were shown.";
const char* const StuffingPolicy =
    "Search engines' spam policies forbid keyword stuffing: filling a page with key words "
    "repeated until the text reads unnaturally.";
const char* const ListPolicy =
    "Search engines' spam policies name lists of phone numbers or of places a page wants to "
    "rank for, with little else, as keyword stuffing.";
const char* const DoorwayPolicy =
    "Search engines' spam policies forbid doorway pages: thin pages made to rank for a query "
    "and pass visitors on to another page or site.";

std::string Excerpt(std::string_view text, std::size_t points = 120) {
    std::string s = CollapseSpace(text);
    if (CodePointCount(s) > points)
        s = CutCodePoints(s, points) + "...";
    return s;
}

std::string Percent(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f%%", v);
    return buf;
}

struct Checker {
    const PageModel& Page;
    std::string Host;
    StuffwatchResult& R;
    std::map<std::string, int> Best; // highest points per rule
    std::map<std::string, std::size_t> Listed;

    void Add(std::string what, std::string where, const char* why, const std::string& code,
             int points) {
        Best[code] = std::max(Best[code], points);
        if (Listed[code]++ < MaxPerRule)
            R.Findings.push_back({std::move(what), std::move(where), why, code, points});
    }

    // Words the page wants to rank for: its title and meta keywords.
    std::set<std::string> TargetWords() const {
        std::set<std::string> out;
        for (const auto& w : ContentWords(Page.Title + " " + Page.MetaKeywords))
            if (w.size() >= 3)
                out.insert(w);
        return out;
    }

    void Hidden() {
        const auto targets = TargetWords();
        for (const auto& block : Page.HiddenBlocks) {
            bool holdsTarget = false;
            for (const auto& w : ContentWords(block.Text))
                holdsTarget = holdsTarget || targets.count(w);
            if (block.Words < 10 && !(holdsTarget && block.Words > 0) && !block.HasLink)
                continue;
            Add(std::string(block.HasLink ? "Hidden links" : "Hidden text") +
                    ": a block hidden by " + block.Reason + " holds " +
                    std::to_string(block.Words) + " words" + (block.HasLink ? " and links." : "."),
                block.Path + ": " + Excerpt(block.Text), HiddenPolicy, "S1", block.HasLink ? 5 : 3);
        }
    }

    void SameColour() {
        for (const auto& s : Page.SameColour)
            if (!SplitWords(s.Text).empty())
                Add("Text in the colour of its background (" + s.Colour + ").",
                    s.Path + ": " + Excerpt(s.Text), ColourPolicy, "S2", 3);
    }

    void TinyLinks() {
        for (const auto& link : Page.Links) {
            const std::string text = Trim(link.Text);
            const std::string href = AsciiLower(link.Href);
            if (href.empty() || href[0] == '#' || href.starts_with("javascript:") ||
                href.starts_with("mailto:") || link.HasImage || !Trim(link.AriaLabel).empty())
                continue;
            const bool oneMark =
                text.size() == 1 && !std::isalnum(static_cast<unsigned char>(text[0]));
            if (text.empty() || oneMark)
                Add(text.empty() ? "A link with no text at all."
                                 : "A link on a single character \"" + text + "\".",
                    "link to " + Excerpt(link.Href, 100), TinyLinkPolicy, "S3", 2);
        }
    }

    bool RedirectElsewhere = false;

    void Redirects() {
        if (Page.HasRefresh) {
            const std::string content = Page.RefreshContent;
            double delay = 0;
            try {
                delay = std::stod(content);
            } catch (...) {
                delay = 0;
            }
            std::string target;
            const std::string lower = AsciiLower(content);
            if (const auto pos = lower.find("url"); pos != std::string::npos) {
                target = Trim(content.substr(pos + 3));
                if (!target.empty() && target[0] == '=')
                    target = Trim(target.substr(1));
                if (!target.empty() && (target[0] == '\'' || target[0] == '"'))
                    target = target.substr(1, target.find(target[0], 1) - 1);
            }
            if (!target.empty() && delay <= 5) {
                const std::string to = UrlHost(target);
                const bool elsewhere = !to.empty() && to != Host;
                RedirectElsewhere = RedirectElsewhere || elsewhere;
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%g", delay);
                Add(elsewhere
                        ? std::string("A meta refresh sends visitors to another site after ") +
                              seconds + (delay == 1 ? " second." : " seconds.")
                        : "A meta refresh sends visitors to another page of this site.",
                    "meta refresh: " + Excerpt(content), RedirectPolicy, "S4", elsewhere ? 3 : 1);
            }
        }
        for (const auto& script : Page.Scripts) {
            const std::string lower = AsciiLower(script);
            static constexpr std::string_view Calls[] = {"location.replace(", "location.assign(",
                                                         "location.href=",    "location.href =",
                                                         "location=",         "location ="};
            for (const auto call : Calls) {
                const auto pos = lower.find(call);
                if (pos == std::string::npos)
                    continue;
                // The target, when it is a string literal.
                std::string target;
                const auto quote = script.find_first_of("'\"", pos + call.size());
                if (quote != std::string::npos && quote < pos + call.size() + 4) {
                    const auto end = script.find(script[quote], quote + 1);
                    if (end != std::string::npos)
                        target = script.substr(quote + 1, end - quote - 1);
                }
                const std::string to = UrlHost(target);
                const bool elsewhere = !to.empty() && to != Host;
                RedirectElsewhere = RedirectElsewhere || elsewhere;
                Add(elsewhere ? "A script sends visitors to another site as the page loads."
                              : "A script sends visitors away as the page loads.",
                    "script: " + Excerpt(script.substr(pos > 20 ? pos - 20 : 0, 140)),
                    RedirectPolicy, "S4", elsewhere ? 3 : 1);
                break;
            }
        }
    }

    void Density(const std::vector<std::string>& words) {
        if (words.size() < 100)
            return;
        std::map<std::string, std::size_t> counts;
        std::map<std::string, std::size_t> pairs;
        for (const auto& sentence : SplitSentences(Page.VisibleText)) {
            // Phrases do not run across sentences.
            std::string previous;
            for (const auto& w : SplitWords(sentence)) {
                if (IsFunctionWord(w) || w.size() < 2 ||
                    std::isdigit(static_cast<unsigned char>(w[0]))) {
                    previous.clear();
                    continue;
                }
                const std::string s = Stem(w);
                ++counts[s];
                if (!previous.empty() && previous != s)
                    ++pairs[previous + " " + s];
                previous = s;
            }
        }
        const double total = double(words.size());
        // Phrase density of two-word phrases, weighted for their length as
        // the key word density is: n / words * 100 * (0.7 + 2/3).
        std::vector<std::pair<std::string, std::size_t>> sortedPairs(pairs.begin(), pairs.end());
        std::sort(sortedPairs.begin(), sortedPairs.end(),
                  [](const auto& a, const auto& b) { return a.second > b.second; });
        std::set<std::string> inPhrase;
        for (const auto& [phrase, n] : sortedPairs) {
            const double density = n / total * 100.0 * (0.7 + 2.0 / 3.0);
            if (density <= 3.0 || n < 3)
                break;
            Add("The phrase \"" + phrase + "\" has a density of " + Percent(density) + " (" +
                    std::to_string(n) + " " + Noun(n, "time") + " in " +
                    std::to_string(words.size()) + " " + Noun(words.size(), "word") + ").",
                "visible text", StuffingPolicy, "S5", density > 4.0 ? 3 : 1);
            inPhrase.insert(phrase.substr(0, phrase.find(' ')));
            inPhrase.insert(phrase.substr(phrase.find(' ') + 1));
        }
        std::vector<std::pair<std::string, std::size_t>> sorted(counts.begin(), counts.end());
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.second > b.second; });
        for (const auto& [word, n] : sorted) {
            const double density = n / total * 100.0;
            if (density <= 3.0)
                break;
            if (inPhrase.count(word))
                continue; // already named as part of a stuffed phrase
            Add("The word \"" + word + "\" makes up " + Percent(density) + " of the text (" +
                    std::to_string(n) + " " + Noun(n, "time") + " in " +
                    std::to_string(words.size()) + " " + Noun(words.size(), "word") + ").",
                "visible text", StuffingPolicy, "S6", density > 4.0 ? 2 : 1);
        }
    }

    static std::map<std::string, std::size_t> Counts(std::string_view text) {
        std::map<std::string, std::size_t> counts;
        for (const auto& w : ContentWords(text))
            if (w.size() >= 2)
                ++counts[w];
        return counts;
    }

    void Title() {
        for (const auto& [w, n] : Counts(Page.Title))
            if (n > 3) {
                Add("The word \"" + w + "\" is repeated " + std::to_string(n) + " " +
                        Noun(n, "time") + " in the title.",
                    "title: " + Excerpt(Page.Title), StuffingPolicy, "S7", 2);
                break;
            }
    }

    void MetaKeywords() {
        if (!Page.HasMetaKeywords)
            return;
        std::map<std::string, std::size_t> terms;
        std::size_t count = 0;
        std::size_t start = 0;
        const std::string& text = Page.MetaKeywords;
        while (start <= text.size()) {
            std::size_t comma = text.find(',', start);
            if (comma == std::string::npos)
                comma = text.size();
            const std::string term = AsciiLower(CollapseSpace(text.substr(start, comma - start)));
            if (!term.empty())
                ++terms[term], ++count;
            start = comma + 1;
        }
        for (const auto& [term, n] : terms)
            if (n >= 3) {
                Add("The meta keywords repeat \"" + term + "\" " + std::to_string(n) + " " +
                        Noun(n, "time") + ".",
                    "meta keywords: " + Excerpt(text), StuffingPolicy, "S8", 1);
                return;
            }
        if (count > 20)
            Add("The meta keywords list " + std::to_string(count) + " terms.",
                "meta keywords: " + Excerpt(text), StuffingPolicy, "S8", 1);
    }

    void AltAndDescription() {
        for (const auto& img : Page.Images)
            for (const auto& [w, n] : Counts(img.Alt))
                if (n >= 3) {
                    Add("An image's alternative text repeats \"" + w + "\" " + std::to_string(n) +
                            " " + Noun(n, "time") + ".",
                        "img alt: " + Excerpt(img.Alt), StuffingPolicy, "S9", 1);
                    goto altsDone;
                }
    altsDone:
        if (Page.Images.size() >= 5) {
            std::map<std::string, std::size_t> inAlts;
            for (const auto& img : Page.Images)
                for (const auto& [w, n] : Counts(img.Alt))
                    ++inAlts[w];
            for (const auto& [w, n] : inAlts)
                if (n * 4 > Page.Images.size() * 3 && TargetWords().count(w)) {
                    Add("\"" + w + "\" is in the alternative text of " + std::to_string(n) +
                            " of " + std::to_string(Page.Images.size()) + " images.",
                        "img alt", StuffingPolicy, "S9", 1);
                    break;
                }
        }
        for (const auto& [w, n] : Counts(Page.Description))
            if (n > 2) {
                Add("The meta description repeats \"" + w + "\" " + std::to_string(n) + " " +
                        Noun(n, "time") + ".",
                    "meta description: " + Excerpt(Page.Description), StuffingPolicy, "S9", 1);
                break;
            }
    }

    void Lists() {
        // Phone numbers: runs of 7 to 15 digits with the usual separators.
        std::size_t phones = 0;
        const std::string& text = Page.VisibleText;
        for (std::size_t i = 0; i < text.size();) {
            if (!std::isdigit(static_cast<unsigned char>(text[i])) && text[i] != '+' &&
                text[i] != '(') {
                ++i;
                continue;
            }
            std::size_t digits = 0, j = i;
            while (j < text.size() &&
                   (std::isdigit(static_cast<unsigned char>(text[j])) ||
                    std::string_view("+-() ./").find(text[j]) != std::string_view::npos)) {
                digits += std::isdigit(static_cast<unsigned char>(text[j])) != 0;
                ++j;
            }
            if (digits >= 7 && digits <= 15)
                ++phones;
            i = j + 1;
        }
        if (phones >= 10)
            Add("The page lists " + std::to_string(phones) + " phone numbers.", "visible text",
                ListPolicy, "S10", 2);
        for (const auto& block : Page.BlockTexts) {
            std::size_t items = 0, places = 0, start = 0;
            while (start <= block.size()) {
                std::size_t comma = block.find(',', start);
                if (comma == std::string::npos)
                    comma = block.size();
                const std::string item = Trim(std::string_view(block).substr(start, comma - start));
                if (!item.empty()) {
                    ++items;
                    const auto words = CollapseSpace(item);
                    const std::size_t n = SplitWords(words).size();
                    if (n >= 1 && n <= 3 && std::isupper(static_cast<unsigned char>(words[0])) &&
                        words.find_first_of(".!?") == std::string::npos)
                        ++places;
                }
                start = comma + 1;
            }
            if (places >= 15 && places * 5 >= items * 4) {
                Add("A block lists " + std::to_string(places) +
                        " names separated by commas "
                        "with little other text.",
                    Excerpt(block), ListPolicy, "S10", 2);
                break;
            }
        }
    }

    void Doorway(std::size_t wordCount) {
        if (wordCount >= 150)
            return;
        // One outside site gets all of the page's followed links.
        std::set<std::string> outside;
        std::size_t followed = 0, toOutside = 0;
        for (const auto& link : Page.Links) {
            if (link.NoFollow || link.Href.empty() || link.Href[0] == '#')
                continue;
            ++followed;
            const std::string to = UrlHost(link.Href);
            if (!to.empty() && to != Host)
                outside.insert(to), ++toOutside;
        }
        const bool funnel = RedirectElsewhere || (outside.size() == 1 && toOutside * 2 > followed);
        if (!funnel)
            return;
        // A title whose words the short text keeps repeating.
        std::map<std::string, std::size_t> counts;
        for (const auto& w : ContentWords(Page.VisibleText))
            ++counts[w];
        std::string heavy;
        for (const auto& w : ContentWords(Page.Title))
            if (w.size() >= 3 && counts[w] >= 3)
                heavy = w;
        if (heavy.empty())
            return;
        Add("A thin page (" + std::to_string(wordCount) +
                " words) that repeats its title's word \"" + heavy +
                "\" and passes visitors on to " +
                (outside.empty() ? std::string("another site") : *outside.begin()) + ".",
            "title: " + Excerpt(Page.Title), DoorwayPolicy, "S11", 3);
    }
};

} // namespace

std::string UrlHost(std::string_view url) {
    const std::string lower = AsciiLower(Trim(url));
    std::string_view rest = lower;
    if (rest.starts_with("http://"))
        rest.remove_prefix(7);
    else if (rest.starts_with("https://"))
        rest.remove_prefix(8);
    else if (rest.starts_with("//"))
        rest.remove_prefix(2);
    else
        return {};
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos)
        rest.remove_prefix(at + 1);
    if (!rest.starts_with('[')) {
        if (const auto colon = rest.find(':'); colon != std::string_view::npos)
            rest = rest.substr(0, colon);
    }
    if (rest.starts_with("www."))
        rest.remove_prefix(4);
    while (rest.ends_with('.'))
        rest.remove_suffix(1);
    return std::string(rest);
}

std::string StuffwatchResult::Verdict() const {
    if (Points == 0)
        return "VERDICT: clean, 0 points";
    return std::string(Points >= 5 ? "VERDICT: likely spam, " : "VERDICT: worth a review, ") +
           std::to_string(Points) + " points";
}

StuffwatchResult AnalyseStuffwatch(const PageModel& page, std::string_view pageUrl) {
    StuffwatchResult result;
    Checker c{page, UrlHost(pageUrl), result, {}, {}};
    const auto words = SplitWords(page.VisibleText);
    c.Hidden();
    c.SameColour();
    c.TinyLinks();
    c.Redirects();
    c.Density(words);
    c.Title();
    c.MetaKeywords();
    c.AltAndDescription();
    c.Lists();
    c.Doorway(words.size());
    for (const auto& [code, points] : c.Best)
        result.Points += points;
    return result;
}

} // namespace vantora
