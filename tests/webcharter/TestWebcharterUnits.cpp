// URL normalisation and resolution, robots.txt rules, link extraction and the
// captions the crawler writes.

#include "Captions.h"
#include "CompactStore.h"
#include "FactsWriter.h"
#include "FastLinks.h"
#include "Links.h"
#include "PageReading.h"
#include "Robots.h"
#include "Url.h"

#include <QtTest>

using namespace vantora;

class TestWebcharterUnits : public QObject {
    Q_OBJECT
  private slots:
    void parse_data();
    void parse();
    void resolve_data();
    void resolve();
    void robots_data();
    void robots();
    void links();
    void deepDocumentStaysLinear();
    void captions_data();
    void captions();
    void fastLinks_data();
    void fastLinks();
    void pageEncodings_data();
    void pageEncodings();
    void browserLinks_data();
    void browserLinks();
    void compactStores_data();
    void compactStores();
    void httpDates_data();
    void httpDates();
};

void TestWebcharterUnits::parse_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected"); // empty: rejected
    QTest::newRow("case and default port") << "HTTP://Example.ORG:80/A/b"
                                           << "http://example.org/A/b";
    QTest::newRow("https default port") << "https://x.org:443"
                                        << "https://x.org/";
    QTest::newRow("other port kept") << "http://x.org:8080/"
                                     << "http://x.org:8080/";
    QTest::newRow("dot segments") << "http://x/a/./b/../c/./d/.."
                                  << "http://x/a/c/";
    QTest::newRow("dots above root") << "http://x/../../a"
                                     << "http://x/a";
    QTest::newRow("fragment dropped") << "http://x/a#top"
                                      << "http://x/a";
    QTest::newRow("empty query kept") << "http://x/a?"
                                      << "http://x/a?";
    QTest::newRow("blank and quote escaped") << "http://x/a b\"c"
                                             << "http://x/a%20b%22c";
    QTest::newRow("non-ascii escaped") << "http://x/\xc3\xa9"
                                       << "http://x/%C3%A9";
    QTest::newRow("unreserved decoded") << "http://x/%7euser/%41%2f"
                                        << "http://x/~user/A%2F";
    QTest::newRow("stray percent kept") << "http://x/100%"
                                        << "http://x/100%";
    QTest::newRow("no escape made of a stray percent") << "http://x/%%32%35?%%32"
                                                       << "http://x/%%325?%%32";
    QTest::newRow("userinfo dropped") << "http://u:p@x/"
                                      << "http://x/";
    QTest::newRow("backslashes") << "http:\\\\x\\a\\b"
                                 << "http://x/a/b";
    QTest::newRow("ipv6") << "http://[::1]:81/"
                          << "http://[::1]:81/";
    QTest::newRow("trailing dot host") << "http://x.org./"
                                       << "http://x.org/";
    QTest::newRow("ftp") << "ftp://x/"
                         << "";
    QTest::newRow("extra slashes as a browser reads them") << "http:///a"
                                                           << "http://a/";
    QTest::newRow("empty host") << "http://"
                                << "";
    QTest::newRow("bad host") << "http://ex ample/"
                              << "";
    QTest::newRow("port too big") << "http://x:99999/"
                                  << "";
    QTest::newRow("port not a number") << "http://x:8a/"
                                       << "";
    QTest::newRow("open bracket") << "http://[::1/"
                                  << "";
    // hosts as they are written, and their near misses, which must be rewritten
    QTest::newRow("dotted quad") << "http://127.0.0.1/"
                                 << "http://127.0.0.1/";
    QTest::newRow("octal part") << "http://127.0.0.010/"
                                << "http://127.0.0.8/";
    QTest::newRow("hex part") << "http://0x7f.0.0.1/"
                              << "http://127.0.0.1/";
    QTest::newRow("number above 255") << "http://1.2.3.256/"
                                      << "";
    QTest::newRow("three numbers") << "http://127.0.1/"
                                   << "http://127.0.0.1/";
    QTest::newRow("five numbers") << "http://1.2.3.4.5/"
                                  << "";
    QTest::newRow("last label hex") << "http://a.0x10/"
                                    << "";
    QTest::newRow("numbers then a name") << "http://1.2.3.com/"
                                         << "http://1.2.3.com/";
    QTest::newRow("punycode label kept") << "http://xn--bcher-kva.example/"
                                         << "http://xn--bcher-kva.example/";
    QTest::newRow("empty label") << "http://a..b/"
                                 << "";
}

