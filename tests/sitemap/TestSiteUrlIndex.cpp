// The URL index answers as the walk of every node's full URL does, and as a
// comparison of every node's key: the same nodes in the same view order,
// sorted or not, and for a large tree replaced or sorted while its index is
// being built.
#include "FakeSiteMapHost.h"
#include "SiteMapController.h"
#include "SiteMapSelect.h"
#include "SiteTree.h"
#include "SiteUrlIndex.h"

#include <QTest>

#include <set>

using namespace vantora;
using namespace vantora::test;

namespace {

QStringList Map(const QStringList& entries) {
    return QStringList{QStringLiteral("WEBCHARTER"), QStringLiteral("<ROOT>http://site.test/")} +
           entries;
}

// Relative and absolute captions, a query, escapes, "..", a blank, a host
// in capitals, an international host, a default port, mail, a folder and
// its index page, the same URL written in several ways, and a second top
// level.
QStringList MixedMap() {
    return Map({"<PAGE>http://site.test/",
                "<PUSH>",
                "<PAGE>a.html",
                "<PAGE>%7Euser.html",
                "<PAGE>c.html#top",
                "<PAGE>q.php?id=2&b=%41",
                "<PAGE>dir/",
                "<PUSH>",
                "<PAGE>b.html",
                "<PAGE>index.html",
                "<PAGE>../a.html",
                "<BROKEN>http://Site.test/gone.html",
                "<PAGE>sub/",
                "<PUSH>",
                "<PAGE>x y.html",
                "<POP>",
                "<POP>",
                "<BROKEN>http://site.test/gone.html",
                "<ERROR>http://site.test/bad.cgi 500",
                "<LINK>http://other.test/a.html",
                "<LINK>http://WWW.Other.TEST:80/Path/",
                "<LINK>http://B\u00fccher.test/\u00e9t\u00e9.html",
                "<LINK>https://secure.test/",
                "<MAILTO>mailto:me@site.test",
                "<LINK>http://site.test:80/a.html",
                "<PAGE>a.html",
                "<POP>",
                "<PAGE>http://second.test/",
                "<PUSH>",
                "<PAGE>a.html",
                "<POP>",
                "<END>"});
}

std::string PlainKey(const QString& url) {
    std::string buffer;
    return std::string(UrlKey(url, buffer));
}

// Every node in view order whose full URL has the key of one of urls.
std::vector<int> PlainFind(const SiteTree& tree, const QStringList& urls) {
    std::set<std::string> wanted;
    for (const QString& url : urls)
        wanted.insert(PlainKey(url));
    std::vector<int> found;
    for (const int node : tree.DisplayOrder())
        if (wanted.count(PlainKey(tree.FullUrl(node, node))))
            found.push_back(node);
    return found;
}

// Each node's full URL, and each written another way with the same key.
QStringList EveryUrl(const SiteTree& tree) {
    QStringList urls;
    for (int node = 0; node < tree.Count(); ++node) {
        const QString url = tree.FullUrl(node, node);
        urls << url
             << url.toUpper().left(url.indexOf(QLatin1String("://")) + 3) +
                    url.mid(url.indexOf(QLatin1String("://")) + 3)
             << QStringLiteral(" %1#frag ").arg(url);
    }
    return urls;
}

} // namespace

