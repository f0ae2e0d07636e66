// The table of site-health checks, one row per rule and its near misses, over
// facts written the way sm writes them; and the facts of pages as read from
// their HTML.

#include "Checks.h"
#include "CrawlFacts.h"
#include "PageFacts.h"
#include "Site.h"
#include "Url.h"

#include <QtTest>

#include <set>
#include <sstream>

using namespace vantora;
using namespace vantora::health;

namespace {

// A fetch record; extra members come last and replace the defaults.
std::string F(int id, const std::string& path, int status = 200, const std::string& extra = "") {
    return "{\"k\":\"fetch\",\"id\":" + std::to_string(id) + ",\"url\":\"http://s.test" + path +
           "\",\"status\":" + std::to_string(status) +
           ",\"depth\":1,\"first_ms\":5,\"bytes\":5000,\"type\":\"text/html\"" +
           (extra.empty() ? "" : "," + extra) + "}\n";
}

// A page record of a page that passes every check.
std::string P(int id, const std::string& extra = "") {
    const std::string n = std::to_string(id);
    return "{\"k\":\"page\",\"id\":" + n + ",\"titles\":[\"Title " + n +
           "\"],\"description\":\"Description " + n +
           "\",\"description_chars\":13,\"h1_count\":1,\"h1_with_text\":1,\"h1_texts\":[\"H\"]," +
           "\"words\":300,\"hash\":\"hash" + n + "\",\"links\":[]" +
           (extra.empty() ? "" : "," + extra) + "}\n";
}

// A crawl: the header, a root page linking to the ids given, then the rest.
std::string Crawl(const std::string& rootLinks, const std::string& rest) {
    return "{\"format\":\"vantora-facts\",\"version\":1,\"root\":\"http://s.test/\"}\n" +
           F(0, "/", 200, "\"depth\":0") + P(0, "\"links\":[" + rootLinks + "]") + rest +
           "{\"k\":\"end\",\"pages\":1,\"complete\":true}\n";
}

// A render record of a page rendered in the browser; extra members last.
std::string R(int id, const std::string& extra = "") {
    return "{\"k\":\"render\",\"id\":" + std::to_string(id) + ",\"rendered\":true" +
           (extra.empty() ? "" : "," + extra) + "}\n";
}

const std::string Listed(const std::string& path) {
    return "{\"k\":\"listed\",\"url\":\"http://s.test" + path + "\"}\n";
}
const std::string SitemapRead =
    "{\"k\":\"sitemap\",\"url\":\"http://s.test/sitemap.xml\",\"status\":200,\"urls\":1}\n";

} // namespace

class TestHealthChecks : public QObject {
    Q_OBJECT
  private slots:
    void checks_data();
    void checks();
    void everyCheckHasRows();
    void hreflangCodes_data();
    void hreflangCodes();
    void pageFacts_data();
    void pageFacts();
    void hostilePagesAreBounded();
    void json_data();
    void json();
    void factsFileFaults_data();
    void factsFileFaults();
    void factsRecords_data();
    void factsRecords();
    void normalUrls_data();
    void normalUrls();
};

