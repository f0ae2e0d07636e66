// How the keyword analysis reads a page: words split by Unicode classes, the
// main content apart from menus, banners and footers, word forms and
// function words per language, outbound links and the title's width.

#include "PageModel.h"
#include "PageText.h"
#include "Service.h"
#include "Wordweigh.h"

#include <QRegularExpression>
#include <QtTest>

#include <algorithm>

using namespace vantora;

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), int(s.size()));
}

std::string S(const QString& s) {
    return s.toStdString();
}

// Ten-word sentences of distinct filler words: a text in which no word
// stands out, n sentences long.
std::string Filler(int sentences) {
    static const char* const Words[] = {
        "apple",  "bright", "canal",  "dusty",   "eager",  "fabric", "glow",    "harbour",
        "island", "jacket", "kettle", "lantern", "meadow", "narrow", "orchard", "pebble",
        "quiet",  "river",  "saddle", "timber",  "velvet", "walnut", "yarrow",  "willow"};
    std::string out;
    int w = 0;
    for (int s = 0; s < sentences; ++s) {
        for (int k = 0; k < 10; ++k)
            out += std::string(Words[(w++) % 24]) + (k == 9 ? ". " : " ");
    }
    return out;
}

WordweighResult Analyse(const std::string& html, const std::string& keywords,
                        const std::string& url = "http://docs.example.org/views.html") {
    return AnalyseWordweigh(ParsePage(html), url, keywords);
}

int ScoreOf(const WordweighResult& r, const std::string& code) {
    for (const auto& [c, score] : r.Scores)
        if (c == code)
            return score;
    return -1000;
}

bool HasProblem(const WordweighResult& r, const std::string& code) {
    return std::any_of(r.Problems.begin(), r.Problems.end(),
                       [&](const Advice& a) { return a.Code == code && !a.Tip; });
}

std::string Page(const std::string& title, const std::string& body,
                 const std::string& lang = "en") {
    return "<!DOCTYPE html><html lang=\"" + lang + "\"><head><title>" + title +
           "</title></head><body>" + body + "</body></html>";
}

// A key phrase's content words all found among a text's word forms.
bool FormsMatch(const std::string& lang, const std::string& phrase, const std::string& text) {
    WordForms forms(lang);
    const auto have = forms.Forms(text);
    bool any = false;
    for (const auto& w : SplitWords(phrase)) {
        if (forms.IsFunctionWord(w))
            continue;
        any = true;
        if (std::find(have.begin(), have.end(), forms.Form(w)) == have.end())
            return false;
    }
    return any;
}

} // namespace

class ReadingTest : public QObject {
    Q_OBJECT