void TestWebcharterUnits::parse() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const auto url = ParseUrl(input.toStdString());
    QCOMPARE(url ? QString::fromStdString(url->ToString()) : QString(), expected);
}

void TestWebcharterUnits::resolve_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("expected");
    const QString b = "http://h.org/d/e/page.html?q=1";
    QTest::newRow("sibling") << b << "x.html"
                             << "http://h.org/d/e/x.html";
    QTest::newRow("parent") << b << "../x.html"
                            << "http://h.org/d/x.html";
    QTest::newRow("root relative") << b << "/x"
                                   << "http://h.org/x";
    QTest::newRow("scheme relative") << b << "//o.org/y"
                                     << "http://o.org/y";
    QTest::newRow("query only") << b << "?z=2"
                                << "http://h.org/d/e/page.html?z=2";
    QTest::newRow("fragment only") << b << "#f"
                                   << "http://h.org/d/e/page.html?q=1";
    QTest::newRow("empty") << b << ""
                           << "http://h.org/d/e/page.html?q=1";
    QTest::newRow("blanks and line breaks") << b << "  x\n.ht\tml \r\n"
                                            << "http://h.org/d/e/x.html";
    QTest::newRow("absolute other host") << b << "HTTPS://O.org"
                                         << "https://o.org/";
    QTest::newRow("same scheme without slashes") << b << "http:x.html"
                                                 << "http://h.org/d/e/x.html";
    QTest::newRow("mailto") << b << "mailto:a@b"
                            << "";
    QTest::newRow("javascript") << b << "javascript:void(0)"
                                << "";
}

void TestWebcharterUnits::resolve() {
    QFETCH(QString, base);
    QFETCH(QString, reference);
    QFETCH(QString, expected);
    const auto baseUrl = ParseUrl(base.toStdString());
    QVERIFY(baseUrl);
    const auto url = ResolveUrl(*baseUrl, reference.toStdString());
    QCOMPARE(url ? QString::fromStdString(url->ToString()) : QString(), expected);
}

void TestWebcharterUnits::robots_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("allowed");
    const QString basic = "User-agent: *\nDisallow: /private/\nAllow: /private/open\n";
    QTest::newRow("disallowed folder") << basic << "/private/a.html" << false;
    QTest::newRow("longer allow wins") << basic << "/private/open.html" << true;
    QTest::newRow("outside") << basic << "/public/" << true;
    QTest::newRow("named group beats star")
        << "User-agent: *\nDisallow: /\n\nUser-agent: Webcharter\nDisallow: /x\n"
        << "/a" << true;
    QTest::newRow("named group applies")
        << "User-agent: *\nDisallow: /\n\nUser-agent: webcharter\nDisallow: /x\n"
        << "/x/1" << false;
    QTest::newRow("other agent only") << "User-agent: other\nDisallow: /\n"
                                      << "/a" << true;
    QTest::newRow("grouped agents") << "User-agent: other\nUser-agent: *\nDisallow: /g\n"
                                    << "/g" << false;
    QTest::newRow("wildcard") << "User-agent: *\nDisallow: /*.pdf$\n"
                              << "/d/x.pdf" << false;
    QTest::newRow("anchor not met") << "User-agent: *\nDisallow: /*.pdf$\n"
                                    << "/d/x.pdf?v=1" << true;
    QTest::newRow("empty disallow") << "User-agent: *\nDisallow:\n"
                                    << "/a" << true;
    QTest::newRow("comments and CRs") << "User-agent: * # all\r\nDisallow: /c # no\r\n"
                                      << "/c" << false;
    QTest::newRow("query") << "User-agent: *\nDisallow: /*?sort=\n"
                           << "/list?sort=up" << false;
    QTest::newRow("hostile stars") << "User-agent: *\nDisallow: /*a*a*a*a*a*a*a*a*a*a*b\n"
                                   << QString("/") + QString(3000, 'a') << true;
}

void TestWebcharterUnits::robots() {
    QFETCH(QString, text);
    QFETCH(QString, path);
    QFETCH(bool, allowed);
    const auto rules = RobotsRules::Parse(text.toStdString(), "webcharter");
    QCOMPARE(rules.Allowed(path.toStdString()), allowed);
}

