// The shared web layer against public test data and hostile input: URL parsing and
// resolution against the URL standard's test cases, international host names,
// robots.txt rules, character sets, and the fast link extractor against the HTML5
// parser.

#include "Charset.h"
#include "FastLinks.h"
#include "Links.h"
#include "PageModel.h"
#include "Robots.h"
#include "Url.h"
#include "Wordweigh.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace vantora;

class TestWebUnits : public QObject {
    Q_OBJECT
  private slots:
    void standardUrls_data();
    void standardUrls();
    void hosts_data();
    void hosts();
    void hostileReferences_data();
    void hostileReferences();
    void robots_data();
    void robots();
    void encodings_data();
    void encodings();
    void cyrillicPageTitle();
    void extractorsAgree_data();
    void extractorsAgree();
};

namespace {

QByteArray ReadData(const char* name) {
    QFile file(QString(WEB_TEST_DATA) + "/" + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read test data %s", name);
    return file.readAll();
}

// UTF-8 of a test string; an unpaired surrogate becomes U+FFFD, as a decoder gives it.
std::string Utf8(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar(0xFFFD);
    }
    return text.toStdString();
}

QString Shown(const std::optional<Url>& url) {
    return url ? QString::fromStdString(url->ToString()) : QString("(failure)");
}

} // namespace

// Cases of the URL standard's test data whose base or input is http(s). The expected
// URL is compared in this program's normal form (ParseUrl of the expected text):
// escapes of unreserved characters decoded, user name, password and fragment
// dropped. Results in other schemes are expected to be refused.
void TestWebUnits::standardUrls_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("expected"); // "(failure)" when no http(s) URL results
    QTest::addColumn<QString>("skip");
    // Hosts a browser accepts that this program refuses on purpose: names with
    // characters no resolver takes, and empty labels.
    const QMap<QString, QString> refused = {
        {"http://!\"$&'()*+,-.;=_`{}~/", "host characters no resolver accepts are refused"},
        {"http://./", "a host of empty labels is refused"},
        {"http://../", "a host of empty labels is refused"},
        {"http://foo.09..", "a host of empty labels is refused"},
        {"https://%e2%98%83", "a symbol in a host name is refused by IDNA 2008"},
    };
    const QJsonArray cases = QJsonDocument::fromJson(ReadData("url-cases.json")).array();
    QVERIFY(cases.size() > 400);
    int row = 0;
    for (const QJsonValue& value : cases) {
        const QJsonArray c = value.toArray();
        const QString input = c[0].toString(), base = c[1].toString();
        QString expected = "(failure)";
        if (c[2].isString() &&
            (c[2].toString().startsWith("http://") || c[2].toString().startsWith("https://"))) {
            const auto url = ParseUrl(c[2].toString().toStdString());
            expected = url ? Shown(url) : "(expected URL not parsed: " + c[2].toString() + ")";
        }
        QString name = input.left(60);
        for (QChar& ch : name)
            if (ch.unicode() < 0x20 || ch.isSurrogate())
                ch = QChar('.');
        QTest::addRow("%d %s", ++row, qPrintable(name))
            << input << base << expected << refused.value(input);
    }
}

void TestWebUnits::standardUrls() {
    QFETCH(QString, input);
    QFETCH(QString, base);
    QFETCH(QString, expected);
    QFETCH(QString, skip);
    if (!skip.isEmpty())
        QSKIP(qPrintable(skip));
    std::optional<Url> result;
    if (base == "about:blank") {
        result = ParseUrl(Utf8(input));
    } else {
        const auto baseUrl = ParseUrl(base.toStdString());
        QVERIFY(baseUrl);
        result = ResolveUrl(*baseUrl, Utf8(input));
    }
    QCOMPARE(Shown(result), expected);
}