namespace {

struct CheckCase {
    const char* Name;
    const char* Check;
    std::string Facts;
    const char* Listed; // the URL path listed; empty: the check lists nothing
    const char* Detail; // the expected detail, when given
};

std::vector<CheckCase> CheckCases() {
    std::vector<CheckCase> cases;
    auto row = [&](const char* name, const char* check, const std::string& facts,
                   const char* listed, const char* detail = "") {
        cases.push_back({name, check, facts, listed, detail});
    };
    row("4xx linked", "status-4xx", Crawl("1", F(1, "/gone", 404)), "/gone", "http://s.test/");
    row("4xx behind a redirect", "status-4xx",
        Crawl("1", F(1, "/old", 301, "\"location\":\"http://s.test/gone\"") + F(2, "/gone", 410)),
        "/gone");
    row("4xx nobody links to", "status-4xx", Crawl("", F(1, "/gone", 404)), "");
    row("5xx linked", "status-5xx", Crawl("1", F(1, "/err", 503)), "/err");
    row("no answer is 5xx", "status-5xx",
        Crawl("1", F(1, "/dead", 0, "\"error\":\"Connection closed\"")), "/dead");
    row("redirect loop is no 5xx", "status-5xx",
        Crawl("1", F(1, "/a", 301, "\"location\":\"http://s.test/b\"") +
                       F(2, "/b", 301, "\"location\":\"http://s.test/a\"")),
        "");
    row("chain of two", "redirect-chain",
        Crawl("1", F(1, "/a", 301, "\"location\":\"http://s.test/b\"") +
                       F(2, "/b", 302, "\"location\":\"http://s.test/c\"") + F(3, "/c") + P(3)),
        "/a", "http://s.test/a -> http://s.test/b -> http://s.test/c");
    row("one redirect is no chain", "redirect-chain",
        Crawl("1", F(1, "/a", 301, "\"location\":\"http://s.test/c\"") + F(3, "/c") + P(3)), "");
    row("a loop is no chain", "redirect-chain",
        Crawl("1", F(1, "/a", 301, "\"location\":\"http://s.test/b\"") +
                       F(2, "/b", 301, "\"location\":\"http://s.test/c\"") +
                       F(3, "/c", 301, "\"location\":\"http://s.test/a\"")),
        "");
    row("loop", "redirect-loop",
        Crawl("1", F(1, "/a", 301, "\"location\":\"http://s.test/b\"") +
                       F(2, "/b", 301, "\"location\":\"http://s.test/a\"")),
        "/a");
    row("chain without loop", "redirect-loop",
        Crawl("1", F(1, "/a", 301, "\"location\":\"http://s.test/b\"") +
                       F(2, "/b", 301, "\"location\":\"http://s.test/c\"") + F(3, "/c") + P(3)),
        "");
    row("linked redirect", "redirect-internal",
        Crawl("1", F(1, "/a", 301, "\"location\":\"http://s.test/c\"") + F(3, "/c") + P(3)), "/a",
        "http://s.test/c");
    row("hop reached only by redirect", "redirect-internal",
        Crawl("1", F(1, "/a", 301, "\"location\":\"http://s.test/b\"") +
                       F(2, "/b", 301, "\"location\":\"http://s.test/c\"") + F(3, "/c") + P(3)),
        "/a"); // /b is not listed: only the first URL of the chain
    row("redirect nobody links to", "redirect-internal",
        Crawl("", F(1, "/a", 301, "\"location\":\"http://s.test/\"")), "");
    row("no title", "title-missing", Crawl("1", F(1, "/p") + P(1, "\"titles\":[]")), "/p");
    row("blank title", "title-missing", Crawl("1", F(1, "/p") + P(1, "\"titles\":[\"  \"]")), "/p");
    row("error body is no page", "title-missing",
        Crawl("1", F(1, "/p", 404) + P(1, "\"titles\":[]")), "");
    row("same title", "title-duplicate",
        Crawl("1,2", F(1, "/a") + P(1, "\"titles\":[\"Same  Title\"]") + F(2, "/b") +
                         P(2, "\"titles\":[\" Same Title\"]")),
        "/a", "http://s.test/b");
    row("case differs", "title-duplicate",
        Crawl("1,2", F(1, "/a") + P(1, "\"titles\":[\"Same\"]") + F(2, "/b") +
                         P(2, "\"titles\":[\"same\"]")),
        "");
    row("noindex copy is no duplicate", "title-duplicate",
        Crawl("1,2", F(1, "/a") + P(1, "\"titles\":[\"Same\"]") + F(2, "/b") +
                         P(2, "\"titles\":[\"Same\"],\"robots\":\"noindex\"")),
        "");
    row("empty titles are no duplicates", "title-duplicate",
        Crawl("1,2",
              F(1, "/a") + P(1, "\"titles\":[\"\"]") + F(2, "/b") + P(2, "\"titles\":[\"\"]")),
        "");
    row("wide title", "title-too-long",
        Crawl("1", F(1, "/p") + P(1, "\"titles\":[\"" + std::string(60, 'W') + "\"]")), "/p");
    row("narrow title", "title-too-long",
        Crawl("1", F(1, "/p") + P(1, "\"titles\":[\"" + std::string(60, 'i') + "\"]")), "");
    row("two titles", "title-multiple", Crawl("1", F(1, "/p") + P(1, "\"titles\":[\"a\",\"b\"]")),
        "/p", "2 titles");
    row("one title", "title-multiple", Crawl("1", F(1, "/p") + P(1)), "");
    row("no description", "description-missing",
        Crawl("1", F(1, "/p") + "{\"k\":\"page\",\"id\":1,\"titles\":[\"t\"],\"words\":300}\n"),
        "/p", "no description");
    row("empty description", "description-missing",
        Crawl("1", F(1, "/p") + P(1, "\"description\":\"\"")), "/p", "empty description");
    row("described", "description-missing", Crawl("1", F(1, "/p") + P(1)), "");
    row("same description", "description-duplicate",
        Crawl("1,2", F(1, "/a") + P(1, "\"description\":\"D\"") + F(2, "/b") +
                         P(2, "\"description\":\"D\"")),
        "/b", "http://s.test/a");
    row("canonicalised copy", "description-duplicate",
        Crawl("1,2", F(1, "/a") + P(1, "\"description\":\"D\"") + F(2, "/b") +
                         P(2, "\"description\":\"D\",\"canonicals\":[\"http://s.test/a\"]")),
        "");
    row("161 characters", "description-too-long",
        Crawl("1", F(1, "/p") + P(1, "\"description_chars\":161")), "/p", "161 characters");
    row("160 characters", "description-too-long",
        Crawl("1", F(1, "/p") + P(1, "\"description_chars\":160")), "");
    row("no h1", "h1-missing", Crawl("1", F(1, "/p") + P(1, "\"h1_count\":0,\"h1_with_text\":0")),
        "/p");
    row("empty h1", "h1-missing",
        Crawl("1", F(1, "/p") + P(1, "\"h1_count\":1,\"h1_with_text\":0")), "/p");
    row("one h1", "h1-missing", Crawl("1", F(1, "/p") + P(1)), "");
    row("two h1", "h1-multiple", Crawl("1", F(1, "/p") + P(1, "\"h1_count\":2")), "/p");
    row("single h1", "h1-multiple", Crawl("1", F(1, "/p") + P(1)), "");
    row("robots noindex", "noindex", Crawl("1", F(1, "/p") + P(1, "\"robots\":\"noindex,follow\"")),
        "/p");
    row("header none", "noindex", Crawl("1", F(1, "/p", 200, "\"x_robots\":\"none\"") + P(1)),
        "/p");
    row("index follow", "noindex", Crawl("1", F(1, "/p") + P(1, "\"robots\":\"index, follow\"")),
        "");
    row("canonical elsewhere", "canonical-elsewhere",
        Crawl("1", F(1, "/p") + P(1, "\"canonicals\":[\"http://s.test/q\"]")), "/p",
        "http://s.test/q");
    row("canonical by header", "canonical-elsewhere",
        Crawl("1", F(1, "/p", 200, "\"link_canonical\":[\"http://s.test/q\"]") + P(1)), "/p");
    row("self canonical", "canonical-elsewhere",
        Crawl("1", F(1, "/p") + P(1, "\"canonicals\":[\"http://S.test:80/p\"]")), "");
    row("canonical to 404", "canonical-broken",
        Crawl("1", F(1, "/p") + P(1, "\"canonicals\":[\"http://s.test/q\"]") + F(2, "/q", 404)),
        "/p", "http://s.test/q answers 404");
    row("canonical redirects", "canonical-broken",
        Crawl("1", F(1, "/p") + P(1, "\"canonicals\":[\"http://s.test/q\"]") +
                       F(2, "/q", 301, "\"location\":\"http://s.test/r\"")),
        "/p");
    row("canonical to noindex", "canonical-broken",
        Crawl("1", F(1, "/p") + P(1, "\"canonicals\":[\"http://s.test/q\"]") + F(2, "/q") +
                       P(2, "\"robots\":\"noindex\"")),
        "/p");
    row("canonical to javascript", "canonical-broken",
        Crawl("1", F(1, "/p") + P(1, "\"canonicals\":[\"javascript:void(0)\"]")), "/p");
    row("canonical to a good page", "canonical-broken",
        Crawl("1", F(1, "/p") + P(1, "\"canonicals\":[\"http://s.test/q\"]") + F(2, "/q") + P(2)),
        "");
    row("two canonicals", "canonical-multiple",
        Crawl("1", F(1, "/p", 200, "\"link_canonical\":[\"http://s.test/r\"]") +
                       P(1, "\"canonicals\":[\"http://s.test/q\"]")),
        "/p");
    row("same canonical twice", "canonical-multiple",
        Crawl("1", F(1, "/p", 200, "\"link_canonical\":[\"http://s.test/q\"]") +
                       P(1, "\"canonicals\":[\"http://s.test/q\"]")),
        "");
    row("alternate does not return", "hreflang-no-return",
        Crawl("1,2", F(1, "/en") + P(1, "\"hreflang\":[[\"de\",\"http://s.test/de\"]]") +
                         F(2, "/de") + P(2)),
        "/en", "http://s.test/de");
    row("alternate returns", "hreflang-no-return",
        Crawl("1,2", F(1, "/en") + P(1, "\"hreflang\":[[\"de\",\"http://s.test/de\"]]") +
                         F(2, "/de") + P(2, "\"hreflang\":[[\"en\",\"http://s.test/en\"]]")),
        "");
    row("self reference only", "hreflang-no-return",
        Crawl("1", F(1, "/en") + P(1, "\"hreflang\":[[\"en\",\"http://s.test/en\"]]")), "");
    row("zz is no language", "hreflang-invalid",
        Crawl("1", F(1, "/p") + P(1, "\"hreflang\":[[\"zz\",\"http://s.test/z\"]]")), "/p",
        "\"zz\"");
    row("region and x-default", "hreflang-invalid",
        Crawl("1", F(1, "/p") + P(1, "\"hreflang\":[[\"EN-gb\",\"http://s.test/a\"],"
                                     "[\"x-default\",\"http://s.test/b\"]]")),
        "");
    row("same text", "content-duplicate",
        Crawl("1,2", F(1, "/a") + P(1, "\"hash\":\"h\"") + F(2, "/b") + P(2, "\"hash\":\"h\"")),
        "/a", "http://s.test/b");
    row("noindex copy of the text", "content-duplicate",
        Crawl("1,2", F(1, "/a") + P(1, "\"hash\":\"h\"") + F(2, "/b") +
                         P(2, "\"hash\":\"h\",\"robots\":\"noindex\"")),
        "");
    row("199 words", "content-thin", Crawl("1", F(1, "/p") + P(1, "\"words\":199")), "/p",
        "199 words");
    row("200 words", "content-thin", Crawl("1", F(1, "/p") + P(1, "\"words\":200")), "");
    row("slow", "response-slow", Crawl("1", F(1, "/p", 200, "\"first_ms\":1001") + P(1)), "/p",
        "1001 ms");
    row("1000 ms", "response-slow", Crawl("1", F(1, "/p", 200, "\"first_ms\":1000") + P(1)), "");
    row("heavy", "page-heavy", Crawl("1", F(1, "/p", 200, "\"bytes\":1048577") + P(1)), "/p");
    row("one MiB", "page-heavy", Crawl("1", F(1, "/p", 200, "\"bytes\":1048576") + P(1)), "");
    row("images without alt", "image-alt-missing",
        Crawl("1", F(1, "/p") + P(1, "\"img_no_alt\":2")), "/p", "2 images");
    row("every image has alt", "image-alt-missing", Crawl("1", F(1, "/p") + P(1)), "");
    row("http script on https", "mixed-content",
        Crawl("1", "{\"k\":\"fetch\",\"id\":1,\"url\":\"https://s.test/p\",\"status\":200,"
                   "\"depth\":1}\n" +
                       P(1, "\"insecure\":[\"http://cdn.test/a.js\"],\"insecure_count\":1")),
        "https://s.test/p");
    row("http page", "mixed-content",
        Crawl("1",
              F(1, "/p") + P(1, "\"insecure\":[\"http://cdn.test/a.js\"],\"insecure_count\":1")),
        "");
    row("5 clicks deep", "depth-deep", Crawl("1", F(1, "/p", 200, "\"depth\":5") + P(1)), "/p",
        "5 clicks");
    row("4 clicks deep", "depth-deep", Crawl("1", F(1, "/p", 200, "\"depth\":4") + P(1)), "");
    row("orphan", "sitemap-orphan",
        Crawl("", SitemapRead + Listed("/o") + F(1, "/o", 200, "\"source\":\"sitemap\"") + P(1)),
        "/o");
    row("linked and listed", "sitemap-orphan",
        Crawl("1", SitemapRead + Listed("/o") + F(1, "/o") + P(1)), "");
    row("not in the sitemap", "sitemap-missing", Crawl("1", SitemapRead + F(1, "/p") + P(1)), "/p");
    row("site without sitemap", "sitemap-missing", Crawl("1", F(1, "/p") + P(1)), "");
    row("noindex page not listed", "sitemap-missing",
        Crawl("1", SitemapRead + Listed("/") + F(1, "/p") + P(1, "\"robots\":\"noindex\"")), "");
    row("sitemap lists a redirect", "sitemap-nonindexable",
        Crawl("1", SitemapRead + Listed("/r") + F(1, "/r", 301, "\"location\":\"http://s.test/\"")),
        "/r", "redirects to http://s.test/");
    row("sitemap lists a noindex page", "sitemap-nonindexable",
        Crawl("1", SitemapRead + Listed("/n") + F(1, "/n") + P(1, "\"robots\":\"noindex\"")), "/n");
    row("sitemap lists an indexable page", "sitemap-nonindexable",
        Crawl("1", SitemapRead + Listed("/i") + F(1, "/i") + P(1)), "");
    row("bad JSON-LD", "structured-data-invalid",
        Crawl("1", F(1, "/p") + P(1, "\"jsonld\":2,\"jsonld_invalid\":1")), "/p", "1 of 2 blocks");
    row("good JSON-LD", "structured-data-invalid",
        Crawl("1", F(1, "/p") + P(1, "\"jsonld\":2,\"jsonld_invalid\":0")), "");
    row("fragment named nowhere", "fragment-missing",
        Crawl("1,2", F(1, "/a") + P(1, "\"fragments\":[[\"http://s.test/b\",\"top\"]]") +
                         F(2, "/b") + P(2, "\"ids\":[\"main\"]")),
        "/a", "http://s.test/b#top");
    row("fragment names an id", "fragment-missing",
        Crawl("1,2", F(1, "/a") + P(1, "\"fragments\":[[\"http://s.test/b\",\"caf%C3%A9\"]]") +
                         F(2, "/b") + P(2, "\"ids\":[\"caf\\u00e9\"]")),
        "");
    row("fragment on the page itself", "fragment-missing",
        Crawl("1",
              F(1, "/a") + P(1, "\"fragments\":[[\"http://s.test/a\",\"x\"]],\"ids\":[\"x\"]")),
        "");
    row("links only scripts make", "js-only-links",
        Crawl("1", F(1, "/a") + P(1) + R(1, "\"js_links\":[3,2,3]") + F(2, "/c") + P(2) +
                       F(3, "/b") + P(3)),
        "/a", "2 pages linked only by scripts, such as http://s.test/b");
    row("rendered, no new links", "js-only-links",
        Crawl("1", F(1, "/a") + P(1) + R(1, "\"js_links\":[]")), "");
    row("script sets another title", "js-changed-title",
        Crawl("1", F(1, "/a") + P(1) + R(1, "\"changed\":[\"title\"],\"titles\":[\"New\"]")), "/a",
        "\"Title 1\" -> \"New\"");
    row("script sets the same title again", "js-changed-title",
        Crawl("1", F(1, "/a") + P(1) + R(1, "\"changed\":[\"title\"],\"titles\":[\" Title  1 \"]")),
        "");
    row("script removes the description", "js-changed-description",
        Crawl("1", F(1, "/a") + P(1) + R(1, "\"changed\":[\"description\"]")), "/a",
        "\"Description 1\" -> none");
    row("script sets the same description", "js-changed-description",
        Crawl("1", F(1, "/a") + P(1) +
                       R(1, "\"changed\":[\"description\"],\"description\":\"Description 1\"")),
        "");
    row("script adds a canonical", "js-changed-canonical",
        Crawl("1", F(1, "/a") + P(1) +
                       R(1, "\"changed\":[\"canonical\"],\"canonicals\":[\"http://s.test/b\"]")),
        "/a", "none -> \"http://s.test/b\"");
    row("script sets the same canonical with a fragment", "js-changed-canonical",
        Crawl("1",
              F(1, "/a") + P(1, "\"canonicals\":[\"http://s.test/a\"]") +
                  R(1, "\"changed\":[\"canonical\"],\"canonicals\":[\"http://s.test/a#top\"]")),
        "");
    row("script adds noindex", "js-changed-robots",
        Crawl("1", F(1, "/a") + P(1, "\"robots\":\"index\"") +
                       R(1, "\"changed\":[\"robots\"],\"robots\":\"noindex\"")),
        "/a", "\"index\" -> \"noindex\"");
    row("script reorders the same robots", "js-changed-robots",
        Crawl("1", F(1, "/a") + P(1, "\"robots\":\"noindex, nofollow\"") +
                       R(1, "\"changed\":[\"robots\"],\"robots\":\"nofollow,noindex\"")),
        "");
    row("uncaught script error", "render-error",
        Crawl("1", F(1, "/a") + P(1) + R(1, "\"error\":\"TypeError: x is undefined\"")), "/a",
        "TypeError: x is undefined");
    row("renderer crashed", "render-error",
        Crawl("1", F(1, "/a") + P(1) +
                       "{\"k\":\"render\",\"id\":1,\"rendered\":false,\"note\":\"the page's "
                       "renderer crashed\"}\n"),
        "/a", "not rendered: the page's renderer crashed");
    row("rendered cleanly", "render-error", Crawl("1", F(1, "/a") + P(1) + R(1)), "");
    row("did not settle", "render-timeout",
        Crawl("1", F(1, "/a") + P(1) + R(1, "\"timeout\":true")), "/a");
    row("settled", "render-timeout", Crawl("1", F(1, "/a") + P(1) + R(1)), "");
    return cases;
}

} // namespace