void TestWebcharterUnits::links() {
    const std::string html =
        "<html><head><base href='/b/'><base href='/ignored/'></head><body>"
        "<a href=a.html>a</a><area href=\"m.html\"><iframe src=i.html></iframe>"
        "<img src=p.png><a name=anchor>no href</a><script>var s='<a href=no.html>';</script>"
        "<!-- <a href=comment.html> --><table><a href=t.html></table><p><a "
        "href='q.html?x=1&amp;y=2'>";
    const DocumentLinks found = ExtractLinks(html);
    QCOMPARE(QString::fromStdString(found.BaseHref), QString("/b/"));
    QStringList seen;
    for (const FoundLink& link : found.Links)
        seen << (link.Kind == LinkKind::Image ? "img:" : "") +
                    QString::fromStdString(link.Reference);
    QCOMPARE(seen,
             QStringList({"a.html", "m.html", "i.html", "img:p.png", "t.html", "q.html?x=1&y=2"}));
    const DocumentLinks frames =
        ExtractLinks("<frameset><frame src=left.html><frame src=right.html></frameset>");
    QCOMPARE(frames.Links.size(), size_t(2));
    QCOMPARE(QString::fromStdString(frames.Links[1].Reference), QString("right.html"));
    // Binary junk and unbalanced markup parse without harm.
    std::string junk;
    for (int i = 0; i < 20000; ++i)
        junk += static_cast<char>((i * 7919) % 256);
    junk += "<a href=end.html>";
    const DocumentLinks fromJunk = ExtractLinks(junk);
    QVERIFY(!fromJunk.Links.empty());
    QCOMPARE(QString::fromStdString(fromJunk.Links.back().Reference), QString("end.html"));
}

void TestWebcharterUnits::deepDocumentStaysLinear() {
    // 200,000 nested elements would take minutes in the tree builder; the scanner
    // still finds the links, base and all, and skips script text.
    std::string html = "<base href=\"/deep/\">";
    for (int i = 0; i < 200000; ++i)
        html += "<div>";
    html += "<script>'<a href=no.html>'</SCRIPT><A HREF = 'x y.html'><img src=z.png/><a "
            "href=\"w.html\">";
    const DocumentLinks found = ExtractLinks(html);
    QCOMPARE(QString::fromStdString(found.BaseHref), QString("/deep/"));
    QCOMPARE(found.Links.size(), size_t(3));
    QCOMPARE(QString::fromStdString(found.Links[0].Reference), QString("x y.html"));
    QVERIFY(found.Links[1].Kind == LinkKind::Image);
    QCOMPARE(QString::fromStdString(found.Links[2].Reference), QString("w.html"));

    // Read so deep or not, a document gives the same links: references decoded,
    // every element and attribute the tree walk reads, nothing from a template.
    const std::string body =
        "<a href=\"/x?a=1&amp;b=2&#x41;&copy;\">x</a><img srcset=\"/s1.png 1x, /s2.png 2x\">"
        "<template><a href=\"/t{{id}}\">t</a></template><video poster=/p.png></video>"
        "<meta http-equiv=refresh content=\"0; url=/r\"><input type=image src='/i&lt;.png'>"
        "<object data=/o.swf></object><a href='/q&quot;'>q</a>";
    std::string deep;
    for (int i = 0; i < 2000; ++i)
        deep += "<div>";
    const auto listed = [](const DocumentLinks& links) {
        QStringList out;
        for (const FoundLink& link : links.Links)
            out << (link.Kind == LinkKind::Link ? "L" : "I") +
                       QString::fromStdString(link.Reference);
        return out;
    };
    const QStringList shallow = listed(ExtractLinks("<body>" + body));
    QCOMPARE(shallow.size(), 8);
    QCOMPARE(listed(ExtractLinks(deep + body)), shallow);
}

// The program's rule, written from its description: a node's full URL is its caption
// when that holds "http://", else the parent's result joined with the caption; an
// ancestor contributes only its folder part when its caption holds a "/".
static QString FullUrl(const QStringList& captions, const QList<int>& parents, int n, int t) {
    const QString c = captions[n];
    QString p = c;
    if (c.contains('/') && n != t)
        p = c.left(c.lastIndexOf('/') + 1);
    if (c.contains("http://") || parents[n] < 0)
        return p;
    const QString r = FullUrl(captions, parents, parents[n], t);
    return r.endsWith('/') ? r + p : r + "/" + p;
}