void TestWebUnits::hosts_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("sent");  // the URL as requested; "(failure)" if refused
    QTest::addColumn<QString>("shown"); // UrlForDisplay of it
    QTest::newRow("sharp s kept (non-transitional)") << "https://faß.example/"
                                                     << "https://xn--fa-hia.example/"
                                                     << "https://faß.example/";
    QTest::newRow("cyrillic") << "http://пример.испытание/путь?q"
                              << "http://xn--e1afmkfd.xn--80akhbyknj4f/%D0%BF%D1%83%D1%82%D1%8C?q"
                              << "http://пример.испытание/%D0%BF%D1%83%D1%82%D1%8C?q";
    QTest::newRow("chinese with port") << "http://例子.测试:8080/"
                                       << "http://xn--fsqu00a.xn--0zwm56d:8080/"
                                       << "http://例子.测试:8080/";
    QTest::newRow("upper case mapped") << "http://BÜCHER.example/"
                                       << "http://xn--bcher-kva.example/"
                                       << "http://bücher.example/";
    QTest::newRow("escaped UTF-8 host") << "http://%D1%80%D1%84.example/"
                                        << "http://xn--p1ai.example/"
                                        << "http://рф.example/";
    QTest::newRow("ACE form given") << "http://XN--FA-HIA.example/"
                                    << "http://xn--fa-hia.example/"
                                    << "http://faß.example/";
    QTest::newRow("ideographic full stop") << "http://a。example/"
                                           << "http://a.example/"
                                           << "http://a.example/";
    QTest::newRow("broken ACE label") << "http://xn--pokxncvks.example/"
                                      << "(failure)"
                                      << "";
    QTest::newRow("disallowed code point") << "http://a\u0378b.example/"
                                           << "(failure)"
                                           << "";
    QTest::newRow("ascii unchanged") << "http://www.example.com/"
                                     << "http://www.example.com/"
                                     << "http://www.example.com/";
    QTest::newRow("numeric host") << "http://0x7f.1/"
                                  << "http://127.0.0.1/"
                                  << "http://127.0.0.1/";
}

void TestWebUnits::hosts() {
    QFETCH(QString, url);
    QFETCH(QString, sent);
    QFETCH(QString, shown);
    const auto parsed = ParseUrl(url.toStdString());
    QCOMPARE(Shown(parsed), sent);
    if (parsed)
        QCOMPARE(QString::fromStdString(UrlForDisplay(parsed->ToString())), shown);
}

// References built to exhaust the resolver: each must resolve (or be refused) with
// the process intact.
void TestWebUnits::hostileReferences_data() {
    QTest::addColumn<QByteArray>("reference");
    QTest::addColumn<QString>("expectedStart");
    QTest::newRow("20,000 same-scheme prefixes") << QByteArray("http:").repeated(20000) + "x"
                                                 << "http://h.example/dir/http:http:";
    QTest::newRow("200,000 slashes") << QByteArray("/").repeated(200000) + "x"
                                     << "http://x/";
    QTest::newRow("100,000 dot segments") << QByteArray("../").repeated(100000) + "top"
                                          << "http://h.example/top";
    QTest::newRow("300,000 stray percents")
        << QByteArray("%").repeated(300000) << "http://h.example/dir/%%%%";
    QTest::newRow("150,000 non-ASCII bytes")
        << QByteArray("\xD0\xB6").repeated(75000) << "http://h.example/dir/%D0%B6%D0%B6";
    QTest::newRow("longer than any browser takes")
        << QByteArray("a").repeated(int(MaxReferenceBytes) + 1) << "(failure)";
}

void TestWebUnits::hostileReferences() {
    QFETCH(QByteArray, reference);
    QFETCH(QString, expectedStart);
    const auto base = ParseUrl("http://h.example/dir/page.html");
    QVERIFY(base);
    const auto url = ResolveUrl(*base, std::string_view(reference.constData(), reference.size()));
    const QString shown = Shown(url);
    QVERIFY2(shown.startsWith(expectedStart), qPrintable(shown.left(200)));
}