void TestHealthChecks::checks_data() {
    QTest::addColumn<QString>("check");
    QTest::addColumn<QString>("facts");
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("detail");
    for (const CheckCase& c : CheckCases())
        QTest::newRow(c.Name) << c.Check << QString::fromStdString(c.Facts) << c.Listed << c.Detail;
}

void TestHealthChecks::checks() {
    QFETCH(QString, check);
    QFETCH(QString, facts);
    QFETCH(QString, listed);
    QFETCH(QString, detail);
    std::istringstream in(facts.toStdString());
    CrawlFacts crawl;
    std::string error;
    QVERIFY2(ReadFacts(in, crawl, error), error.c_str());
    QVERIFY(FindCheck(check.toStdString()));
    std::vector<Finding> mine;
    for (const Finding& finding : FindIssues(crawl))
        if (finding.Check == check.toStdString())
            mine.push_back(finding);
    if (listed.isEmpty()) {
        QVERIFY2(mine.empty(),
                 mine.empty() ? "" : (mine[0].Url.str() + ": " + mine[0].Detail.str()).c_str());
        return;
    }
    const std::string url =
        listed.startsWith('/') ? "http://s.test" + listed.toStdString() : listed.toStdString();
    const auto found = std::find_if(mine.begin(), mine.end(),
                                    [&](const Finding& finding) { return finding.Url == url; });
    QVERIFY2(found != mine.end(), ("not listed: " + url).c_str());
    QCOMPARE(found->Level, FindCheck(check.toStdString())->Level);
    if (!detail.isEmpty())
        QCOMPARE(QString::fromStdString(found->Detail.str()), detail);
}

