#include "Wordweigh.h"

#include "PageModel.h"
#include "PageText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace vantora {

namespace {

constexpr int FactorCount = 13; // K1..K13, each at most 9

using Words = std::vector<std::string>;

Words StemAll(const Words& words) {
    Words out;
    out.reserve(words.size());
    for (const auto& w : words)
        out.push_back(Stem(w));
    return out;
}

std::set<std::string> AsSet(const Words& w) {
    return {w.begin(), w.end()};
}

struct Phrase {
    std::string Text;              // as typed, trimmed
    Words All;                     // every word, stemmed
    std::set<std::string> Content; // content words, stemmed
};

bool ContainsAll(const std::set<std::string>& have, const std::set<std::string>& need) {
    return !need.empty() &&
           std::all_of(need.begin(), need.end(), [&](const auto& w) { return have.count(w); });
}

double ShareFound(const std::set<std::string>& have, const std::set<std::string>& need) {
    if (need.empty())
        return 0;
    std::size_t n = 0;
    for (const auto& w : need)
        n += have.count(w);
    return double(n) / double(need.size());
}

std::set<std::string> ContentSet(std::string_view text) {
    const Words w = ContentWords(text);
    return {w.begin(), w.end()};
}

std::size_t SentencesMatching(std::string_view text, const Phrase& p) {
    std::size_t n = 0;
    for (const auto& s : SplitSentences(text))
        n += ContainsAll(ContentSet(s), p.Content);
    return n;
}

// Occurrences of the phrase: per sentence holding all its content words,
// the smallest count of any of them.
std::size_t Occurrences(const std::vector<std::string>& sentences, const Phrase& p) {
    std::size_t total = 0;
    for (const auto& s : sentences) {
        const Words words = ContentWords(s);
        std::size_t least = SIZE_MAX;
        for (const auto& need : p.Content)
            least = std::min<std::size_t>(least, std::count(words.begin(), words.end(), need));
        if (least != SIZE_MAX)
            total += least;
    }
    return total;
}

// Exact match: the phrase's words in order as a run of the text's words.
std::ptrdiff_t ExactPosition(const Words& text, const Words& phrase) {
    if (phrase.empty() || phrase.size() > text.size())
        return -1;
    const auto it = std::search(text.begin(), text.end(), phrase.begin(), phrase.end());
    return it == text.end() ? -1 : it - text.begin();
}

std::string Num(double v, int decimals = 1) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string Slugify(std::string_view text) {
    std::string out;
    for (const auto& w : SplitWords(text.substr(0, 60)))
        out += (out.empty() ? "" : "-") + w;
    return out;
}

std::string Quote(const Phrase& p) {
    return "\"" + p.Text + "\"";
}

struct Scorer {
    const PageModel& Page;
    std::string_view Url;
    std::size_t WordCount;
    std::vector<std::string> Sentences;
    std::vector<Advice>& Out;
    bool Several;

    void Add(const Phrase* p, std::string what, std::string why, std::string fix,
             std::string code) {
        if (Several && p)
            what = "For " + Quote(*p) + ": " + what;
        Out.push_back({std::move(what), std::move(why), std::move(fix), std::move(code)});
    }

    int TitleKeyphrase(const Phrase& p) {
        const Words title = StemAll(SplitWords(Page.Title));
        std::size_t start = 0;
        while (start < title.size() && IsFunctionWord(title[start]))
            ++start;
        const auto pos = ExactPosition(title, p.All);
        int score = 2;
        if (pos >= 0 && std::size_t(pos) <= start)
            score = 9;
        else if (pos >= 0 || ContainsAll(AsSet(title), p.Content))
            score = 6;
        if (score == 6)
            Add(&p, "The key words are in the title, but not at its start.",
                "Search engines and searchers give most weight to the first words of a title.",
                "Begin the title with " + Quote(p) + ".", "K1");
        else if (score == 2)
            Add(&p,
                Page.Title.empty() ? "The page has no title."
                                   : "The key words are missing from the title.",
                "The title is the strongest on-page signal of what a page is about and is "
                "shown as the headline of the search result.",
                "Write a title that begins with " + Quote(p) + ".", "K1");
        return score;
    }