class TestSiteUrlIndex : public QObject {
    Q_OBJECT
  private slots:
    void sameAsTheWalk_data() {
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<int>("count"); // -1: as many as the comparison of keys finds
        QTest::newRow("none") << QStringList{} << 0;
        QTest::newRow("not in the map") << QStringList{"http://site.test/nothing.html"} << 0;
        QTest::newRow("a page written four ways: itself, with dots, with its port, twice")
            << QStringList{"http://site.test/a.html", "SITE.test/a.html", "http://site.test/a.html",
                           "http://site.test:80/./a.html#x"}
            << 4;
        QTest::newRow("the root without its slash") << QStringList{"http://site.test"} << 1;
        QTest::newRow("escapes, either case") << QStringList{"http://site.test/~user.html"} << -1;
        QTest::newRow("an escaped blank")
            << QStringList{"http://site.test/dir/sub/x%20y.html"} << -1;
        QTest::newRow("a fragment dropped") << QStringList{"http://site.test/c.html"} << 1;
        QTest::newRow("a query") << QStringList{"http://site.test/q.php?id=2&b=%41"} << 1;
        QTest::newRow("a folder is not its index page")
            << QStringList{"http://site.test/dir/"} << 1;
        QTest::newRow("the index page is not its folder")
            << QStringList{"http://site.test/dir/index.html"} << 1;
        QTest::newRow("broken links, host in capitals")
            << QStringList{"http://site.test/gone.html"} << 2;
        QTest::newRow("a server error") << QStringList{"http://site.test/bad.cgi"} << -1;
        QTest::newRow("an external host in capitals with its default port")
            << QStringList{"http://www.other.test/Path/"} << 1;
        QTest::newRow("the path keeps its case") << QStringList{"http://www.other.test/path/"} << 0;
        QTest::newRow("an international host, written in ASCII")
            << QStringList{"http://xn--bcher-kva.test/%C3%A9t%C3%A9.html"} << -1;
        QTest::newRow("an international host, as it is written")
            << QStringList{"http://b\u00fccher.TEST/\u00e9t\u00e9.html"} << -1;
        QTest::newRow("https") << QStringList{"HTTPS://secure.test"} << -1;
        QTest::newRow("mail") << QStringList{"mailto:me@site.test"} << -1;
        QTest::newRow("another top level") << QStringList{"http://second.test/a.html"} << 1;
        QTest::newRow("text that is no URL") << QStringList{"", " ", "::", "http://"} << -1;
    }
    void sameAsTheWalk() {
        QFETCH(QStringList, urls);
        QFETCH(int, count);
        SiteTree tree;
        QCOMPARE(ParseSiteMap(MixedMap(), tree).Outcome, BuildOutcome::Complete);
        SiteUrlIndex index;
        index.Rebuild(tree);
        QVERIFY(index.IsReady());
        for (const bool sorted : {false, true}) {
            tree.Sort(sorted);
            const std::vector<int> plain = PlainFind(tree, urls);
            if (count >= 0)
                QCOMPARE(int(plain.size()), count);
            QCOMPARE(FindNodesByUrl(tree, urls), plain);
            QCOMPARE(index.Find(tree, urls).value(), plain);
        }
    }

    // Every node asked for, each in three ways.
    void everyNode() {
        SiteTree tree;
        ParseSiteMap(MixedMap(), tree);
        SiteUrlIndex index;
        index.Rebuild(tree);
        const QStringList urls = EveryUrl(tree);
        QCOMPARE(index.Find(tree, urls).value(), PlainFind(tree, urls));
        QCOMPARE(int(PlainFind(tree, urls).size()), tree.Count());
    }

    // A large tree (its index built on another thread) replaced, sorted
    // and replaced again at once: the index answers for the tree shown,
    // never for one before it.
    void replacedWhileBuilding() {
        const auto bigMap = [](const QString& host) {
            QStringList e{QStringLiteral("<PAGE>http://%1/").arg(host), "<PUSH>"};
            for (int folder = 0; folder < 300; ++folder) {
                e << QStringLiteral("<PAGE>d%1/").arg(folder) << "<PUSH>";
                for (int page = 0; page < 40; ++page)
                    e << QStringLiteral("<PAGE>p%1.html").arg(page);
                e << "<LINK>http://out.test/"
                  << "<POP>";
            }
            return Map(e << "<POP>"
                         << "<END>");
        };
        FakeSiteMapHost host;
        SiteMapController c(host);
        QStringList urls;
        for (const char* name : {"one.test", "two.test", "one.test", "three.test"}) {
            host.Data.SiteMapLines = bigMap(name);
            c.BuildSiteTree();
            QVERIFY(c.NodeCount() >= SiteUrlIndex::BackgroundNodes);
            c.SetSorted(!c.IsSorted());
            urls = QStringList{QStringLiteral("http://%1/d7/p3.html").arg(name),
                               QStringLiteral("http://one.test/d8/p4.html"),
                               QStringLiteral("http://%1/d299/").arg(name), "http://out.test/"};
            // Waited for without bound, the index answers; asked at once, it
            // answers right or not at all.
            if (const auto early = c.UrlIndex().Find(c.Tree(), urls, 0))
                QCOMPARE(*early, PlainFind(c.Tree(), urls));
        }
        const std::vector<int> plain = PlainFind(c.Tree(), urls);
        QCOMPARE(int(plain.size()), 2 + 300);
        QCOMPARE(c.UrlIndex().Find(c.Tree(), urls, 60000).value(), plain);
        QCOMPARE(SelectNodesByUrl(c, urls), int(plain.size()));
        QCOMPARE(c.SelectedCount(), int(plain.size()));
    }
};

QTEST_GUILESS_MAIN(TestSiteUrlIndex)
#include "TestSiteUrlIndex.moc"