void TestHealthChecks::everyCheckHasRows() {
    // Adding a check means adding its rows above: a listed case and a near miss.
    std::set<std::string> listed, missed, ids;
    for (const CheckCase& c : CheckCases())
        (*c.Listed ? listed : missed).insert(c.Check);
    for (const CheckRule& rule : CheckTable()) {
        const std::string id(rule.Id);
        QVERIFY2(ids.insert(id).second, ("two rules named " + id).c_str());
        QVERIFY2(listed.count(id), ("no row lists " + id).c_str());
        QVERIFY2(missed.count(id), ("no near miss for " + id).c_str());
    }
    QCOMPARE(ids.size(), size_t(39));
}

void TestHealthChecks::hreflangCodes_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("valid");
    QTest::newRow("language") << "de" << true;
    QTest::newRow("language and region, any case") << "pt-BR" << true;
    QTest::newRow("x-default") << "X-Default" << true;
    QTest::newRow("well formed, no such language") << "zz" << false;
    QTest::newRow("no such region") << "en-UK" << false;
    QTest::newRow("underscore") << "en_GB" << false;
    QTest::newRow("three letters") << "eng" << false;
    QTest::newRow("empty") << "" << false;
}

void TestHealthChecks::hreflangCodes() {
    QFETCH(QString, value);
    QFETCH(bool, valid);
    QCOMPARE(ValidHreflang(value.toStdString()), valid);
}