    int TitleWidth() {
        if (Page.Title.empty())
            return 1; // reported by the title factor
        const double px = TitleWidthPx(Page.Title);
        if (px >= 400 && px <= 600)
            return 9;
        if (px < 400) {
            Add(nullptr, "The title is short (" + Num(px, 0) + " of about 600 pixels).",
                "A short title leaves room unused in the search result that could describe "
                "the page and draw the click.",
                "Lengthen the title to between 400 and 600 pixels, roughly 45 to 60 characters.",
                "K2");
            return 6;
        }
        Add(nullptr, "The title is too long (" + Num(px, 0) + " pixels, more than 600).",
            "Search engines cut long titles in their results, so the end is not seen.",
            "Shorten the title to at most 600 pixels, roughly 60 characters.", "K2");
        return 3;
    }

    int DescriptionKeyphrase(const Phrase& p) {
        const std::size_t n = Page.Description.empty() ? 0 : SentencesMatching(Page.Description, p);
        if (n >= 1 && n <= 2)
            return 9;
        if (Page.Description.empty())
            return 3; // reported by the description length factor
        if (n == 0)
            Add(&p, "The key words are missing from the meta description.",
                "Search engines often show the description under the title and highlight the "
                "searched words in it.",
                "Use " + Quote(p) + " once or twice in the meta description.", "K3");
        else
            Add(&p, "The key words are repeated too often in the meta description.",
                "A description that repeats the same words reads as stuffed and is often "
                "replaced by the search engine.",
                "Use " + Quote(p) + " at most twice in the description.", "K3");
        return 3;
    }

    int DescriptionLength() {
        const std::size_t n = CodePointCount(Page.Description);
        if (n == 0) {
            Add(nullptr, "The page has no meta description.",
                "Without one, search engines pick a snippet of the page themselves, which may "
                "not sell the page.",
                "Add a meta description of 120 to 156 characters that names the key words.", "K4");
            return 1;
        }
        if (n >= 121 && n <= 156)
            return 9;
        Add(nullptr,
            n <= 120 ? "The meta description is short (" + std::to_string(n) + " characters)."
                     : "The meta description is long (" + std::to_string(n) + " characters).",
            "Descriptions of 121 to 156 characters fill the search result's snippet without "
            "being cut.",
            "Write a description of 121 to 156 characters.", "K4");
        return 6;
    }

    int Introduction(const Phrase& p) {
        std::string intro;
        for (const auto& para : Page.Paragraphs)
            if (!Trim(para).empty()) {
                intro = para;
                break;
            }
        if (intro.empty() && !Page.BlockTexts.empty())
            intro = Page.BlockTexts.front();
        if (SentencesMatching(intro, p) > 0)
            return 9;
        if (ContainsAll(ContentSet(intro), p.Content)) {
            Add(&p, "The first paragraph has the key words, but not in one sentence.",
                "The opening sentence tells readers and search engines what the page is about.",
                "Put " + Quote(p) + " together in the first sentence of the first paragraph.",
                "K5");
            return 6;
        }
        Add(&p, "The key words are missing from the first paragraph.",
            "The opening paragraph tells readers and search engines what the page is about.",
            "Use " + Quote(p) + " in the first sentence of the page.", "K5");
        return 3;
    }

    int Density(const Phrase& p) {
        const std::size_t matches = Occurrences(Sentences, p);
        const double f = 0.7 + double(p.All.size()) / 3.0;
        const std::size_t words = WordCount;
        auto lowAdvice = [&](std::size_t least) {
            Add(&p,
                "The key words appear " + std::to_string(matches) + " time(s) in " +
                    std::to_string(words) + " words, too few.",
                "A page that rarely uses its key words is hard to rank for them.",
                "Use " + Quote(p) + " at least " + std::to_string(least) +
                    " times, spread over the text.",
                "K6");
        };
        auto highAdvice = [&](std::size_t most) {
            Add(&p,
                "The key words appear " + std::to_string(matches) + " times in " +
                    std::to_string(words) + " words, too often.",
                "Repeating the key words beyond natural use reads as keyword stuffing, which "
                "search engines penalise.",
                "Use " + Quote(p) + " at most " + std::to_string(most) +
                    " times and write the rest naturally.",
                "K6");
        };
        if (words < 51) {
            if (matches == 1)
                return 9;
            if (matches == 0)
                return lowAdvice(1), 4;
            highAdvice(1);
            return matches == 2 ? -10 : -50;
        }
        if (words < 100) {
            if (matches >= 1 && matches <= 2)
                return 9;
            if (matches == 0)
                return lowAdvice(1), 4;
            highAdvice(2);
            return matches == 3 ? -10 : -50;
        }
        const double density = double(matches) / double(words) * 100.0 * f;
        const std::size_t least = std::max<std::size_t>(
            2, static_cast<std::size_t>(std::ceil(0.5 * words / (100.0 * f))));
        const std::size_t most = std::max<std::size_t>(
            2, static_cast<std::size_t>(std::floor(3.0 * words / (100.0 * f))));
        if (matches == 2 && least <= 2)
            return 9;
        if (matches <= 1 || density < 0.5)
            return lowAdvice(least), 4;
        if (density <= 3.0)
            return 9;
        highAdvice(most);
        return density <= 4.0 ? -10 : -50;
    }

