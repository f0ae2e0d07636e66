#include "Wordweigh.h"

#include "AnswerText.h"

#include "PageModel.h"
#include "PageText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace vantora {

namespace {

constexpr int FactorCount = 14; // K1..K12, K13 and K14, each at most 9

using Words = std::vector<std::string>;
using FormSet = std::set<std::string>;

struct Phrase {
    std::string Text; // as typed, trimmed
    Words All;        // forms of every word
    FormSet Content;  // forms of the content words (of every word when all are function words)
    FormSet Exact;    // the same words as written, lower-cased
    std::size_t Length = 0; // blank-separated parts holding a content word
    bool OnlyFunctionWords = false;
};

bool ContainsAll(const FormSet& have, const FormSet& need) {
    return !need.empty() &&
           std::all_of(need.begin(), need.end(), [&](const auto& w) { return have.count(w); });
}

double ShareFound(const FormSet& have, const FormSet& need) {
    if (need.empty())
        return 0;
    std::size_t n = 0;
    for (const auto& w : need)
        n += have.count(w);
    return double(n) / double(need.size());
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

// 1240 -> "1,240".
std::string Count(std::size_t n) {
    std::string digits = std::to_string(n);
    for (int i = int(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(std::size_t(i), ",");
    return digits;
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

// Host of an absolute http(s) address, lower-cased, without "www."; empty
// for relative addresses and other schemes.
std::string LinkHost(std::string_view href) {
    const std::string lower = AsciiLower(Trim(href));
    std::string_view rest(lower);
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
    if (const auto colon = rest.rfind(':');
        colon != std::string_view::npos && rest.find(']') == std::string_view::npos)
        rest = rest.substr(0, colon);
    if (rest.starts_with("www."))
        rest.remove_prefix(4);
    return std::string(rest);
}

// Advance widths in thousandths of an em of Arial (and the metric-compatible
// Liberation Sans) for U+0020..U+007E and U+00A0..U+00FF.
constexpr short AsciiWidths[95] = {
    278,  278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278, // ' '../
    556,  556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, // 0..?
    1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778, // @..O
    667,  778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556, // P.._
    333,  556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556, // `..o
    556,  556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};     // p..~
constexpr short Latin1Widths[96] = {
    278, 333, 556, 556, 556, 556, 260,  556, 333, 737, 370, 556, 584, 333, 737, 552,  // A0..AF
    400, 549, 333, 333, 333, 576, 537,  278, 333, 333, 365, 556, 834, 834, 834, 611,  // B0..BF
    667, 667, 667, 667, 667, 667, 1000, 722, 667, 667, 667, 667, 278, 278, 278, 278,  // C0..CF
    722, 722, 778, 778, 778, 778, 778,  584, 778, 722, 722, 722, 722, 667, 667, 611,  // D0..DF
    556, 556, 556, 556, 556, 556, 889,  500, 556, 556, 556, 556, 278, 278, 278, 278,  // E0..EF
    556, 556, 556, 556, 556, 556, 556,  549, 611, 556, 556, 556, 556, 500, 556, 500}; // F0..FF

// Width of one character in thousandths of an em.
int CharWidth(char32_t cp) {
    if (cp >= 0x20 && cp < 0x7F)
        return AsciiWidths[cp - 0x20];
    if (cp >= 0xA0 && cp <= 0xFF)
        return Latin1Widths[cp - 0xA0];
    switch (cp) {
    case 0x2013: // en dash
    case 0x20AC: // euro
        return 556;
    case 0x2014: // em dash
    case 0x2026: // ellipsis
    case 0x2030: // per mille
    case 0x2122: // trade mark
        return 1000;
    case 0x2018:
    case 0x2019:
    case 0x201A:
        return 222;
    case 0x201C:
    case 0x201D:
    case 0x201E:
    case 0x2039:
    case 0x203A:
        return 333;
    case 0x2022: // bullet
        return 350;
    case 0x200B: // zero width space and joiners
    case 0x200C:
    case 0x200D:
    case 0xFEFF:
        return 0;
    default:
        break;
    }
    if (cp < 0x20)
        return 0;
    // Scripts of square characters take a full em.
    if ((cp >= 0x1100 && cp <= 0x11FF) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
        (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
        (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
        (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1FAFF) ||
        (cp >= 0x20000 && cp <= 0x3FFFD))
        return 1000;
    // Latin, Greek and Cyrillic letters: an average lower-case letter.
    return 556;
}

double TextWidthUnits(std::string_view text) {
    double units = 0;
    for (std::size_t i = 0; i < text.size();)
        units += CharWidth(NextCodePoint(text, i));
    return units;
}

// The text the text analyses read: the main content, or the whole page's
// visible text when the main content holds no words.
struct Reading {
    bool Main = false;
    std::size_t Words = 0;
    std::size_t PageWords = 0;
    std::vector<std::vector<std::string>> Sentences; // word forms, sentence by sentence
    std::vector<std::vector<std::string>> Exact;     // the words as written, lower-cased
};

struct Scorer {
    const PageModel& Page;
    std::string_view Url;
    WordForms& Forms;
    const Reading& Text;
    std::vector<Advice>& Out;
    bool Several;
    double Ceiling; // highest density that is not stuffing, in percent

    void Add(const Phrase* p, std::string what, std::string why, std::string fix, std::string code,
             bool tip = false) {
        if (Several && p)
            what = "For " + Quote(*p) + ": " + what;
        Out.push_back({std::move(what), std::move(why), std::move(fix), std::move(code), tip});
    }

    FormSet FormsOf(std::string_view text) {
        const Words w = Forms.Forms(text);
        return {w.begin(), w.end()};
    }

    std::size_t SentencesMatching(std::string_view text, const Phrase& p) {
        std::size_t n = 0;
        for (const auto& s : SplitSentences(text))
            n += ContainsAll(FormsOf(s), p.Content);
        return n;
    }

    // What was read, when it is not the whole page: "read in the main
    // content: 1,240 words of 3,500 on the page".
    std::string ReadNote() const {
        if (!Text.Main || Text.Words == Text.PageWords)
            return {};
        return " (read in the main content: " + Count(Text.Words) + " " + Noun(Text.Words, "word") +
               " of " + Count(Text.PageWords) + " on the page)";
    }

    // The main content's items, or the whole page's when it is read whole.
    template <typename T> bool Counts(const T& item) const { return !Text.Main || item.InMain; }

    int TitleKeyphrase(const Phrase& p) {
        const Words raw = SplitWords(Page.Title);
        std::size_t start = 0;
        // Leading function words do not push the key words from the start;
        // a section number does ("3.2. Views"): it is what searchers see first.
        while (start < raw.size() && Forms.IsFunctionWord(raw[start]))
            ++start;
        Words title;
        title.reserve(raw.size());
        for (const auto& w : raw)
            title.push_back(Forms.Form(w));
        const auto pos = ExactPosition(title, p.All);
        int score = 2;
        if (pos >= 0 && std::size_t(pos) <= start)
            score = 9;
        else if (pos >= 0 || ContainsAll(FormSet(title.begin(), title.end()), p.Content))
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
        if (px > 600) {
            Add(nullptr, "The title is too long (" + Num(px, 0) + " pixels, more than 600).",
                "Search results show titles in Arial at 20 pixels and cut them after about 600 "
                "pixels, so the end is not seen.",
                "Shorten the title to at most 600 pixels, roughly 55 characters.", "K2");
            return 3;
        }
        if (px < 400)
            Add(nullptr, "The title is short (" + Num(px, 0) + " of about 600 pixels).",
                "A short title leaves room unused in the search result that could describe "
                "the page and draw the click.",
                "If there is more to say, lengthen the title towards 600 pixels, roughly 55 "
                "characters.",
                "K2", true);
        return 9;
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
            n <= 120 ? "The meta description is short (" + std::to_string(n) + " " +
                           Noun(n, "character") + ")."
                     : "The meta description is long (" + std::to_string(n) + " characters).",
            "Descriptions of 121 to 156 characters fill the search result's snippet without "
            "being cut.",
            "Write a description of 121 to 156 characters.", "K4");
        return 6;
    }

    // The first paragraph of what is read: its first <p>, or its first block
    // when it has no paragraphs.
    std::string FirstParagraph() const {
        const auto& paragraphs = Text.Main ? Page.MainParagraphs : Page.Paragraphs;
        for (const auto& para : paragraphs)
            if (!SplitWords(para).empty())
                return para;
        const auto& blocks = Text.Main ? Page.MainBlockTexts : Page.BlockTexts;
        for (const auto& block : blocks)
            if (!SplitWords(block).empty())
                return block;
        return {};
    }

    int Introduction(const Phrase& p) {
        const std::string intro = FirstParagraph();
        if (SentencesMatching(intro, p) > 0)
            return 9;
        if (ContainsAll(FormsOf(intro), p.Content)) {
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

    // Occurrences of the phrase: per sentence holding all its content words,
    // the smallest count of any of them.
    std::size_t Occurrences(const Phrase& p, bool exact) const {
        std::size_t total = 0;
        for (const auto& words : exact ? Text.Exact : Text.Sentences) {
            std::size_t least = SIZE_MAX;
            for (const auto& need : exact ? p.Exact : p.Content)
                least = std::min<std::size_t>(least, std::count(words.begin(), words.end(), need));
            if (least != SIZE_MAX)
                total += least;
        }
        return total;
    }

    // Enough use is judged on word forms ("joined" counts for "join");
    // overuse on the words as written, since stuffing repeats the same words
    // and natural writing varies their forms.
    int Density(const Phrase& p) {
        const std::size_t matches = Occurrences(p, false);
        const std::size_t repeats = Occurrences(p, true);
        const double f = 0.7 + double(p.Length) / 3.0;
        const std::size_t words = Text.Words;
        auto lowAdvice = [&](std::size_t least) {
            Add(&p,
                "The key words appear " + std::to_string(matches) + " " + Noun(matches, "time") +
                    " in " + Count(words) + " " + Noun(words, "word") + ", too few" + ReadNote() +
                    ".",
                "A page that rarely uses its key words is hard to rank for them.",
                "Use " + Quote(p) + " at least " + std::to_string(least) + " " +
                    Noun(least, "time") + ", spread over the text.",
                "K6");
        };
        auto highAdvice = [&](std::size_t most) {
            Add(&p,
                "The key words appear " + std::to_string(repeats) + " " + Noun(repeats, "time") +
                    " in " + Count(words) + " " + Noun(words, "word") + ", too often" + ReadNote() +
                    ".",
                "Repeating the key words beyond natural use reads as keyword stuffing, which "
                "search engines penalise.",
                "Use " + Quote(p) + " at most " + std::to_string(most) + " " + Noun(most, "time") +
                    " and write the rest naturally.",
                "K6");
        };
        if (words < 51) {
            if (matches == 0)
                return lowAdvice(1), 4;
            if (repeats <= 1)
                return 9;
            highAdvice(1);
            return repeats == 2 ? -10 : -50;
        }
        if (words < 100) {
            if (matches == 0)
                return lowAdvice(1), 4;
            if (repeats <= 2)
                return 9;
            highAdvice(2);
            return repeats == 3 ? -10 : -50;
        }
        const double density = double(matches) / double(words) * 100.0 * f;
        const double repeated = double(repeats) / double(words) * 100.0 * f;
        const std::size_t least = std::max<std::size_t>(
            2, static_cast<std::size_t>(std::ceil(0.5 * words / (100.0 * f))));
        const std::size_t most = std::max<std::size_t>(
            2, static_cast<std::size_t>(std::floor(Ceiling * words / (100.0 * f))));
        if (repeated > Ceiling) {
            highAdvice(most);
            return repeated <= 4.0 ? -10 : -50;
        }
        if (matches == 2 && least <= 2)
            return 9;
        if (matches <= 1 || density < 0.5)
            return lowAdvice(least), 4;
        return 9;
    }

    int Subheadings(const Phrase& p) {
        std::size_t total = 0, matching = 0;
        for (const auto& h : Page.Headings) {
            if ((h.Level != 2 && h.Level != 3) || !Counts(h))
                continue;
            ++total;
            // More than half of the key words: "Integer types" does not
            // reflect "numeric types".
            matching += ShareFound(FormsOf(h.Text), p.Content) > 0.5;
        }
        if (total == 0) {
            if (Text.Words <= 300)
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
        std::size_t images = 0, matching = 0;
        for (const auto& img : Page.Images) {
            if (!Counts(img))
                continue;
            ++images;
            matching += img.HasAlt && ShareFound(FormsOf(img.Alt), p.Content) >= 0.5;
        }
        if (images == 0) {
            Add(&p, "The page has no images.",
                "Images with a fitting alternative text add relevance and can be found in "
                "image search.",
                "Add an image whose alt text names " + Quote(p) + ".", "K8");
            return 3;
        }
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
        const FormSet slug = FormsOf(spaced);
        if (slug.empty() || path == "/" || path.empty()) {
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
        const std::size_t n = Text.Words;
        if (n >= 300)
            return 9;
        Add(nullptr, "The text is short (" + Count(n) + " " + Noun(n, "word") + ReadNote() + ").",
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
            if (link.NoFollow || link.Href.empty() || link.Href[0] == '#' || !Counts(link))
                continue;
            if (!p.Content.empty() && FormsOf(link.Text) == p.Content) {
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
        const std::size_t n = p.Length;
        if (p.OnlyFunctionWords) {
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

    // Links from the text to other sites: none, only nofollow, or followed.
    int OutboundLinks() {
        const std::string own = LinkHost(Url);
        std::size_t outbound = 0, followed = 0;
        for (const auto& link : Page.Links) {
            if (!Counts(link) || link.Hidden)
                continue;
            const std::string host = LinkHost(link.Href);
            if (host.empty() || host == own)
                continue;
            ++outbound;
            followed += !link.NoFollow;
        }
        if (outbound == 0) {
            Add(nullptr, "The text links to no other site.",
                "Links to good sources on the subject help readers and show search engines "
                "what the page is about and that it is well researched.",
                "Link to one or more useful pages of other sites from the text.", "K14");
            return 3;
        }
        if (followed == 0) {
            Add(nullptr, "Every link to another site is marked nofollow.",
                "Nofollow tells search engines not to trust the page linked to; used on every "
                "link, it says the page vouches for none of its sources.",
                "Keep nofollow for paid or untrusted links and let links to good sources be "
                "followed.",
                "K14");
            return 7;
        }
        return followed == outbound ? 9 : 8;
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
                std::to_string(generic) + " " + Noun(generic, "link") + " " +
                    Noun(generic, "has", "have") + " a text that says nothing, such as \"" +
                    example + "\".",
                "Search engines read a link's text as a description of the page it leads to.",
                "Use link texts that name the page they lead to.", "B2");
        if (empty)
            Add(nullptr,
                std::to_string(empty) + " " + Noun(empty, "link") + " " +
                    Noun(empty, "has", "have") + " an empty or script address.",
                "Search engines cannot follow links without a real address.",
                "Give every link a real address (href).", "B3");
        const auto noAlt = std::count_if(Page.Images.begin(), Page.Images.end(),
                                         [](const auto& i) { return !i.HasAlt; });
        if (noAlt)
            Add(nullptr,
                std::to_string(noAlt) + " " + Noun(noAlt, "image") + " " +
                    Noun(noAlt, "has", "have") + " no alternative text.",
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

// Blank-separated parts of the phrase that hold a content word: "how to
// bake bread" has 2, "東京タワー" (written without blanks) 1.
std::size_t PhraseLength(std::string_view text, WordForms& forms) {
    std::size_t n = 0, start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos)
            end = text.size();
        for (const auto& w : SplitWords(text.substr(start, end - start)))
            if (!forms.IsFunctionWord(w)) {
                ++n;
                break;
            }
        start = end + 1;
    }
    return n;
}

std::vector<Phrase> ReadPhrases(std::string_view keywords, WordForms& forms) {
    std::vector<Phrase> phrases;
    std::size_t start = 0;
    while (start <= keywords.size() && phrases.size() < 10) {
        std::size_t comma = keywords.find(',', start);
        if (comma == std::string_view::npos)
            comma = keywords.size();
        const std::string text = CollapseSpace(keywords.substr(start, comma - start));
        const Words words = SplitWords(text);
        if (!words.empty()) {
            Phrase p;
            p.Text = text;
            for (const auto& w : words) {
                p.All.push_back(forms.Form(w));
                if (!forms.IsFunctionWord(w)) {
                    p.Content.insert(p.All.back());
                    p.Exact.insert(w);
                }
            }
            p.Length = PhraseLength(text, forms);
            if (p.Content.empty()) {
                // A phrase of function words only is still looked for, word
                // for word; its length factor says it names no subject.
                p.OnlyFunctionWords = true;
                p.Content.insert(p.All.begin(), p.All.end());
                p.Exact.insert(words.begin(), words.end());
                p.Length = words.size();
            }
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

Reading ReadText(const PageModel& page, WordForms& forms) {
    Reading r;
    auto read = [&](const std::string& text) {
        r.Sentences.clear();
        r.Words = 0;
        r.Exact.clear();
        for (const auto& s : SplitSentences(text)) {
            r.Exact.push_back(SplitWords(s));
            std::vector<std::string> sentence;
            sentence.reserve(r.Exact.back().size());
            for (const auto& w : r.Exact.back())
                sentence.push_back(forms.Form(w));
            r.Words += sentence.size();
            r.Sentences.push_back(std::move(sentence));
        }
    };
    read(page.MainText);
    r.Main = r.Words > 0;
    if (r.Main) {
        r.PageWords = SplitWords(page.VisibleText).size();
    } else {
        read(page.VisibleText);
        r.PageWords = r.Words;
    }
    return r;
}

} // namespace

double TitleWidthPx(std::string_view text) {
    return TextWidthUnits(text) * 20.0 / 1000.0;
}

std::string FormatPercentage(int percentage) {
    percentage = std::clamp(percentage, 0, 100);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", percentage);
    return buf;
}

WordweighResult AnalyseWordweigh(const PageModel& page, std::string_view pageUrl,
                                 std::string_view keywords, const WordweighOptions& options) {
    WordweighResult result;
    WordForms forms(page.Lang, options.WordForms);
    const Reading text = ReadText(page, forms);
    const std::vector<Phrase> phrases = ReadPhrases(keywords, forms);
    Scorer s{page,
             pageUrl,
             forms,
             text,
             result.Problems,
             phrases.size() > 1,
             options.WordForms ? 3.5 : 3.0};

    // Factors that do not depend on the key words are scored once.
    const int titleWidth = s.TitleWidth();
    const int descriptionLength = s.DescriptionLength();
    const int textLength = s.TextLength();
    const int singleH1 = s.SingleH1();
    const int outbound = s.OutboundLinks();
    result.Scores = {{"K2", titleWidth},
                     {"K4", descriptionLength},
                     {"K10", textLength},
                     {"K11", singleH1},
                     {"K14", outbound}};
    const int common = titleWidth + descriptionLength + textLength + singleH1 + outbound;
    if (phrases.empty()) {
        s.Add(nullptr, "No key words were given.",
              "The page's effectiveness for key words can only be judged when key words are "
              "given; only the general factors were scored.",
              "Enter the key words the page should be found for.", "K13");
        s.Basics();
        result.Percentage = ToPercentage(common, 5);
        return result;
    }
    int total = 0;
    for (const auto& p : phrases) {
        const std::pair<const char*, int> scores[] = {{"K1", s.TitleKeyphrase(p)},
                                                      {"K3", s.DescriptionKeyphrase(p)},
                                                      {"K5", s.Introduction(p)},
                                                      {"K6", s.Density(p)},
                                                      {"K7", s.Subheadings(p)},
                                                      {"K8", s.ImageAlt(p)},
                                                      {"K9", s.Slug(p)},
                                                      {"K12", s.CompetingLinks(p)},
                                                      {"K13", s.KeyphraseLength(p)}};
        int sum = common;
        for (const auto& [code, score] : scores) {
            sum += score;
            if (&p == &phrases.front())
                result.Scores.emplace_back(code, score);
        }
        total += ToPercentage(sum, FactorCount);
    }
    s.Basics();
    // Tips come after the problems: they explain, they do not count.
    std::stable_partition(result.Problems.begin(), result.Problems.end(),
                          [](const Advice& a) { return !a.Tip; });
    result.Percentage = static_cast<int>(std::lround(double(total) / double(phrases.size())));
    return result;
}

} // namespace vantora