void TestWebcharterUnits::captions_data() {
    QTest::addColumn<QStringList>("urls"); // a chain: each URL is the child of the one before
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("folders") << QStringList{"http://h/", "http://h/a/b.html", "http://h/a/c/d.html"}
                             << QStringList{"http://h/", "a/b.html", "c/d.html"};
    QTest::newRow("sibling folder needs absolute")
        << QStringList{"http://h/x/", "http://h/y/z.html"}
        << QStringList{"http://h/x/", "http://h/y/z.html"};
    QTest::newRow("parent without slash contributes whole caption")
        << QStringList{"http://h/", "http://h/a.html", "http://h/b.html"}
        << QStringList{"http://h/", "a.html", "http://h/b.html"};
    QTest::newRow("query with slash as ancestor")
        << QStringList{"http://h/", "http://h/s?p=a/b", "http://h/s?p=a/c"}
        << QStringList{"http://h/", "s?p=a/b", "c"};
    QTest::newRow("mailto-like path stays absolute")
        << QStringList{"http://h/", "http://h/mailto:x"}
        << QStringList{"http://h/", "http://h/mailto:x"};
    QTest::newRow("scheme-like path stays absolute")
        << QStringList{"http://h/", "http://h/a/ftp://b"}
        << QStringList{"http://h/", "http://h/a/ftp://b"};
    QTest::newRow("root file") << QStringList{"http://h/d/index.html", "http://h/d/e.html"}
                               << QStringList{"http://h/d/index.html", "e.html"};
}

void TestWebcharterUnits::captions() {
    QFETCH(QStringList, urls);
    QFETCH(QStringList, expected);
    QStringList captions;
    QList<int> parents;
    std::string base;
    for (int i = 0; i < urls.size(); ++i) {
        const std::string caption = webcharter::PageCaption(base, urls[i].toStdString());
        captions << QString::fromStdString(caption);
        parents << i - 1;
        base = webcharter::AncestorBase(base, caption);
    }
    QCOMPARE(captions, expected);
    for (int i = 0; i < urls.size(); ++i)
        QCOMPARE(FullUrl(captions, parents, i, i), urls[i]);
}

void TestWebcharterUnits::fastLinks_data() {
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<bool>("readFast"); // false: left to the HTML5 parser
    QTest::newRow("ordinary page")
        << QByteArray("<!DOCTYPE html><html><head><title>t <a href=no></title><base href='/b/'>"
                      "<style>a{}</style></head><body><a href=\"a.html?x=1&amp;y=2&z=3\">a</a>"
                      "<img src=i.png><area href=m><iframe src=f>"
                      "<a href=hidden></iframe><a HREF=upper><a href=a.html?x=1&amp;y=2&z=3>")
        << true;
    QTest::newRow("comments and scripts")
        << QByteArray("<!-- <a href=c1> --><!--><a href=v1><!---><a href=v2><!-- x --!><a href=v3>"
                      "<script>if (a<b) document.write('<a href=s1>')</script><a href=v4>"
                      "<script><!-- x //--></script><a href=v5><?php <a href=p> ?><a href=v6>")
        << true;
    QTest::newRow("attribute forms")
        << QByteArray("<a/href=1><a href = \"2\"><a =x href=3><a href='4'title=5></a href=6>"
                      "<a title='x>y' href=7><a href=\"&#65;&#x42;&lt;&quot;\"><a href>")
        << true;
    QTest::newRow("links in table cells")
        << QByteArray("<table><tr><td><a href=1></td><th><a href=2></table><a href=3>") << true;
    QTest::newRow("link moved before a table") << QByteArray("<table><tr><td>x<a href=2></td>"
                                                             "</tr><a href=1></table>")
                                               << false;
    QTest::newRow("select drops links")
        << QByteArray("<select><a href=1></select><a href=2>") << false;
    QTest::newRow("svg") << QByteArray("<svg><a href=1></a></svg>") << false;
    QTest::newRow("named reference") << QByteArray("<a href='a&eacute;b'>") << false;
    QTest::newRow("reference without ;") << QByteArray("<a href='a&copy.b'>") << false;
    QTest::newRow("repeated attribute") << QByteArray("<a x x href=1><a href=2>") << false;
    QTest::newRow("control byte") << QByteArray("<a href='a\x01b'>") << false;
    QTest::newRow("invalid UTF-8") << QByteArray("<p>\xff</p><a href=1>") << false;
    QTest::newRow("tag cut by the end") << QByteArray("<a href=1><a href=2") << true;
}