    int Subheadings(const Phrase& p) {
        std::size_t total = 0, matching = 0;
        for (const auto& h : Page.Headings) {
            if (h.Level != 2 && h.Level != 3)
                continue;
            ++total;
            matching += ShareFound(ContentSet(h.Text), p.Content) >= 0.5;
        }
        if (total == 0) {
            if (WordCount <= 300)
                return 9;
            Add(&p, "The text has no subheadings.",
                "Subheadings (h2, h3) structure a long text for readers and tell search "
                "engines what each part covers.",
                "Break the text into parts with subheadings, some of them naming " + Quote(p) + ".",
                "K7");
            return 2;
        }
        const double share = double(matching) / double(total);
        if ((share >= 0.3 && share <= 0.75) || (total == 1 && matching == 1))
            return 9;
        Add(&p,
            share < 0.3 ? "Too few subheadings mention the key words (" + std::to_string(matching) +
                              " of " + std::to_string(total) + ")."
                        : "Nearly every subheading repeats the key words (" +
                              std::to_string(matching) + " of " + std::to_string(total) + ").",
            "Subheadings that name the topic help readers and search engines; repeating it in "
            "all of them reads as over-optimised.",
            "Mention " + Quote(p) + " in between a third and three quarters of the subheadings.",
            "K7");
        return 3;
    }

    int ImageAlt(const Phrase& p) {
        const std::size_t images = Page.Images.size();
        if (images == 0) {
            Add(&p, "The page has no images.",
                "Images with a fitting alternative text add relevance and can be found in "
                "image search.",
                "Add an image whose alt text names " + Quote(p) + ".", "K8");
            return 3;
        }
        std::size_t matching = 0;
        for (const auto& img : Page.Images)
            matching += img.HasAlt && ShareFound(ContentSet(img.Alt), p.Content) >= 0.5;
        if (matching == 0) {
            Add(&p, "No image's alternative text mentions the key words.",
                "Alternative texts describe images to search engines and to visitors who "
                "cannot see them.",
                "Give at least one relevant image an alt text that names " + Quote(p) + ".", "K8");
            return 6;
        }
        if (images < 5)
            return 9;
        const double share = double(matching) / double(images);
        if (share >= 0.3 && share <= 0.75)
            return 9;
        Add(&p,
            share < 0.3 ? "Few alternative texts mention the key words."
                        : "Nearly every alternative text repeats the key words.",
            "Alternative texts should describe each image; naming the topic in some of them "
            "helps, in all of them reads as stuffing.",
            "Name " + Quote(p) + " in between a third and three quarters of the alt texts.", "K8");
        return 6;
    }

    int Slug(const Phrase& p) {
        std::string_view url = Url;
        if (const auto scheme = url.find("://"); scheme != std::string_view::npos)
            url.remove_prefix(scheme + 3);
        const auto slash = url.find('/');
        std::string path =
            slash == std::string_view::npos ? std::string() : std::string(url.substr(slash));
        if (const auto q = path.find_first_of("?#"); q != std::string::npos)
            path.resize(q);
        // The file's own extension is not a word of the slug.
        for (const char* ext : {".html", ".htm", ".php", ".asp", ".aspx", ".shtml", ".cgi"})
            if (path.ends_with(ext))
                path.resize(path.size() - std::string_view(ext).size());
        std::string spaced = path;
        for (char& c : spaced)
            if (c == '-' || c == '_' || c == '/' || c == '.' || c == '+')
                c = ' ';
        const auto slug = ContentSet(spaced);
        if (slug.empty() || path == "/" || path.empty() || Trim(spaced) == "index") {
            Add(&p, "The page's address has no words of its own.",
                "Words in the address show searchers and search engines what the page holds.",
                "Where the site allows it, give the page an address such as .../" +
                    Slugify(p.Text) + ".html with its key words.",
                "K9");
            return 3;
        }
        const double share = ShareFound(slug, p.Content);
        if ((p.Content.size() <= 2 && share == 1.0) || (p.Content.size() > 2 && share > 0.5))
            return 9;
        Add(&p, "The key words are missing from the page's address.",
            "Words in the address show searchers and search engines what the page holds.",
            "Name the page after its key words, for example .../" + Slugify(p.Text) +
                ".html, and redirect the old address.",
            "K9");
        return 6;
    }