void TestHealthChecks::pageFacts_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("fact");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* name, const char* html, const char* fact, const char* expected) {
        QTest::newRow(name) << html << fact << expected;
    };
    row("title collapsed", "<title> A \n  b </title>", "titles", "A b");
    row("two titles in the head", "<head><title>a</title><title>b</title></head>", "titles", "a|b");
    row("a title in the body is not the page's",
        "<head><title>a</title></head><body><svg><title>x</title></svg></body>", "titles", "a");
    row("description counted in characters after entities",
        "<meta name=Description content='caf&eacute;  &amp; more'>", "description",
        "café & more|11");
    row("no description", "<title>t</title>", "description", "-");
    row("a numeric reference beyond Unicode is the replacement character",
        "<title>a &#6666666666 b &#66666666666666666666; c</title>", "titles",
        "a \xEF\xBF\xBD b \xEF\xBF\xBD c");
    row("robots joined, lower case",
        "<meta name=robots content='NoIndex'><meta name=ROBOTS content=nofollow>", "robots",
        "noindex,nofollow");
    row("relative canonical resolved", "<link rel='Canonical' href='/p?x=1#f'>", "canonicals",
        "http://s.test/p?x=1");
    row("the same canonical twice is one",
        "<link rel=canonical href=/p><link rel=canonical href=http://s.test/p>", "canonicals",
        "http://s.test/p");
    row("canonical under base", "<base href='http://s.test/d/'><link rel=canonical href=p>",
        "canonicals", "http://s.test/d/p");
    row("hreflang resolved", "<link rel=alternate hreflang=de href=../de/>", "hreflang",
        "de=http://s.test/de/");
    row("h1 with and without text", "<body><h1> </h1><h1>One <b>Two</b></h1></body>", "h1",
        "2|1|One Two");
    row("ids and anchor names", "<body><div id=a><a name=b>x</a><p ID=c></p></div></body>", "ids",
        "a|b|c");
    row("main element wins",
        "<body><nav>one two</nav><main>three four five</main><p>six</p></body>", "words", "3");
    row("body without nav, header, footer, aside",
        "<body><header>a b</header><nav>c</nav><p>one, two</p><aside>d</aside>"
        "<footer>e</footer><script>var x = 1;</script></body>",
        "words", "2");
    row("punctuation is no word", "<body><p>one -- two ... 3</p></body>", "words", "3");
    row("inline tags do not split words", "<body><p>wo<b>rd</b> next</p></body>", "words", "2");
    row("images without alt",
        "<body><img src=a><img src=b alt><img src=c alt=''><IMG SRC=d></body>", "img_no_alt", "2");
    row("http resources of a page over http",
        "<script src='http://cdn.test/a.js'></script><link rel=stylesheet "
        "href='//s.test/s.css'><img src='http://s.test/i.png'><a href='http://x.test/'>a</a>",
        "insecure", "0|");
    row("http resources of a page over https",
        "<script src='http://cdn.test/a.js'></script><link rel=stylesheet "
        "href='//s.test/s.css'><img src='http://s.test/i.png'><a href='http://x.test/'>a</a>",
        "insecure", "2|http://cdn.test/a.js|http://s.test/i.png");
    row("a comment ended by --!> before raw text",
        "<!--a--!><noembed>&#9999999</noembed><p>one two</p>", "words", "3");
    row("JSON-LD blocks",
        "<script type='application/ld+json'>{\"a\":[1,2,{\"b\":null}]}</script>"
        "<script type='Application/LD+JSON '>{\"a\":</script>",
        "jsonld", "2|1");
    row("fragments, a bare # is none",
        "<body><a href='#top'>a</a><a href='#'>b</a><a href='/x#y'>c</a></body>", "fragments",
        "http://s.test/page#top|http://s.test/x#y");
    row("nofollow only where no followed link leads too",
        "<body><a href=/a rel=nofollow>a</a><a href=/b#f rel='UGC NoFollow'>b</a>"
        "<a href=/b>b</a><area href=/c rel=nofollow><a href=/a#x rel=nofollow>a</a></body>",
        "nofollow", "http://s.test/a|http://s.test/c");
    // Where the reader without the tree builder must follow the parser's rules
    // (each row is read by both readers, which must agree).
    row("text of implied paragraphs, list items and cells",
        "<!DOCTYPE html><p>one<p>two<ul><li>a<li>b<ul><li>c</ul></ul><table><tr><td>x<td>y"
        "<tr><td><b>z</td></table>w",
        "words", "9");
    row("inline edges and stray end tags",
        "<body><p>a<b>b</b>c</span>d<i>e</i>f<br>g</div>h</body>i", "words", "4");
    row("text before the body and after it",
        "<head><meta name=x></head>lead &amp; text<title>late</title></body>tail", "words", "3");
    row("headings with markup, in noscript, and empty",
        "<h1>Head <em>line</em> &lt;1&gt;</h1><noscript><h1>n</h1></noscript><h1> </h1>", "h1",
        "2|1|Head line <1>");
    row("main content without nav, header, footer and aside",
        "<header><nav>menu</nav></header><article>text one <xmp>x<y</xmp></article>"
        "<aside>side</aside><footer>f</footer>",
        "words", "3");
    // the parser library knows no dialog or search: they close no paragraph, so
    // "c" and "d" end up in one paragraph as one word
    row("dialog and search close no paragraph", "<p>a<dialog>b<p>c</dialog>d<search>e</search>",
        "words", "4");
    // the end tag of an element outside the paragraph is dropped there
    row("an end tag stops at an open paragraph", "<x><p>a</x>b</p>c", "words", "2");
    // raw text keeps a numeric reference beyond Unicode as written; elsewhere it
    // reads as the replacement character (a word of its own)
    row("a reference beyond Unicode in raw text stays as written",
        "<body><iframe>a &#6666666 b</iframe><p>c &#6666666; d</p><!-- &#6666666 --></body>",
        "words", "6");
    // a tag name runs to a blank, "/" or ">", "<" and all: 1000 elements nested
    // (within the tree builder's reach), each with a word, not 2000
    QTest::newRow("tag names holding '<', nested 1000 deep")
        << QString("<x<y a=b>w &amp; ").repeated(1000) << "words"
        << "1000";
    // closed by the next paragraph or cell, formatting elements nest no deeper
    // (the tree builder opens at most three alike again; a cell ends them)
    QTest::newRow("a font in each of 2000 paragraphs")
        << "<!DOCTYPE html>" + QString("<p><font face=x>w").repeated(2000) << "words"
        << "2000";
    QTest::newRow("a font in each of 2000 cells")
        << "<table><tr>" + QString("<td><font>w</td>").repeated(2000) << "words"
        << "2000";
}

