// The pieces under the analyses: score formatting as the client reads it,
// address classes for the safety rule, colours, item cleaning, encodings,
// the hidden-text model and its exemptions.

#include "AnswerText.h"
#include "AttackPages.h"
#include "FetchPage.h"
#include "PageModel.h"
#include "PageText.h"
#include "Service.h"
#include "Wordweigh.h"

#include <QtTest>

using namespace vantora;

class AnalysesTest : public QObject {
    Q_OBJECT

  private slots:
    void percentageReadsBackExactly_data() {
        QTest::addColumn<int>("score");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << "00";
        QTest::newRow("one digit") << 5 << "05";
        QTest::newRow("two digits") << 57 << "57";
        QTest::newRow("hundred") << 100 << "100";
        QTest::newRow("above") << 150 << "100";
        QTest::newRow("below") << -3 << "00";
    }
    void percentageReadsBackExactly() {
        QFETCH(int, score);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(FormatPercentage(score)), text);
        // The client: "100" when present, else the two characters after the marker.
        const QString body = "u<br>KEYWORDS: k<br>PERCENTAGE: " + text + "<br>";
        const QString read = body.contains("PERCENTAGE: 100")
                                 ? "100"
                                 : body.mid(body.indexOf("PERCENTAGE:") + 12, 2);
        bool ok = false;
        QCOMPARE(read.toInt(&ok), std::clamp(score, 0, 100));
        QVERIFY(ok);
    }

    void nonPublicAddresses_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("nonPublic");
        QTest::newRow("loopback") << "127.0.0.1" << true;
        QTest::newRow("loopback other") << "127.45.1.2" << true;
        QTest::newRow("ten") << "10.1.2.3" << true;
        QTest::newRow("172.16") << "172.16.0.1" << true;
        QTest::newRow("172.32 is public") << "172.32.0.1" << false;
        QTest::newRow("192.168") << "192.168.1.1" << true;
        QTest::newRow("link-local") << "169.254.169.254" << true;
        QTest::newRow("cgnat") << "100.64.0.1" << true;
        QTest::newRow("unspecified") << "0.0.0.0" << true;
        QTest::newRow("multicast") << "224.0.0.1" << true;
        QTest::newRow("public v4") << "93.184.216.34" << false;
        QTest::newRow("v6 loopback") << "::1" << true;
        QTest::newRow("v6 unique local") << "fd12::1" << true;
        QTest::newRow("v6 link-local") << "fe80::1" << true;
        QTest::newRow("v4-mapped private") << "::ffff:192.168.0.1" << true;
        QTest::newRow("v4-mapped public") << "::ffff:93.184.216.34" << false;
        QTest::newRow("public v6") << "2606:2800:220:1::1" << false;
        QTest::newRow("not an address") << "example.org" << true;
    }
    void nonPublicAddresses() {
        QFETCH(QString, address);
        QFETCH(bool, nonPublic);
        QCOMPARE(IsNonPublicAddress(address.toStdString()), nonPublic);
    }

    void colours_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<uint>("rgb");
        QTest::newRow("short hex") << "#fff" << true << 0xFFFFFFu;
        QTest::newRow("long hex") << "#1A2b3C" << true << 0x1A2B3Cu;
        QTest::newRow("bare hex") << "ffffff" << true << 0xFFFFFFu;
        QTest::newRow("rgb") << "rgb(255, 0, 10)" << true << 0xFF000Au;
        QTest::newRow("name") << "White" << true << 0xFFFFFFu;
        QTest::newRow("junk") << "#ggg" << false << 0u;
        QTest::newRow("empty") << "" << false << 0u;
        QTest::newRow("unclosed rgb") << "rgb(1,2" << false << 0u;
    }
    void colours() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(uint, rgb);
        unsigned value = 0;
        QCOMPARE(ParseCssColour(text.toStdString(), value), ok);
        if (ok)
            QCOMPARE(value, rgb);
    }

    void contrast() {
        QVERIFY(ContrastRatio(0xFFFFFF, 0xFFFFFF) < 1.01);
        QVERIFY(ContrastRatio(0xFFFFFF, 0xFEFEFE) < 1.1);
        QVERIFY(ContrastRatio(0x000000, 0xFFFFFF) > 20.9);
    }

    void itemsCannotSplitOrPose_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("item separator") << "a<br>b"
                                        << "a[br]b";
        QTest::newRow("web page marker") << "<HTML>x"
                                         << "[HTML]x";
        QTest::newRow("control characters") << "a\r\n\tb\x01"
                                               "c"
                                            << "a b c";
        QTest::newRow("unicode line breaks")
            << QString::fromUtf8("a\u2028b\u2029c\u0085d\u009fe\x0b"
                                 "f")
            << "a b c d e f";
        QTest::newRow("markers") << "PERCENTAGE: 1 PROBLEM: ERROR NO-SPAM"
                                 << "Percentage: 1 Problem: Error No-spam";
    }
    void itemsCannotSplitOrPose() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(DefuseMarkers(CleanItem(input.toStdString()))), expected);
    }

    void itemsAreCutOnCharacterBoundaries() {
        std::string text;
        for (int i = 0; i < 400; ++i)
            text += "\xc3\xa9"; // é
        const std::string cut = CleanItem(text, 100);
        QVERIFY(IsValidUtf8(cut));
        QCOMPARE(CodePointCount(cut), std::size_t(100));
        QVERIFY(IsValidUtf8(CleanItem("\xff\xfe ok \xc3")));
    }

    void windows1252IsRead() {
        QCOMPARE(QString::fromStdString(ToUtf8("\x93"
                                               "Caf\xe9\x94")),
                 QString::fromUtf8("\u201cCaf\u00e9\u201d"));
        QCOMPARE(ToUtf8("already \xc3\xa9"), std::string("already \xc3\xa9"));
    }

    void percentDecoding_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("plus");
        QTest::addColumn<QString>("expected");
        QTest::newRow("blank") << "a%20b" << false << "a b";
        QTest::newRow("plus kept") << "c++" << false << "c++";
        QTest::newRow("plus as blank") << "a+b" << true << "a b";
        QTest::newRow("bad escape") << "100%" << false << "100%";
        QTest::newRow("half escape") << "%4" << false << "%4";
        QTest::newRow("bad hex") << "%zz" << false << "%zz";
    }
    void percentDecoding() {
        QFETCH(QString, input);
        QFETCH(bool, plus);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(PercentDecode(input.toStdString(), plus)), expected);
    }

    void hiddenBlocksAndExemptions_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("hidden");
        QTest::newRow("inline display none") << "<div style='display:none'>x</div>" << 1;
        QTest::newRow("class rule")
            << "<style>.h{visibility:hidden}</style><p class='h'>x</p>" << 1;
        QTest::newRow("rule inside media")
            << "<style>@media screen{#z{opacity:0}}</style><p id='z'>x</p>" << 1;
        QTest::newRow("descendant rule ignored")
            << "<style>div p{display:none}</style><div><p>x</p></div>" << 0;
        QTest::newRow("text indent") << "<h1 style='text-indent:-9999px'>Logo</h1>" << 1;
        QTest::newRow("nested counts once")
            << "<div style='display:none'><p style='display:none'>x</p></div>" << 1;
        QTest::newRow("aria hidden") << "<div aria-hidden='true' style='display:none'>x</div>" << 0;
        QTest::newRow("sr-only")
            << "<span class='sr-only' style='position:absolute;left:-10000px'>x</span>" << 0;
        QTest::newRow("tab panel") << "<div role='tabpanel' style='display:none'>x</div>" << 0;
        QTest::newRow("inside nav") << "<nav><ul style='display:none'><li>x</li></ul></nav>" << 0;
    }
    void hiddenBlocksAndExemptions() {
        QFETCH(QString, body);
        QFETCH(int, hidden);
        const PageModel page = ParsePage(("<html><body>" + body + "</body></html>").toStdString());
        QCOMPARE(int(page.HiddenBlocks.size()), hidden);
        QVERIFY(page.VisibleText.find('x') == std::string::npos || hidden == 0);
    }

    void pageModelReadsHeadAndBody() {
        const PageModel page = ParsePage(
            "<html><head><title> My  title </title><meta name=Description content='desc'>"
            "<meta name='robots' content='NOINDEX'><link rel=canonical href='/rel'></head>"
            "<body><h1>One</h1><p>First <b>para</b>.</p><script>var a=1;</script>"
            "<a href='/x' rel='nofollow'><img src=i alt='pic'></a></body></html>");
        QCOMPARE(QString::fromStdString(page.Title), QString("My title"));
        QCOMPARE(QString::fromStdString(page.Description), QString("desc"));
        QVERIFY(page.MetaRobots.find("noindex") != std::string::npos);
        QCOMPARE(int(page.Canonicals.size()), 1);
        QCOMPARE(int(page.Headings.size()), 1);
        QCOMPARE(QString::fromStdString(page.Paragraphs.at(0)), QString("First para."));
        QCOMPARE(int(page.Links.size()), 1);
        QVERIFY(page.Links[0].NoFollow && page.Links[0].HasImage);
        QCOMPARE(int(page.Scripts.size()), 1);
        QVERIFY(page.VisibleText.find("var a") == std::string::npos);
    }

    // The share bands of the subheading (K7) and alternative text (K8)
    // factors: a third to three quarters scores best, fewer or more do not.
    void shareBands_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("matching");
        QTest::addColumn<int>("total");
        QTest::addColumn<bool>("best");
        QTest::newRow("K7 none of 4") << "K7" << 0 << 4 << false;
        QTest::newRow("K7 a quarter") << "K7" << 1 << 4 << false;
        QTest::newRow("K7 half") << "K7" << 2 << 4 << true;
        QTest::newRow("K7 three quarters") << "K7" << 3 << 4 << true;
        QTest::newRow("K7 all") << "K7" << 4 << 4 << false;
        QTest::newRow("K8 one of 5") << "K8" << 1 << 5 << false;
        QTest::newRow("K8 two of 5") << "K8" << 2 << 5 << true;
        QTest::newRow("K8 three of 5") << "K8" << 3 << 5 << true;
        QTest::newRow("K8 all of 5") << "K8" << 5 << 5 << false;
    }
    void shareBands() {
        QFETCH(QString, code);
        QFETCH(int, matching);
        QFETCH(int, total);
        QFETCH(bool, best);
        std::string body = "<h1>Garden tools</h1><p>Garden tools for growers.</p>";
        for (int i = 0; i < total; ++i) {
            const bool on = i < matching;
            if (code == "K7")
                body += on ? "<h2>Garden tools part " + std::to_string(i) + "</h2><p>Text.</p>"
                           : "<h2>Other matters " + std::to_string(i) + "</h2><p>Text.</p>";
            else
                body += std::string("<img src='i") + std::to_string(i) + ".jpg' alt='" +
                        (on ? "garden tools on a wall" : "a quiet river bank") + "'>";
        }
        const PageModel page = ParsePage("<html><head><title>Garden tools</title></head><body>" +
                                         body + "</body></html>");
        const WordweighResult r = AnalyseWordweigh(page, "http://a/", "garden tools");
        const auto score = std::find_if(r.Scores.begin(), r.Scores.end(), [&](const auto& s) {
            return s.first == code.toStdString();
        });
        QVERIFY(score != r.Scores.end());
        QCOMPARE(score->second == 9, best);
    }

    void titleWidthBands() {
        QVERIFY(TitleWidthPx("Garden tools") < 400);
        QVERIFY(TitleWidthPx("Garden tools for every gardener and allotment season") >= 400);
        QVERIFY(TitleWidthPx(std::string(80, 'W')) > 600);
    }

    // Each page aims at one costly part of reading a page; each is read
    // within its bounds, and one that is past them is answered in words as
    // too complex to analyse, never as clean.
    void attackPagesStayWithinBounds_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<bool>("tooComplex");
        int i = 0;
        for (const attack::Page& page : attack::Pages())
            QTest::newRow(page.Name) << i++ << page.TooComplex;
    }
    void attackPagesStayWithinBounds() {
        QFETCH(int, which);
        QFETCH(bool, tooComplex);
        static const std::vector<attack::Page> pages = attack::Pages();
        const std::string& html = pages.at(std::size_t(which)).Html;
        const PageModel page = ParsePage(html);
        QCOMPARE(page.TooComplex, tooComplex);
        std::size_t collected = 0;
        for (const auto& h : page.Headings)
            collected += h.Text.size();
        QVERIFY2(collected < (8u << 20), qPrintable(QString::number(collected)));
        if (!tooComplex) {
            // Nesting past the cap is dropped: an unmatched end tag closes nothing.
            QVERIFY2(page.ElementCount < 110000, qPrintable(QString::number(page.ElementCount)));
            QVERIFY(page.VisibleText.find("Garden tools") != std::string::npos);
        }
        const QString spam = QString::fromStdString(StuffwatchAnswer("http://a.example/", html));
        const QString weigh =
            QString::fromStdString(WordweighAnswer("http://a.example/", "garden tools", html));
        QVERIFY(spam.startsWith("STUFFWATCH-v1.1 ") && weigh.startsWith("WORDWEIGH-v1.1<br>"));
        QCOMPARE(spam.contains("too complex to analyse"), tooComplex);
        QCOMPARE(weigh.contains("PROBLEM: The page is too complex to analyse"), tooComplex);
        if (tooComplex)
            QVERIFY(!spam.contains("NO-SPAM") && weigh.contains("PERCENTAGE: 00"));
    }

    // Real nesting is counted: end tags that close nothing do not undo it,
    // and end tags of open elements do.
    void nestingIsCountedAsBuilt_data() {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("repeats");
        QTest::addColumn<int>("maxElements");
        QTest::newRow("unmatched end tags deepen") << "<div></x>" << 5000 << 2010;
        QTest::newRow("closed elements do not") << "<div></div>" << 5000 << 5010;
        QTest::newRow("an end tag closes those inside")
            << "<div><span><section></div>" << 3000 << 9010;
    }
    void nestingIsCountedAsBuilt() {
        QFETCH(QString, unit);
        QFETCH(int, repeats);
        QFETCH(int, maxElements);
        std::string html = "<html><body>";
        for (int i = 0; i < repeats; ++i)
            html += unit.toStdString();
        const PageModel page = ParsePage(html + "<p>end</p></body></html>");
        QVERIFY2(int(page.ElementCount) <= maxElements,
                 qPrintable(QString::number(page.ElementCount)));
        QVERIFY(int(page.ElementCount) >= std::min(maxElements - 10, repeats));
        QVERIFY(page.VisibleText.find("end") != std::string::npos);
    }

    // A page cut at the size cap: the answers say so and where, and
    // Stuffwatch never calls it clean.
    void cutPagesSaySo() {
        const std::string clean = "<html><head><title>Garden tools</title></head><body><p>Garden "
                                  "tools for growers.</p></body></html>";
        ServiceConfig config;
        config.Fetch.MaxBytes = 4096;
        auto serve = [&](bool cut) {
            return [&clean, cut](const std::string& url, const FetchOptions&) {
                FetchResult r;
                r.Status = FetchStatus::Ok;
                r.HttpCode = 200;
                r.FinalUrl = url;
                r.ContentType = "text/html";
                r.Body = clean;
                r.Truncated = cut;
                return r;
            };
        };
        const std::string spamPath = "/cgi-bin/zeph/text_output/spam-pt.cgi";
        const std::string weighPath = "/cgi-bin/zeph/text_output/wordweigh-pt.cgi";
        const std::string query = "url=http://a.example/&keywords=garden+tools";
        QVERIFY(HandleRequest(spamPath, query, config, serve(false)).Body.find("NO-SPAM") !=
                std::string::npos);
        const ServiceAnswer spam = HandleRequest(spamPath, query, config, serve(true));
        QVERIFY2(spam.Body.find("NO-SPAM") == std::string::npos, spam.Body.c_str());
        QVERIFY(spam.Body.find("VERDICT: clean") == std::string::npos);
        QVERIFY(spam.Body.find("cut after byte 4096") != std::string::npos);
        QVERIFY(spam.Result.find("cut at 4096") != std::string::npos);
        const ServiceAnswer weigh = HandleRequest(weighPath, query, config, serve(true));
        QVERIFY2(weigh.Body.find("PROBLEM: Only the first 4096 bytes of the page were analysed") !=
                     std::string::npos,
                 weigh.Body.c_str());
    }

    void noKeywordsStillScoresAndSaysSo() {
        const PageModel page =
            ParsePage("<html><head><title>t</title></head><body><p>x</p></body></html>");
        const WordweighResult r = AnalyseWordweigh(page, "http://a/", "");
        QVERIFY(r.Percentage >= 0 && r.Percentage <= 100);
        QVERIFY(std::any_of(r.Problems.begin(), r.Problems.end(),
                            [](const Advice& a) { return a.Code == "K13"; }));
    }
};

QTEST_GUILESS_MAIN(AnalysesTest)
#include "AnalysesTest.moc"