    int TextLength() {
        const std::size_t n = WordCount;
        if (n >= 300)
            return 9;
        Add(nullptr, "The text is short (" + std::to_string(n) + " words).",
            "Pages with little text give search engines little to judge them by and rarely "
            "rank well.",
            "Write at least 300 words of useful text on the page's subject.", "K10");
        if (n >= 250)
            return 6;
        if (n >= 200)
            return 3;
        return n >= 100 ? -10 : -20;
    }

    int SingleH1() {
        const auto h1 = std::count_if(Page.Headings.begin(), Page.Headings.end(),
                                      [](const auto& h) { return h.Level == 1; });
        if (h1 <= 1)
            return 8;
        Add(nullptr, "The page has " + std::to_string(h1) + " main headings (h1).",
            "One main heading states the page's subject; several blur it.",
            "Keep one h1 and turn the others into h2 subheadings.", "K11");
        return 1;
    }

    int CompetingLinks(const Phrase& p) {
        for (const auto& link : Page.Links) {
            if (link.NoFollow || link.Href.empty() || link.Href[0] == '#')
                continue;
            if (!p.Content.empty() && ContentSet(link.Text) == p.Content) {
                Add(&p, "A link on this page uses the key words as its text.",
                    "A link whose text is the key phrase tells search engines that the other "
                    "page is the one to rank for it, so this page competes with it.",
                    "Change that link's text, or make this page the only one about " + Quote(p) +
                        ".",
                    "K12");
                return 2;
            }
        }
        return 8;
    }

    int KeyphraseLength(const Phrase& p) {
        const std::size_t n = p.Content.size();
        if (n == 0) {
            Add(&p, "The key words are only common little words.",
                "Words such as \"the\" or \"of\" say nothing about a page's subject.",
                "Enter key words that name the subject of the page.", "K13");
            return 0;
        }
        if (n <= 4)
            return 9;
        Add(&p, "The key phrase is long (" + std::to_string(n) + " words).",
            "Searchers rarely type long phrases, and long phrases are hard to use naturally.",
            "Use a key phrase of one to four words.", "K13");
        return n <= 8 ? 6 : 3;
    }