void TestHealthChecks::pageFacts() {
    QFETCH(QString, html);
    QFETCH(QString, fact);
    QFETCH(QString, expected);
    const std::string page = QByteArray(QTest::currentDataTag()).endsWith("over https")
                                 ? "https://s.test/page"
                                 : "http://s.test/page";
    const PageFacts facts = ReadPageFacts(html.toStdString(), page);
    if (std::optional<PageFacts> fast = ReadPageFactsFast(html.toStdString(), page)) {
        PageFacts parsed = facts;
        fast->Links = parsed.Links = {};
        QVERIFY(*fast == parsed);
    } else {
        QVERIFY2(!QByteArray(QTest::currentDataTag()).contains("implied"), "not read fast");
    }
    auto join = [](const std::vector<std::string>& list) {
        QStringList out;
        for (const std::string& item : list)
            out << QString::fromStdString(item);
        return out.join('|');
    };
    QString actual;
    if (fact == "titles")
        actual = join(facts.Titles);
    else if (fact == "description")
        actual = facts.HasDescription ? QString::fromStdString(facts.Description) + "|" +
                                            QString::number(facts.DescriptionChars)
                                      : "-";
    else if (fact == "robots")
        actual = QString::fromStdString(facts.Robots);
    else if (fact == "canonicals")
        actual = join(facts.Canonicals);
    else if (fact == "hreflang")
        for (const auto& [lang, href] : facts.Alternates)
            actual += QString::fromStdString(lang + "=" + href);
    else if (fact == "h1")
        actual = QString::number(facts.H1Count) + "|" + QString::number(facts.H1WithText) + "|" +
                 join(facts.H1Texts);
    else if (fact == "ids")
        actual = join(facts.Ids);
    else if (fact == "words")
        actual = QString::number(facts.MainWords);
    else if (fact == "img_no_alt")
        actual = QString::number(facts.ImagesWithoutAlt);
    else if (fact == "insecure")
        actual = QString::number(facts.InsecureCount) + "|" + join(facts.Insecure);
    else if (fact == "jsonld")
        actual = QString::number(facts.JsonLdBlocks) + "|" + QString::number(facts.JsonLdInvalid);
    else if (fact == "nofollow")
        actual = join(facts.NoFollow);
    else if (fact == "fragments") {
        QStringList parts;
        for (const auto& [url, fragment] : facts.Fragments)
            parts << QString::fromStdString(url + "#" + fragment);
        actual = parts.join('|');
    }
    QCOMPARE(actual, expected);
}