// robots.txt cases derived from the protocol's definition (RFC 9309) as a public
// robots.txt parser tests them, and the faults seen on real sites. Where that
// parser leaves percent-encoding to its caller, both sides are encoded here, as the
// RFC asks.
void TestWebUnits::robots_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("agent");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("allowed");
    const auto add = [](const char* name, const QByteArray& text, const char* agent,
                        const char* path, bool allowed) {
        QTest::newRow(name) << text << QString(agent) << QString::fromUtf8(path) << allowed;
    };
    add("line syntax", "user-agent: FooBot\ndisallow: /\n", "FooBot", "/x/y", false);
    add("unknown names are no rules", "foo: FooBot\nbar: /\n", "FooBot", "/x/y", true);
    add("a line without a colon is ignored", "user-agent FooBot\ndisallow /\n", "FooBot", "/x/y",
        true);
    const QByteArray groups = "allow: /foo/bar/\n\nuser-agent: FooBot\ndisallow: /\nallow: /x/\n"
                              "user-agent: BarBot\ndisallow: /\nallow: /y/\n\n\nallow: /w/\n"
                              "user-agent: BazBot\n\nuser-agent: FooBot\nallow: /z/\ndisallow: /\n";
    add("groups: own allow", groups, "FooBot", "/x/b", true);
    add("groups: combined with a later group", groups, "FooBot", "/z/d", true);
    add("groups: another group's allow", groups, "FooBot", "/y/c", false);
    add("groups: second group", groups, "BarBot", "/y/c", true);
    add("groups: blank lines do not end a group", groups, "BarBot", "/w/a", true);
    add("groups: not in this group", groups, "BarBot", "/z/d", false);
    add("groups: agents sharing a group", groups, "BazBot", "/z/d", true);
    add("groups: rules before any agent ignored (1)", groups, "FooBot", "/foo/bar/", false);
    add("groups: rules before any agent ignored (2)", groups, "BarBot", "/foo/bar/", false);
    add("groups: rules before any agent ignored (3)", groups, "BazBot", "/foo/bar/", false);
    add("names in upper case", "USER-AGENT: FooBot\nALLOW: /x/\nDISALLOW: /\n", "FooBot", "/x/y",
        true);
    add("names in mixed case", "uSeR-aGeNt: FooBot\nAlLoW: /x/\ndIsAlLoW: /\n", "FooBot", "/a/b",
        false);
    for (const char* value : {"FOO BAR", "foo bar", "FoO bAr"})
        for (const char* agent : {"Foo", "foo"}) {
            const QByteArray text =
                QByteArray("User-Agent: ") + value + "\nAllow: /x/\nDisallow: /\n";
            add(QByteArray("agent value any case ") + value + "/" + agent + " allowed", text, agent,
                "/x/y", true);
            add(QByteArray("agent value any case ") + value + "/" + agent + " disallowed", text,
                agent, "/a/b", false);
        }
    const QByteArray global = "user-agent: *\nallow: /\nuser-agent: FooBot\ndisallow: /\n";
    add("no file", "", "FooBot", "/x/y", true);
    add("named group over star", global, "FooBot", "/x/y", false);
    add("star group for others", global, "BarBot", "/x/y", true);
    add("no group applies",
        "user-agent: FooBot\nallow: /\nuser-agent: BarBot\ndisallow: /\nuser-agent: BazBot\n"
        "disallow: /\n",
        "QuxBot", "/x/y", true);
    add("paths case-sensitive (1)", "user-agent: FooBot\ndisallow: /x/\n", "FooBot", "/x/y", false);
    add("paths case-sensitive (2)", "user-agent: FooBot\ndisallow: /X/\n", "FooBot", "/x/y", true);
    add("longest: disallow", "user-agent: FooBot\ndisallow: /x/page.html\nallow: /x/\n", "FooBot",
        "/x/page.html", false);
    add("longest: allow", "user-agent: FooBot\nallow: /x/page.html\ndisallow: /x/\n", "FooBot",
        "/x/page.html", true);
    add("longest: folder itself", "user-agent: FooBot\nallow: /x/page.html\ndisallow: /x/\n",
        "FooBot", "/x/", false);
    add("empty rules", "user-agent: FooBot\ndisallow: \nallow: \n", "FooBot", "/x/page.html", true);
    add("equal rules: allow wins", "user-agent: FooBot\ndisallow: /\nallow: /\n", "FooBot",
        "/x/page.html", true);
    add("longest: /x", "user-agent: FooBot\ndisallow: /x\nallow: /x/\n", "FooBot", "/x", false);
    add("longest: /x/", "user-agent: FooBot\ndisallow: /x\nallow: /x/\n", "FooBot", "/x/", true);
    add("equal paths: allow wins",
        "user-agent: FooBot\ndisallow: /x/page.html\nallow: /x/page.html\n", "FooBot",
        "/x/page.html", true);
    add("longest pattern with star (1)", "user-agent: FooBot\nallow: /page\ndisallow: /*.html\n",
        "FooBot", "/page.html", false);
    add("longest pattern with star (2)", "user-agent: FooBot\nallow: /page\ndisallow: /*.html\n",
        "FooBot", "/page", true);
    add("longest pattern with star (3)", "user-agent: FooBot\nallow: /x/page.\ndisallow: /*.html\n",
        "FooBot", "/x/page.html", true);
    add("longest pattern with star (4)", "user-agent: FooBot\nallow: /x/page.\ndisallow: /*.html\n",
        "FooBot", "/x/y.html", false);
    const QByteArray specific = "User-agent: *\nDisallow: /x/\nUser-agent: FooBot\nDisallow: /y/\n";
    add("named group alone applies (1)", specific, "FooBot", "/x/page", true);
    add("named group alone applies (2)", specific, "FooBot", "/y/page", false);
    add("query with a URL inside",
        "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar?qux=taz&baz=http://foo.bar?tar&par\n",
        "FooBot", "/foo/bar?qux=taz&baz=http://foo.bar?tar&par", true);
    add("UTF-8 rule, encoded path", "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar/ツ\n",
        "FooBot", "/foo/bar/%E3%83%84", true);
    add("UTF-8 rule, raw path", "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar/ツ\n", "FooBot",
        "/foo/bar/ツ", true);
    add("encoded rule, encoded path",
        "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar/%E3%83%84\n", "FooBot",
        "/foo/bar/%E3%83%84", true);
    add("encoded unreserved rule, plain path",
        "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar/%62%61%7A\n", "FooBot", "/foo/bar/baz",
        true);
    add("encoded unreserved rule, encoded path",
        "User-agent: FooBot\nDisallow: /\nAllow: /foo/bar/%62%61%7A\n", "FooBot",
        "/foo/bar/%62%61%7A", true);
    const QByteArray star = "User-agent: FooBot\nDisallow: /foo/bar/quz\nAllow: /foo/*/qux\n";
    add("star (1)", star, "FooBot", "/foo/bar/quz", false);
    add("star (2)", star, "FooBot", "/foo/quz", true);
    add("star (3)", star, "FooBot", "/foo//quz", true);
    add("star (4)", star, "FooBot", "/foo/bax/quz", true);
    const QByteArray dollar = "User-agent: FooBot\nDisallow: /foo/bar$\nAllow: /foo/bar/qux\n";
    add("end anchor (1)", dollar, "FooBot", "/foo/bar", false);
    add("end anchor (2)", dollar, "FooBot", "/foo/bar/qux", true);
    add("end anchor (3)", dollar, "FooBot", "/foo/bar/", true);
    add("end anchor (4)", dollar, "FooBot", "/foo/bar/baz", true);
    const QByteArray comments =
        "User-agent: FooBot\n# Disallow: /\nDisallow: /foo/quz#qux\nAllow: /\n";
    add("comments (1)", comments, "FooBot", "/foo/bar", true);
    add("comments (2)", comments, "FooBot", "/foo/quz", false);
    const QByteArray php = "user-agent: FooBot\ndisallow: /\nallow: /*.php$\n";
    add("star and anchor (1)", php, "FooBot", "/folder/filename.php", true);
    add("star and anchor (2)", php, "FooBot", "/filename.php?parameters", false);
    add("star and anchor (3)", php, "FooBot", "/filename.php5", false);
    add("star and anchor (4)", php, "FooBot", "//windows.PHP", false);
    add("root only", "user-agent: FooBot\nallow: /$\ndisallow: /\n", "FooBot", "/", true);
    add("root only, page", "user-agent: FooBot\nallow: /$\ndisallow: /\n", "FooBot", "/page.html",
        false);
    add("old Mac line ends",
        "User-Agent: foo\rAllow: /some/path\rUser-Agent: bar\r\r\rDisallow: /\r", "bar",
        "/some/path", false);
    add("mixed line ends", "User-Agent: foo\nAllow: /some/path\r\nUser-Agent: bar\n\r\nDisallow: /",
        "foo", "/x", true);
    // Faults seen on real sites
    add("byte order mark before the first group", "\xEF\xBB\xBFUser-agent: *\nDisallow: /\n",
        "webcharter", "/page", false);
    add("byte order mark inside the file is no rule",
        "User-agent: FooBot\nDisallow: /\n\xEF\xBB\xBF"
        "Allow: /AnyValue\n",
        "FooBot", "/AnyValue", false);
    add("Sitemap line inside a group",
        "User-agent: webcharter\nSitemap: http://h/s.xml\nDisallow: /\n", "webcharter", "/a",
        false);
    add("unknown line inside a group", "User-agent: *\nCrawl-delay: 5\nDisallow: /private/\n",
        "webcharter", "/private/a", false);
    const QByteArray partName =
        "User-agent: web\nDisallow: /\n\nUser-agent: *\nDisallow: /private\n";
    add("a part of the name is another agent (1)", partName, "webcharter", "/a", true);
    add("a part of the name is another agent (2)", partName, "webcharter", "/private", false);
    add("longer name is another agent", "User-agent: webcharterbot\nDisallow: /\n", "webcharter",
        "/a", true);
    add("product token with version", "User-agent: Webcharter/2.0\nDisallow: /\n", "webcharter",
        "/a", false);
    add("rule escapes in lower case", "User-agent: *\nDisallow: /caf%c3%a9\n", "webcharter",
        "/caf%C3%A9", false);
    add("rule in raw UTF-8", "User-agent: *\nDisallow: /café\n", "webcharter", "/caf%C3%A9", false);
}