void TestWebcharterUnits::fastLinks() {
    QFETCH(QByteArray, html);
    QFETCH(bool, readFast);
    const std::string_view text(html.constData(), static_cast<size_t>(html.size()));
    const auto fast = ScanLinksFast(text);
    QCOMPARE(fast.has_value(), readFast);
    const DocumentLinks expected = UniqueLinks(ExtractLinks(text));
    const DocumentLinks got = ExtractLinksFast(text);
    QCOMPARE(QString::fromStdString(got.BaseHref), QString::fromStdString(expected.BaseHref));
    QStringList gotLinks, expectedLinks;
    for (const FoundLink& link : got.Links)
        gotLinks << QString::number(static_cast<int>(link.Kind)) +
                        QString::fromStdString(link.Reference);
    for (const FoundLink& link : expected.Links)
        expectedLinks << QString::number(static_cast<int>(link.Kind)) +
                             QString::fromStdString(link.Reference);
    QCOMPARE(gotLinks, expectedLinks);
    QVERIFY(!expectedLinks.isEmpty());
}

void TestWebcharterUnits::browserLinks_data() {
    // "L" a link followed as a page, "I" a file checked as images are
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QStringList>("links");
    QTest::newRow("meta refresh")
        << QByteArray("<meta http-equiv=Refresh content=\"0; URL='/en/'\"><a href=x>")
        << QStringList{"L/en/", "Lx"};
    QTest::newRow("meta refresh forms")
        << QByteArray("<meta http-equiv=refresh content=\"5\"><meta http-equiv=refresh "
                      "content=\"1,next.html\"><meta http-equiv=refresh content=\"x; url=no\">"
                      "<meta name=refresh content=\"0; url=no\">")
        << QStringList{"Lnext.html"};
    QTest::newRow("srcset and picture")
        << QByteArray("<picture><source srcset=\"a.webp 1x, b.webp 2x\"><img src=c.png "
                      "srcset=\"d.png 100w,e,f.png (x,y) 2x\"></picture>")
        << QStringList{"Ia.webp", "Ib.webp", "Ic.png", "Id.png", "Ie,f.png"};
    QTest::newRow("embedded files")
        << QByteArray("<object data=o.svg></object><embed src=e.swf><video src=v.mp4 "
                      "poster=p.jpg></video><input type=IMAGE src=go.png><input src=no.png>")
        << QStringList{"Io.svg", "Ie.swf", "Iv.mp4", "Ip.jpg", "Igo.png"};
    QTest::newRow("template is inert")
        << QByteArray("<template><a href=/item/{{id}}>i</a><img src=${name}.png></template>"
                      "<a href=real>")
        << QStringList{"Lreal"};
}

void TestWebcharterUnits::browserLinks() {
    QFETCH(QByteArray, html);
    QFETCH(QStringList, links);
    const std::string_view text(html.constData(), static_cast<size_t>(html.size()));
    for (const DocumentLinks& found : {UniqueLinks(ExtractLinks(text)), ExtractLinksFast(text)}) {
        QStringList got;
        for (const FoundLink& link : found.Links)
            got << (link.Kind == LinkKind::Link ? "L" : "I") +
                       QString::fromStdString(link.Reference);
        QCOMPARE(got, links);
    }
}

// The crawl's compact stores against plain containers: the queue keeps its order
// however pushes and pops interleave across the in-memory bound and the file, the
// array and the text spool read back what was written across blocks, the index
// finds every key and no other, also across its growth.
void TestWebcharterUnits::compactStores_data() {
    QTest::addColumn<int>("inMemory");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("popEvery"); // a pop after this many pushes; 0: pops at the end
    QTest::newRow("all in memory") << 100000 << 5000 << 0;
    QTest::newRow("spilled, drained at the end") << 7 << 40000 << 0;
    QTest::newRow("spilled, interleaved") << 3 << 60000 << 2;
    QTest::newRow("spilled, mostly pushes") << 5 << 30000 << 3;
}