void TestHealthChecks::hostilePagesAreBounded() {
    // A title of 1 MB, 100,000 hreflang links, JSON-LD nested 100,000 deep and a
    // document nested past the tree builder's reach: each read within bounds.
    std::string html = "<head><title>" + std::string(1 << 20, 'x') + "</title>";
    for (int i = 0; i < 100000; ++i)
        html += "<link rel=alternate hreflang=de href=/p" + std::to_string(i) + ">";
    html += "<script type=application/ld+json>" + std::string(100000, '[') +
            std::string(100000, ']') + "</script></head><body><p>text</p></body>";
    PageFacts facts = ReadPageFacts(html, "http://s.test/");
    QCOMPARE(facts.Titles.size(), size_t(1));
    QCOMPARE(facts.Titles[0].size(), size_t(1000));
    QCOMPARE(facts.AlternateCount, size_t(100000));
    QCOMPARE(facts.Alternates.size(), size_t(1000));
    QCOMPARE(facts.JsonLdInvalid, size_t(0));
    // Nested past the tree builder's reach, written plainly or such that the
    // nesting shows only by the tree builder's rules: "/>" closes no div, an end
    // tag of a made-up name closes the innermost made-up element whatever its
    // name, a cell closes only the open cell, bold text closed by its div opens
    // again before the next text (each of them, as they differ: "#" is the
    // unit's number). Each is read by the tag scanner.
    for (const char* unit :
         {"<div>", "<div/>", "<x><y></x>", "<table><tr><td><i>", "<div><b class=#>x</div>"}) {
        std::string deep = "<body>";
        for (int i = 0; i < 100000; ++i) {
            std::string numbered = unit;
            if (const size_t at = numbered.find('#'); at != std::string::npos)
                numbered.replace(at, 1, std::to_string(i));
            deep += numbered;
        }
        deep += "<a href=/x>x</a>";
        facts = ReadPageFacts(deep, "http://s.test/");
        QVERIFY2(facts.TooDeep, unit);
        QCOMPARE(facts.Links.Links.size(), size_t(1));
    }
}

void TestHealthChecks::json_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("object") << "{\"a\": [1, -2.5e3, true, null, \"\\u00e9\"]}" << true;
    QTest::newRow("bare value") << " 12 " << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("trailing comma") << "[1,]" << false;
    QTest::newRow("two values") << "{} {}" << false;
    QTest::newRow("unclosed") << "{\"a\":1" << false;
    QTest::newRow("mismatched") << "[}" << false;
    QTest::newRow("single quotes") << "{'a':1}" << false;
    QTest::newRow("leading zero") << "01" << false;
    QTest::newRow("control character in string") << "\"a\tb\"" << false;
}

void TestHealthChecks::json() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidJson(text.toStdString()), valid);
}

void TestHealthChecks::factsFileFaults_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("reads");
    QTest::addColumn<bool>("ended");
    const QString head =
        "{\"format\":\"vantora-facts\",\"version\":1,\"root\":\"http://s.test/\"}\n";
    QTest::newRow("complete") << head + "{\"k\":\"end\",\"complete\":true}\n" << true << true;
    QTest::newRow("cut off mid line") << head + "{\"k\":\"fetch\",\"id\":1,\"ur" << true << false;
    QTest::newRow("later version") << "{\"format\":\"vantora-facts\",\"version\":2}\n"
                                   << false << false;
    QTest::newRow("not a facts file") << "WEBCHARTER\r\n<ROOT>x\r\n" << false << false;
    QTest::newRow("unknown records are skipped")
        << head + "{\"k\":\"future\",\"x\":1}\n{\"k\":\"end\"}\n"
        << true << true;
}

void TestHealthChecks::factsFileFaults() {
    QFETCH(QString, text);
    QFETCH(bool, reads);
    QFETCH(bool, ended);
    std::istringstream in(text.toStdString());
    CrawlFacts facts;
    std::string error;
    QCOMPARE(ReadFacts(in, facts, error), reads);
    if (reads)
        QCOMPARE(facts.Ended, ended);
    else
        QVERIFY(!error.empty());
}

// What the reader took from a record line: the first URL's status, titles and
// links, or "damaged" when the file does not read.
std::string ReadBack(const std::string& records) {
    std::istringstream in("{\"format\":\"vantora-facts\",\"version\":1}\n" +
                          F(0, "/", 200, "\"depth\":0") + F(1, "/b") + records +
                          "{\"k\":\"end\",\"complete\":true}\n");
    CrawlFacts facts;
    std::string error;
    if (!ReadFacts(in, facts, error))
        return "damaged";
    const UrlFacts& url = facts.Urls.at(0);
    std::string text = "status=" + std::to_string(url.Status) + " titles=";
    for (const std::string_view title : url.Titles)
        text += "[" + std::string(title.substr(0, 40)) + "]";
    text += " links=";
    for (const std::uint32_t link : url.Links)
        text += std::to_string(link);
    return text;
}