void TestWebUnits::robots() {
    QFETCH(QByteArray, text);
    QFETCH(QString, agent);
    QFETCH(QString, path);
    QFETCH(bool, allowed);
    const auto rules =
        RobotsRules::Parse(std::string_view(text.constData(), text.size()), agent.toStdString());
    QCOMPARE(rules.Allowed(path.toStdString()), allowed);
}

void TestWebUnits::encodings_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("text"); // the start of the decoded text; empty: not checked
    QTest::newRow("UTF-8 mark beats the header")
        << QByteArray("\xEF\xBB\xBF<p>\xD0\xB6") << "text/html; charset=windows-1251"
        << "UTF-8"
        << "<p>ж";
    QTest::newRow("UTF-16LE mark") << QByteArray("\xFF\xFE<\0p\0>\0\x36\x04", 10) << ""
                                   << "UTF-16LE"
                                   << "<p>ж";
    QTest::newRow("header charset") << QByteArray("<p>\xE6") << "text/html; charset=\"cp1251\""
                                    << "windows-1251"
                                    << "<p>ж";
    QTest::newRow("header beats meta")
        << QByteArray("<meta charset=utf-8><p>\xE6") << "text/html;charset=koi8-r"
        << "KOI8-R"
        << "";
    QTest::newRow("unknown header label, meta used")
        << QByteArray("<meta charset=windows-1251>\xE6") << "text/html; charset=x-unknown"
        << "windows-1251"
        << "<meta charset=windows-1251>ж";
    QTest::newRow("meta charset") << QByteArray("<!doctype html><meta charset=\"KOI8-R\">\xD6")
                                  << "text/html"
                                  << "KOI8-R"
                                  << "";
    QTest::newRow("meta http-equiv")
        << QByteArray("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                      "charset=windows-1251\"><title>\xCF\xF0\xE8</title>")
        << ""
        << "windows-1251"
        << "";
    QTest::newRow("content without http-equiv is not a declaration")
        << QByteArray("<meta content=\"text/html; charset=koi8-r\">\xE9") << ""
        << "windows-1252"
        << "";
    QTest::newRow("meta in a comment is not read")
        << QByteArray("<!-- <meta charset=koi8-r> --><p>\xE9") << ""
        << "windows-1252"
        << "";
    QTest::newRow("meta after 1,024 bytes is not read")
        << QByteArray(1100, ' ') + "<meta charset=koi8-r>\xE9"
        << ""
        << "windows-1252"
        << "";
    QTest::newRow("meta naming UTF-16 means UTF-8")
        << QByteArray("<meta charset=utf-16>\xD0\xB6") << ""
        << "UTF-8"
        << "";
    QTest::newRow("latin1 label is windows-1252")
        << QByteArray("\x80") << "text/html; charset=Latin1"
        << "windows-1252"
        << "€";
    QTest::newRow("GBK read with the gb18030 decoder")
        << QByteArray("\xC4\xE3\x81\x30\x81\x30") << "text/html; charset=gb2312"
        << "GBK"
        << "你\u0080";
    QTest::newRow("Shift_JIS") << QByteArray("\x82\xA0") << "text/html; charset=sjis"
                               << "Shift_JIS"
                               << "あ";
    QTest::newRow("no declaration, valid UTF-8") << QByteArray("<p>\xD0\xB6") << ""
                                                 << "UTF-8"
                                                 << "<p>ж";
    QTest::newRow("no declaration, not UTF-8") << QByteArray("<p>\xE9") << ""
                                               << "windows-1252"
                                               << "<p>é";
    QTest::newRow("declared UTF-8 with a bad byte")
        << QByteArray("<p>a\xFF") << "text/html; charset=utf-8"
        << "UTF-8"
        << "<p>a\uFFFD";
    QTest::newRow("replacement encoding") << QByteArray("<p>x") << "text/html; charset=iso-2022-kr"
                                          << "replacement"
                                          << "\uFFFD";
}