  private slots:
    void wordsSplitByUnicode_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("words");
        QTest::newRow("no-break space after a number") << "3.2.\u00A0Views"
                                                       << "3|2|views";
        QTest::newRow("em dash") << "tools\u2014spades"
                                 << "tools|spades";
        QTest::newRow("curly quotes") << "\u201CGarden\u201D tools"
                                      << "garden|tools";
        QTest::newRow("typographic apostrophe joins") << "don\u2019t stop"
                                                      << "don't|stop";
        QTest::newRow("apostrophe at the end separates") << "growers' society"
                                                         << "growers|society";
        QTest::newRow("hyphen inside a word") << "e-mail -- list"
                                              << "e-mail|list";
        QTest::newRow("German capitals folded") << "\u00DCber Gr\u00F6\u00DFe"
                                                << "\u00FCber|gr\u00F6\u00DFe";
        QTest::newRow("soft hyphen inside a word") << "Gar\u00ADten"
                                                   << "garten";
        QTest::newRow("ideographs and kana one each") << "\u6771\u4EAC\u30BF\u30EF\u30FC\u3002"
                                                      << "\u6771|\u4EAC|\u30BF|\u30EF|\u30FC";
        QTest::newRow("fullwidth Latin read as ASCII") << "\uFF21\uFF22\uFF23\uFF11"
                                                       << "abc1";
        QTest::newRow("Cyrillic folded")
            << "\u041F\u0440\u0438\u0432\u0435\u0442, \u043C\u0438\u0440"
            << "\u043F\u0440\u0438\u0432\u0435\u0442|\u043C\u0438\u0440";
        QTest::newRow("thin space, ellipsis, bullet") << "a\u2009b\u2026c \u2022 d"
                                                      << "a|b|c|d";
        QTest::newRow("guillemets and inverted marks") << "\u00AB\u00BFQu\u00E9?\u00BB"
                                                       << "qu\u00E9";
        QTest::newRow("combining accent stays in the word") << "Cafe\u0301 bar"
                                                            << "cafe\u0301|bar";
        QTest::newRow("emoji separates") << "tea\U0001F375time"
                                         << "tea|time";
    }
    void wordsSplitByUnicode() {
        QFETCH(QString, text);
        QFETCH(QString, words);
        QStringList got;
        for (const auto& w : SplitWords(S(text)))
            got << Q(w);
        QCOMPARE(got.join('|'), words);
    }

    void invalidBytesSeparateWords() {
        const auto words = SplitWords("ab\xFF"
                                      "cd\xC3");
        QCOMPARE(int(words.size()), 2);
        QCOMPARE(Q(words[0]), QString("ab"));
        QVERIFY(IsValidUtf8(words[1]));
    }

    void wordFormsMatch_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("match");
        QTest::newRow("en joins") << "en"
                                  << "join"
                                  << "She joins the club." << true;
        QTest::newRow("en joined") << "en"
                                   << "join tables"
                                   << "The table was joined." << true;
        QTest::newRow("en creating") << "en"
                                     << "create"
                                     << "Creating a view." << true;
        QTest::newRow("en modules") << "en"
                                    << "module"
                                    << "Loadable modules." << true;
        QTest::newRow("en different word") << "en"
                                           << "join"
                                           << "Jojoba oil." << false;
        QTest::newRow("en function words dropped") << "en"
                                                   << "how to create a view"
                                                   << "Views are created here." << true;
        QTest::newRow("de plural") << "de"
                                   << "Werkzeug"
                                   << "Gute Werkzeuge." << true;
        QTest::newRow("de umlaut plural") << "de-DE"
                                          << "Haus"
                                          << "Zwei H\u00E4user." << true;
        QTest::newRow("de function words dropped") << "de"
                                                   << "wie man Brot backt"
                                                   << "Das Brot wird gebacken, backt es." << true;
        QTest::newRow("de different word") << "de"
                                           << "Garten"
                                           << "Die Garage." << false;
        QTest::newRow("fr elision") << "fr"
                                    << "analyse"
                                    << "Voici l\u2019analyse." << true;
        QTest::newRow("fr plural") << "fr"
                                   << "donn\u00E9e"
                                   << "Les donn\u00E9es." << true;
        QTest::newRow("fr function words dropped") << "fr"
                                                   << "comment cr\u00E9er un site"
                                                   << "Les sites cr\u00E9\u00E9s." << true;
        QTest::newRow("fr different word") << "fr"
                                           << "pain"
                                           << "La peinture." << false;
        QTest::newRow("unknown language reads English") << "xx"
                                                        << "join"
                                                        << "joined" << true;
    }
    void wordFormsMatch() {
        QFETCH(QString, lang);
        QFETCH(QString, phrase);
        QFETCH(QString, text);
        QFETCH(bool, match);
        QCOMPARE(FormsMatch(S(lang), S(phrase), S(text)), match);
    }

    // Every language the stemmer reads drops its own function words and
    // keeps its content words.
    void functionWordsForEveryLanguage_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("content");
        const char* rows[][3] = {{"en", "the", "garden"},
                                 {"de", "der", "garten"},
                                 {"fr", "le", "jardin"},
                                 {"es", "el", "casa"},
                                 {"it", "il", "casa"},
                                 {"nl", "het", "huis"},
                                 {"pt", "o", "casa"},
                                 {"sv", "och", "hus"},
                                 {"da", "og", "hus"},
                                 {"no", "og", "hus"},
                                 {"nb", "ikke", "hus"},
                                 {"nn", "og", "hus"},
                                 {"fi", "ja", "talo"},
                                 {"ru", "\u0438", "\u0434\u043E\u043C"},
                                 {"hu", "\u00E9s", "h\u00E1z"},
                                 {"ro", "\u0219i", "cas\u0103"},
                                 {"tr", "ve", "ev"}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[0]) << QString::fromUtf8(row[1])
                                  << QString::fromUtf8(row[2]);
        QTest::newRow("fr elided pronoun")
            << QStringLiteral("fr") << QStringLiteral("qu'il") << QStringLiteral("l'analyse");
        QTest::newRow("ro cedilla spelling") << QStringLiteral("ro") << QStringLiteral("\u015Fi")
                                             << QStringLiteral("gr\u0103din\u0103");
    }
    void functionWordsForEveryLanguage() {
        QFETCH(QString, lang);
        QFETCH(QString, function);
        QFETCH(QString, content);
        WordForms forms(S(lang));
        QCOMPARE(QString::fromStdString(forms.Language()), lang);
        QVERIFY(forms.HasFunctionWords());
        QVERIFY2(forms.IsFunctionWord(S(function)), qPrintable(function));
        QVERIFY2(!forms.IsFunctionWord(S(content)), qPrintable(content));
    }
    void mainContentIsFound_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("source");
        const int main = int(MainSource::Main), article = int(MainSource::Article),
                  body = int(MainSource::Body);
        QTest::newRow("main element")
            << "<header>DROP</header><main><p>KEEP</p><nav>DROP</nav></main><footer>DROP</footer>"
            << main;
        QTest::newRow("role main")
            << "<div class=\"sidebar\">DROP</div><div role=\"main\"><p>KEEP</p>"
               "</div><div>DROP</div>"
            << main;
        QTest::newRow("the only article")
            << "<div>DROP</div><article><header>KEEP</header><p>KEEP</p></article><p>DROP</p>"
            << article;
        QTest::newRow("two articles: body without banner and footer")
            << "<header>DROP</header><article><header>KEEP</header>KEEP</article>"
               "<article>KEEP</article><footer>DROP</footer>"
            << body;
        QTest::newRow("body without nav, aside and search")
            << "<nav>DROP</nav><aside>DROP</aside><form role=\"search\"><label>DROP</label></form>"
               "<div role=\"navigation\">DROP</div><p>KEEP</p>"
            << body;
        QTest::newRow("a block of links is a menu")
            << "<ul><li><a href=\"/a\">DROP</a></li><li><a href=\"/b\">DROP</a></li>"
               "<li><a href=\"/c\">DROP</a></li></ul><p>KEEP with <a href=\"/d\">a link</a></p>"
            << body;
        QTest::newRow("named navigation blocks")
            << "<div class=\"navheader\">DROP</div><div class=\"toc\">DROP</div>"
               "<div id=\"site-footer\">DROP</div><div class=\"sect1\"><p>KEEP</p></div>"
            << body;
    }
    void mainContentIsFound() {
        QFETCH(QString, body);
        QFETCH(int, source);
        const PageModel page = ParsePage(Page("t", S(body)));
        QCOMPARE(int(page.MainFrom), source);
        QVERIFY2(page.MainText.find("KEEP") != std::string::npos, page.MainText.c_str());
        QVERIFY2(page.MainText.find("DROP") == std::string::npos, page.MainText.c_str());
        QVERIFY(page.VisibleText.find("DROP") != std::string::npos);
    }

    // The four faults on real pages, each reproduced on a page of its own.
    void noBreakSpaceSeparatesTitleAndHeadingWords() {
        const std::string html =
            Page("3.2.&nbsp;Views", "<h1>3.2.&nbsp;Views</h1><p>Views name a query. " + Filler(4) +
                                        "</p><h2>3.2.1.&nbsp;Updatable views</h2><p>" + Filler(4) +
                                        "</p>");
        const auto r = Analyse(html, "views");
        // Found in the title, though after its section number.
        const auto title = std::find_if(r.Problems.begin(), r.Problems.end(),
                                        [](const Advice& a) { return a.Code == "K1"; });
        QVERIFY(title == r.Problems.end() || title->What.find("missing") == std::string::npos);
        QVERIFY(!HasProblem(r, "K7"));
    }

    void introductionIsTheMainContentsFirstParagraph() {
        const std::string html =
            Page("Views", "<div class=\"related\"><p>Previous topic</p><p><a href=\"/a\">Tables"
                          "</a></p></div><nav><p>Show syntax diagram</p></nav><main><p>A view "
                          "names a stored query. " +
                              Filler(3) + "</p></main>");
        const auto r = Analyse(html, "view");
        QVERIFY(!HasProblem(r, "K5"));
    }

    void keyPhraseInMenusIsNotStuffing() {
        std::string menu = "<header><ul>";
        for (int i = 0; i < 10; ++i)
            menu += "<li><a href=\"/c" + std::to_string(i) + "\">constraints " + std::to_string(i) +
                    "</a></li>";
        menu += "</ul></header><nav><ul>";
        for (int i = 0; i < 15; ++i)
            menu += "<li><a href=\"/n" + std::to_string(i) + "\">Check constraints</a></li>";
        menu += "</ul></nav>";
        std::string footer = "<footer><ul>";
        for (int i = 0; i < 15; ++i)
            footer += "<li><a href=\"/f" + std::to_string(i) + "\">Constraints index</a></li>";
        footer += "</ul></footer>";
        const std::string main = "<main><h1>Constraints</h1><p>Constraints limit the data a "
                                 "table holds. " +
                                 Filler(15) + "</p><p>" + Filler(15) +
                                 " Unique constraints come last.</p></main>";
        const auto r = Analyse(Page("Constraints", menu + main + footer), "constraints");
        QVERIFY(!HasProblem(r, "K6"));
    }

    // Enough use counts word forms; overuse counts the words as written.
    void densityCountsFormsForUseAndExactWordsForOveruse_data() {
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("score");
        QTest::newRow("forms alone are enough use") << "Rows were joined here." << 2 << 9;
        QTest::newRow("varied forms are not stuffing")
            << "Tables joined. Joins help. Joining rows. We join them." << 3 << 9;
        QTest::newRow("the same word repeated is stuffing") << "Join. Join join." << 4 << -50;
    }
    void densityCountsFormsForUseAndExactWordsForOveruse() {
        QFETCH(QString, sentence);
        QFETCH(int, times);
        QFETCH(int, score);
        std::string text;
        for (int i = 0; i < times; ++i)
            text += S(sentence) + " " + Filler(4);
        const auto r = Analyse(Page("Join", "<main><p>" + text + "</p></main>"), "join");
        QCOMPARE(ScoreOf(r, "K6"), score);
    }

    void plusInKeywordsIsABlank() {
        ServiceConfig config;
        const auto fetch = [](const std::string& url, const FetchOptions&) {
            FetchResult r;
            r.Status = FetchStatus::Ok;
            r.HttpCode = 200;
            r.FinalUrl = url;
            r.ContentType = "text/html";
            r.Body = Page("Garden tools", "<p>Garden tools for c++ fans.</p>");
            return r;
        };
        const std::string path = "/cgi-bin/zeph/text_output/wordweigh-pt.cgi";
        const std::string url = "url=http://shop.example.org/garden-tools.html&keywords=";
        const auto plus = HandleRequest(path, url + "garden+tools", config, fetch);
        const auto blank = HandleRequest(path, url + "garden%20tools", config, fetch);
        QVERIFY(plus.Body.find("KEYWORDS: garden tools<br>") != std::string::npos);
        QCOMPARE(Q(plus.Body), Q(blank.Body));
        const auto escaped = HandleRequest(path, url + "c%2B%2B", config, fetch);
        QVERIFY2(escaped.Body.find("KEYWORDS: c++<br>") != std::string::npos, escaped.Body.c_str());
    }

    // Counts in the advice take their noun in the right number: one time,
    // one word, one link has, never "1 times" or "link(s)".
    void adviceCountsInTheRightNumber_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("said");
        QTest::newRow("key words once")
            << QString::fromStdString("<p>Views. " + Filler(40) + "</p>") << "appear 1 time in";
        QTest::newRow("one image without alt")
            << QString::fromStdString("<p>Views " + Filler(6) + "</p><img src=\"a.png\">")
            << "1 image has no alternative text.";
        QTest::newRow("one link that says nothing")
            << QString::fromStdString("<p>Views " + Filler(6) +
                                      " <a href=\"/x\">click here</a></p>")
            << "1 link has a text that says nothing";
        QTest::newRow("one script link")
            << QString::fromStdString("<p>Views " + Filler(6) +
                                      " <a href=\"javascript:void(0)\">Spades</a></p>")
            << "1 link has an empty or script address.";
    }
    void adviceCountsInTheRightNumber() {
        QFETCH(QString, body);
        QFETCH(QString, said);
        const auto r = Analyse(Page("Views", S(body)), "views");
        QString all;
        for (const Advice& a : r.Problems)
            all += Q(a.What) + '|' + Q(a.Fix) + '|';
        QVERIFY2(all.contains(said), qPrintable(all));
        static const QRegularExpression wrong(QStringLiteral(
            "\\(s\\)|\\b1 (times|words|characters|links|images)\\b|\\b1 \\w+ have\\b"));
        QVERIFY2(!all.contains(wrong), qPrintable(all));
    }

    void pageAsAllNavigationIsReadWhole() {
        const std::string html =
            Page("Site map", "<nav><ul><li><a href=\"/a\">Garden tools</a></li>"
                             "<li><a href=\"/b\">Spades</a></li></ul></nav>");
        const PageModel page = ParsePage(html);
        QVERIFY(page.MainText.empty());
        const auto r = AnalyseWordweigh(page, "http://a.example/", "garden tools");
        QVERIFY(r.Percentage >= 0 && r.Percentage <= 100);
        QVERIFY(ScoreOf(r, "K6") == 9); // the one mention, in a 3-word page
    }

    void readPartIsNamedInTheAdvice() {
        std::string nav = "<nav>";
        for (int i = 0; i < 20; ++i)
            nav += "<a href=\"/p" + std::to_string(i) + "\">menu entry</a> ";
        nav += "</nav>";
        const auto r =
            Analyse(Page("Views", nav + "<main><p>Views. " + Filler(2) + "</p></main>"), "views");
        const auto it = std::find_if(r.Problems.begin(), r.Problems.end(),
                                     [](const Advice& a) { return a.Code == "K10"; });
        QVERIFY(it != r.Problems.end());
        QVERIFY2(it->What.find("read in the main content: 21 words of 61 on the page") !=
                     std::string::npos,
                 it->What.c_str());
    }

    void phraseOfFunctionWordsOnly_data() {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("phrase");
        QTest::newRow("en") << "en"
                            << "how to";
        QTest::newRow("de") << "de"
                            << "wie und wo";
        QTest::newRow("fr") << "fr"
                            << "de la";
    }
    void phraseOfFunctionWordsOnly() {
        QFETCH(QString, lang);
        QFETCH(QString, phrase);
        const auto r =
            Analyse(Page(S(phrase) + " x", "<p>" + S(phrase) + " x.</p>", S(lang)), S(phrase));
        QCOMPARE(ScoreOf(r, "K13"), 0);
        QVERIFY(HasProblem(r, "K13"));
        // Still looked for, word for word: it starts the title.
        QCOMPARE(ScoreOf(r, "K1"), 9);
    }

    void keyPhraseWithoutSpaces() {
        const std::string title = "\u6771\u4EAC\u30BF\u30EF\u30FC\u306E\u6B74\u53F2";
        const auto r = Analyse(S(Q(Page(title,
                                        "<p>" + title +
                                            "\u3002\u6771\u4EAC\u30BF\u30EF"
                                            "\u30FC\u306F\u9AD8\u3044\u3002</p>",
                                        "ja"))),
                               "\u6771\u4EAC\u30BF\u30EF\u30FC");
        QCOMPARE(ScoreOf(r, "K1"), 9);
        QCOMPARE(ScoreOf(r, "K13"), 9); // one phrase, not five words
        QCOMPARE(ScoreOf(r, "K5"), 9);
    }

    void outboundLinks_data() {
        QTest::addColumn<QString>("links");
        QTest::addColumn<int>("score");
        QTest::newRow("none")
            << "<a href=\"/local\">here</a> <a href=\"http://www.shop.example/x\">"
               "own host</a>"
            << 3;
        QTest::newRow("only nofollow")
            << "<a rel=\"nofollow\" href=\"https://other.example/\">other</a>" << 7;
        QTest::newRow("mixed") << "<a rel=\"nofollow\" href=\"https://other.example/\">o</a> "
                                  "<a href=\"https://third.example/\">t</a>"
                               << 8;
        QTest::newRow("followed") << "<a href=\"//other.example/page\">other</a>" << 9;
    }
    void outboundLinks() {
        QFETCH(QString, links);
        QFETCH(int, score);
        // A followed outbound link in the footer does not count for the text.
        const std::string html = Page(
            "Spades", "<main><p>Spades. " + S(links) +
                          "</p></main><footer><a href=\"https://else.example/\">x</a></footer>");
        const auto r = Analyse(html, "spades", "http://shop.example/spades.html");
        QCOMPARE(ScoreOf(r, "K14"), score);
        QCOMPARE(HasProblem(r, "K14"), score < 8);
    }

    void titleWidthAsSearchResultsDrawIt_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("score");
        QTest::addColumn<bool>("tip");
        QTest::newRow("short: a tip, not a problem") << "Garden tools" << 9 << true;
        QTest::newRow("fits") << "Garden tools for every gardener and allotment season" << 9
                              << false;
        // 574 pixels at 18 px, 638 at the 20 px that results use now.
        QTest::newRow("cut off at 20 px")
            << "Garden tools for every gardener, allotment holder and weekend growers" << 3
            << false;
        QTest::newRow("wide script cut off") << QString(31, QChar(0x5DE5)) << 3 << false;
    }
    void titleWidthAsSearchResultsDrawIt() {
        QFETCH(QString, title);
        QFETCH(int, score);
        QFETCH(bool, tip);
        const auto r = Analyse(Page(S(title), "<p>Garden tools.</p>"), "garden tools");
        QCOMPARE(ScoreOf(r, "K2"), score);
        QCOMPARE(HasProblem(r, "K2"), score < 9);
        const bool hasTip = std::any_of(r.Problems.begin(), r.Problems.end(),
                                        [](const Advice& a) { return a.Tip && a.Code == "K2"; });
        QCOMPARE(hasTip, tip);
        // Tips follow every problem.
        QVERIFY(std::is_partitioned(r.Problems.begin(), r.Problems.end(),
                                    [](const Advice& a) { return !a.Tip; }));
    }

    void noBreakSpaceWidth() {
        QCOMPARE(TitleWidthPx("a\u00A0b"), TitleWidthPx("a b"));
        QCOMPARE(TitleWidthPx("Garden tools"), 114.5); // Arial at 20 px
    }
};

QTEST_GUILESS_MAIN(ReadingTest)
#include "ReadingTest.moc"