void TestWebcharterUnits::compactStores() {
    QFETCH(int, inMemory);
    QFETCH(int, count);
    QFETCH(int, popEvery);
    struct Entry {
        int A, B, C;
    };
    vantora::webcharter::SpillQueue<Entry> queue(static_cast<size_t>(inMemory));
    std::deque<int> expected;
    int next = 0;
    auto pop = [&] {
        const Entry entry = queue.Pop();
        QCOMPARE(entry.A, expected.front());
        QCOMPARE(entry.B, -entry.A);
        QCOMPARE(entry.C, entry.A * 3);
        expected.pop_front();
    };
    for (int i = 0; i < count; ++i) {
        queue.Push({next, -next, next * 3});
        expected.push_back(next++);
        if (popEvery && i % popEvery == 0 && !queue.Empty())
            pop();
        QCOMPARE(queue.Size(), expected.size());
    }
    while (!queue.Empty())
        pop();
    QVERIFY(expected.empty());
    if (popEvery == 0) // all pushed before any pop: beyond the bound, a file held them
        QCOMPARE(queue.SpilledEver() > 0, count > inMemory + 4096);

    vantora::webcharter::SpillArray array;
    for (int i = 0; i < count; ++i)
        array.Push(static_cast<uint32_t>(i * 7));
    std::vector<uint32_t> read;
    for (const uint64_t begin : {uint64_t(0), uint64_t(count / 3), uint64_t(count - 10)}) {
        array.Read(begin, 10, read);
        for (uint32_t i = 0; i < 10; ++i)
            QCOMPARE(read[i], static_cast<uint32_t>((begin + i) * 7));
    }
    // one entry at a time, from the file and from the block still in memory, in
    // an order that jumps about
    for (uint64_t i = 0; i < uint64_t(count); i += 1 + i % 997)
        QCOMPARE(array.At(i), static_cast<uint32_t>(i * 7));
    QCOMPARE(array.At(uint64_t(count - 1)), static_cast<uint32_t>((count - 1) * 7));
    QCOMPARE(array.At(0), 0u);
    // texts of every length modulo four, among numbers, come back whole
    using vantora::webcharter::SpillArray;
    std::vector<std::pair<uint64_t, std::string>> texts;
    for (int i = 0; i < count / 8; ++i) {
        texts.emplace_back(array.Size(),
                           std::string(static_cast<size_t>(i % 9), char('a' + i % 26)));
        array.PushText(texts.back().second);
        array.Push(0xFFFFFFFFu);
    }
    for (const auto& [at, text] : texts) {
        array.Read(at, static_cast<uint32_t>(SpillArray::TextWords(text.size()) + 1), read);
        QCOMPARE(std::string(SpillArray::TextAt(read.data())), text);
        QCOMPARE(read.back(), 0xFFFFFFFFu);
    }

    std::vector<std::string> keys;
    vantora::webcharter::KeyIndex index;
    for (int i = 0; i < count; ++i) {
        keys.push_back("127.0.0.1/d" + std::to_string(i % 10) + "/p" + std::to_string(i));
        QVERIFY(index.Add(keys.back(), i));
    }
    QVERIFY(!index.Add(keys[count / 2], 0)); // a key already there keeps its number
    for (int i = 0; i < count; ++i)
        QCOMPARE(index.Find(keys[i]), i);
    QCOMPARE(index.Find("127.0.0.1/d0/p" + std::to_string(count)), -1);
    QCOMPARE(index.Find(""), -1);
    QCOMPARE(index.Size(), static_cast<size_t>(count));

    // texts spooled come back as written, from the file and from memory
    vantora::webcharter::TextSpool spool;
    std::vector<std::pair<uint64_t, std::string>> spooled;
    for (int i = 0; i < count; ++i) {
        const std::string text = keys[i] + std::string(static_cast<size_t>(i % 300), 'x');
        spooled.emplace_back(spool.Add(text), text);
    }
    for (const auto& [at, text] : spooled)
        QCOMPARE(spool.Read(at, text.size()), text);
}

