// The line format and the flat tree: parsing, the ERROR status rule, the
// progress percentage, nesting and its guards, full URLs, page validity, sorting.
#include "SiteMapFormat.h"
#include "SiteTree.h"

#include <QLocale>
#include <QTemporaryFile>
#include <QTest>

using namespace vantora;

namespace {
QStringList Map(const QStringList& entries) {
    return QStringList{QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://site.test/")} +
           entries;
}
} // namespace

class TestSiteTree : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void parseLine_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("value");
        QTest::newRow("page") << "<PAGE>http://a/" << int(LineTag::Page) << "http://a/";
        QTest::newRow("value keeps later brackets")
            << "<LINK>http://b/<x>" << int(LineTag::Link) << "http://b/<x>";
        QTest::newRow("lower case") << "<page>a.html" << int(LineTag::Invalid) << "a.html";
        QTest::newRow("blank in tag") << "< PAGE>a" << int(LineTag::Invalid) << "a";
        QTest::newRow("empty line") << "" << int(LineTag::Invalid) << "";
        QTest::newRow("no brackets") << "PAGE" << int(LineTag::Invalid) << "";
        QTest::newRow("close before open") << "x>y<PAGE>" << int(LineTag::Invalid) << "y<PAGE>";
        QTest::newRow("push") << "<PUSH>" << int(LineTag::Push) << "";
        QTest::newRow("end") << "<END>" << int(LineTag::End) << "";
        QTest::newRow("text before tag") << "junk<POP>" << int(LineTag::Pop) << "";
    }
    void parseLine() {
        QFETCH(QString, line);
        QFETCH(int, tag);
        QFETCH(QString, value);
        const MapLine parsed = ParseMapLine(line);
        QCOMPARE(int(parsed.Tag), tag);
        QCOMPARE(parsed.Value, value);
    }

    void errorStatus_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("caption");
        QTest::newRow("404") << "<ERROR>http://a/x 404" << true << int(NodeKind::BrokenLink)
                             << "http://a/x";
        QTest::newRow("500") << "<ERROR>http://a/x 500" << true << int(NodeKind::ServerError)
                             << "Server ERROR 500 - http://a/x";
        QTest::newRow("blanks kept")
            << "<ERROR>http://a/x  503 " << true << int(NodeKind::ServerError)
            << "Server ERROR  503  - http://a/x";
        QTest::newRow("no blank") << "<ERROR>http://a/x" << false << 0 << "";
        QTest::newRow("text after number") << "<ERROR>http://a/x 500 bad" << false << 0 << "";
        QTest::newRow("not a number") << "<ERROR>http://a/x abc" << false << 0 << "";
        QTest::newRow("blank only") << "<ERROR>http://a/x " << false << 0 << "";
    }
    void errorStatus() {
        QFETCH(QString, line);
        QFETCH(bool, valid);
        QFETCH(int, kind);
        QFETCH(QString, caption);
        QString shown;
        NodeKind shownKind = NodeKind::Page;
        QCOMPARE(NodeFromLine(line, ParseMapLine(line), shown, shownKind), valid);
        if (valid) {
            QCOMPARE(int(shownKind), kind);
            QCOMPARE(shown, caption);
        }
    }

    void splitMapFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF, final break")
            << QByteArray("<ROOT>a\r\n<END>\r\n") << QStringList{"<ROOT>a", "<END>"};
        QTest::newRow("LF and CR mixed") << QByteArray("a\nb\rc") << QStringList{"a", "b", "c"};
        QTest::newRow("empty line kept") << QByteArray("a\r\n\r\nb") << QStringList{"a", "", "b"};
        QTest::newRow("UTF-8") << QByteArray("<PAGE>caf\xc3\xa9 \xe2\x82\xac")
                               << QStringList{QStringLiteral("<PAGE>caf\u00e9 \u20ac")};
        QTest::newRow("Windows-1252")
            << QByteArray("<PAGE>caf\xe9 \x80 \x93x\x94")
            << QStringList{QStringLiteral("<PAGE>caf\u00e9 \u20ac \u201cx\u201d")};
        QTest::newRow("overlong UTF-8 is not UTF-8")
            << QByteArray("\xc0\xaf\x80") << QStringList{QStringLiteral("\u00c0\u00af\u20ac")};
        QTest::newRow("not UTF-8 only at the end: all Windows-1252")
            << QByteArray("caf\xc3\xa9\r\n\r\nlong line of text\n\x80")
            << QStringList{QStringLiteral("caf\u00c3\u00a9"), "", "long line of text",
                           QStringLiteral("\u20ac")};
        QTest::newRow("CR, CR LF, LF CR")
            << QByteArray("a\r\r\nb\n\rc\r") << QStringList{"a", "", "b", "", "c"};
        QTest::newRow("empty") << QByteArray() << QStringList{};
        QTest::newRow("one break") << QByteArray("\n") << QStringList{""};
    }
    // Split whole, and read from a file a piece at a time whatever the
    // pieces' size (breaks, CR LF pairs and UTF-8 sequences cut across
    // pieces); a line more than the limit refuses the map.
    void splitMapFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(SplitMapFile(bytes), lines);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(bytes);
        file.close();
        for (const qint64 piece : {1, 2, 3, 5, 4096}) {
            const MapReadResult read = ReadMapFile(file.fileName(), MapLimits(), {}, piece);
            QCOMPARE(int(read.Status), int(MapReadStatus::Ok));
            QCOMPARE(read.Lines, lines);
            if (lines.isEmpty())
                continue;
            MapLimits fewer;
            fewer.MaxLines = lines.size() - 1;
            const MapReadResult refused = ReadMapFile(file.fileName(), fewer, {}, piece);
            QCOMPARE(int(refused.Status), int(MapReadStatus::TooLarge));
            QVERIFY(refused.Lines.isEmpty());
        }
    }

    void progressPercent_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("101 lines at 20") << 20 << 101 << "20";
        QTest::newRow("101 lines at 100") << 100 << 101 << "100";
        QTest::newRow("cut to four") << 20 << 100 << "20.2";
        QTest::newRow("small share") << 20 << 10001 << "0.2";
        QTest::newRow("tiny share") << 20 << 2000001 << "0.00";
    }
    void progressPercent() {
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(QString, text);
        QCOMPARE(ProgressPercent(index, count), text);
    }

    void progressLines() {
        QStringList entries;
        for (int i = 0; i < 99; ++i)
            entries << QStringLiteral("<PAGE>p%1.html").arg(i);
        const QStringList lines = Map(entries);
        QCOMPARE(lines.size(), 101);
        QList<int> seen;
        SiteTree tree;
        ParseSiteMap(lines, tree, [&](int i) { seen << i; });
        QCOMPARE(seen, (QList<int>{20, 40, 60, 80, 100}));
        QCOMPARE(ProgressStatusText(60, 101),
                 QStringLiteral("Calculating Site Map Tree View (60% complete)..."));
        seen.clear();
        ParseSiteMap(Map(entries.mid(0, 18)), tree, [&](int i) { seen << i; });
        QVERIFY(seen.isEmpty());
    }

    void header_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("outcome");
        QTest::newRow("empty") << QStringList{} << int(BuildOutcome::Empty);
        QTest::newRow("only header") << Map({}) << int(BuildOutcome::Complete);
        QTest::newRow("unspecified host anywhere")
            << Map({"<PAGE>a", "<LINK>x Unspecified Host y"}) << int(BuildOutcome::UnspecifiedHost);
        QTest::newRow("marker case")
            << QStringList{"Webcharter", "<ROOT>x"} << int(BuildOutcome::BadHeader);
        QTest::newRow("marker only") << QStringList{"WEBCHARTER"} << int(BuildOutcome::BadHeader);
        QTest::newRow("no root") << QStringList{"WEBCHARTER", "<PAGE>x"}
                                 << int(BuildOutcome::BadHeader);
    }
    void header() {
        QFETCH(QStringList, lines);
        QFETCH(int, outcome);
        SiteTree tree;
        const BuildResult r = ParseSiteMap(lines, tree);
        QCOMPARE(int(r.Outcome), outcome);
        QCOMPARE(tree.Count(), 0);
        if (r.Outcome == BuildOutcome::Complete)
            QCOMPARE(r.RootUrl, QStringLiteral("http://site.test/"));
    }

    // The one-walk URLs are the URLs built from each node's ancestors, and
    // the pages found from them are the pages PageUrl names.
    void fullUrlsInOneWalk() {
        SiteTree tree;
        ParseSiteMap(Map({"<PAGE>http://site.test/",
                          "<PUSH>",
                          "<PAGE>a.html",
                          "<PAGE>b/",
                          "<PUSH>",
                          "<PAGE>b/c.html",
                          "<PAGE>deep",
                          "<PUSH>",
                          "<PAGE>d/e.html",
                          "<POP>",
                          "<LINK>http://other.test/x/",
                          "<PUSH>",
                          "<PAGE>y.html",
                          "<POP>",
                          "<MAILTO>mailto:a@site.test",
                          "<BROKEN>http://site.test/gone",
                          "<POP>",
                          "<PAGE>f/g/",
                          "<PUSH>",
                          "<PAGE>f/g/h.html",
                          "<POP>",
                          "<POP>",
                          "<PAGE>noscheme.test/",
                          "<PUSH>",
                          "<PAGE>i.html",
                          "<POP>",
                          "<END>"}),
                     tree);
        QVERIFY(tree.Count() > 12);
        QList<int> seen;
        tree.ForEachFullUrl([](int) { return true; },
                            [&](int node, const QString& url) {
                                seen << node;
                                QCOMPARE(url, tree.FullUrl(node, node));
                                QString page, fromWalk;
                                QCOMPARE(tree.PageUrl(node, url, fromWalk),
                                         tree.PageUrl(node, page));
                                QCOMPARE(fromWalk, page);
                            });
        const std::vector<int> order = tree.DisplayOrder();
        QCOMPARE(seen, QList<int>(order.begin(), order.end()));
    }

    void nesting() {
        SiteTree tree;
        const BuildResult r =
            ParseSiteMap(Map({"<PAGE>http://site.test/", "<PUSH>", "<PAGE>a.html", "<PAGE>b/",
                              "<PUSH>", "<PAGE>c.html", "<POP>", "<MAILTO>mailto:x@y", "<POP>",
                              "<END>", "<PAGE>http://site.test/z.html"}),
                         tree);
        QCOMPARE(int(r.Outcome), int(BuildOutcome::Complete));
        QCOMPARE(tree.Count(), 6);
        const QList<int> parents{-1, 0, 0, 2, 0, -1};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(tree.Parent(i), parents[i]);
        QCOMPARE(tree.ChildCount(-1), 2);
        QCOMPARE(tree.ChildCount(0), 3);
        QCOMPARE(tree.Child(0, 2), 4);
        QCOMPARE(tree.Row(4), 2);
        QCOMPARE(int(tree.Kind(4)), int(NodeKind::Mail));
        QCOMPARE(tree.FullUrl(3, 3), QStringLiteral("http://site.test/b/c.html"));
    }

    // Invalid data ends the build; the nodes before the bad line stay.
    void invalidData_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("nodes");
        QTest::newRow("lower-case tag") << QStringList{"<PAGE>a", "<page>b", "<PAGE>c"} << 1;
        QTest::newRow("empty line") << QStringList{"<PAGE>a", "", "<PAGE>c"} << 1;
        QTest::newRow("pop at top") << QStringList{"<PAGE>a", "<POP>", "<PAGE>c"} << 1;
        QTest::newRow("push first") << QStringList{"<PUSH>", "<PAGE>a"} << 0;
        QTest::newRow("bad status") << QStringList{"<PAGE>a", "<ERROR>http://x"} << 1;
        QStringList deep{"<PAGE>a"};
        for (int i = 0; i < 256; ++i)
            deep << "<PUSH>"
                 << "<PAGE>a";
        QTest::newRow("nesting past 255") << deep << 256;
    }
    void invalidData() {
        QFETCH(QStringList, entries);
        QFETCH(int, nodes);
        SiteTree tree;
        const BuildResult r = ParseSiteMap(Map(entries), tree);
        QCOMPARE(int(r.Outcome), int(BuildOutcome::InvalidData));
        QCOMPARE(tree.Count(), nodes);
        QCOMPARE(int(tree.DisplayOrder().size()), tree.Count());
    }

    void fullUrl_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("node");
        QTest::addColumn<QString>("url");
        QTest::newRow("grandchild under relative child")
            << QStringList{"<PAGE>http://s/f/index.html", "<PUSH>", "<PAGE>about/team.html",
                           "<PUSH>", "<PAGE>me.html"}
            << 2 << "http://s/f/about/me.html";
        QTest::newRow("relative dir page") << QStringList{"<PAGE>http://s/", "<PUSH>", "<PAGE>dir/",
                                                          "<PUSH>", "<PAGE>dir/page.html"}
                                           << 2 << "http://s/dir/dir/page.html";
        QTest::newRow("absolute child stands alone")
            << QStringList{"<PAGE>http://s/a/", "<PUSH>", "<PAGE>http://t/b.html"} << 1
            << "http://t/b.html";
        QTest::newRow("top level relative") << QStringList{"<PAGE>a/b.html"} << 0 << "a/b.html";
        QTest::newRow("relative under relative top")
            << QStringList{"<PAGE>a/b.html", "<PUSH>", "<PAGE>c.html"} << 1 << "a/c.html";
    }
    void fullUrl() {
        QFETCH(QStringList, entries);
        QFETCH(int, node);
        QFETCH(QString, url);
        SiteTree tree;
        ParseSiteMap(Map(entries), tree);
        QCOMPARE(tree.FullUrl(node, node), url);
    }

    void pageValidity_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("url"); // empty: not a page
        QTest::newRow("relative page") << "<PAGE>x.html"
                                       << "http://s/x.html";
        QTest::newRow("http link") << "<LINK>http://other/"
                                   << "http://other/";
        QTest::newRow("https link") << "<LINK>https://other/"
                                    << "";
        QTest::newRow("ftp link") << "<LINK>ftp://other/"
                                  << "";
        QTest::newRow("mail") << "<MAILTO>mailto:a@b"
                              << "";
        QTest::newRow("broken") << "<BROKEN>http://s/gone"
                                << "";
        QTest::newRow("404") << "<ERROR>http://s/gone 404"
                             << "";
        QTest::newRow("server error") << "<ERROR>http://s/bad 500"
                                      << "";
    }
    void pageValidity() {
        QFETCH(QString, line);
        QFETCH(QString, url);
        SiteTree tree;
        ParseSiteMap(Map({"<PAGE>http://s/", "<PUSH>", line}), tree);
        QString pageUrl;
        const bool page = tree.PageUrl(1, pageUrl);
        QCOMPARE(page ? pageUrl : QString(), url);
    }

    void sortAndRestore() {
        SiteTree tree;
        ParseSiteMap(Map({"<PAGE>http://s/", "<PUSH>", "<PAGE>zeta.html", "<PAGE>Alpha.html",
                          "<PUSH>", "<PAGE>y", "<PAGE>b", "<POP>", "<PAGE>beta.html"}),
                     tree);
        tree.Sort(true);
        QCOMPARE(tree.DisplayOrder(), (std::vector<int>{0, 2, 4, 3, 5, 1}));
        QCOMPARE(tree.Row(1), 2);
        tree.Sort(false);
        QCOMPARE(tree.DisplayOrder(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
        QCOMPARE(tree.Row(1), 0);
    }
};

QTEST_GUILESS_MAIN(TestSiteTree)
#include "TestSiteTree.moc"