void TestWebUnits::encodings() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, contentType);
    QFETCH(QString, encoding);
    QFETCH(QString, text);
    const std::string_view view(bytes.constData(), bytes.size());
    const std::string type = contentType.toStdString();
    QCOMPARE(QString::fromStdString(SniffHtmlEncoding(view, type)), encoding);
    if (!text.isEmpty())
        QCOMPARE(QString::fromStdString(DecodeHtml(view, type)), text);
}

void TestWebUnits::cyrillicPageTitle() {
    // A title in windows-1251, declared by a <meta> only
    QByteArray page = "<html><head><meta http-equiv=Content-Type content='text/html; "
                      "charset=windows-1251'><title>";
    const std::string cp1251 = [] {
        // the title's letters in windows-1251 (А..я are 0xC0..0xFF)
        std::string out;
        for (const char32_t c : std::u32string(U"Купить велосипед в Москве"))
            out += c == U' ' ? ' ' : static_cast<char>(0xC0 + (c - U'А'));
        return out;
    }();
    page += QByteArray::fromStdString(cp1251) + "</title></head><body><h1>" +
            QByteArray::fromStdString(cp1251) + "</h1></body></html>";
    const PageModel model = ParsePage(std::string_view(page.constData(), page.size()));
    QCOMPARE(QString::fromStdString(model.Title), QString("Купить велосипед в Москве"));
    // the keyword analysis finds the key words at the title's start
    const WordweighResult result = AnalyseWordweigh(model, "http://h.example/", "купить велосипед");
    int titleScore = -1;
    for (const auto& [code, score] : result.Scores)
        if (code == "K1")
            titleScore = score;
    QCOMPARE(titleScore, 9);
    for (const Advice& advice : result.Problems)
        QVERIFY2(advice.Code != "K1", advice.What.c_str());
    // the same bytes with the charset in the header only
    QByteArray bare = "<title>" + QByteArray::fromStdString(cp1251) + "</title>";
    const PageModel fromHeader = ParsePage(std::string_view(bare.constData(), bare.size()),
                                           "text/html; charset=windows-1251");
    QVERIFY(QString::fromStdString(fromHeader.Title).contains("велосипед"));
}