void TestWebcharterUnits::httpDates_data() {
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("expected"); // empty: no date
    QTest::newRow("the usual form") << "Sun, 06 Nov 1994 08:49:37 GMT"
                                    << "1994-11-06T08:49:37Z";
    QTest::newRow("leap day") << "Thu, 29 Feb 2024 23:59:59 GMT"
                              << "2024-02-29T23:59:59Z";
    QTest::newRow("the epoch") << "Thu, 01 Jan 1970 00:00:00 GMT"
                               << "1970-01-01T00:00:00Z";
    // out of range or in other forms: read by the general parser, as before
    QTest::newRow("no leap day") << "Wed, 29 Feb 1995 10:00:00 GMT"
                                 << "1995-03-01T10:00:00Z";
    QTest::newRow("31 April") << "Sun, 31 Apr 2001 08:49:37 GMT"
                              << "2001-05-01T08:49:37Z";
    QTest::newRow("leap second") << "Sun, 06 Nov 1994 08:49:60 GMT"
                                 << "1994-11-06T08:50:00Z";
    QTest::newRow("hour 24") << "Sun, 06 Nov 1994 24:00:00 GMT"
                             << "";
    QTest::newRow("before 1970") << "Thu, 06 Nov 1969 08:49:37 GMT"
                                 << "";
    QTest::newRow("RFC 850") << "Sunday, 06-Nov-94 08:49:37 GMT"
                             << "1994-11-06T08:49:37Z";
    QTest::newRow("asctime") << "Sun Nov  6 08:49:37 1994"
                             << "1994-11-06T08:49:37Z";
    QTest::newRow("one-digit day") << "Sun, 6 Nov 1994 08:49:37 GMT"
                                   << "1994-11-06T08:49:37Z";
    QTest::newRow("lower case") << "sun, 06 nov 1994 08:49:37 gmt"
                                << "1994-11-06T08:49:37Z";
    QTest::newRow("UTC") << "Sun, 06 Nov 1994 08:49:37 UTC"
                         << "1994-11-06T08:49:37Z";
    QTest::newRow("no weekday of that name") << "Xyz, 06 Nov 1994 08:49:37 GMT"
                                             << "";
    QTest::newRow("no date") << "yesterday"
                             << "";
}

void TestWebcharterUnits::httpDates() {
    QFETCH(QString, header);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(webcharter::W3cDate(header.toUtf8().constData())), expected);
}

QTEST_GUILESS_MAIN(TestWebcharterUnits)
// A page's links are read in the page's encoding: the path of a link written in
// windows-1251 or KOI8-R is requested in UTF-8, as a browser requests it.
void TestWebcharterUnits::pageEncodings_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QString>("link");
    const QString expected = "http://h.example/%D1%81%D1%82%D1%80.html"; // "стр.html"
    QTest::newRow("charset in the header") << QByteArray("<a href=\"/\xF1\xF2\xF0.html\">x</a>")
                                           << "text/html; charset=windows-1251" << expected;
    QTest::newRow("charset in a meta")
        << QByteArray("<meta charset=koi8-r><a href=\"/\xD3\xD4\xD2.html\">x</a>") << "text/html"
        << expected;
    QTest::newRow("UTF-8 as it is") << QByteArray("<a href=\"/\xD1\x81\xD1\x82\xD1\x80.html\">")
                                    << "text/html; charset=utf-8" << expected;
    // UTF-16 text holds a zero byte beside every ASCII letter: it is no binary file
    const QString utf16Page = QString::fromUtf8("<a href=\"/\xD1\x81\xD1\x82\xD1\x80.html\">");
    QTest::newRow("UTF-16 with a byte order mark")
        << QByteArray("\xFF\xFE") +
               QByteArray(reinterpret_cast<const char*>(utf16Page.utf16()), utf16Page.size() * 2)
        << "text/html" << expected;
}

void TestWebcharterUnits::pageEncodings() {
    QFETCH(QByteArray, body);
    QFETCH(QString, contentType);
    QFETCH(QString, link);
    const webcharter::ParsedPage parsed = webcharter::ParsePage(
        body.toStdString(), "http://h.example/", 2000, true, contentType.toStdString());
    QVERIFY(!parsed.ExtractorsDisagree);
    QCOMPARE(parsed.Links.size(), size_t(1));
    QVERIFY(parsed.Links[0].Address);
    QCOMPARE(QString::fromStdString(parsed.Links[0].Address->ToString()), link);
}

#include "TestWebcharterUnits.moc"