    // Advice only: basic faults that search engines look at.
    void Basics() {
        if (Page.MetaRobots.find("noindex") != std::string::npos ||
            Page.MetaRobots.find("none") != std::string::npos)
            Add(nullptr, "The page asks search engines not to index it (meta robots noindex).",
                "A page marked noindex is left out of search results whatever its content.",
                "Remove noindex from the robots meta tag if the page should be found.", "B1");
        static constexpr std::string_view Generic[] = {
            "click here", "click this",  "go",
            "here",       "information", "learn more",
            "more",       "more info",   "more information",
            "right here", "read more",   "see more",
            "start",      "this"};
        std::size_t generic = 0, empty = 0;
        std::string example;
        for (const auto& link : Page.Links) {
            const std::string href = AsciiLower(link.Href);
            if (href.empty() || href.starts_with("javascript:")) {
                ++empty;
                continue;
            }
            if (link.NoFollow || href.starts_with("mailto:") || href[0] == '#')
                continue;
            const std::string text = AsciiLower(CollapseSpace(link.Text));
            if (std::find(std::begin(Generic), std::end(Generic), text) != std::end(Generic)) {
                ++generic;
                if (example.empty())
                    example = link.Text;
            }
        }
        if (generic)
            Add(nullptr,
                std::to_string(generic) + " link(s) have a text that says nothing, such as \"" +
                    example + "\".",
                "Search engines read a link's text as a description of the page it leads to.",
                "Use link texts that name the page they lead to.", "B2");
        if (empty)
            Add(nullptr, std::to_string(empty) + " link(s) have an empty or script address.",
                "Search engines cannot follow links without a real address.",
                "Give every link a real address (href).", "B3");
        const auto noAlt = std::count_if(Page.Images.begin(), Page.Images.end(),
                                         [](const auto& i) { return !i.HasAlt; });
        if (noAlt)
            Add(nullptr, std::to_string(noAlt) + " image(s) have no alternative text.",
                "Search engines and screen readers cannot see images; the alt text is what "
                "they read.",
                "Give every image an alt attribute that describes it.", "B4");
        std::set<std::string> canonicals(Page.Canonicals.begin(), Page.Canonicals.end());
        const bool relative = std::any_of(canonicals.begin(), canonicals.end(), [](const auto& c) {
            const std::string l = AsciiLower(c);
            return !l.starts_with("http://") && !l.starts_with("https://");
        });
        if (canonicals.size() > 1 || relative)
            Add(nullptr,
                canonicals.size() > 1 ? "The page names several different canonical addresses."
                                      : "The page's canonical address is not a full URL.",
                "Search engines ignore unclear canonical links and may index the wrong address.",
                "Give one canonical link with the page's full address.", "B5");
    }
};

std::vector<Phrase> ReadPhrases(std::string_view keywords) {
    std::vector<Phrase> phrases;
    std::size_t start = 0;
    while (start <= keywords.size() && phrases.size() < 10) {
        std::size_t comma = keywords.find(',', start);
        if (comma == std::string_view::npos)
            comma = keywords.size();
        const std::string text = CollapseSpace(keywords.substr(start, comma - start));
        if (!text.empty()) {
            Phrase p;
            p.Text = text;
            p.All = StemAll(SplitWords(text));
            for (const auto& w : SplitWords(text))
                if (!IsFunctionWord(w))
                    p.Content.insert(Stem(w));
            if (!p.All.empty())
                phrases.push_back(std::move(p));
        }
        start = comma + 1;
    }
    return phrases;
}

int ToPercentage(int sum, int factors) {
    const double value = std::round(double(sum) / (factors * 9.0) * 100.0);
    return static_cast<int>(std::clamp(value, 0.0, 100.0));
}

} // namespace

double TitleWidthPx(std::string_view text) {
    // Advance widths of Arial in thousandths of an em, for printable ASCII.
    static constexpr short Widths[95] = {
        278,  278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278, // ' '../
        556,  556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, // 0..?
        1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778, // @..O
        667,  778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556, // P.._
        333,  556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556, // `..o
        556,  556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};     // p..~
    double units = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c < 127)
            units += Widths[c - 32];
        else if ((c & 0xC0) != 0x80) // first byte of a non-ASCII character
            units += 556;
    }
    return units * 18.0 / 1000.0;
}

std::string FormatPercentage(int percentage) {
    percentage = std::clamp(percentage, 0, 100);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", percentage);
    return buf;
}

WordweighResult AnalyseWordweigh(const PageModel& page, std::string_view pageUrl,
                                 std::string_view keywords) {
    WordweighResult result;
    const std::vector<Phrase> phrases = ReadPhrases(keywords);
    Scorer s{page,
             pageUrl,
             SplitWords(page.VisibleText).size(),
             SplitSentences(page.VisibleText),
             result.Problems,
             phrases.size() > 1};

    // Factors that do not depend on the key words are scored once.
    const int common = s.TitleWidth() + s.DescriptionLength() + s.TextLength() + s.SingleH1();
    if (phrases.empty()) {
        s.Add(nullptr, "No key words were given.",
              "The page's effectiveness for key words can only be judged when key words are "
              "given; only the general factors were scored.",
              "Enter the key words the page should be found for.", "K13");
        s.Basics();
        result.Percentage = ToPercentage(common, 4);
        return result;
    }
    int total = 0;
    for (const auto& p : phrases) {
        const int sum = common + s.TitleKeyphrase(p) + s.DescriptionKeyphrase(p) +
                        s.Introduction(p) + s.Density(p) + s.Subheadings(p) + s.ImageAlt(p) +
                        s.Slug(p) + s.CompetingLinks(p) + s.KeyphraseLength(p);
        total += ToPercentage(sum, FactorCount);
    }
    s.Basics();
    result.Percentage = static_cast<int>(std::lround(double(total) / double(phrases.size())));
    return result;
}

} // namespace vantora