void TestWebUnits::extractorsAgree_data() {
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QStringList>("links"); // the links the HTML standard gives
    QTest::newRow("malformed comments and an out-of-range reference")
        << ReadData("links-comments-and-references.html")
        << QStringList{"AB&f=d>x41;&;&6m#6t;&f=#;&l&fB&l-> <a h href=",
                       "AB<&f=d>&f=d>B&l&f &l-> <a h hrefnofram#x41;B<&f=d>x41;&;&6l#6t;&f=d>B&l&f"
                       "B&l-> <a h href="};
    // control characters inside a tag, which the tree builder recovers from its own way
    QTest::newRow("control characters among attributes")
        << ReadData("links-control-characters.html") << QStringList{"2", "7"};
    // every numeric reference past U+10FFFF reads as U+FFFD, however it would wrap
    QTest::newRow("hex reference past 32 bits")
        << QByteArray("<a title=\"&#x40FFFFFFFFF\" href=\"one\">1</a><a href=two>2</a>")
        << QStringList{"one", "two"};
    QTest::newRow("hex reference wrapping to a letter")
        << QByteArray("<a href=\"/x&#x100000041;y\">1</a>") << QStringList{"/x\uFFFDy"};
    QTest::newRow("decimal reference wrapping to a letter")
        << QByteArray("<a href=\"/x&#4294967361;y\">1</a>") << QStringList{"/x\uFFFDy"};
    QTest::newRow("reference of all ones")
        << QByteArray("<a href='/&#xFFFFFFFF;'>1</a><a href=b>") << QStringList{"/\uFFFD", "b"};
    QTest::newRow("largest code point kept")
        << QByteArray("<a href='/&#x10FFFF;&#x0000041;'>1</a>") << QStringList{"/\U0010FFFFA"};
    // a formatting element adopted past four elements, one of them formatting
    // too: the parser library leaves that one where it was, and the later link
    // goes into it, before the image
    QTest::newRow("adoption past four elements")
        << QByteArray("<b><s><z><z><x><p><img src=i></b><p><a href=l>") << QStringList{"l", "i"};
    // A tag name full of "<" is one element, as the tokenizer reads it; documents
    // too deep for the tree builder are read by the tokenizer alone, with its
    // rules for tag names, raw text and comments.
    QByteArray looksDeep = "<a href=first><b";
    for (int i = 0; i < 2000; ++i)
        looksDeep += "<i";
    QTest::newRow("a tag name full of '<'")
        << looksDeep + "><title><a href=in-title>" << QStringList{"first"};
    QByteArray deep;
    for (int i = 0; i < 2000; ++i)
        deep += "<div>";
    QTest::newRow("too deep, with raw text and odd comments")
        << deep + "<textarea><a href=no></textarea><!--> <a href=yes><!--->"
                  "<!-- <a href=no> --!><a href='a&amp;b'><title></title><a href=last>"
        << QStringList{"yes", "a&b", "last"};
}

void TestWebUnits::extractorsAgree() {
    QFETCH(QByteArray, html);
    QFETCH(QStringList, links);
    const std::string_view text(html.constData(), html.size());
    const DocumentLinks fast = ExtractLinksFast(text);
    const DocumentLinks parsed = UniqueLinks(ExtractLinks(text));
    QStringList a, b;
    for (const FoundLink& link : fast.Links)
        a << QString::fromStdString(link.Reference);
    for (const FoundLink& link : parsed.Links)
        b << QString::fromStdString(link.Reference);
    QCOMPARE(b, links);
    QCOMPARE(a, b);
    QCOMPARE(QString::fromStdString(fast.BaseHref), QString::fromStdString(parsed.BaseHref));
}

QTEST_GUILESS_MAIN(TestWebUnits)
#include "TestWebUnits.moc"