void TestHealthChecks::factsRecords_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char* name, const std::string& records, const std::string& expected) {
        QTest::newRow(name) << QByteArray::fromStdString(records)
                            << QByteArray::fromStdString(expected);
    };
    const std::string page = "{\"k\":\"page\",\"id\":0,";
    row("escapes decoded", page + R"("titles":["a\"b\\c\/d\t\u00e9\ud83d\ude00"]})" + "\n",
        "status=200 titles=[a\"b\\c/d\t\xc3\xa9\xf0\x9f\x98\x80] links=");
    row("text as it stands", page + "\"titles\":[\"caf\xc3\xa9 \xe2\x82\xac\"]}\n",
        "status=200 titles=[caf\xc3\xa9 \xe2\x82\xac] links=");
    row("high surrogate alone", page + R"("titles":["\ud83d x"]})" + "\n", "damaged");
    row("low surrogate first", page + R"("titles":["\ude00\ud83d"]})" + "\n", "damaged");
    row("bad escape", page + R"("titles":["\x41"]})" + "\n", "damaged");
    row("short \\u", page + R"("titles":["\u00e"]})" + "\n", "damaged");
    row("byte that is no UTF-8", page + "\"titles\":[\"a\xff\"]}\n", "damaged");
    row("overlong UTF-8", page + "\"titles\":[\"\xc0\xaf\"]}\n", "damaged");
    row("UTF-8 of a surrogate", page + "\"titles\":[\"\xed\xa0\x80\"]}\n", "damaged");
    row("control character in a text", page + "\"titles\":[\"a\tb\"]}\n", "damaged");
    row("text after the record", page + "\"titles\":[\"t\"]} x\n", "damaged");
    row("trailing comma", page + "\"titles\":[\"t\"],}\n", "damaged");
    row("a record that is no object", "[1,2]\n", "damaged");
    row("members of other types read as absent",
        page + R"("titles":"t","links":{"a":1},"too_deep":1})" + "\n" +
            R"({"k":"fetch","id":0,"url":"http://s.test/","status":"404"})" + "\n",
        "status=0 titles= links=");
    row("the last of a repeated member counts",
        page + R"("titles":["one"],"links":[1],"titles":["two","three"]})" + "\n",
        "status=200 titles=[two][three] links=1");
    row("links: integers of known URLs only",
        page + R"("links":[1.5,"1",1,7,-1,1e0,99999999999,0]})" + "\n",
        "status=200 titles= links=10");
    row("hreflang pairs of two texts only",
        page +
            R"("hreflang":[["de","/de"],["fr"],["en","/en","x"],["it",1],"es"],"titles":["t"]})" +
            "\n",
        "status=200 titles=[t] links=");
    row("numbers in every form",
        R"({"k":"fetch","id":0,"url":"http://s.test/","status":2.015e2})"
        "\n",
        "status=201 titles= links=");
    row("unknown member nested 100,000 deep",
        page + "\"future\":" + std::string(100000, '[') + "{\"a\":[null,true,false,-0.5]}" +
            std::string(100000, ']') + ",\"titles\":[\"t\"]}\n",
        "status=200 titles=[t] links=");
    row("nesting left open", page + "\"future\":" + std::string(100000, '[') + "}\n", "damaged");
    row("brackets that do not match", page + "\"future\":[{\"a\":1]}]}\n", "damaged");
    row("a title of 1 MB", page + "\"titles\":[\"" + std::string(1 << 20, 'x') + "\"]}\n",
        "status=200 titles=[" + std::string(40, 'x') + "] links=");
}

void TestHealthChecks::factsRecords() {
    QFETCH(QByteArray, records);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(ReadBack(records.toStdString())), expected);
}

void TestHealthChecks::normalUrls_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("normal");
    for (const char* url :
         {"http://s.test/", "https://s.test/a/b.html?x=1&y=/z?w", "http://127.0.0.1:8080/d0/p1",
          "http://a-b.c_d.example/~x/-y_z.html", "https://s.test/a//b/", "http://s.test/it's?x"})
        QTest::newRow(url) << url << true;
    for (const char* url :
         {"HTTP://s.test/",     "http://S.test/",         "http://s.test",
          "http://s.test?x",    "http://s.test:80/",      "https://s.test:443/",
          "http://s.test:080/", "http://s.test:99999/",   "http://s.test/a/../b",
          "http://s.test/./a",  "http://s.test/a/.",      "http://s.test/a#f",
          "http://s.test/%7e",  "http://s.test/a b",      "http://127.1/",
          "http://0127.0.0.1/", "http://1.2.3.4.5/",      "http://s.test./",
          "http://u@s.test/",   "http://s.test/?q='",     "http:/s.test/",
          "http:///s.test/",    "http://s.test\\a",       "http://xn--bcher-kva.example/",
          "http://s.test/a\"b", "http://s.test/\xc3\xa9", " http://s.test/",
          "ftp://s.test/"})
        QTest::newRow(url) << QString::fromUtf8(url) << false;
}

void TestHealthChecks::normalUrls() {
    // The fast path may refuse a URL that is normal, never take one that is not.
    QFETCH(QString, url);
    QFETCH(bool, normal);
    const std::string text = url.toStdString();
    QCOMPARE(IsNormalUrl(text), normal);
    if (normal) {
        const std::optional<Url> parsed = ParseUrl(text);
        QVERIFY(parsed);
        QCOMPARE(QString::fromStdString(parsed->ToString()), url);
    }
}

QTEST_GUILESS_MAIN(TestHealthChecks)
#include "TestHealthChecks.moc"
